#include "runtime/lock_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "runtime/fault_hook.h"
#include "runtime/posix/os_path.h"

namespace zelkupd {

// Natively the lock is an advisory lock (flock) on the file. A holder removes the file before it
// lets go of it, so a run that opened the file just before that holds a lock on a file that has
// gone: it checks that its file is still the one at the path, and counts as too late otherwise.
std::unique_ptr<TLockFile> TLockFile::Take(std::u16string_view path) {
  const std::u16string name(path);
  if (FaultRequested(TFaultPoint::Create, name)) {
    RaiseLockError(name, EACCES);
  }
  const std::string native = os::NativePath(name);
  const int file = open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (file < 0) {
    RaiseLockError(name, static_cast<std::uint32_t>(errno));
  }
  if (flock(file, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    close(file);
    if (error == EWOULDBLOCK) {
      return nullptr;
    }
    RaiseLockError(name, static_cast<std::uint32_t>(error));
  }
  struct stat held {};
  struct stat named {};
  if (fstat(file, &held) != 0 || stat(native.c_str(), &named) != 0 || held.st_ino != named.st_ino ||
      held.st_dev != named.st_dev) {
    close(file);
    return nullptr;
  }
  return std::unique_ptr<TLockFile>(new TLockFile(name, file));
}

TLockFile::~TLockFile() {
  unlink(os::NativePath(FPath).c_str());
  close(static_cast<int>(FHandle));
}

}  // namespace zelkupd
