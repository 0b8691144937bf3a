#include "platform/win32/win32_platform.h"

// windows.h first: shellapi.h and wininet.h build on its declarations.
#include <windows.h>

#include <shellapi.h>
#include <wininet.h>

#include <exception>
#include <utility>
#include <vector>

#include "platform/win32/enum_trampoline.h"
#include "runtime/win32/wide.h"

namespace zelkupd {
namespace {

using TGetModuleFileNameExW = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);

HWND ToHwnd(TWindowHandle window) {
  return reinterpret_cast<HWND>(window);
}

// A short count sends the rest again. A call that succeeds without taking a byte (a pipe in
// non-blocking mode whose reader has stopped reading, say) would only be tried again for ever, so
// it counts as a write fault.
bool WriteAll(HANDLE handle, std::string_view bytes, DWORD& error) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ==
        FALSE) {
      error = ::GetLastError();
      return false;
    }
    if (written == 0) {
      error = ERROR_WRITE_FAULT;
      return false;
    }
    bytes.remove_prefix(written);
  }
  return true;
}

}  // namespace

BOOL CALLBACK EnumTrampoline(HWND window, LPARAM param) noexcept {
  auto* context = reinterpret_cast<TEnumContext*>(param);
  try {
    return context->Proc(reinterpret_cast<TWindowHandle>(window), context->Param) != 0 ? TRUE
                                                                                       : FALSE;
  } catch (...) {
    context->Error = std::current_exception();
    return FALSE;
  }
}

Win32Platform::~Win32Platform() {
  if (FPsapi != nullptr) {
    ::FreeLibrary(static_cast<HMODULE>(FPsapi));
  }
}

std::uint32_t Win32Platform::StdOutputType() {
  FStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
  return ::GetFileType(FStdOutput);
}

std::uint32_t Win32Platform::ConsoleOutputCodePage() {
  return ::GetConsoleOutputCP();
}

std::uint32_t Win32Platform::WriteStdOutput(std::string_view bytes) {
  DWORD error = 0;
  return WriteAll(FStdOutput, bytes, error) ? 0 : error;
}

void Win32Platform::WriteStdError(std::string_view bytes) {
  DWORD error = 0;
  WriteAll(::GetStdHandle(STD_ERROR_HANDLE), bytes, error);
}

int Win32Platform::ShowMessageBox(const std::u16string& text, const std::u16string& caption,
                                  std::uint32_t style) {
  return ::MessageBoxW(nullptr, WidePtr(text), WidePtr(caption), style);
}

TInetHandle Win32Platform::OpenInternetSession() {
  return ::InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
}

bool Win32Platform::CrackUrl(const std::u16string& url, TUrlParts& parts) {
  // Nonzero lengths without buffers ask for pointers into the URL itself.
  URL_COMPONENTSW components{};
  components.dwStructSize = sizeof components;
  components.dwSchemeLength = 1;
  components.dwHostNameLength = 1;
  components.dwUrlPathLength = 1;
  components.dwExtraInfoLength = 1;
  if (::InternetCrackUrlW(WidePtr(url), 0, 0, &components) == FALSE) {
    return false;
  }
  parts.Scheme = components.nScheme;
  parts.Host = FromWide(components.lpszHostName, components.dwHostNameLength);
  parts.Port = components.nPort;
  parts.Object = FromWide(components.lpszUrlPath, components.dwUrlPathLength) +
                 FromWide(components.lpszExtraInfo, components.dwExtraInfoLength);
  return true;
}

TInetHandle Win32Platform::ConnectHttp(TInetHandle session, const std::u16string& host,
                                       std::uint16_t port) {
  return ::InternetConnectW(session, WidePtr(host), port, nullptr, nullptr, INTERNET_SERVICE_HTTP,
                            0, 0);
}

TInetHandle Win32Platform::OpenHttpRequest(TInetHandle connection, const std::u16string& object,
                                           std::uint32_t flags) {
  const wchar_t* anyType[] = {L"*/*", nullptr};
  return ::HttpOpenRequestW(connection, L"GET", WidePtr(object), nullptr, nullptr, anyType, flags,
                            0);
}

bool Win32Platform::SetInternetOptionNumber(TInetHandle handle, std::uint32_t option,
                                            std::uint32_t value) {
  DWORD number = value;
  return ::InternetSetOptionW(handle, option, &number, sizeof number) != FALSE;
}

