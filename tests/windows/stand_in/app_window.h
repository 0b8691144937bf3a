// The stand-in's windows and message loop: the top-level window of the chosen mode, and a
// message-only window whose timer ends the program when the quit file appears or the lifetime
// is over.
#pragma once

#include <windows.h>

#include "common/record_file.h"
#include "stand_in/options.h"

namespace zelkupd::test {

// Runs until the program is closed, told to quit, or out of time; returns the exit code.
int RunStandIn(HINSTANCE instance, const TStandInOptions& options, const TRecordFile& log);

}  // namespace zelkupd::test
