#include "runtime/paths.h"

namespace zelkupd {
namespace {
// Position after the last "\" or ":", 0 when there is none.
std::size_t NameStart(std::u16string_view path) {
  const std::size_t last = path.find_last_of(u"\\:");
  return last == std::u16string_view::npos ? 0 : last + 1;
}
}  // namespace

std::u16string ExtractFilePath(std::u16string_view path) {
  return std::u16string(path.substr(0, NameStart(path)));
}

std::u16string ExtractFileName(std::u16string_view path) {
  return std::u16string(path.substr(NameStart(path)));
}

std::u16string ChangeFileExt(std::u16string_view path, std::u16string_view extension) {
  const std::size_t dot = path.find_last_of(u'.');
  const std::size_t stem =
      dot != std::u16string_view::npos && dot >= NameStart(path) ? dot : path.size();
  return std::u16string(path.substr(0, stem)) + std::u16string(extension);
}

std::u16string IncludeTrailingBackslash(std::u16string_view path) {
  std::u16string result(path);
  if (result.empty() || result.back() != u'\\') {
    result.push_back(u'\\');
  }
  return result;
}

std::u16string ExcludeTrailingBackslash(std::u16string_view path) {
  if (!path.empty() && path.back() == u'\\') {
    path.remove_suffix(1);
  }
  return std::u16string(path);
}

}  // namespace zelkupd
