// The product's Platform: each method is one Win32 call with the program's exact arguments.
#pragma once

#include "platform/platform.h"

namespace zelkupd {

class Win32Platform final : public Platform {
 public:
  Win32Platform() = default;
  ~Win32Platform() override;

  std::uint32_t StdOutputType() override;
  std::uint32_t ConsoleOutputCodePage() override;
  std::uint32_t WriteStdOutput(std::string_view bytes) override;
  void WriteStdError(std::string_view bytes) override;

  int ShowMessageBox(const std::u16string& text, const std::u16string& caption,
                     std::uint32_t style) override;

  TInetHandle OpenInternetSession() override;
  bool CrackUrl(const std::u16string& url, TUrlParts& parts) override;
  TInetHandle ConnectHttp(TInetHandle session, const std::u16string& host,
                          std::uint16_t port) override;
  TInetHandle OpenHttpRequest(TInetHandle connection, const std::u16string& object,
                              std::uint32_t flags) override;
  bool SetInternetOptionNumber(TInetHandle handle, std::uint32_t option,
                               std::uint32_t value) override;
  bool SetInternetOptionText(TInetHandle handle, std::uint32_t option,
                             const std::u16string& value) override;
  bool QueryInternetOptionNumber(TInetHandle handle, std::uint32_t option,
                                 std::uint32_t& value) override;
  bool SendHttpRequest(TInetHandle request, const std::u16string& headers) override;
  bool HttpQueryInfoNumber(TInetHandle request, std::uint32_t infoLevel,
                           std::uint32_t& value) override;
  bool HttpQueryInfoText(TInetHandle request, std::uint32_t infoLevel,
                         std::u16string& value) override;
  bool CombineUrl(const std::u16string& base, const std::u16string& relative,
                  std::u16string& combined) override;
  bool InternetReadFile(TInetHandle request, void* buffer, std::uint32_t size,
                        std::uint32_t& bytesRead) override;
  void InternetCloseHandle(TInetHandle handle) override;

  void EnumWindows(TEnumWindowsProc proc, void* param) override;
  bool IsWindowVisible(TWindowHandle window) override;
  TWindowHandle GetWindowOwner(TWindowHandle window) override;
  std::uint32_t GetWindowProcessId(TWindowHandle window) override;
  bool PostWindowMessage(TWindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                         std::intptr_t lParam) override;
  TProcessHandle OpenProcess(std::uint32_t access, std::uint32_t processId) override;
  bool QueryFullProcessImagePath(TProcessHandle process, std::uint32_t capacity,
                                 std::u16string& path) override;
  bool GetProcessImageName(TProcessHandle process, std::uint32_t capacity,
                           std::u16string& path) override;
  std::uint32_t WaitForSingleObject(TProcessHandle process, std::uint32_t milliseconds) override;
  void CloseHandle(TProcessHandle process) override;

  int FileOperation(TShellFileOp& operation) override;
  void ShellExecuteFile(const std::u16string& verb, const std::u16string& file,
                        const std::u16string& directory, int showCommand) override;

  bool SetEnvironmentValue(const std::u16string& name, const std::u16string& value) override;
  std::uint32_t ExpandEnvironment(const std::u16string& source, std::uint32_t capacity,
                                  std::u16string& expanded) override;
  void Sleep(std::uint32_t milliseconds) override;
  std::u16string ModuleFileName() override;

 private:
  void* FStdOutput = nullptr;
  void* FPsapi = nullptr;  // PSAPI.dll, loaded on first use
  void* FGetModuleFileNameEx = nullptr;
  bool FPsapiTried = false;
};

}  // namespace zelkupd
