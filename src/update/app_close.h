// Closing the running ZELK programs before extraction: their windows are found by executable
// path and asked to close with WM_CLOSE, then their processes are waited for. Never by force.
#pragma once

#include <cstdint>
#include <string>

#include "update/run_context.h"

namespace zelkupd {

// Asks the first visible, unowned window of the executable to close; records its process in
// slot 0..19, or waits up to 2000 ms for it for a larger slot. False when no window was found.
bool CloseAppWindows(TRunContext& ctx, const std::u16string& exePath, std::int32_t slot);

// Waits up to 3000 ms for each recorded process; false when a wait timed out.
bool WaitForClosedApps(TRunContext& ctx);

}  // namespace zelkupd
