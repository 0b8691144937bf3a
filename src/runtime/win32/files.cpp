#include <windows.h>
#include <winternl.h>

#include "runtime/fault_hook.h"
#include "runtime/files.h"
#include "runtime/os_file.h"
#include "runtime/text.h"
#include "runtime/win32/scoped_handle.h"
#include "runtime/win32/wide.h"

namespace zelkupd {
namespace {

// The attributes of what the path leads to. GetFileAttributesW answers for a symbolic link or a
// junction itself, which would make a link to a folder that has gone count as an existing folder;
// the target's own answer comes through a handle that the open has followed to it. A link whose
// target cannot be reached names nothing, as stat(2) says natively.
DWORD Attributes(std::u16string_view path) {
  const std::u16string name(path);
  const DWORD attributes = ::GetFileAttributesW(WidePtr(name));
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return attributes;
  }
  const TScopedFileHandle target(
      ::CreateFileW(WidePtr(name), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!target.IsValid() || ::GetFileInformationByHandle(target.Get(), &info) == FALSE) {
    return INVALID_FILE_ATTRIBUTES;
  }
  return info.dwFileAttributes;
}

// False, with the error a fault hook reports, when a test asks this operation to fail.
bool Allowed(TFaultPoint point, std::u16string_view path) {
  if (FaultRequested(point, path)) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return true;
}

FILETIME ToFileTime(const TFileTime& time) {
  return {time.Low, time.High};
}
TFileTime FromFileTime(const FILETIME& time) {
  return {time.dwLowDateTime, time.dwHighDateTime};
}

}  // namespace

bool FileExists(std::u16string_view path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(std::u16string_view path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateDir(std::u16string_view path) {
  return Allowed(TFaultPoint::CreateDir, path) &&
         ::CreateDirectoryW(WidePtr(std::u16string(path)), nullptr) != FALSE;
}

bool ForceDirectories(std::u16string_view path) {
  std::u16string dir(path);
  while (!dir.empty() && (dir.back() == u'\\' || dir.back() == u'/')) {
    dir.pop_back();
  }
  if (dir.empty() || DirectoryExists(dir)) {
    return !dir.empty();
  }
  const std::size_t parentEnd = dir.find_last_of(u"\\/");
  if (parentEnd != std::u16string::npos && parentEnd > 0 && dir[parentEnd - 1] != u':') {
    ForceDirectories(std::u16string_view(dir).substr(0, parentEnd));
  }
  CreateDir(dir);
  return DirectoryExists(dir);
}

bool RemoveDir(std::u16string_view path) {
  return Allowed(TFaultPoint::RemoveDir, path) &&
         ::RemoveDirectoryW(WidePtr(std::u16string(path))) != FALSE;
}

bool RemoveFile(std::u16string_view path) {
  return Allowed(TFaultPoint::Delete, path) &&
         ::DeleteFileW(WidePtr(std::u16string(path))) != FALSE;
}

bool FreeDiskSpace(std::u16string_view folder, std::uint64_t& bytes) {
  ULARGE_INTEGER available{};
  if (::GetDiskFreeSpaceExW(WidePtr(std::u16string(folder)), &available, nullptr, nullptr) ==
      FALSE) {
    return false;
  }
  bytes = available.QuadPart;
  return true;
}

bool RenameFile(std::u16string_view from, std::u16string_view to) {
  return Allowed(TFaultPoint::Rename, from) && Allowed(TFaultPoint::Rename, to) &&
         ::MoveFileExW(WidePtr(std::u16string(from)), WidePtr(std::u16string(to)), 0) != FALSE;
}

bool MoveFileOver(std::u16string_view from, std::u16string_view to) {
  return Allowed(TFaultPoint::Replace, to) &&
         ::MoveFileExW(WidePtr(std::u16string(from)), WidePtr(std::u16string(to)),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

namespace {

TScopedFileHandle OpenToFlush(std::u16string_view path) {
  return TScopedFileHandle(::CreateFileW(WidePtr(std::u16string(path)), GENERIC_WRITE,
                                         FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
}

// NtFlushBuffersFileEx, looked up once: ntdll has it from Windows 8 on (Wine 8 has none).
using TFlushBuffersFileEx = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PIO_STATUS_BLOCK);
TFlushBuffersFileEx FlushBuffersFileEx() {
  static const auto function = reinterpret_cast<TFlushBuffersFileEx>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtFlushBuffersFileEx")));
  return function;
}

constexpr ULONG kFlushFlagsNoSync = 0x00000002;

}  // namespace

// Where the flag is refused (a file system other than NTFS), the whole flush stands in.
bool WriteFileOut(std::u16string_view path) {
  if (!Allowed(TFaultPoint::Flush, path)) {
    return false;
  }
  const TScopedFileHandle file = OpenToFlush(path);
  if (!file.IsValid()) {
    return false;
  }
  IO_STATUS_BLOCK status{};
  const TFlushBuffersFileEx flush = FlushBuffersFileEx();
  return (flush != nullptr && flush(file.Get(), kFlushFlagsNoSync, nullptr, 0, &status) >= 0) ||
         ::FlushFileBuffers(file.Get()) != FALSE;
}

bool FlushDiskCache(std::u16string_view path) {
  if (!Allowed(TFaultPoint::Flush, path)) {
    return false;
  }
  const TScopedFileHandle file = OpenToFlush(path);
  return file.IsValid() && ::FlushFileBuffers(file.Get()) != FALSE;
}

bool AddHiddenAndSystem(std::u16string_view path, bool hidden, bool system) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         ::SetFileAttributesW(WidePtr(std::u16string(path)),
                              attributes | (hidden ? FILE_ATTRIBUTE_HIDDEN : 0) |
                                  (system ? FILE_ATTRIBUTE_SYSTEM : 0)) != FALSE;
}

bool ClearReadOnly(std::u16string_view path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         ((attributes & FILE_ATTRIBUTE_READONLY) == 0 ||
          ::SetFileAttributesW(WidePtr(std::u16string(path)),
                               attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)) != FALSE);
}

bool SetFileTimes(std::u16string_view path, const TFileTime& creation, const TFileTime& lastWrite) {
  if (!Allowed(TFaultPoint::SetTimes, path)) {
    return false;
  }
  const TScopedFileHandle file(::CreateFileW(WidePtr(std::u16string(path)), FILE_WRITE_ATTRIBUTES,
                                             FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.IsValid()) {
    return false;
  }
  const FILETIME created = ToFileTime(creation);
  const FILETIME written = ToFileTime(lastWrite);
  return ::SetFileTime(file.Get(), &created, nullptr, &written) != FALSE;
}

bool GetFileTimes(std::u16string_view path, TFileTimes& times) {
  const TScopedFileHandle file(::CreateFileW(WidePtr(std::u16string(path)), 0,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  FILETIME created{};
  FILETIME accessed{};
  FILETIME written{};
  if (!file.IsValid() || ::GetFileTime(file.Get(), &created, &accessed, &written) == FALSE) {
    return false;
  }
  times = {FromFileTime(created), FromFileTime(accessed), FromFileTime(written)};
  return true;
}

bool FindFile(std::u16string_view path, TFoundFile& found) {
  if (path.find_first_of(u"*?") != std::u16string_view::npos) {
    return false;
  }
  WIN32_FIND_DATAW data{};
  HANDLE find = ::FindFirstFileW(WidePtr(std::u16string(path)), &data);
  if (find == INVALID_HANDLE_VALUE) {
    return false;
  }
  ::FindClose(find);
  found = {FromWide(data.cFileName),
           (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
           FromFileTime(data.ftCreationTime),
           FromFileTime(data.ftLastWriteTime),
           (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
           (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0,
           (data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0};
  return true;
}

std::vector<TDirEntry> ListDirectory(std::u16string_view path) {
  std::vector<TDirEntry> entries;
  const std::u16string pattern = std::u16string(path) + u"\\*";
  WIN32_FIND_DATAW data{};
  HANDLE find = ::FindFirstFileW(WidePtr(pattern), &data);
  if (find == INVALID_HANDLE_VALUE) {
    return entries;
  }
  do {
    const std::u16string name = FromWide(data.cFileName);
    if (name != u"." && name != u"..") {
      entries.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    }
  } while (::FindNextFileW(find, &data) != FALSE);
  ::FindClose(find);
  return entries;
}

const std::uint32_t kSharingViolationError = ERROR_SHARING_VIOLATION;
const std::uint32_t kInvalidDataError = ERROR_INVALID_DATA;
const std::uint32_t kFileNotFoundError = ERROR_FILE_NOT_FOUND;

bool IsFileInUseError(std::uint32_t osError) {
  return osError == ERROR_SHARING_VIOLATION || osError == ERROR_LOCK_VIOLATION ||
         osError == ERROR_ACCESS_DENIED;
}

std::uint32_t LastOsError() {
  return ::GetLastError();
}

std::u16string SysErrorMessage(std::uint32_t code) {
  wchar_t* buffer = nullptr;
  const DWORD length =
      ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::u16string text = length != 0 ? FromWide(buffer, length) : std::u16string();
  ::LocalFree(buffer);
  while (!text.empty() && (text.back() <= u' ' || text.back() == u'.')) {
    text.pop_back();
  }
  return text;
}

}  // namespace zelkupd
