// File-system operations on Windows-form paths: existence tests, folders, removal, renames, file
// times and the system's error texts. The exact Win32 calls live in win32/, their native stand-ins
// in posix/.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/datetime.h"

namespace zelkupd {

// True when the path names a file (not a folder); links are followed.
bool FileExists(std::u16string_view path);

// True when the path names a folder; links are followed.
bool DirectoryExists(std::u16string_view path);

// Creates the folder and every missing parent; true when the folder exists afterwards.
bool ForceDirectories(std::u16string_view path);

// Creates one folder; false when it could not be created (it may already exist).
bool CreateDir(std::u16string_view path);

bool RemoveDir(std::u16string_view path);
bool RemoveFile(std::u16string_view path);

// Renames a file or folder; fails when the target exists.
bool RenameFile(std::u16string_view from, std::u16string_view to);

// Moves a file over another one atomically and durably (MOVEFILE_REPLACE_EXISTING |
// MOVEFILE_WRITE_THROUGH on Windows, rename and fsync natively).
bool MoveFileOver(std::u16string_view from, std::u16string_view to);

// The two steps that force many files written and closed earlier to the disk in one pass, once
// the system's lazy writer has done most of the work: each file written out, then the disk's own
// cache flushed once. WriteFileOut opens the file for writing and writes its data and metadata
// out of the system's cache without waiting for the disk's cache: NtFlushBuffersFileEx with
// FLUSH_FLAGS_NO_SYNC where Windows has it (8 and later, on NTFS), else FlushFileBuffers, which
// flushes the disk's cache as well; natively sync_file_range, which writes the file's data and
// waits for it. FlushDiskCache then asks the disk that holds `path` to flush its cache:
// FlushFileBuffers of that file; natively syncfs of its file system. Both are false when the file
// cannot be opened or the system fails the call.
bool WriteFileOut(std::u16string_view path);
bool FlushDiskCache(std::u16string_view path);

// Adds the hidden and the system attribute to a file, as asked (SetFileAttributesW); natively,
// where files have neither, does nothing. False when the attributes could not be set.
bool AddHiddenAndSystem(std::u16string_view path, bool hidden, bool system);

// Clears the read-only attribute of a file or folder (SetFileAttributesW); natively, where no such
// attribute stops a removal or a rename over the file, does nothing. False when it could not be
// cleared.
bool ClearReadOnly(std::u16string_view path);

// Opens the path for writing its attributes only, with read sharing and backup semantics (so a
// folder opens too), and sets its creation and last-write times; the last-access time is left
// alone. A read-only mark does not stand in the way, as it would of an open for writing, so a file
// the user marked read-only after a cut can still be given its times. False when the path cannot
// be opened.
bool SetFileTimes(std::u16string_view path, const TFileTime& creation, const TFileTime& lastWrite);

struct TFileTimes {
  TFileTime Creation;
  TFileTime LastAccess;
  TFileTime LastWrite;
};
// Reads the three times of a file or folder; false when it cannot be opened.
bool GetFileTimes(std::u16string_view path, TFileTimes& times);

struct TFoundFile {
  std::u16string Name;  // the last component as the file system stores it, case included
  bool IsDirectory = false;
  TFileTime Creation;  // zero natively, where no creation time is kept
  TFileTime LastWrite;
  std::uint64_t Size = 0;  // of a file; as the folder lists it, so up to date once it is closed
  bool Hidden = false;     // the attributes that keep a file out of sight; never natively
  bool System = false;
};
// Looks a file or folder up without opening it (FindFirstFileW on Windows, so a file in use is
// found too). False when nothing is there; on Windows a path with a wildcard ("*" or "?") names
// nothing rather than whatever the pattern matches.
bool FindFile(std::u16string_view path, TFoundFile& found);

struct TDirEntry {
  std::u16string Name;
  bool IsDirectory = false;
};
// The entries of a folder other than "." and "..", in no particular order.
std::vector<TDirEntry> ListDirectory(std::u16string_view path);

// The bytes the process may still write on the volume that holds `folder` (GetDiskFreeSpaceExW;
// natively statvfs); false when the system cannot tell.
bool FreeDiskSpace(std::u16string_view folder, std::uint64_t& bytes);

// The error code of the last failed call of this unit or of the stream layer (GetLastError).
std::uint32_t LastOsError();

// The error code of data that is not as the program wrote it (ERROR_INVALID_DATA; natively
// EINVAL), for a failure that no system call reported.
extern const std::uint32_t kInvalidDataError;
// The error code of a file that is not there (ERROR_FILE_NOT_FOUND; natively ENOENT).
extern const std::uint32_t kFileNotFoundError;
// The error code of a file that another open does not share (ERROR_SHARING_VIOLATION; natively
// the lock that stands in for the share modes).
extern const std::uint32_t kSharingViolationError;

// True for the errors of a file that another program holds or that the user may not change now
// (sharing and lock violations, access denied, as Windows also answers for a file whose removal
// is pending; natively the lock that stands in for the share modes, EACCES, EBUSY, ETXTBSY):
// what may pass once the other program lets go or the user acts.
bool IsFileInUseError(std::uint32_t osError);

// The operating system's message for an error code, with trailing control characters, blanks and
// periods removed.
std::u16string SysErrorMessage(std::uint32_t code);

}  // namespace zelkupd
