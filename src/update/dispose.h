// What becomes of the archive after installation (deleted, recycled or kept, as DELETE says) and
// the start of ZELK at the end of the run.
#pragma once

#include "update/run_context.h"

namespace zelkupd {

// Prints "ダウンロードしたアーカイブは" and what DeleteMode will do, as one line.
void AnnounceDisposal(TRunContext& ctx);

// Deletes (1), recycles (2) or keeps (anything else) the archive at ArchivePath. A failed recycle
// that the user did not cancel is reported with its line and the end notice.
void DisposeArchive(TRunContext& ctx);

// Prints "ゼルク を起動..." and starts ProgramDir + "ZELK.EXE", not waiting for it.
void LaunchApplication(TRunContext& ctx);

}  // namespace zelkupd
