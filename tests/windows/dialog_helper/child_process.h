// Starts the program under test as a child of the helper, with the standard handles the harness
// gave the helper, so its console output lands where the harness redirected it.
#pragma once

#include <windows.h>

#include <string>

#include "runtime/win32/scoped_handle.h"

namespace zelkupd::test {

struct TChildStart {
  std::wstring CommandLine;       // program and arguments, quoted
  std::wstring WorkingDir;        // empty: the helper's own
  bool WithoutStdOutput = false;  // pass no standard output handle at all
};

struct TChild {
  TScopedKernelHandle hProcess;
  DWORD ProcessId = 0;
  DWORD Error = 0;  // GetLastError of a failed start
};

TChild StartChild(const TChildStart& start);

}  // namespace zelkupd::test
