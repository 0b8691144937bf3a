// What the stand-in does, from its side file and its command line. The side folder is named by
// the environment variable ZELK_STAND_IN_DIR, which the program under test passes on to the
// programs it starts: there a copy named NAME.EXE reads NAME.ini, logs to NAME.log, and every
// copy ends when a file named "quit" appears.
#pragma once

#include <windows.h>

#include <string>

namespace zelkupd::test {

enum class TWindowMode {
  Close,   // a visible top-level window that closes on WM_CLOSE (after CloseDelayMs)
  Refuse,  // a visible top-level window that ignores WM_CLOSE
  Hidden,  // a top-level window that is never shown
  Owned,   // a visible window owned by a hidden one
  None,    // no window at all
};

enum class TLockShare { None, Read };

struct TStandInOptions {
  TWindowMode Window = TWindowMode::Close;
  DWORD CloseDelayMs = 0;
  std::wstring LockPath;  // a file to hold open for the whole life; empty: none
  TLockShare LockShare = TLockShare::None;
  DWORD LifetimeMs = 60000;  // ends by itself after this, whatever else happens
  std::wstring LogPath;      // empty: logs nothing
  std::wstring QuitPath;     // empty: only the lifetime ends it
  std::wstring Problems;     // options that could not be understood, for the log
};

// Keys of the side file ("key=value" lines, UTF-8, '#' starts a comment) and options of the
// command line ("--key value", with '-' for '_'), the latter winning: window, close_delay_ms,
// lock, share (none or read), lifetime_ms.
TStandInOptions LoadOptions();

const wchar_t* WindowModeName(TWindowMode mode);

}  // namespace zelkupd::test
