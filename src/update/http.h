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

// Writes TargetUrl into the file ArchivePath (archive_download.cpp); sets Downloaded only when
// the status was 200 and the transfer was complete: no read failed and no fewer bytes arrived than
// the Content-Length the server announced (read in full; without one, the end of the data is the
// end), and no more than the largest archive the ZIP reader takes (4 GiB - 1), which an answer
// that announces more is refused at before any byte is read. A broken or overlong transfer prints
// "取得出来ませんでした.", a file that cannot be created, written or moved into place
// "ローカルディスクに書き込みが出来ません.", a volume without room for the announced length
// "ローカルディスクの空き容量が足りません. (N バイト必要です)"; ArchivePath is then left as it
// was. When signatures are required, the archive is hashed whole and, once complete, checked
// against TargetUrl + ".sig" (read the same way; only a 200 answer counts) before it takes its
// name: a failed check leaves ArchivePath as it was too.
//
// The transfer goes to a part file beside the archive, ReplacementFileName(ArchivePath), which is
// moved over ArchivePath only once it is complete. A transfer that breaks off after some bytes of
// a body with a validator (ETag, else Last-Modified) and a length is asked for again from where it
// stopped, up to five times 3 s apart ("取得が途切れました. 続きを取得します. (n)"), and only a
// 206 with the exact rest of the same body continues it ("最初から取得し直します." when a 200
// starts it over). A run that ends with such a part keeps it with its record
// (download_part.h), and the next download of the same URL goes on from it
// ("前回の続きから取得します."). Every other part file and record in the download folder is
// reclaimed at the start of a download.
void DownloadArchive(TRunContext& ctx);

// Closes hInternet (also when there is none).
void CloseInternet(TRunContext& ctx);

}  // namespace zelkupd