bool Win32Platform::SetInternetOptionText(TInetHandle handle, std::uint32_t option,
                                          const std::u16string& value) {
  return ::InternetSetOptionW(handle, option, const_cast<wchar_t*>(WidePtr(value)),
                              static_cast<DWORD>(value.size())) != FALSE;
}

bool Win32Platform::QueryInternetOptionNumber(TInetHandle handle, std::uint32_t option,
                                              std::uint32_t& value) {
  DWORD number = 0;
  DWORD size = sizeof number;
  if (::InternetQueryOptionW(handle, option, &number, &size) == FALSE) {
    return false;
  }
  value = number;
  return true;
}

bool Win32Platform::SendHttpRequest(TInetHandle request, const std::u16string& headers) {
  return ::HttpSendRequestW(request, headers.empty() ? nullptr : WidePtr(headers),
                            static_cast<DWORD>(headers.size()), nullptr, 0) != FALSE;
}

bool Win32Platform::HttpQueryInfoNumber(TInetHandle request, std::uint32_t infoLevel,
                                        std::uint32_t& value) {
  DWORD number = value;
  DWORD size = sizeof number;
  DWORD index = 0;
  const bool ok = ::HttpQueryInfoW(request, infoLevel, &number, &size, &index) != FALSE;
  if (ok) {
    value = number;
  }
  return ok;
}

namespace {

// The two text calls below take a buffer and its length, and give back the length they wrote or,
// when the buffer was short, the length they need; not every WinINet says which by its last error,
// so a first buffer that fits any usual value is tried and, when the call asks for more, one that
// long. `call(buffer, length)` takes and gives lengths in characters.
template <typename TCall>
bool CallWithTextBuffer(std::u16string& value, TCall call) {
  std::u16string text(INTERNET_MAX_URL_LENGTH, u'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD length = static_cast<DWORD>(text.size());
    if (call(WidePtr(text), length)) {
      text.resize(length);
      value = std::move(text);
      return true;
    }
    if (length <= text.size()) {
      return false;
    }
    text.assign(length + 1, u'\0');
  }
  return false;
}

}  // namespace

bool Win32Platform::HttpQueryInfoText(TInetHandle request, std::uint32_t infoLevel,
                                      std::u16string& value) {
  return CallWithTextBuffer(value, [&](wchar_t* buffer, DWORD& length) {
    DWORD size = length * sizeof(wchar_t);
    DWORD index = 0;
    const bool ok = ::HttpQueryInfoW(request, infoLevel, buffer, &size, &index) != FALSE;
    length = size / sizeof(wchar_t);
    return ok;
  });
}

bool Win32Platform::CombineUrl(const std::u16string& base, const std::u16string& relative,
                               std::u16string& combined) {
  return CallWithTextBuffer(combined, [&](wchar_t* buffer, DWORD& length) {
    return ::InternetCombineUrlW(WidePtr(base), WidePtr(relative), buffer, &length, 0) != FALSE;
  });
}

bool Win32Platform::InternetReadFile(TInetHandle request, void* buffer, std::uint32_t size,
                                     std::uint32_t& bytesRead) {
  DWORD read = 0;
  const bool ok = ::InternetReadFile(request, buffer, size, &read) != FALSE;
  bytesRead = read;
  return ok;
}

void Win32Platform::InternetCloseHandle(TInetHandle handle) {
  ::InternetCloseHandle(handle);
}

void Win32Platform::EnumWindows(TEnumWindowsProc proc, void* param) {
  TEnumContext context{proc, param, nullptr};
  ::EnumWindows(EnumTrampoline, reinterpret_cast<LPARAM>(&context));
  if (context.Error) {
    std::rethrow_exception(context.Error);
  }
}

bool Win32Platform::IsWindowVisible(TWindowHandle window) {
  return ::IsWindowVisible(ToHwnd(window)) != FALSE;
}

TWindowHandle Win32Platform::GetWindowOwner(TWindowHandle window) {
  return reinterpret_cast<TWindowHandle>(::GetWindow(ToHwnd(window), GW_OWNER));
}

