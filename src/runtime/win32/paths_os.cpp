#include <windows.h>

#include "runtime/paths.h"
#include "runtime/win32/wide.h"

namespace zelkupd {

std::u16string ExpandFileName(std::u16string_view path) {
  const std::u16string source(path);
  if (source.empty()) {
    return source;
  }
  DWORD size = ::GetFullPathNameW(WidePtr(source), 0, nullptr, nullptr);
  if (size == 0) {
    return source;
  }
  std::u16string full(size, u'\0');
  size = ::GetFullPathNameW(WidePtr(source), size, WidePtr(full), nullptr);
  full.resize(size);
  return full;
}

std::u16string LongPathName(std::u16string_view path) {
  const std::u16string source(path);
  DWORD size = ::GetLongPathNameW(WidePtr(source), nullptr, 0);
  if (size == 0) {
    return source;
  }
  std::u16string full(size, u'\0');
  size = ::GetLongPathNameW(WidePtr(source), WidePtr(full), size);
  if (size == 0 || size >= full.size()) {
    return source;
  }
  full.resize(size);
  return full;
}

std::u16string CurrentDirectory() {
  const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
  std::u16string dir(size, u'\0');
  dir.resize(::GetCurrentDirectoryW(size, WidePtr(dir)));
  return dir;
}

}  // namespace zelkupd
