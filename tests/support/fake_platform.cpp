#include "support/fake_platform.h"

#include <algorithm>
#include <cstring>

#include "runtime/codepage.h"
#include "runtime/text.h"
#include "update/http_range.h"

namespace zelkupd::test {
namespace {

constexpr std::uint32_t kSynchronize = 0x00100000;
constexpr std::uint32_t kWaitObject0 = 0;
constexpr std::uint32_t kWaitTimeout = 258;
constexpr std::uint32_t kWmClose = 16;
constexpr std::int32_t kSchemeHttp = 3;
constexpr std::int32_t kSchemeHttps = 4;
constexpr std::uint32_t kOptionReceiveTimeout = 6;
char gSession;

std::string Utf8(std::u16string_view text) {
  return Utf16ToUtf8(text);
}

}  // namespace

std::uint32_t FakePlatform::StdOutputType() {
  Calls.push_back("GetFileType");
  return OutputType;
}

std::uint32_t FakePlatform::ConsoleOutputCodePage() {
  return ConsoleCodePage;
}

std::uint32_t FakePlatform::WriteStdOutput(std::string_view bytes) {
  Calls.push_back("WriteFile " + std::to_string(bytes.size()));
  if (FailWritesWith != 0) {
    return FailWritesWith;
  }
  StdOut.append(bytes);
  StdOutWrites.emplace_back(bytes);
  return 0;
}

void FakePlatform::WriteStdError(std::string_view bytes) {
  StdErr.append(bytes);
}

int FakePlatform::ShowMessageBox(const std::u16string& text, const std::u16string& caption,
                                 std::uint32_t style) {
  Calls.push_back("MessageBox " + std::to_string(style));
  Boxes.push_back({text, caption, style});
  if (BoxAnswers.empty()) {
    return kIdOk;
  }
  const int answer = BoxAnswers.front();
  BoxAnswers.pop_front();
  return answer;
}

TInetHandle FakePlatform::OpenInternetSession() {
  Calls.push_back("InternetOpen");
  if (SessionFails) {
    return nullptr;
  }
  ++OpenInetHandles;
  return &gSession;
}

// "scheme://host[:port]object", as far as the tests' URLs need it.
bool FakePlatform::CrackUrl(const std::u16string& url, TUrlParts& parts) {
  Calls.push_back("InternetCrackUrl " + Utf8(url));
  OpenedUrls.push_back(url);
  FCrackedUrl = url;
  const std::size_t schemeEnd = url.find(u"://");
  if (schemeEnd == std::u16string::npos) {
    return false;
  }
  const std::u16string scheme = UpperCase(std::u16string_view(url).substr(0, schemeEnd));
  parts.Scheme = scheme == u"HTTP" ? kSchemeHttp : scheme == u"HTTPS" ? kSchemeHttps : -1;
  const std::size_t hostStart = schemeEnd + 3;
  const std::size_t objectStart = std::min(url.find(u'/', hostStart), url.size());
  const std::u16string authority = url.substr(hostStart, objectStart - hostStart);
  const std::size_t colon = authority.find(u':');
  parts.Host = authority.substr(0, colon);
  parts.Port = parts.Scheme == kSchemeHttps ? 443 : 80;
  if (colon != std::u16string::npos) {
    const std::string digits = Utf8(authority.substr(colon + 1));
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
      return false;
    }
    parts.Port = static_cast<std::uint16_t>(std::stoi(digits));
  }
  parts.Object = url.substr(objectStart);
  return true;
}

TInetHandle FakePlatform::ConnectHttp(TInetHandle session, const std::u16string& host,
                                      std::uint16_t port) {
  Calls.push_back("InternetConnect " + Utf8(host) + " " + std::to_string(port));
  if (session != &gSession) {
    return nullptr;
  }
  FConnections.push_back({FCrackedUrl});
  ++OpenInetHandles;
  return &FConnections.back();
}

TInetHandle FakePlatform::OpenHttpRequest(TInetHandle connection, const std::u16string& object,
                                          std::uint32_t flags) {
  Calls.push_back("HttpOpenRequest " + Utf8(object) + " " + std::to_string(flags));
  OpenUrlFlags.push_back(flags);
  FRequests.push_back({.Url = static_cast<TConnection*>(connection)->Url, .Flags = flags});
  ++OpenInetHandles;
  return &FRequests.back();
}

