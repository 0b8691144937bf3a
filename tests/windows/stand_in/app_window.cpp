#include "stand_in/app_window.h"

#include <string>

#include "stand_in/file_replace.h"

namespace zelkupd::test {
namespace {

constexpr wchar_t kAppClass[] = L"ZelkStandIn";
constexpr wchar_t kControlClass[] = L"ZelkStandInControl";
constexpr UINT_PTR kWatchTimer = 1;
constexpr UINT_PTR kCloseTimer = 2;
constexpr UINT_PTR kLingerTimer = 3;
constexpr UINT kWatchMs = 100;

// One stand-in per process, so its state can live here for the window procedures.
struct TStandIn {
  const TStandInOptions* Options = nullptr;
  const TRecordFile* Log = nullptr;
  HWND hControl = nullptr;
  HWND hMain = nullptr;   // the top-level window of the mode; null in mode none
  HWND hOwned = nullptr;  // mode owned: the visible window that hMain owns
  ULONGLONG Deadline = 0;
  int CloseRequests = 0;
  bool ClosePending = false;  // the close delay runs from the first request, not the last
  bool Ending = false;
};
TStandIn gStandIn;

void End(const wchar_t* reason) {
  if (gStandIn.Ending) {
    return;
  }
  gStandIn.Ending = true;
  gStandIn.Log->Append(TJsonLine("exit").Add("reason", reason));
  ::PostQuitMessage(0);
}

// The window goes now; with a linger time the process, and any lock it holds, stays a while
// longer, as a program that still tidies up after its window has gone.
void CloseAppWindow() {
  if (gStandIn.Options->LingerMs == 0) {
    End(L"closed");
    return;
  }
  ::DestroyWindow(gStandIn.hMain);
  gStandIn.Log->Append(TJsonLine("window_closed"));
  ::SetTimer(gStandIn.hControl, kLingerTimer, gStandIn.Options->LingerMs, nullptr);
}

bool QuitFileExists() {
  return !gStandIn.Options->QuitPath.empty() &&
         ::GetFileAttributesW(gStandIn.Options->QuitPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

LRESULT CALLBACK AppWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      gStandIn.Log->Append(TJsonLine("close_requested")
                               .Add("count", ++gStandIn.CloseRequests)
                               .AddBool("owned_window", window == gStandIn.hOwned));
      if (gStandIn.CloseRequests == 1) {
        ReplaceFile(*gStandIn.Options, *gStandIn.Log);
      }
      if (gStandIn.Options->Window == TWindowMode::Refuse) {
        return 0;
      }
      if (gStandIn.Options->CloseDelayMs > 0) {
        if (!gStandIn.ClosePending) {
          gStandIn.ClosePending = true;
          ::SetTimer(gStandIn.hControl, kCloseTimer, gStandIn.Options->CloseDelayMs, nullptr);
        }
      } else {
        CloseAppWindow();
      }
      return 0;
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

LRESULT CALLBACK ControlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_TIMER) {
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  if (wParam == kCloseTimer) {
    ::KillTimer(window, kCloseTimer);
    CloseAppWindow();
  } else if (wParam == kLingerTimer) {
    ::KillTimer(window, kLingerTimer);
    End(L"closed");
  } else if (QuitFileExists()) {
    End(L"quit");
  } else if (::GetTickCount64() >= gStandIn.Deadline) {
    End(L"lifetime");
  }
  return 0;
}

HWND CreateAppWindow(HINSTANCE instance, HWND owner, const wchar_t* title) {
  return ::CreateWindowExW(0, kAppClass, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                           320, 200, owner, nullptr, instance, nullptr);
}

void CreateModeWindows(HINSTANCE instance) {
  switch (gStandIn.Options->Window) {
    case TWindowMode::Close:
    case TWindowMode::Refuse:
      gStandIn.hMain = CreateAppWindow(instance, nullptr, L"ZELK stand-in");
      ::ShowWindow(gStandIn.hMain, SW_SHOWNORMAL);
      break;
    case TWindowMode::Hidden:
      gStandIn.hMain = CreateAppWindow(instance, nullptr, L"ZELK stand-in (hidden)");
      break;
    case TWindowMode::Owned:
      gStandIn.hMain = CreateAppWindow(instance, nullptr, L"ZELK stand-in (owner)");
      gStandIn.hOwned = CreateAppWindow(instance, gStandIn.hMain, L"ZELK stand-in (owned)");
      ::ShowWindow(gStandIn.hOwned, SW_SHOWNORMAL);
      break;
    case TWindowMode::None:
      break;
  }
}

void LogReady() {
  TJsonLine record("ready");
  record.Add("pid", static_cast<std::int64_t>(::GetCurrentProcessId()));
  HWND shown = gStandIn.hOwned != nullptr ? gStandIn.hOwned : gStandIn.hMain;
  if (shown == nullptr) {
    record.AddNull("hwnd");
  } else {
    record.Add("hwnd", static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(shown)))
        .AddBool("visible", ::IsWindowVisible(shown) != FALSE)
        .AddBool("owned", ::GetWindow(shown, GW_OWNER) != nullptr);
  }
  gStandIn.Log->Append(record);
}

}  // namespace

int RunStandIn(HINSTANCE instance, const TStandInOptions& options, const TRecordFile& log) {
  gStandIn.Options = &options;
  gStandIn.Log = &log;
  gStandIn.Deadline = ::GetTickCount64() + options.LifetimeMs;

  WNDCLASSW appClass{};
  appClass.lpfnWndProc = AppWindowProc;
  appClass.hInstance = instance;
  appClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  appClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  appClass.lpszClassName = kAppClass;
  WNDCLASSW controlClass{};
  controlClass.lpfnWndProc = ControlWindowProc;
  controlClass.hInstance = instance;
  controlClass.lpszClassName = kControlClass;
  ::RegisterClassW(&appClass);
  ::RegisterClassW(&controlClass);

  // A message-only window: EnumWindows never lists it, so it cannot be taken for ZELK's own.
  gStandIn.hControl = ::CreateWindowExW(0, kControlClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        instance, nullptr);
  ::SetTimer(gStandIn.hControl, kWatchTimer, kWatchMs, nullptr);
  CreateModeWindows(instance);
  LogReady();

  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return 0;
}

}  // namespace zelkupd::test
