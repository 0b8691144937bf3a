// Closing the running ZELK programs before extraction: their windows are found by executable
// path and asked to close with WM_CLOSE, then their processes are waited for. Never by force.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "update/run_context.h"

namespace zelkupd {

// The search record of one window enumeration. The enumeration callback's only channel is its
// parameter, so the record also carries the platform it asks about each window.
struct THWndRec {
  TWindowHandle hWin = 0;   // the first matching window; 0 while none is found
  std::u16string Filename;  // the executable path searched for
  Platform* System = nullptr;
};

// The two names of the executable of a window's process, each empty when it cannot be read.
struct TWindowExeNames {
  std::u16string Kernel;  // QueryFullProcessImageNameW: read across bitness
  std::u16string Module;  // GetModuleFileNameExW: the name the process was started by
};

// Both names of the executable of the window's process, read through one process handle.
TWindowExeNames GetWindowExeNames(Platform& system, TWindowHandle window);

// The EnumWindows callback over a THWndRec: skips hidden and owned windows, stops (0) at the
// first window either of whose executable names equals Filename when both are upper-cased. The
// kernel's name is what finds a 64-bit ZELK from the 32-bit updater; the module list's keeps
// finding a ZELK of the updater's bitness started from a substituted drive or by a short name, as
// the updater was. A 64-bit ZELK started so is not found by the 32-bit updater: only the kernel's
// resolved name can be read of it.
int EnumAppWindowProc(TWindowHandle window, void* record);

// The first matching window in EnumWindows order, or 0; an empty path matches nothing.
TWindowHandle FindAppWindow(Platform& system, const std::u16string& exePath);

// Records the process in the slot (0 to 19) and opens it for waiting at once. While the handle is
// held its id cannot pass to another process, so the final wait waits for this one however long
// the close takes; a process that cannot be opened counts as ended. Id 0 records no process.
void RecordProcess(TRunContext& ctx, std::size_t slot, std::uint32_t processId);

// Asks the first visible, unowned window of the executable to close; records its process in
// slot 0..19, or waits up to 2000 ms for it for a larger slot (a negative one does neither).
// Either way the process is opened before the request, so the wait is for it and not for a
// process that its id has passed to. False when no window was found; slots from `slot` to 19 are
// then emptied.
bool CloseAppWindows(TRunContext& ctx, const std::u16string& exePath, std::int32_t slot);

// Waits up to 3000 ms for each recorded process and lets its handle go; false when a wait timed
// out. The recorded ids stay.
bool WaitForClosedApps(TRunContext& ctx);

}  // namespace zelkupd