bool FakePlatform::SetInternetOptionNumber(TInetHandle handle, std::uint32_t option,
                                           std::uint32_t value) {
  Calls.push_back("InternetSetOption " + std::to_string(option) + " " + std::to_string(value));
  if (option == kOptionReceiveTimeout) {
    static_cast<TRequest*>(handle)->ReceiveTimeout = value;
  }
  return true;
}

bool FakePlatform::SetInternetOptionText(TInetHandle, std::uint32_t option,
                                         const std::u16string& value) {
  Calls.push_back("InternetSetOption " + std::to_string(option) + " " + Utf8(value));
  return true;
}

bool FakePlatform::QueryInternetOptionNumber(TInetHandle request, std::uint32_t option,
                                             std::uint32_t& value) {
  Calls.push_back("InternetQueryOption " + std::to_string(option));
  constexpr std::uint32_t kRequestFlags = 23;
  constexpr std::uint32_t kViaProxy = 4;
  if (option != kRequestFlags) {
    return false;
  }
  value = ResponseOf(request).ViaProxy ? kViaProxy : 0;
  return true;
}

bool FakePlatform::SendHttpRequest(TInetHandle request, const std::u16string& headers) {
  Calls.push_back("HttpSendRequest");
  TRequest& state = *static_cast<TRequest*>(request);
  SentReceiveTimeouts.push_back(state.ReceiveTimeout);
  SentHeaders.push_back(headers);
  const auto answer = Answers.find(state.Url);
  if (answer != Answers.end()) {
    state.Answer = answer->second(headers);
    return !state.Answer->OpenFails;
  }
  const auto it = Responses.find(state.Url);
  return it != Responses.end() && !it->second.OpenFails;
}

bool FakePlatform::HttpQueryInfoNumber(TInetHandle request, std::uint32_t infoLevel,
                                       std::uint32_t& value) {
  Calls.push_back("HttpQueryInfo " + std::to_string(infoLevel));
  const TRequest& state = *static_cast<TRequest*>(request);
  const TResponse& response = ResponseOf(request);
  constexpr std::uint32_t kStatusCode = 19;
  constexpr std::uint32_t kFlagNumber = 0x20000000;
  constexpr std::uint32_t kFlagNoAuth = 0x00040000;
  if (infoLevel == (kStatusCode | kFlagNumber) && !response.StatusQueryFails) {
    value = response.ProxyWantsLogon && (state.Flags & kFlagNoAuth) != 0 ? 407 : response.Status;
    return true;
  }
  return false;
}

bool FakePlatform::HttpQueryInfoText(TInetHandle request, std::uint32_t infoLevel,
                                     std::u16string& value) {
  Calls.push_back("HttpQueryInfoText " + std::to_string(infoLevel));
  const TResponse& response = ResponseOf(request);
  constexpr std::uint32_t kContentLength = 5;
  if (infoLevel == kContentLength && response.HasContentLength) {
    value = DecimalText(response.ContentLength);
    return true;
  }
  constexpr std::uint32_t kLastModified = 11;
  constexpr std::uint32_t kLocation = 33;
  constexpr std::uint32_t kContentRange = 53;
  constexpr std::uint32_t kETag = 54;
  const std::u16string* text = infoLevel == kLastModified   ? &response.LastModified
                               : infoLevel == kLocation     ? &response.Location
                               : infoLevel == kContentRange ? &response.ContentRange
                               : infoLevel == kETag         ? &response.ETag
                                                            : nullptr;
  if (text == nullptr || text->empty()) {
    return false;
  }
  value = *text;
  return true;
}

bool FakePlatform::CombineUrl(const std::u16string& base, const std::u16string& relative,
                              std::u16string& combined) {
  Calls.push_back("InternetCombineUrl " + Utf8(relative));
  if (relative.find(u"://") != std::u16string::npos) {
    combined = relative;
    return true;
  }
  const std::size_t schemeEnd = base.find(u"://");
  if (schemeEnd == std::u16string::npos) {
    return false;
  }
  const std::size_t pathStart = std::min(base.find(u'/', schemeEnd + 3), base.size());
  const std::size_t lastSlash = base.rfind(u'/');
  if (relative.starts_with(u'/')) {
    combined = base.substr(0, pathStart) + relative;
  } else if (lastSlash >= pathStart) {
    combined = base.substr(0, lastSlash + 1) + relative;
  } else {
    combined = base + u"/" + relative;
  }
  return true;
}

