// The platform of the benchmark's extraction child: extraction needs only the console, which goes
// to the standard error in UTF-8 so the benchmark can show a failure line; everything else answers
// as a system with nothing to offer would.
#pragma once

#include "platform/platform.h"

namespace zelkupd::bench {

class ExtractOnlyPlatform final : public Platform {
 public:
  std::uint32_t StdOutputType() override { return kFileTypeChar; }
  std::uint32_t ConsoleOutputCodePage() override { return 65001; }
  std::uint32_t WriteStdOutput(std::string_view bytes) override;
  void WriteStdError(std::string_view bytes) override;

  int ShowMessageBox(const std::u16string&, const std::u16string&, std::uint32_t) override {
    return 0;
  }

  TInetHandle OpenInternetSession() override { return nullptr; }
  bool CrackUrl(const std::u16string&, TUrlParts&) override { return false; }
  TInetHandle ConnectHttp(TInetHandle, const std::u16string&, std::uint16_t) override {
    return nullptr;
  }
  TInetHandle OpenHttpRequest(TInetHandle, const std::u16string&, std::uint32_t) override {
    return nullptr;
  }
  bool SetInternetOptionNumber(TInetHandle, std::uint32_t, std::uint32_t) override { return false; }
  bool SetInternetOptionText(TInetHandle, std::uint32_t, const std::u16string&) override {
    return false;
  }
  bool QueryInternetOptionNumber(TInetHandle, std::uint32_t, std::uint32_t&) override {
    return false;
  }
  bool SendHttpRequest(TInetHandle, const std::u16string&) override { return false; }
  bool HttpQueryInfoNumber(TInetHandle, std::uint32_t, std::uint32_t&) override { return false; }
  bool HttpQueryInfoText(TInetHandle, std::uint32_t, std::u16string&) override { return false; }
  bool CombineUrl(const std::u16string&, const std::u16string&, std::u16string&) override {
    return false;
  }
  bool InternetReadFile(TInetHandle, void*, std::uint32_t, std::uint32_t& bytesRead) override {
    bytesRead = 0;
    return false;
  }
  void InternetCloseHandle(TInetHandle) override {}

  void EnumWindows(TEnumWindowsProc, void*) override {}
  bool IsWindowVisible(TWindowHandle) override { return false; }
  TWindowHandle GetWindowOwner(TWindowHandle) override { return 0; }
  std::uint32_t GetWindowProcessId(TWindowHandle) override { return 0; }
  bool PostWindowMessage(TWindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) override {
    return false;
  }
  TProcessHandle OpenProcess(std::uint32_t, std::uint32_t) override { return nullptr; }
  bool QueryFullProcessImagePath(TProcessHandle, std::uint32_t, std::u16string&) override {
    return false;
  }
  bool GetProcessImageName(TProcessHandle, std::uint32_t, std::u16string&) override {
    return false;
  }
  std::uint32_t WaitForSingleObject(TProcessHandle, std::uint32_t) override { return 0; }
  void CloseHandle(TProcessHandle) override {}

  int FileOperation(TShellFileOp&) override { return 1; }
  void ShellExecuteFile(const std::u16string&, const std::u16string&, const std::u16string&,
                        int) override {}

  bool SetEnvironmentValue(const std::u16string&, const std::u16string&) override { return false; }
  std::uint32_t ExpandEnvironment(const std::u16string&, std::uint32_t, std::u16string&) override {
    return 0;
  }
  void Sleep(std::uint32_t) override {}
  std::u16string ModuleFileName() override { return {}; }
};

}  // namespace zelkupd::bench
