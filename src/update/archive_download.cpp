#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "runtime/crypto.h"
#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/replacement_file.h"
#include "runtime/stream.h"
#include "runtime/text.h"
#include "update/dialogs.h"
#include "update/download_part.h"
#include "update/http.h"
#include "update/http_range.h"
#include "update/http_request.h"
#include "update/release_signature.h"
#include "update/signature_der.h"
#include "update/verified_copy.h"

namespace zelkupd {
namespace {

// The largest archive the ZIP reader takes: its offsets and sizes are 32 bits. A body announced
// or running past it cannot be a release, and would otherwise fill the disk.
constexpr std::uint64_t kMaxArchiveSize = 0xFFFFFFFF;
constexpr std::uint32_t kStatusOk = 200;
constexpr std::uint32_t kStatusPartial = 206;
// A transfer that breaks off is asked for again this often at most, after this pause: enough to
// ride out a line that drops now and then, few enough that a dead server ends the run within half
// a minute of its last bytes.
constexpr int kMaxContinuations = 5;
constexpr std::uint32_t kContinuationPauseMs = 3000;

// The download under way: its part file and, when signatures are required, the hash of every byte
// of the archive and the copy that will be installed (verified_copy.h), both of the whole file
// from its first byte. Validator is empty while the body could not be asked for again.
struct TDownload {
  std::optional<TReplacementFile> Part;
  std::optional<TSha256> Hash;
  std::unique_ptr<TFileStream> Copy;
  std::u16string Validator;
  std::uint64_t Total = 0;
  std::uint64_t Have = 0;  // the bytes in the part file
};

enum class TAttempt {
  Complete,
  Broken,  // some bytes may be missing still, and the rest may be asked for
  Failed,  // printed; nothing more is asked
};

// True when the part file can be gone on from: it holds some of a body that has a validator, and
// some is still to come. A part that holds every byte although its last read failed is not: there
// is no rest to ask for (a server answers such a Range with 416), and no later run takes it up.
bool CanContinue(const TDownload& d) {
  return !d.Validator.empty() && d.Have > 0 && d.Have < d.Total;
}

// Lets go of the part file: kept with its record for a later run when its bytes can be gone on
// from, else removed with its record. The copy goes too.
void LetGo(TRunContext& ctx, TDownload& d) {
  d.Copy.reset();
  if (!d.Part) {
    return;
  }
  if (CanContinue(d)) {
    d.Part->Keep();
  } else {
    d.Part.reset();
    RemoveResumeRecord(ctx.State.ArchivePath);
  }
  d.Part.reset();
}

// Drops whatever was had of the body, file and record, to begin it anew. A part file that another
// run still writes cannot go, and keeps its record for that run.
void Discard(TRunContext& ctx, TDownload& d) {
  d.Copy.reset();
  d.Hash.reset();
  d.Part.reset();
  const std::u16string part = ReplacementFileName(ctx.State.ArchivePath);
  if (RemoveFile(part) || !FileExists(part)) {
    RemoveResumeRecord(ctx.State.ArchivePath);
  }
  d.Validator.clear();
  d.Have = 0;
  d.Total = 0;
}

// True when the volumes take what is still to come: the rest of the part file in the download
// folder and, when signatures are required, the whole copy beside the installation (the two
// counted together where the folders are one). A volume whose room the system cannot tell is
// taken to have it. Otherwise prints what is needed.
bool RoomFor(TRunContext& ctx, const TDownload& d) {
  const TUpdateState& s = ctx.State;
  const std::uint64_t part = d.Total - d.Have;
  const std::uint64_t copy = SignaturesRequired(ctx) && !d.Copy ? d.Total : 0;
  const bool oneFolder = UpperCase(s.DownloadDir) == UpperCase(s.ProgramDir);
  const std::pair<const std::u16string*, std::uint64_t> needs[] = {
      {&s.DownloadDir, oneFolder ? part + copy : part}, {&s.ProgramDir, oneFolder ? 0 : copy}};
  for (const auto& [folder, needed] : needs) {
    std::uint64_t available = 0;
    if (needed > 0 && FreeDiskSpace(*folder, available) && available < needed) {
      ctx.Console.PrintLine(u"ローカルディスクの空き容量が足りません. (" + DecimalText(needed) +
                            u" バイト必要です)");
      return false;
    }
  }
  return true;
}

// Makes the verified copy and the hash of the bytes already in the part file, read back from its
// start, so that both cover the archive whole. False, the part file kept, when the copy cannot be
// made or the part not read.
bool CopyBack(TDownload& d, TRunContext& ctx, char* buffer) {
  try {
    d.Hash.emplace();
    d.Copy = CreateVerifiedCopy(ctx.State.ProgramDir);
    TFileStream part(ReplacementFileName(ctx.State.ArchivePath), kOpenReadShareRead);
    for (std::uint64_t done = 0; done < d.Have;) {
      const auto count =
          static_cast<std::size_t>(std::min<std::uint64_t>(kReadBlockSize, d.Have - done));
      part.ReadBuffer(buffer, count);
      d.Copy->WriteBuffer(buffer, count);
      d.Hash->Update(buffer, count);
      done += count;
    }
    return true;
  } catch (const Exception&) {
    d.Copy.reset();
    d.Hash.reset();
    return false;
  }
}

// The first answer's validator, when it has one that can be sent back and a length to go by.
std::u16string ValidatorOf(const THttpRequest& request) {
  if (!request.ContentLength()) {
    return {};
  }
  for (const std::uint32_t level : {kQueryETag, kQueryLastModified}) {
    const auto text = request.Header(level);
    if (text && IsValidatorText(*text)) {
      return *text;
    }
  }
  return {};
}

// Takes a 200 answer: the body from its start into a new part file, its record written when it
// can be continued.
bool BeginBody(TRunContext& ctx, TDownload& d, const THttpRequest& request) {
  Discard(ctx, d);
  if (!request.AnnouncedWithin(kMaxArchiveSize)) {
    ReportNotObtained(ctx);
    return false;
  }
  d.Total = request.ContentLength().value_or(0);
  if (!RoomFor(ctx, d)) {
    return false;
  }
  try {
    d.Part.emplace(ctx.State.ArchivePath);
    if (SignaturesRequired(ctx)) {
      d.Hash.emplace();
      d.Copy = CreateVerifiedCopy(ctx.State.ProgramDir);
    }
  } catch (const EFCreateError&) {
    ReportCannotWrite(ctx);
    return false;
  }
  d.Validator = ValidatorOf(request);
  if (!d.Validator.empty() &&
      !WriteResumeRecord(ctx.State.ArchivePath, {ctx.State.TargetUrl, d.Validator, d.Total})) {
    ReportCannotWrite(ctx);
    return false;
  }
  return true;
}

// True when the answer names its body by `validator`, as a 206 does with the ETag or Last-Modified
// of the body its bytes are of. A server that takes Range but not If-Range answers the rest of
// the body it has now, changed or not, and only this tells the two apart when their sizes agree.
bool NamesBody(const THttpRequest& request, const std::u16string& validator) {
  return request.Header(kQueryETag) == validator || request.Header(kQueryLastModified) == validator;
}

// Takes a 206 answer to a request for the rest: only the exact rest of the same body continues
// the part file, and only while the part file is as this run left it.
bool ContinueBody(TRunContext& ctx, TDownload& d, const THttpRequest& request, char* buffer) {
  const auto text = request.Header(kQueryContentRange);
  const auto range = text ? ParseContentRange(*text) : std::nullopt;
  if (!range || !NamesBody(request, d.Validator) || range->First != d.Have ||
      range->Total != d.Total || range->Last + 1 != d.Total ||
      !request.AnnouncedWithin(d.Total - d.Have) ||
      request.ContentLength().value_or(d.Total - d.Have) != d.Total - d.Have) {
    ReportNotObtained(ctx);
    Discard(ctx, d);
    return false;
  }
  if (!RoomFor(ctx, d)) {
    return false;
  }
  if (SignaturesRequired(ctx) && !d.Copy && !CopyBack(d, ctx, buffer)) {
    ReportCannotWrite(ctx);
    return false;
  }
  try {
    d.Part.emplace(ctx.State.ArchivePath, TReplacementFile::TContinue{});
  } catch (const EFCreateError&) {
    ReportCannotWrite(ctx);
    return false;
  }
  if (d.Part->Stream().Position() != static_cast<std::int64_t>(d.Have)) {
    // Another run went on with this part between this run's requests: what it holds is no
    // longer this run's to go on with, nor to remove.
    d.Part->Keep();
    d.Part.reset();
    d.Copy.reset();
    d.Validator.clear();
    ReportNotObtained(ctx);
    return false;
  }
  return true;
}

// One request of the archive: from its start, or from d.Have on when there is a part to go on
// with. The part file is let go of before the request is closed on every path but a complete one,
// since closing the request may wait while a server sends on.
TAttempt Attempt(TRunContext& ctx, TDownload& d, char* buffer, bool last) {
  const bool continuing = d.Have > 0 && !d.Validator.empty();
  const THttpRequest request(ctx.System, ctx.State.hInternet, ctx.State.TargetUrl,
                             continuing ? RangeHeaders(d.Have, d.Validator) : std::u16string());
  if (!request.IsOpen()) {
    if (!continuing || last) {
      ReportNotObtained(ctx);
      LetGo(ctx, d);
      return TAttempt::Failed;
    }
    return TAttempt::Broken;
  }
  bool taken = false;
  if (continuing && request.Status() == kStatusPartial) {
    taken = ContinueBody(ctx, d, request, buffer);
  } else if (request.Status() == kStatusOk) {
    if (continuing) {
      ctx.Console.PrintLine(u"最初から取得し直します.");
    }
    taken = BeginBody(ctx, d, request);
  } else {
    ReportNotObtained(ctx);
    Discard(ctx, d);
  }
  if (!taken) {
    LetGo(ctx, d);
    return TAttempt::Failed;
  }
  const std::uint64_t limit = d.Validator.empty() ? kMaxArchiveSize : d.Total - d.Have;
  const TTransferEnd end = request.ReadBody(buffer, limit, [&](std::uint32_t count) {
    try {
      d.Part->Stream().WriteBuffer(buffer, count);
      if (d.Copy) {
        d.Copy->WriteBuffer(buffer, count);
      }
    } catch (const EWriteError&) {
      return false;
    }
    if (d.Hash) {
      d.Hash->Update(buffer, count);
    }
    d.Have += count;
    ctx.Console.PrintText(u"#");
    return true;
  });
  ctx.Console.PrintLine(u"");
  // With a validator the whole size is known, and a body that ended short of it broke off,
  // announced or not.
  const bool whole = d.Validator.empty() || d.Have == d.Total;
  if (end == TTransferEnd::Complete && whole) {
    return TAttempt::Complete;
  }
  const bool broken = end == TTransferEnd::Broken || end == TTransferEnd::Complete;
  const bool resumable = broken && CanContinue(d);
  if (resumable && !last) {
    d.Part->Keep();
    d.Part.reset();
    return TAttempt::Broken;
  }
  if (end == TTransferEnd::Stopped) {
    ReportCannotWrite(ctx);
  } else {
    ReportNotObtained(ctx);
  }
  if (!resumable) {
    Discard(ctx, d);
  }
  LetGo(ctx, d);
  return TAttempt::Failed;
}

// The signature at `url`, asked for as the archive was: its bytes when the answer's status is 200
// and its whole body arrived, no longer than any signature; otherwise nullopt. Prints nothing.
std::optional<std::string> FetchSignature(TRunContext& ctx, const std::u16string& url) {
  const THttpRequest request(ctx.System, ctx.State.hInternet, url);
  if (!request.IsOpen() || request.Status() != kStatusOk ||
      !request.AnnouncedWithin(kMaxDerSignatureSize)) {
    return std::nullopt;
  }
  const auto buffer = AllocateReadBuffer();
  if (!buffer) {
    return std::nullopt;
  }
  std::string bytes;
  const TTransferEnd end =
      request.ReadBody(buffer.get(), kMaxDerSignatureSize, [&](std::uint32_t count) {
        bytes.append(buffer.get(), count);
        return true;
      });
  if (end != TTransferEnd::Complete) {
    return std::nullopt;
  }
  return bytes;
}

// Runs the transfer, continuing it after a break as often as allowed; true when the part file
// holds the whole body.
bool ReceiveArchive(TRunContext& ctx, TDownload& d, char* buffer) {
  for (int continuation = 0;; ++continuation) {
    switch (Attempt(ctx, d, buffer, continuation == kMaxContinuations)) {
      case TAttempt::Complete:
        return true;
      case TAttempt::Failed:
        return false;
      case TAttempt::Broken:
        break;
    }
    ctx.Console.PrintLine(u"取得が途切れました. 続きを取得します. (" + IntToText(continuation + 1) +
                          u")");
    ctx.System.Sleep(kContinuationPauseMs);
  }
}

}  // namespace

void DownloadArchive(TRunContext& ctx) {
  TUpdateState& s = ctx.State;
  ctx.Console.PrintLine(s.TargetUrl + u" を取得中...");
  TDownload d;
  d.Have = ResumableBytes(s.ArchivePath, s.TargetUrl);
  ReclaimPartFiles(s.DownloadDir, d.Have > 0 ? s.ArchivePath : std::u16string());
  if (d.Have > 0) {
    const auto record = ReadResumeRecord(s.ArchivePath);
    d.Validator = record->Validator;
    d.Total = record->Total;
    ctx.Console.PrintLine(u"前回の続きから取得します.");
  }
  const auto buffer = AllocateReadBuffer();
  if (!buffer || !ReceiveArchive(ctx, d, buffer.get())) {
    return;
  }
  // Checked before the part file takes the archive's name, so that an archive that fails leaves
  // nothing of itself behind and an earlier file of that name stays as it was.
  if (d.Hash && !CheckArchiveSignature(ctx, s.NewFile, d.Hash->Finish(),
                                       FetchSignature(ctx, s.TargetUrl + kSignatureSuffix))) {
    Discard(ctx, d);
    return;
  }
  if (!d.Part->Stream().FlushToDisk() || !d.Part->MoveOver()) {
    ReportCannotWrite(ctx);
    Discard(ctx, d);
    return;
  }
  RemoveResumeRecord(s.ArchivePath);
  s.Downloaded = true;
  s.VerifiedCopy = std::move(d.Copy);
}

}  // namespace zelkupd
