// The window probe: lists the top-level windows of one process as the updater's window search
// sees them, and can post WM_CLOSE to the ones that search would close (visible, no owner), so
// tests can check how a stand-in program presents itself and answers a close request.
//
//   window-probe --record LOG --pid N [--close yes]
//
// LOG receives one "window" record per top-level window (hwnd, class, title, visible, owned,
// closed) and a final "end" record with their count.
#include <windows.h>

#include <string>
#include <vector>

#include "common/arguments.h"
#include "common/record_file.h"

namespace {

struct TSearch {
  DWORD ProcessId;
  std::vector<HWND> Windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<TSearch*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner == search->ProcessId) {
    search->Windows.push_back(window);
  }
  return TRUE;
}

// Neither call sends the window a message, so a hung program cannot block the probe.
std::wstring ClassName(HWND window) {
  std::wstring name(256, L'\0');
  name.resize(static_cast<std::size_t>(::GetClassNameW(window, name.data(), 256)));
  return name;
}

std::wstring Title(HWND window) {
  std::wstring title(1024, L'\0');
  title.resize(static_cast<std::size_t>(::GetWindowTextW(window, title.data(), 1024)));
  return title;
}

}  // namespace

int wmain() {
  using namespace zelkupd::test;
  const std::vector<std::wstring> arguments = CommandLineArguments();
  std::wstring recordPath;
  DWORD processId = 0;
  bool close = false;
  for (std::size_t i = 0; i + 1 < arguments.size(); i += 2) {
    if (arguments[i] == L"--record") {
      recordPath = arguments[i + 1];
    } else if (arguments[i] == L"--pid") {
      processId = static_cast<DWORD>(ParseNumber(arguments[i + 1], 0));
    } else if (arguments[i] == L"--close") {
      close = arguments[i + 1] == L"yes";
    }
  }
  const TRecordFile record(recordPath);
  if (processId == 0) {
    record.Append(TJsonLine("failure").Add("message", L"no --pid given"));
    return 2;
  }
  TSearch search{processId, {}};
  ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
  for (HWND window : search.Windows) {
    const bool visible = ::IsWindowVisible(window) != FALSE;
    const bool owned = ::GetWindow(window, GW_OWNER) != nullptr;
    const bool closed = close && visible && !owned;
    if (closed) {
      ::PostMessageW(window, WM_CLOSE, 0, 0);
    }
    record.Append(
        TJsonLine("window")
            .Add("hwnd", static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(window)))
            .Add("class", ClassName(window))
            .Add("title", Title(window))
            .AddBool("visible", visible)
            .AddBool("owned", owned)
            .AddBool("closed", closed));
  }
  record.Append(TJsonLine("end").Add("windows", static_cast<std::int64_t>(search.Windows.size())));
  return 0;
}
