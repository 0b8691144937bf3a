// A scripted Platform for the unit tests: every call is recorded in Calls, and the answers come
// from the public fields a test sets up (message box answers, HTTP responses, windows and
// processes, environment, module path).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zelkupd::test {

class FakePlatform : public Platform {
 public:
  // --- Console ---
  std::uint32_t OutputType = kFileTypeDisk;
  std::uint32_t ConsoleCodePage = 932;
  std::uint32_t FailWritesWith = 0;       // an error code that every WriteStdOutput returns
  std::string StdOut;                     // every byte written to the standard output
  std::vector<std::string> StdOutWrites;  // each WriteStdOutput call's bytes
  std::string StdErr;

  // --- Message boxes ---
  struct TBox {
    std::u16string Text;
    std::u16string Caption;
    std::uint32_t Style;
  };
  std::deque<int> BoxAnswers;  // answered in order; kIdOk when none is left
  std::vector<TBox> Boxes;

  // --- Internet ---
  struct TResponse {
    bool OpenFails = false;  // the request cannot be sent (no connection, say)
    bool StatusQueryFails = false;
    std::uint32_t Status = 200;
    std::u16string Location{};          // the Location header; empty: none
    std::vector<std::string> Blocks{};  // what each InternetReadFile delivers, in order
    std::size_t Repeat = 1;             // the blocks come this many times over: large bodies
    bool ReadFailsAtEnd = false;  // after the blocks a read fails instead of returning 0 bytes
    bool HasContentLength = false;
    std::uint64_t ContentLength = 0;
    bool ViaProxy = false;  // the request goes through the system's proxy
    // The proxy wants a logon: a request that does not let WinINet answer it (NO_AUTH) gets 407.
    bool ProxyWantsLogon = false;
    // The Content-Range, ETag and Last-Modified headers; empty: none.
    std::u16string ContentRange{};
    std::u16string ETag{};
    std::u16string LastModified{};
  };
  bool SessionFails = false;
  std::map<std::u16string, TResponse> Responses;  // by URL; an unknown URL cannot be sent
  // A server that answers each request by what it asks, for the URLs it is set for (Responses is
  // then not looked at): called with the request's extra headers as it is sent.
  std::map<std::u16string, std::function<TResponse(const std::u16string& headers)>> Answers;
  std::vector<std::u16string> OpenedUrls;   // every URL a request was begun for (cracked)
  std::vector<std::uint32_t> OpenUrlFlags;  // the flags each request was opened with
  // The receive timeout (INTERNET_OPTION_RECEIVE_TIMEOUT) each request had when it was sent; 0
  // when none was set.
  std::vector<std::uint32_t> SentReceiveTimeouts;
  std::vector<std::u16string> SentHeaders;  // the extra headers of each request sent
  int OpenInetHandles = 0;                  // handles opened and not yet closed
  std::function<void()> OnRead;  // called at the start of every InternetReadFile, when set

  // --- Windows and processes ---
  struct TWindow {
    TWindowHandle Handle = 0;
    std::uint32_t ProcessId = 0;
    bool Visible = true;
    TWindowHandle Owner = 0;
    int ClosesAfter = 1;  // WM_CLOSE requests until it closes; 0 never
    int CloseRequests = 0;
  };
  struct TProcess {
    std::u16string ImagePath;  // the name in the module list (GetModuleFileNameEx)
    // The kernel's name (QueryFullProcessImageName) where it differs from ImagePath: the kernel
    // resolves a substituted drive, while the module list keeps the name it was started by.
    std::optional<std::u16string> KernelImagePath{};
    bool ImageQueryFails = false;  // QueryFullProcessImageName fails
    bool OtherBitness = false;    // a 64-bit process, whose module list a 32-bit caller cannot read
    bool QueryOpenFails = false;  // OpenProcess for the image path fails
    bool SyncOpenFails = false;   // OpenProcess with SYNCHRONIZE fails
    bool Running = true;
    bool EndsInWait = false;  // a running process that ends during the first wait on it
    // Which process holds the id: a test that gives the id to a new process raises it, and the
    // handles opened to the old one then wait for the old one, which has ended.
    int Instance = 0;
  };
  std::vector<TWindow> Windows;         // in EnumWindows order
  std::function<void()> OnEnumWindows;  // called at the start of every EnumWindows, when set
  std::map<std::uint32_t, TProcess> Processes;
  bool PsapiMissing = false;
  std::vector<std::uint32_t> Waits;  // the timeout of each WaitForSingleObject
  int OpenProcessHandles = 0;

  // --- Shell ---
  int FileOperationResult = 0;
  bool FileOperationAborts = false;
  std::vector<TShellFileOp> FileOperations;
  struct TExecute {
    std::u16string Verb;
    std::u16string File;
    std::u16string Directory;
    int Show;
  };
  std::vector<TExecute> Executes;

  // --- Environment, time, module ---
  std::map<std::u16string, std::u16string> Environment;
  std::vector<std::uint32_t> Sleeps;
  std::u16string ModulePath = u"C:\\ZELK\\zelkupd.exe";

  // Every call in order, for the tests of sequences ("Sleep 100", "MessageBox 291", ...).
  std::vector<std::string> Calls;
  // How many times exactly this call was made.
  std::ptrdiff_t CallCount(const std::string& call) const;

  // A window of its own process running `image`: visible, unowned, closing on the first WM_CLOSE.
  TWindow& AddWindow(TWindowHandle handle, std::uint32_t processId, const std::u16string& image);

  // Platform
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
  // A model of InternetCombineUrlW's taking of a link: an absolute URL stands alone, "/..." takes
  // the base's scheme and host, anything else the base's folder; "." and ".." are left as they are.
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
  // A connection stands for the URL cracked last, which the request opened on it asks for.
  struct TConnection {
    std::u16string Url;
  };
  struct TRequest {
    std::u16string Url;
    std::uint32_t Flags = 0;
    std::uint32_t ReceiveTimeout = 0;
    std::size_t NextBlock = 0;          // counted over every repeat of the blocks
    std::size_t Offset = 0;             // what a short read left of that block
    std::optional<TResponse> Answer{};  // what Answers gave it, when they are set for its URL
  };
  struct TProcessHandleState {
    std::uint32_t ProcessId;
    int Instance;
  };
  TWindow* FindWindow(TWindowHandle window);
  const TResponse& ResponseOf(TInetHandle request) const;
  std::u16string FCrackedUrl;
  std::deque<TConnection> FConnections;  // stable addresses: handles point at them
  std::deque<TRequest> FRequests;
  std::deque<TProcessHandleState> FProcessHandles;
};

// The standard output decoded from code page 932, for readable assertions.
std::u16string DecodedStdOut(const FakePlatform& platform);

}  // namespace zelkupd::test
