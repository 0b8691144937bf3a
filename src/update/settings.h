// The updater's settings: PREV_FILE, DOWN_PATH and DELETE of section ZELK in the INI file named
// after the executable.
#pragma once

#include "update/run_context.h"

namespace zelkupd {

// Fills PrevFile, DownPath (unquoted) and DeleteMode. A settings file that exists but cannot be
// read raises its store's open error.
void ReadSettings(TRunContext& ctx);

// Records NewFile as PREV_FILE when it is not empty. Raises the store's errors.
void WriteSettings(TRunContext& ctx);

}  // namespace zelkupd
