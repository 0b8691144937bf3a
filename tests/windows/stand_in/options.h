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

// How a file is replaced at the first close request: another file moved over it, or its bytes
// copied into it.
enum class TReplaceBy { Move, Copy };

struct TStandInOptions {
  TWindowMode Window = TWindowMode::Close;
  DWORD CloseDelayMs = 0;
  // Mode close: how long the process lives on once its window is gone, still holding its lock.
  DWORD LingerMs = 0;
  std::wstring LockPath;  // a file to hold open for the whole life; empty: none
  TLockShare LockShare = TLockShare::None;
  // Held with write access as well, as by a program in the middle of saving the file.
  bool LockForWriting = false;
  std::wstring ReplacePath;  // a file to replace at the first close request; empty: none
  std::wstring ReplaceWith;  // the file that replaces it
  TReplaceBy ReplaceBy = TReplaceBy::Move;
  DWORD LifetimeMs = 60000;  // ends by itself after this, whatever else happens
  std::wstring LogPath;      // empty: logs nothing
  std::wstring QuitPath;     // empty: only the lifetime ends it
  std::wstring Problems;     // options that could not be understood, for the log
};

// Keys of the side file ("key=value" lines, UTF-8, '#' starts a comment) and options of the
// command line ("--key value", with '-' for '_'), the latter winning: window, close_delay_ms,
// linger_ms, lock, share (none or read), access (read or write), replace, replace_with,
// replace_by (move or copy), lifetime_ms.
TStandInOptions LoadOptions();

const wchar_t* WindowModeName(TWindowMode mode);

}  // namespace zelkupd::test
