#include "dialog_helper/child_process.h"

namespace zelkupd::test {
namespace {

HANDLE Inheritable(HANDLE handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
    ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  }
  return handle;
}

}  // namespace

TChild StartChild(const TChildStart& start) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = Inheritable(::GetStdHandle(STD_INPUT_HANDLE));
  startup.hStdOutput =
      start.WithoutStdOutput ? nullptr : Inheritable(::GetStdHandle(STD_OUTPUT_HANDLE));
  startup.hStdError = Inheritable(::GetStdHandle(STD_ERROR_HANDLE));
  std::wstring commandLine = start.CommandLine;
  PROCESS_INFORMATION info{};
  TChild child;
  if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       start.WorkingDir.empty() ? nullptr : start.WorkingDir.c_str(), &startup,
                       &info) == FALSE) {
    child.Error = ::GetLastError();
    return child;
  }
  ::CloseHandle(info.hThread);
  child.hProcess.Reset(info.hProcess);
  child.ProcessId = info.dwProcessId;
  return child;
}

}  // namespace zelkupd::test
