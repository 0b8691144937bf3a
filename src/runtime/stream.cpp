#include "runtime/stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "runtime/errors.h"
#include "runtime/fault_hook.h"
#include "runtime/files.h"
#include "runtime/os_file.h"
#include "runtime/paths.h"

namespace zelkupd {

std::int64_t TStream::Size() {
  const std::int64_t here = Position();
  const std::int64_t end = Seek(0, TSeekOrigin::End);
  SetPosition(here);
  return end;
}

void TStream::ReadBuffer(void* buffer, std::size_t count) {
  if (count != 0 && Read(buffer, count) != count) {
    throw EReadError(texts::kStreamReadError);
  }
}

void TStream::WriteBuffer(const void* buffer, std::size_t count) {
  if (count != 0 && Write(buffer, count) != count) {
    throw EWriteError(texts::kStreamWriteError);
  }
}

TFileStream::TFileStream(std::u16string_view path, const TFileMode& mode,
                         std::u16string_view errorName)
    : FFileName(path), FHandle(os::kInvalidFile) {
  // Opening an existing file for writing is the first step of replacing it, so its failure is a
  // create error as well.
  const bool writing = mode.Access != TFileAccess::Read;
  if (FaultRequested(writing ? TFaultPoint::Create : TFaultPoint::Open, path)) {
    os::SetLastOsError(os::kAccessDeniedError);
  } else {
    FHandle = os::OpenFile(path, mode);
  }
  if (FHandle == os::kInvalidFile) {
    const std::uint32_t error = LastOsError();
    const std::u16string full = ExpandFileName(errorName.empty() ? path : errorName);
    const std::u16string text =
        writing ? FileCreateErrorText(full, error) : FileOpenErrorText(full, error);
    if (writing) {
      throw EFCreateError(text, error);
    }
    throw EFOpenError(text, error);
  }
}

TFileStream::~TFileStream() {
  os::CloseFile(FHandle);
}

namespace {

// The OS transfers at most 32 bits at a time; larger requests go in pieces.
constexpr std::size_t kMaxPiece = std::size_t{1} << 30;

// One read of the system's; a test's fault fails it as a locked range fails it.
bool ReadPiece(std::u16string_view path, std::intptr_t file, void* buffer, std::uint32_t count,
               std::uint32_t& done) {
  if (FaultRequested(TFaultPoint::Read, path)) {
    os::SetLastOsError(os::kAccessDeniedError);
    return false;
  }
  return os::ReadFile(file, buffer, count, done);
}

}  // namespace

// A failed read (a range another program has locked, a disk error) would otherwise look like the
// end of the file, and its reader would go on with part of the file as if it were all of it.
std::size_t TFileStream::Read(void* buffer, std::size_t count) {
  std::size_t total = 0;
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (total < count) {
    const auto piece = static_cast<std::uint32_t>(std::min(count - total, kMaxPiece));
    std::uint32_t done = 0;
    if (!ReadPiece(FFileName, FHandle, bytes + total, piece, done)) {
      throw EReadError(texts::kStreamReadError, LastOsError());
    }
    if (done == 0) {
      break;
    }
    total += done;
  }
  return total;
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count) {
  if (count != 0 && FaultRequested(TFaultPoint::Write, FFileName)) {
    os::SetLastOsError(os::kDiskFullError);
    return 0;
  }
  std::size_t total = 0;
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  while (total < count) {
    const auto piece = static_cast<std::uint32_t>(std::min(count - total, kMaxPiece));
    std::uint32_t done = 0;
    if (!os::WriteFile(FHandle, bytes + total, piece, done) || done == 0) {
      break;
    }
    total += done;
  }
  return total;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t position = 0;
  if (!os::SeekFile(FHandle, offset, origin, position)) {
    return -1;
  }
  return position;
}

bool TFileStream::FlushToDisk() {
  if (FaultRequested(TFaultPoint::Flush, FFileName)) {
    os::SetLastOsError(os::kDiskFullError);
    return false;
  }
  return os::FlushFile(FHandle);
}

bool TFileStream::SetTimes(const TFileTime& creation, const TFileTime& lastWrite) {
  if (FaultRequested(TFaultPoint::SetTimes, FFileName)) {
    os::SetLastOsError(os::kAccessDeniedError);
    return false;
  }
  return os::SetFileTimes(FHandle, creation, lastWrite);
}

bool TFileStream::GetTimes(TFileTime& creation, TFileTime& lastWrite) const {
  return os::GetFileTimes(FHandle, creation, lastWrite);
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
  const std::size_t available = FPosition < FData.size() ? FData.size() - FPosition : 0;
  const std::size_t n = std::min(count, available);
  if (n != 0) {
    std::memcpy(buffer, FData.data() + FPosition, n);
  }
  FPosition += n;
  return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
  if (count == 0) {
    return 0;
  }
  if (FPosition + count > FData.size()) {
    FData.resize(FPosition + count);
  }
  std::memcpy(FData.data() + FPosition, buffer, count);
  FPosition += count;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = 0;
  if (origin == TSeekOrigin::Current) {
    base = static_cast<std::int64_t>(FPosition);
  } else if (origin == TSeekOrigin::End) {
    base = static_cast<std::int64_t>(FData.size());
  }
  const std::int64_t target = base + offset;
  if (target >= 0) {
    FPosition = static_cast<std::size_t>(target);
  }
  return static_cast<std::int64_t>(FPosition);
}

std::string ReadWholeFile(std::u16string_view path, const TFileMode& mode) {
  TFileStream file(path, mode);
  std::string bytes;
  char block[65536];
  for (;;) {
    const std::size_t n = file.Read(block, sizeof block);
    if (n == 0) {
      break;
    }
    bytes.append(block, n);
  }
  return bytes;
}

}  // namespace zelkupd
