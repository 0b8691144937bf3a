// HTTP retrieval through WinINet: the run's Internet session, the release page into memory and
// the archive into its file, with the progress lines and marks.
#pragma once

#include "update/run_context.h"

namespace zelkupd {

// Opens the root Internet handle into hInternet; false when there is none.
bool OpenInternet(TRunContext& ctx);

// Reads TargetUrl into PageText (empty when nothing was read).
void FetchPage(TRunContext& ctx);

// Writes TargetUrl into the file ArchivePath; sets Downloaded when the transfer ran to its end.
void DownloadArchive(TRunContext& ctx);

// Closes hInternet (also when there is none).
void CloseInternet(TRunContext& ctx);

}  // namespace zelkupd
