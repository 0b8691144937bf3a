#include "zip/entry_paths.h"

#include <vector>

#include "runtime/errors.h"
#include "runtime/file_names.h"
#include "runtime/files.h"
#include "zip/zip_texts.h"

namespace zelkupd {
namespace {

constexpr std::u16string_view kLongPathPrefix = u"\\\\?\\";
constexpr std::size_t kMaxPath = 260;

bool IsSeparator(char16_t c) {
  return c == u'/' || c == u'\\';
}

bool IsAsciiLetter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// The components between separators, empty ones included ("a//b/" has four).
std::vector<std::u16string_view> Components(std::u16string_view name) {
  std::vector<std::u16string_view> components;
  std::size_t start = 0;
  for (std::size_t end = 0; end <= name.size(); ++end) {
    if (end == name.size() || IsSeparator(name[end])) {
      components.push_back(name.substr(start, end - start));
      start = end + 1;
    }
  }
  return components;
}

bool IsUnsafeName(std::u16string_view name) {
  if (!name.empty() && IsSeparator(name.front())) {
    return true;
  }
  if (name.find(u':') != std::u16string_view::npos) {
    return true;
  }
  for (const std::u16string_view component : Components(name)) {
    if (!component.empty() && component != u"." &&
        (component.back() == u'.' || component.back() == u' ' || IsReservedDeviceName(component))) {
      return true;
    }
  }
  return false;
}

bool IsSymbolicLink(std::uint32_t externalAttributes) {
  constexpr std::uint32_t kUnixFileType = 0170000;
  constexpr std::uint32_t kUnixSymbolicLink = 0120000;
  return ((externalAttributes >> 16) & kUnixFileType) == kUnixSymbolicLink;
}

}  // namespace

void CheckPathChars(std::u16string_view path) {
  for (const char16_t c : path) {
    if (c < 32 || c == u'"' || c == u'<' || c == u'>' || c == u'|') {
      throw EArgumentException(texts::kInvalidPathChars);
    }
  }
}

std::u16string CombinePath(std::u16string_view folder, std::u16string_view name) {
  CheckPathChars(folder);
  CheckPathChars(name);
  if (folder.empty()) {
    return std::u16string(name);
  }
  if (name.empty()) {
    return std::u16string(folder);
  }
  const char16_t last = folder.back();
  const bool joined = last == u'\\' || last == u'/' || last == u':';
  return std::u16string(folder) + (joined ? u"" : u"\\") + std::u16string(name);
}

void CheckEntryName(std::u16string_view name, std::uint32_t externalAttributes) {
  CheckPathChars(name);
  if (IsSymbolicLink(externalAttributes)) {
    throw EZipException(texts::SymbolicLinkEntryText(name));
  }
  if (IsUnsafeName(name)) {
    throw EZipException(texts::UnsafeEntryNameText(name));
  }
}

std::u16string CanonicalEntryName(std::u16string_view name) {
  std::u16string canonical;
  bool folder = false;
  for (const std::u16string_view component : Components(name)) {
    folder = component.empty() || component == u".";
    if (!folder) {
      canonical.append(canonical.empty() ? u"" : u"\\").append(component);
    }
  }
  if (folder && !canonical.empty()) {
    canonical += u'\\';
  }
  return canonical;
}

void CheckFolderPath(std::u16string_view fullPath) {
  std::u16string_view path = fullPath;
  if (path.starts_with(kLongPathPrefix)) {
    path.remove_prefix(kLongPathPrefix.size());
  } else if (path.size() >= kMaxPath) {
    throw EPathTooLongException(texts::kPathTooLong);
  }
  const std::size_t colon = path.find(u':');
  if (colon == std::u16string_view::npos) {
    return;
  }
  if (colon != 1 || !IsAsciiLetter(path[0]) ||
      path.find(u':', colon + 1) != std::u16string_view::npos) {
    throw ENotSupportedException(texts::kPathFormatNotSupported);
  }
  if (!DirectoryExists(std::u16string(path.substr(0, 2)) + u"\\")) {
    throw EDirectoryNotFoundException(texts::kDriveNotFound);
  }
}

}  // namespace zelkupd
