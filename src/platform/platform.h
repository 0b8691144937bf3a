// The run's outside world beyond files: console output, message boxes, WinINet, top-level windows
// and processes, the shell, the environment, sleeping and the program's own path. Win32Platform
// passes the exact Win32 constants; the tests' FakePlatform records calls and scripts answers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zelkupd {

using TInetHandle = void*;             // a WinINet handle; nullptr when there is none
using TProcessHandle = void*;          // a process handle; nullptr when the open failed
using TWindowHandle = std::uintptr_t;  // a window handle; 0 when there is none

// The callback of EnumWindows: nonzero continues the enumeration, 0 stops it. An error it raises
// stops the enumeration too and comes out of EnumWindows once the system call has returned.
using TEnumWindowsProc = int (*)(TWindowHandle window, void* param);

// GetFileType results for the standard output.
inline constexpr std::uint32_t kFileTypeUnknown = 0;
inline constexpr std::uint32_t kFileTypeDisk = 1;
inline constexpr std::uint32_t kFileTypeChar = 2;
inline constexpr std::uint32_t kFileTypePipe = 3;

// MessageBoxW results and styles used by the program.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// What InternetCrackUrlW (no flags: nothing decoded or escaped) gives of a URL for a request:
// its scheme (INTERNET_SCHEME_*), host and port, and the object the request names, the URL's
// path followed by its extra information (a query, say).
struct TUrlParts {
  std::int32_t Scheme = 0;
  std::u16string Host;
  std::uint16_t Port = 0;
  std::u16string Object;
};

// The fields of SHFILEOPSTRUCTW that a request fills; the owner window, name mappings and progress
// title are always null.
struct TShellFileOp {
  std::uint32_t Func = 0;
  std::u16string From;  // the file list, with its terminating zeros included
  std::uint16_t Flags = 0;
  bool AnyOperationsAborted = false;
};

class Platform {
 public:
  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  virtual ~Platform() = default;

  // Console: the standard output is taken at the first call of StdOutputType.
  virtual std::uint32_t StdOutputType() = 0;  // GetFileType
  virtual std::uint32_t ConsoleOutputCodePage() = 0;
  // WriteFile of all bytes to the standard output; 0, or the system error code of the failure.
  virtual std::uint32_t WriteStdOutput(std::string_view bytes) = 0;
  virtual void WriteStdError(std::string_view bytes) = 0;

  // MessageBoxW without owner window; 0 when the box could not be shown.
  virtual int ShowMessageBox(const std::u16string& text, const std::u16string& caption,
                             std::uint32_t style) = 0;

  // WinINet, one call each. A request is made in the steps InternetOpenUrlW takes inside, so
  // that its options can be set before it is sent.
  virtual TInetHandle OpenInternetSession() = 0;  // no agent, preconfigured proxy, no flags
  virtual bool CrackUrl(const std::u16string& url, TUrlParts& parts) = 0;
  // InternetConnectW for HTTP: no user name or password, no flags, context 0.
  virtual TInetHandle ConnectHttp(TInetHandle session, const std::u16string& host,
                                  std::uint16_t port) = 0;
  // HttpOpenRequestW: GET of `object`, the default version, no referrer, any type ("*/*"),
  // context 0.
  virtual TInetHandle OpenHttpRequest(TInetHandle connection, const std::u16string& object,
                                      std::uint32_t flags) = 0;
  // InternetSetOptionW of a 32-bit number, and of a text (its length in characters).
  virtual bool SetInternetOptionNumber(TInetHandle handle, std::uint32_t option,
                                       std::uint32_t value) = 0;
  virtual bool SetInternetOptionText(TInetHandle handle, std::uint32_t option,
                                     const std::u16string& value) = 0;
  // InternetQueryOptionW of a 32-bit number.
  virtual bool QueryInternetOptionNumber(TInetHandle handle, std::uint32_t option,
                                         std::uint32_t& value) = 0;
  // HttpSendRequestW without body, with `headers` (lines each ending in CR LF; empty: none). A
  // request opened with INTERNET_FLAG_NO_AUTO_REDIRECT ends at the redirect's own answer.
  virtual bool SendHttpRequest(TInetHandle request, const std::u16string& headers) = 0;
  // HttpQueryInfoW into a 32-bit number (the level carries HTTP_QUERY_FLAG_NUMBER), index 0.
  virtual bool HttpQueryInfoNumber(TInetHandle request, std::uint32_t infoLevel,
                                   std::uint32_t& value) = 0;
  // HttpQueryInfoW of a header as text (HTTP_QUERY_LOCATION, HTTP_QUERY_CONTENT_LENGTH without
  // HTTP_QUERY_FLAG_NUMBER, say), index 0; false when the answer has none.
  virtual bool HttpQueryInfoText(TInetHandle request, std::uint32_t infoLevel,
                                 std::u16string& value) = 0;
  // InternetCombineUrlW without flags: `relative` taken against `base` as a browser takes a link,
  // "." and ".." resolved and unsafe characters escaped; an absolute `relative` stands alone.
  virtual bool CombineUrl(const std::u16string& base, const std::u16string& relative,
                          std::u16string& combined) = 0;
  virtual bool InternetReadFile(TInetHandle request, void* buffer, std::uint32_t size,
                                std::uint32_t& bytesRead) = 0;
  virtual void InternetCloseHandle(TInetHandle handle) = 0;

  // Windows and processes.
  virtual void EnumWindows(TEnumWindowsProc proc, void* param) = 0;
  virtual bool IsWindowVisible(TWindowHandle window) = 0;
  virtual TWindowHandle GetWindowOwner(TWindowHandle window) = 0;  // GetWindow(GW_OWNER)
  virtual std::uint32_t GetWindowProcessId(TWindowHandle window) = 0;
  virtual bool PostWindowMessage(TWindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                 std::intptr_t lParam) = 0;
  virtual TProcessHandle OpenProcess(std::uint32_t access, std::uint32_t processId) = 0;
  // QueryFullProcessImageNameW of the process's executable, in Win32 form, into a buffer of
  // `capacity` units, or false. The kernel keeps this name, so it is read across bitness.
  virtual bool QueryFullProcessImagePath(TProcessHandle process, std::uint32_t capacity,
                                         std::u16string& path) = 0;
  // GetModuleFileNameExW (from PSAPI.dll, loaded on first use) of the process's executable into a
  // buffer of `capacity` units; the text up to the first zero, or false. It reads the process's
  // module list, which a 32-bit caller cannot read in a 64-bit process.
  virtual bool GetProcessImageName(TProcessHandle process, std::uint32_t capacity,
                                   std::u16string& path) = 0;
  virtual std::uint32_t WaitForSingleObject(TProcessHandle process, std::uint32_t milliseconds) = 0;
  virtual void CloseHandle(TProcessHandle process) = 0;

  // Shell: SHFileOperationW, and ShellExecuteW with no owner window and no parameters.
  virtual int FileOperation(TShellFileOp& operation) = 0;
  virtual void ShellExecuteFile(const std::u16string& verb, const std::u16string& file,
                                const std::u16string& directory, int showCommand) = 0;

  // Environment, time and the program's own path.
  virtual bool SetEnvironmentValue(const std::u16string& name, const std::u16string& value) = 0;
  // ExpandEnvironmentStringsW into a buffer of `capacity` units: the length it reports (the
  // terminating zero included), and the text when that length fits.
  virtual std::uint32_t ExpandEnvironment(const std::u16string& source, std::uint32_t capacity,
                                          std::u16string& expanded) = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  virtual std::u16string ModuleFileName() = 0;  // GetModuleFileNameW of the running executable
};

}  // namespace zelkupd