bool FakePlatform::InternetReadFile(TInetHandle request, void* buffer, std::uint32_t size,
                                    std::uint32_t& bytesRead) {
  Calls.push_back("InternetReadFile " + std::to_string(size));
  if (OnRead) {
    OnRead();
  }
  auto* state = static_cast<TRequest*>(request);
  const TResponse& response = ResponseOf(request);
  bytesRead = 0;
  if (state->NextBlock >= response.Blocks.size() * response.Repeat) {
    return !response.ReadFailsAtEnd;
  }
  const std::string& block = response.Blocks[state->NextBlock % response.Blocks.size()];
  bytesRead = static_cast<std::uint32_t>(std::min<std::size_t>(block.size() - state->Offset, size));
  std::memcpy(buffer, block.data() + state->Offset, bytesRead);
  state->Offset += bytesRead;
  if (state->Offset == block.size()) {
    ++state->NextBlock;
    state->Offset = 0;
  }
  return true;
}

const FakePlatform::TResponse& FakePlatform::ResponseOf(TInetHandle request) const {
  const auto* state = static_cast<const TRequest*>(request);
  return state->Answer ? *state->Answer : Responses.at(state->Url);
}

void FakePlatform::InternetCloseHandle(TInetHandle handle) {
  Calls.push_back(handle == nullptr ? "InternetCloseHandle null" : "InternetCloseHandle");
  if (handle != nullptr) {
    --OpenInetHandles;
  }
}

FakePlatform::TWindow* FakePlatform::FindWindow(TWindowHandle window) {
  const auto it = std::find_if(Windows.begin(), Windows.end(),
                               [&](const TWindow& w) { return w.Handle == window; });
  return it == Windows.end() ? nullptr : &*it;
}

void FakePlatform::EnumWindows(TEnumWindowsProc proc, void* param) {
  Calls.push_back("EnumWindows");
  if (OnEnumWindows) {
    OnEnumWindows();
  }
  const std::vector<TWindow> snapshot = Windows;
  for (const TWindow& window : snapshot) {
    if (proc(window.Handle, param) == 0) {
      break;
    }
  }
}

bool FakePlatform::IsWindowVisible(TWindowHandle window) {
  const TWindow* w = FindWindow(window);
  return w != nullptr && w->Visible;
}

TWindowHandle FakePlatform::GetWindowOwner(TWindowHandle window) {
  const TWindow* w = FindWindow(window);
  return w == nullptr ? 0 : w->Owner;
}

std::uint32_t FakePlatform::GetWindowProcessId(TWindowHandle window) {
  const TWindow* w = FindWindow(window);
  return w == nullptr ? 0 : w->ProcessId;
}

bool FakePlatform::PostWindowMessage(TWindowHandle window, std::uint32_t message,
                                     std::uintptr_t wParam, std::intptr_t lParam) {
  Calls.push_back("PostMessage " + std::to_string(window) + " " + std::to_string(message) + " " +
                  std::to_string(wParam) + " " + std::to_string(lParam));
  TWindow* w = FindWindow(window);
  if (w == nullptr) {
    return false;
  }
  if (message != kWmClose) {
    return true;
  }
  ++w->CloseRequests;
  if (w->ClosesAfter > 0 && w->CloseRequests >= w->ClosesAfter) {
    const std::uint32_t processId = w->ProcessId;
    Windows.erase(Windows.begin() + (w - Windows.data()));
    const bool hasOthers = std::any_of(Windows.begin(), Windows.end(),
                                       [&](const TWindow& o) { return o.ProcessId == processId; });
    if (!hasOthers && Processes.count(processId) != 0) {
      Processes[processId].Running = false;
    }
  }
  return true;
}

TProcessHandle FakePlatform::OpenProcess(std::uint32_t access, std::uint32_t processId) {
  Calls.push_back("OpenProcess " + std::to_string(access) + " " + std::to_string(processId));
  const auto it = Processes.find(processId);
  if (it == Processes.end()) {
    return nullptr;
  }
  const bool sync = (access & kSynchronize) != 0;
  if ((sync && (it->second.SyncOpenFails || !it->second.Running)) ||
      (!sync && it->second.QueryOpenFails)) {
    return nullptr;
  }
  FProcessHandles.push_back({processId, it->second.Instance});
  ++OpenProcessHandles;
  return &FProcessHandles.back();
}

