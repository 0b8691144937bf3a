// Holds one existing file open for the stand-in's whole life, sharing it with nobody or with
// readers only, so that another program's attempt to replace or rewrite it fails.
#pragma once

#include "common/record_file.h"
#include "runtime/win32/scoped_handle.h"
#include "stand_in/options.h"

namespace zelkupd::test {

// Logs "locked" or "lock_failed" with the system error; the handle is invalid on failure.
TScopedFileHandle HoldFile(const TStandInOptions& options, const TRecordFile& log);

}  // namespace zelkupd::test