std::uint32_t Win32Platform::GetWindowProcessId(TWindowHandle window) {
  DWORD processId = 0;
  ::GetWindowThreadProcessId(ToHwnd(window), &processId);
  return processId;
}

bool Win32Platform::PostWindowMessage(TWindowHandle window, std::uint32_t message,
                                      std::uintptr_t wParam, std::intptr_t lParam) {
  return ::PostMessageW(ToHwnd(window), message, wParam, lParam) != FALSE;
}

TProcessHandle Win32Platform::OpenProcess(std::uint32_t access, std::uint32_t processId) {
  return ::OpenProcess(access, FALSE, processId);
}

bool Win32Platform::QueryFullProcessImagePath(TProcessHandle process, std::uint32_t capacity,
                                              std::u16string& path) {
  std::vector<wchar_t> buffer(capacity, L'\0');
  DWORD length = capacity;
  if (::QueryFullProcessImageNameW(process, 0, buffer.data(), &length) == FALSE) {
    return false;
  }
  path = FromWide(buffer.data());
  return true;
}

bool Win32Platform::GetProcessImageName(TProcessHandle process, std::uint32_t capacity,
                                        std::u16string& path) {
  if (!FPsapiTried) {
    FPsapiTried = true;
    HMODULE library = ::LoadLibraryW(L"PSAPI.dll");
    // A module handle below 32 is an error code of the old loader, never a module.
    if (reinterpret_cast<std::uintptr_t>(library) >= 32) {
      FPsapi = library;
      FGetModuleFileNameEx =
          reinterpret_cast<void*>(::GetProcAddress(library, "GetModuleFileNameExW"));
    }
  }
  if (FGetModuleFileNameEx == nullptr) {
    return false;
  }
  const auto getName = reinterpret_cast<TGetModuleFileNameExW>(FGetModuleFileNameEx);
  std::vector<wchar_t> buffer(capacity, L'\0');
  // A name that fills the buffer may have been cut short, and a cut name may be a prefix of
  // another program's path.
  const DWORD length = getName(process, nullptr, buffer.data(), capacity);
  if (length == 0 || length >= capacity - 1) {
    return false;
  }
  buffer.back() = L'\0';
  path = FromWide(buffer.data());
  return true;
}

std::uint32_t Win32Platform::WaitForSingleObject(TProcessHandle process,
                                                 std::uint32_t milliseconds) {
  return ::WaitForSingleObject(process, milliseconds);
}

void Win32Platform::CloseHandle(TProcessHandle process) {
  ::CloseHandle(process);
}

int Win32Platform::FileOperation(TShellFileOp& operation) {
  SHFILEOPSTRUCTW request{};
  request.hwnd = nullptr;
  request.wFunc = operation.Func;
  request.pFrom = WidePtr(operation.From);
  request.pTo = nullptr;
  request.fFlags = operation.Flags;
  request.fAnyOperationsAborted = operation.AnyOperationsAborted ? TRUE : FALSE;
  request.hNameMappings = nullptr;
  request.lpszProgressTitle = nullptr;
  const int result = ::SHFileOperationW(&request);
  operation.AnyOperationsAborted = request.fAnyOperationsAborted != FALSE;
  return result;
}

void Win32Platform::ShellExecuteFile(const std::u16string& verb, const std::u16string& file,
                                     const std::u16string& directory, int showCommand) {
  ::ShellExecuteW(nullptr, WidePtr(verb), WidePtr(file), nullptr, WidePtr(directory), showCommand);
}

bool Win32Platform::SetEnvironmentValue(const std::u16string& name, const std::u16string& value) {
  return ::SetEnvironmentVariableW(WidePtr(name), WidePtr(value)) != FALSE;
}

std::uint32_t Win32Platform::ExpandEnvironment(const std::u16string& source, std::uint32_t capacity,
                                               std::u16string& expanded) {
  std::vector<wchar_t> buffer(capacity, L'\0');
  const DWORD length = ::ExpandEnvironmentStringsW(WidePtr(source), buffer.data(), capacity);
  if (length >= 1 && length <= capacity) {
    expanded = FromWide(buffer.data(), length - 1);
  }
  return length;
}

void Win32Platform::Sleep(std::uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

std::u16string Win32Platform::ModuleFileName() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length < buffer.size()) {
      return FromWide(buffer.data(), length);
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace zelkupd
