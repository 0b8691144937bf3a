#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "runtime/os_file.h"
#include "runtime/posix/file_time.h"
#include "runtime/posix/os_path.h"

namespace zelkupd::os {

const std::uint32_t kDiskFullError = ENOSPC;
const std::uint32_t kAccessDeniedError = EACCES;

// Share modes stand in as advisory locks, taken before a file is truncated as Windows checks the
// sharing before it truncates: an open that shares nothing holds the file exclusively, one that
// shares reading holds it shared. So two opens of which either shares nothing exclude each other,
// also inside one process, as on Windows; opens that share reading do not tell reading from
// writing, and removing or renaming a held file is not refused. A file to be deleted on close
// loses its name as soon as it is open, so that, as on Windows, no other open can reach it.
std::intptr_t OpenFile(std::u16string_view path, const TFileMode& mode) {
  int flags = O_CLOEXEC;
  switch (mode.Access) {
    case TFileAccess::Read:
      flags |= O_RDONLY;
      break;
    case TFileAccess::Write:
      flags |= O_WRONLY;
      break;
    case TFileAccess::ReadWrite:
      flags |= O_RDWR;
      break;
  }
  const bool truncate = mode.Disposition == TFileDisposition::CreateAlways;
  if (truncate) {
    flags |= O_CREAT;
  } else if (mode.Disposition == TFileDisposition::CreateNew) {
    flags |= O_CREAT | O_EXCL;
  }
  const std::string native = NativePath(path);
  struct stat info {};
  if (stat(native.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    SetLastOsError(EISDIR);
    return kInvalidFile;
  }
  const int fd = open(native.c_str(), flags, 0666);
  if (fd < 0) {
    SetLastOsError(static_cast<std::uint32_t>(errno));
    return kInvalidFile;
  }
  const int lock = mode.Share == TFileShare::None ? LOCK_EX : LOCK_SH;
  if (flock(fd, lock | LOCK_NB) != 0 || (truncate && ftruncate(fd, 0) != 0) ||
      (mode.DeleteOnClose && unlink(native.c_str()) != 0)) {
    SetLastOsError(static_cast<std::uint32_t>(errno));
    close(fd);
    return kInvalidFile;
  }
  return fd;
}

void CloseFile(std::intptr_t file) {
  if (file != kInvalidFile) {
    close(static_cast<int>(file));
  }
}

bool ReadFile(std::intptr_t file, void* buffer, std::uint32_t count, std::uint32_t& done) {
  const ssize_t n = read(static_cast<int>(file), buffer, count);
  if (n < 0) {
    SetLastOsError(static_cast<std::uint32_t>(errno));
    done = 0;
    return false;
  }
  done = static_cast<std::uint32_t>(n);
  return true;
}

bool WriteFile(std::intptr_t file, const void* buffer, std::uint32_t count, std::uint32_t& done) {
  const ssize_t n = write(static_cast<int>(file), buffer, count);
  if (n < 0) {
    SetLastOsError(static_cast<std::uint32_t>(errno));
    done = 0;
    return false;
  }
  done = static_cast<std::uint32_t>(n);
  return true;
}

bool SeekFile(std::intptr_t file, std::int64_t offset, TSeekOrigin origin, std::int64_t& position) {
  int whence = SEEK_SET;
  if (origin == TSeekOrigin::Current) {
    whence = SEEK_CUR;
  } else if (origin == TSeekOrigin::End) {
    whence = SEEK_END;
  }
  const off_t result = lseek(static_cast<int>(file), offset, whence);
  if (result < 0) {
    SetLastOsError(static_cast<std::uint32_t>(errno));
    return false;
  }
  position = result;
  return true;
}

bool FlushFile(std::intptr_t file) {
  return fsync(static_cast<int>(file)) == 0;
}

bool SetFileTimes(std::intptr_t file, const TFileTime& /*creation*/, const TFileTime& lastWrite) {
  const timespec times[2] = {{0, UTIME_OMIT}, ToTimespec(lastWrite)};
  if (futimens(static_cast<int>(file), times) != 0) {
    SetLastOsError(static_cast<std::uint32_t>(errno));
    return false;
  }
  return true;
}

bool GetFileTimes(std::intptr_t file, TFileTime& creation, TFileTime& lastWrite) {
  struct stat info {};
  if (fstat(static_cast<int>(file), &info) != 0) {
    SetLastOsError(static_cast<std::uint32_t>(errno));
    return false;
  }
  creation = {};
  lastWrite = FromTimespec(info.st_mtim);
  return true;
}

}  // namespace zelkupd::os
