// The bridge from EnumWindows to the platform's callback, which is project code and may raise.
// Internal to the Win32 platform; its own header so a test can call the trampoline directly.
#pragma once

#include <windows.h>

#include <exception>

#include "platform/platform.h"

namespace zelkupd {

struct TEnumContext {
  TEnumWindowsProc Proc;
  void* Param;
  std::exception_ptr Error;  // what the callback raised; rethrown once EnumWindows has returned
};

// Calls the context's callback for one window. No exception may unwind through user32's frames:
// on i686 that ends in std::terminate instead of the program's own report. What the callback
// raises is kept in the context and stops the enumeration (FALSE).
BOOL CALLBACK EnumTrampoline(HWND window, LPARAM param) noexcept;

}  // namespace zelkupd