bool FakePlatform::QueryFullProcessImagePath(TProcessHandle process, std::uint32_t capacity,
                                             std::u16string& path) {
  Calls.push_back("QueryFullProcessImageName " + std::to_string(capacity));
  const TProcess& state = Processes.at(static_cast<TProcessHandleState*>(process)->ProcessId);
  const std::u16string& image = state.KernelImagePath.value_or(state.ImagePath);
  // The function fails rather than cut a name short.
  if (state.ImageQueryFails || image.size() >= capacity) {
    return false;
  }
  path = image;
  return true;
}

bool FakePlatform::GetProcessImageName(TProcessHandle process, std::uint32_t capacity,
                                       std::u16string& path) {
  Calls.push_back("GetModuleFileNameEx " + std::to_string(capacity));
  const TProcess& state = Processes.at(static_cast<TProcessHandleState*>(process)->ProcessId);
  if (PsapiMissing || state.OtherBitness || state.ImagePath.size() >= capacity - 1) {
    return false;
  }
  path = state.ImagePath;
  return true;
}

std::uint32_t FakePlatform::WaitForSingleObject(TProcessHandle process,
                                                std::uint32_t milliseconds) {
  const TProcessHandleState& handle = *static_cast<TProcessHandleState*>(process);
  Calls.push_back("WaitForSingleObject " + std::to_string(handle.ProcessId) + " " +
                  std::to_string(milliseconds));
  Waits.push_back(milliseconds);
  TProcess& waited = Processes.at(handle.ProcessId);
  if (waited.Instance != handle.Instance) {
    return kWaitObject0;
  }
  if (waited.EndsInWait) {
    waited.Running = false;
  }
  return waited.Running ? kWaitTimeout : kWaitObject0;
}

void FakePlatform::CloseHandle(TProcessHandle process) {
  Calls.push_back("CloseHandle");
  if (process != nullptr) {
    --OpenProcessHandles;
  }
}

int FakePlatform::FileOperation(TShellFileOp& operation) {
  Calls.push_back("SHFileOperation");
  FileOperations.push_back(operation);
  operation.AnyOperationsAborted = FileOperationAborts;
  return FileOperationResult;
}

void FakePlatform::ShellExecuteFile(const std::u16string& verb, const std::u16string& file,
                                    const std::u16string& directory, int showCommand) {
  Calls.push_back("ShellExecute " + Utf8(file));
  Executes.push_back({verb, file, directory, showCommand});
}

bool FakePlatform::SetEnvironmentValue(const std::u16string& name, const std::u16string& value) {
  Calls.push_back("SetEnvironmentVariable " + Utf8(name) + "=" + Utf8(value));
  Environment[UpperCase(name)] = value;
  return true;
}

std::uint32_t FakePlatform::ExpandEnvironment(const std::u16string& source, std::uint32_t capacity,
                                              std::u16string& expanded) {
  Calls.push_back("ExpandEnvironmentStrings " + Utf8(source));
  std::u16string result;
  std::size_t i = 0;
  while (i < source.size()) {
    const std::size_t open = source.find(u'%', i);
    const std::size_t close = open == std::u16string::npos ? open : source.find(u'%', open + 1);
    if (close == std::u16string::npos) {
      result += source.substr(i);
      break;
    }
    result += source.substr(i, open - i);
    const auto it = Environment.find(UpperCase(source.substr(open + 1, close - open - 1)));
    if (it != Environment.end()) {
      result += it->second;
      i = close + 1;
    } else {
      result += source.substr(open, close - open);
      i = close;
    }
  }
  const auto length = static_cast<std::uint32_t>(result.size() + 1);
  if (length <= capacity) {
    expanded = result;
  }
  return length;
}

void FakePlatform::Sleep(std::uint32_t milliseconds) {
  Calls.push_back("Sleep " + std::to_string(milliseconds));
  Sleeps.push_back(milliseconds);
}

std::u16string FakePlatform::ModuleFileName() {
  return ModulePath;
}

std::ptrdiff_t FakePlatform::CallCount(const std::string& call) const {
  return std::count(Calls.begin(), Calls.end(), call);
}

FakePlatform::TWindow& FakePlatform::AddWindow(TWindowHandle handle, std::uint32_t processId,
                                               const std::u16string& image) {
  Processes[processId].ImagePath = image;
  TWindow window;
  window.Handle = handle;
  window.ProcessId = processId;
  Windows.push_back(window);
  return Windows.back();
}

std::u16string DecodedStdOut(const FakePlatform& platform) {
  return DecodeCodePage(platform.StdOut, 932);
}

}  // namespace zelkupd::test
