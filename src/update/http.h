// HTTP retrieval through WinINet: the run's Internet session, the release page into memory and
// the archive into its file, with the progress lines and marks. Every request is made as
// http_request.h says: a server that fails the certificate check, goes silent, redirects https to
// http or redirects more than ten times is simply not obtained.
#pragma once

#include "update/run_context.h"

namespace zelkupd {

// Opens the root Internet handle into hInternet; false when there is none.
bool OpenInternet(TRunContext& ctx);

// Reads TargetUrl into PageText (empty when nothing was read), no more than its first MiB. The
// HTTP status is not looked at beyond the redirects followed: an error page is read as text too.
void FetchPage(TRunContext& ctx);

// Writes TargetUrl into the file ArchivePath; sets Downloaded only when the status was 200 and
// the transfer was complete: no read failed and no fewer bytes arrived than the Content-Length
// the server announced (without one, the end of the data is the end), and no more than the largest
// archive the ZIP reader takes (4 GiB - 1). A broken or overlong transfer prints
// "取得出来ませんでした.", a file that cannot be created, written or moved into place
// "ローカルディスクに書き込みが出来ません."; ArchivePath is then left as it was. When signatures
// are required, the archive is hashed as it arrives and, once complete, checked against
// TargetUrl + ".sig" (read the same way; only a 200 answer counts) before it takes its name: a
// failed check leaves ArchivePath as it was too.
//
// The transfer goes to a part file beside the archive, ReplacementFileName(ArchivePath), which is
// moved over ArchivePath only once it is complete, so a broken transfer never replaces an earlier
// complete file of that name and never leaves a truncated archive to be offered again. No path
// leaves the part file behind, and a part file that a killed run left is reclaimed.
void DownloadArchive(TRunContext& ctx);

// Closes hInternet (also when there is none).
void CloseInternet(TRunContext& ctx);

}  // namespace zelkupd
