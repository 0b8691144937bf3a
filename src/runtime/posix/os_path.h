// Native stand-in for Windows paths: the core's "\" separators become "/" at the system boundary.
#pragma once

#include <string>
#include <string_view>

#include "runtime/text.h"

namespace zelkupd::os {

inline std::string NativePath(std::u16string_view path) {
  std::string native = Utf16ToUtf8(path);
  for (char& c : native) {
    if (c == '\\') {
      c = '/';
    }
  }
  return native;
}

}  // namespace zelkupd::os
