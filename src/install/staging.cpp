#include "install/staging.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "install/install_names.h"
#include "runtime/errors.h"
#include "runtime/files.h"

namespace zelkupd {
namespace {

// Takes an entry's bytes and keeps none: the entry of a target that a later entry writes again
// is only checked.
class TDiscardSink final : public TStream {
 public:
  std::size_t Read(void* /*buffer*/, std::size_t /*count*/) override { return 0; }
  std::size_t Write(const void* /*buffer*/, std::size_t count) override { return count; }
  std::int64_t Seek(std::int64_t /*offset*/, TSeekOrigin /*origin*/) override { return 0; }
};

void SetStamp(TFileStream& file, const TFileTime& stamp) {
  if (!file.SetTimes(stamp, stamp)) {
    throw EWriteError(texts::kStreamWriteError, LastOsError());
  }
}

// Takes an entry's bytes for an existing file: compares them with the file's as they come and
// writes the staged file only from the first byte that differs, the bytes before it copied from
// the file. A file found the same has the entry's CRC-32, which the reader checks; one that
// differs is read to its end for its own.
class TStagingSink final : public TStream {
 public:
  TStagingSink(TFileStream& old, std::u16string stagedPath, const TZipHeaderFields& entry)
      : FOld(old), FStagedPath(std::move(stagedPath)), FEntryCrc(entry.CRC32), FBuffer(64 * 1024) {
    if (static_cast<std::uint64_t>(old.Size()) != entry.UncompressedSize) {
      Diverge();
    }
  }

  std::size_t Read(void* /*buffer*/, std::size_t /*count*/) override { return 0; }
  std::int64_t Seek(std::int64_t /*offset*/, TSeekOrigin /*origin*/) override { return 0; }

  std::size_t Write(const void* buffer, std::size_t count) override {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count && !FStaged) {
      const std::size_t piece = std::min(count - done, FBuffer.size());
      if (FOld.Read(FBuffer.data(), piece) == piece &&
          std::memcmp(FBuffer.data(), bytes + done, piece) == 0) {
        FCompared += piece;
        done += piece;
        continue;
      }
      Diverge();
    }
    if (done < count) {
      FStaged->WriteBuffer(bytes + done, count - done);
    }
    return count;
  }

  // After the entry's last byte: whether the entry differs from the file, the staged file then
  // being complete, and the file's CRC-32.
  bool Finish(std::uint32_t& oldCrc) {
    if (!FStaged) {
      oldCrc = FEntryCrc;
      return false;
    }
    for (;;) {
      const std::size_t read = FOld.Read(FBuffer.data(), FBuffer.size());
      if (read == 0) {
        break;
      }
      FCrc = crc32(FCrc, FBuffer.data(), static_cast<uInt>(read));
    }
    oldCrc = static_cast<std::uint32_t>(FCrc);
    return true;
  }

  TFileStream* Staged() { return FStaged.get(); }

 private:
  // The staged file begins with the bytes that were the same; the file's CRC-32 is taken from its
  // start, and Finish goes on from where they end.
  void Diverge() {
    FStaged = std::make_unique<TFileStream>(FStagedPath, kCreateNewWriteExclusive);
    FOld.SetPosition(0);
    std::uint64_t copied = 0;
    while (copied < FCompared) {
      const auto piece =
          static_cast<std::size_t>(std::min<std::uint64_t>(FCompared - copied, FBuffer.size()));
      FOld.ReadBuffer(FBuffer.data(), piece);
      FCrc = crc32(FCrc, FBuffer.data(), static_cast<uInt>(piece));
      FStaged->WriteBuffer(FBuffer.data(), piece);
      copied += piece;
    }
  }

  TFileStream& FOld;
  std::u16string FStagedPath;
  std::uint32_t FEntryCrc;
  std::unique_ptr<TFileStream> FStaged;
  std::vector<unsigned char> FBuffer;
  std::uint64_t FCompared = 0;
  uLong FCrc = crc32(0, nullptr, 0);
};

void StageTarget(TZipFile& zip, TInstallPlan& plan, std::uint32_t target, std::uint32_t entry) {
  const std::u16string& installDir = plan.InstallDir();
  const std::u16string staged = StagedFilePath(installDir, plan.Number(target));
  const TFileTime stamp = plan.Stamp(entry);
  if (!plan.Existed(target)) {
    TFileStream file(staged, kCreateNewWriteExclusive);
    zip.ExtractTo(static_cast<int>(entry), file);
    SetStamp(file, stamp);
    return;
  }
  // Opened for writing without sharing, as overwriting it in place would open it: a file in use
  // or read-only fails the attempt here, before anything has changed. The running updater's own
  // file cannot be opened for writing, but it is replaced by renaming, which it allows: it is only
  // read, others reading it too.
  TFileStream old(InstalledPath(installDir, plan.TargetPath(target)),
                  plan.Running(target) ? kOpenReadShareRead : kOpenReadWriteExclusive);
  TStagingSink sink(old, staged, zip.GetFileFields(static_cast<int>(entry)));
  zip.ExtractTo(static_cast<int>(entry), sink);
  TFileIdentity identity{.Size = static_cast<std::uint64_t>(old.Size()), .HasCrc = true};
  const bool changed = sink.Finish(identity.Crc);
  TFileTime creation;
  if (!old.GetTimes(creation, identity.LastWrite)) {
    throw EReadError(texts::kStreamReadError, LastOsError());
  }
  plan.SetStaged(target, changed, identity);
  if (!changed) {
    return;
  }
  SetStamp(*sink.Staged(), stamp);
  if ((plan.Hidden(target) || plan.System(target)) &&
      !AddHiddenAndSystem(staged, plan.Hidden(target), plan.System(target))) {
    throw EWriteError(texts::kStreamWriteError, LastOsError());
  }
}

}  // namespace

void StageFiles(TZipFile& zip, TInstallPlan& plan) {
  const auto count = static_cast<std::uint32_t>(zip.GetFileCount());
  for (std::uint32_t entry = 0; entry < count; ++entry) {
    const std::uint32_t target = plan.EntryTarget(entry);
    if (target == TInstallPlan::kFolderEntry) {
      // Nothing to write, but the entry's local header and method are checked as extracting it
      // checks them.
      TZipHeader localHeader;
      zip.Read(static_cast<int>(entry), localHeader);
    } else if (target == TInstallPlan::kKeptEntry || plan.LastEntry(target) != entry) {
      TDiscardSink sink;
      zip.ExtractTo(static_cast<int>(entry), sink);
    } else {
      StageTarget(zip, plan, target, entry);
    }
  }
}

void ForceStagedFiles(const TInstallPlan& plan) {
  std::u16string last;
  for (std::uint32_t target = 0; target < plan.TargetCount(); ++target) {
    if (plan.Kind(target) == TInstallPlan::TKind::Touch) {
      continue;
    }
    last = StagedFilePath(plan.InstallDir(), plan.Number(target));
    if (!WriteFileOut(last)) {
      throw EWriteError(texts::kStreamWriteError, LastOsError());
    }
  }
  if (!last.empty() && !FlushDiskCache(last)) {
    throw EWriteError(texts::kStreamWriteError, LastOsError());
  }
}

}  // namespace zelkupd
