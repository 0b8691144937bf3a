// At its first close request, a stand-in can replace a file with another through the calls any
// Windows program uses, as one that saves or updates a file just as it is asked to close: moving
// the other over it, or copying the other's bytes into it.
#pragma once

#include "common/record_file.h"
#include "stand_in/options.h"

namespace zelkupd::test {

// Does the replacement the options ask for, if any, and logs "replaced" or "replace_failed" with
// the system error.
void ReplaceFile(const TStandInOptions& options, const TRecordFile& log);

}  // namespace zelkupd::test
