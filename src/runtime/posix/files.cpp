#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "runtime/fault_hook.h"
#include "runtime/files.h"
#include "runtime/posix/file_time.h"
#include "runtime/posix/os_path.h"
#include "runtime/text.h"

namespace zelkupd {
namespace {

thread_local std::uint32_t gLastError = 0;

bool Record(bool ok) {
  if (!ok) {
    gLastError = static_cast<std::uint32_t>(errno);
  }
  return ok;
}

bool Allowed(TFaultPoint point, std::u16string_view path) {
  if (FaultRequested(point, path)) {
    gLastError = EACCES;
    return false;
  }
  return true;
}

bool StatFollow(std::u16string_view path, struct stat& info) {
  return stat(os::NativePath(path).c_str(), &info) == 0;
}

}  // namespace

namespace os {
void SetLastOsError(std::uint32_t code) {
  gLastError = code;
}
}  // namespace os

bool FileExists(std::u16string_view path) {
  struct stat info {};
  return StatFollow(path, info) && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(std::u16string_view path) {
  struct stat info {};
  return StatFollow(path, info) && S_ISDIR(info.st_mode);
}

bool CreateDir(std::u16string_view path) {
  return Allowed(TFaultPoint::CreateDir, path) &&
         Record(mkdir(os::NativePath(path).c_str(), 0777) == 0);
}

bool ForceDirectories(std::u16string_view path) {
  std::u16string dir(path);
  while (dir.size() > 1 && (dir.back() == u'\\' || dir.back() == u'/')) {
    dir.pop_back();
  }
  if (dir.empty() || DirectoryExists(dir)) {
    return !dir.empty();
  }
  const std::size_t parentEnd = dir.find_last_of(u"\\/");
  if (parentEnd != std::u16string::npos && parentEnd > 0) {
    ForceDirectories(std::u16string_view(dir).substr(0, parentEnd));
  }
  CreateDir(dir);
  return DirectoryExists(dir);
}

bool RemoveDir(std::u16string_view path) {
  return Allowed(TFaultPoint::RemoveDir, path) && Record(rmdir(os::NativePath(path).c_str()) == 0);
}

bool RemoveFile(std::u16string_view path) {
  return Allowed(TFaultPoint::Delete, path) && !DirectoryExists(path) &&
         Record(unlink(os::NativePath(path).c_str()) == 0);
}

bool FreeDiskSpace(std::u16string_view folder, std::uint64_t& bytes) {
  struct statvfs volume {};
  if (!Record(statvfs(os::NativePath(folder).c_str(), &volume) == 0)) {
    return false;
  }
  bytes = static_cast<std::uint64_t>(volume.f_bavail) * volume.f_frsize;
  return true;
}

bool RenameFile(std::u16string_view from, std::u16string_view to) {
  return Allowed(TFaultPoint::Rename, from) && Allowed(TFaultPoint::Rename, to) &&
         Record(renameat2(AT_FDCWD, os::NativePath(from).c_str(), AT_FDCWD,
                          os::NativePath(to).c_str(), RENAME_NOREPLACE) == 0);
}

bool MoveFileOver(std::u16string_view from, std::u16string_view to) {
  if (!Allowed(TFaultPoint::Replace, to)) {
    return false;
  }
  const std::string target = os::NativePath(to);
  if (!Record(std::rename(os::NativePath(from).c_str(), target.c_str()) == 0)) {
    return false;
  }
  const std::size_t slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

namespace {

// Runs `call` on the file opened for writing; false, with the error, when either fails.
template <typename Call>
bool OnOpenFile(std::u16string_view path, Call call) {
  if (!Allowed(TFaultPoint::Flush, path)) {
    return false;
  }
  const int file = open(os::NativePath(path).c_str(), O_WRONLY | O_CLOEXEC);
  if (!Record(file >= 0)) {
    return false;
  }
  const bool done = Record(call(file) == 0);
  close(file);
  return done;
}

}  // namespace

bool WriteFileOut(std::u16string_view path) {
  return OnOpenFile(path, [](int file) {
    return sync_file_range(
        file, 0, 0,
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
  });
}

bool FlushDiskCache(std::u16string_view path) {
  return OnOpenFile(path, [](int file) { return syncfs(file); });
}

bool AddHiddenAndSystem(std::u16string_view /*path*/, bool /*hidden*/, bool /*system*/) {
  return true;
}

bool ClearReadOnly(std::u16string_view /*path*/) {
  return true;
}

bool SetFileTimes(std::u16string_view path, const TFileTime& /*creation*/,
                  const TFileTime& lastWrite) {
  if (!Allowed(TFaultPoint::SetTimes, path)) {
    return false;
  }
  // The native file systems keep no settable creation time; only the last-write time is set.
  const timespec times[2] = {{0, UTIME_OMIT}, os::ToTimespec(lastWrite)};
  return Record(utimensat(AT_FDCWD, os::NativePath(path).c_str(), times, 0) == 0);
}

bool GetFileTimes(std::u16string_view path, TFileTimes& times) {
  struct stat info {};
  if (!Record(StatFollow(path, info))) {
    return false;
  }
  times = {TFileTime{}, os::FromTimespec(info.st_atim), os::FromTimespec(info.st_mtim)};
  return true;
}

// The native file systems keep names as given and take "*" and "?" as plain characters, so the
// name asked for is the name stored.
bool FindFile(std::u16string_view path, TFoundFile& found) {
  struct stat info {};
  if (!StatFollow(path, info)) {
    return false;
  }
  const std::size_t nameStart = path.find_last_of(u"\\/") + 1;
  found = {std::u16string(path.substr(nameStart)), S_ISDIR(info.st_mode), TFileTime{},
           os::FromTimespec(info.st_mtim), static_cast<std::uint64_t>(info.st_size)};
  return true;
}

std::vector<TDirEntry> ListDirectory(std::u16string_view path) {
  std::vector<TDirEntry> entries;
  const std::string native = os::NativePath(path);
  DIR* dir = opendir(native.c_str());
  if (dir == nullptr) {
    return entries;
  }
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") {
      continue;
    }
    struct stat info {};
    const bool isDir = stat((native + "/" + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    entries.push_back({Utf8ToUtf16(name), isDir});
  }
  closedir(dir);
  return entries;
}

const std::uint32_t kSharingViolationError = EWOULDBLOCK;
const std::uint32_t kInvalidDataError = EINVAL;
const std::uint32_t kFileNotFoundError = ENOENT;

bool IsFileInUseError(std::uint32_t osError) {
  return osError == EWOULDBLOCK || osError == EACCES || osError == EBUSY || osError == ETXTBSY;
}

std::uint32_t LastOsError() {
  return gLastError;
}

std::u16string SysErrorMessage(std::uint32_t code) {
  std::u16string text = Utf8ToUtf16(std::strerror(static_cast<int>(code)));
  while (!text.empty() && (text.back() <= u' ' || text.back() == u'.')) {
    text.pop_back();
  }
  return text;
}

}  // namespace zelkupd
