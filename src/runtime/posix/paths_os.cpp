#include <unistd.h>

#include <climits>
#include <vector>

#include "runtime/paths.h"
#include "runtime/text.h"

namespace zelkupd {

std::u16string LongPathName(std::u16string_view path) {
  return std::u16string(path);
}

std::u16string CurrentDirectory() {
  char buffer[PATH_MAX];
  if (getcwd(buffer, sizeof buffer) == nullptr) {
    return u"\\";
  }
  std::u16string dir = Utf8ToUtf16(buffer);
  for (char16_t& c : dir) {
    if (c == u'/') {
      c = u'\\';
    }
  }
  return dir;
}

// As GetFullPathNameW does, but lexically on the native tree: "\" and "/" both separate, a
// relative path starts from the current folder, "." and ".." are resolved, and a trailing
// separator is kept.
std::u16string ExpandFileName(std::u16string_view path) {
  if (path.empty()) {
    return {};
  }
  std::u16string source(path);
  const bool absolute = source[0] == u'\\' || source[0] == u'/';
  if (!absolute) {
    source = CurrentDirectory() + u"\\" + source;
  }
  const bool trailing = source.back() == u'\\' || source.back() == u'/';
  std::vector<std::u16string> parts;
  std::u16string part;
  const auto flush = [&] {
    if (part == u"..") {
      if (!parts.empty())
        parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    part.clear();
  };
  for (const char16_t c : source) {
    if (c == u'\\' || c == u'/') {
      flush();
    } else {
      part.push_back(c);
    }
  }
  flush();
  std::u16string full;
  for (const auto& p : parts) {
    full += u"\\" + p;
  }
  if (full.empty() || trailing) {
    full += u"\\";
  }
  return full;
}

}  // namespace zelkupd
