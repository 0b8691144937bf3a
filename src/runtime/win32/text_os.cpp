#include <windows.h>

#include "runtime/text.h"
#include "runtime/win32/wide.h"

namespace zelkupd {

std::u16string UpperCase(std::u16string_view text) {
  std::u16string result(text);
  if (!result.empty()) {
    ::CharUpperBuffW(WidePtr(result), static_cast<DWORD>(result.size()));
  }
  return result;
}

}  // namespace zelkupd
