#include <windows.h>

#include "runtime/os_file.h"
#include "runtime/win32/wide.h"

namespace zelkupd::os {

const std::uint32_t kDiskFullError = ERROR_DISK_FULL;
const std::uint32_t kAccessDeniedError = ERROR_ACCESS_DENIED;

std::intptr_t OpenFile(std::u16string_view path, const TFileMode& mode) {
  DWORD access = 0;
  switch (mode.Access) {
    case TFileAccess::Read:
      access = GENERIC_READ;
      break;
    case TFileAccess::Write:
      access = GENERIC_WRITE;
      break;
    case TFileAccess::ReadWrite:
      access = GENERIC_READ | GENERIC_WRITE;
      break;
  }
  const DWORD share = mode.Share == TFileShare::Read ? FILE_SHARE_READ : 0;
  DWORD disposition = OPEN_EXISTING;
  if (mode.Disposition == TFileDisposition::CreateAlways) {
    disposition = CREATE_ALWAYS;
  } else if (mode.Disposition == TFileDisposition::CreateNew) {
    disposition = CREATE_NEW;
  }
  const DWORD attributes = mode.DeleteOnClose ? FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE
                                              : FILE_ATTRIBUTE_NORMAL;
  HANDLE file = ::CreateFileW(WidePtr(std::u16string(path)), access, share, nullptr, disposition,
                              attributes, nullptr);
  return file == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<std::intptr_t>(file);
}

void CloseFile(std::intptr_t file) {
  if (file != kInvalidFile) {
    ::CloseHandle(reinterpret_cast<HANDLE>(file));
  }
}

bool ReadFile(std::intptr_t file, void* buffer, std::uint32_t count, std::uint32_t& done) {
  DWORD n = 0;
  const bool ok = ::ReadFile(reinterpret_cast<HANDLE>(file), buffer, count, &n, nullptr) != FALSE;
  done = n;
  return ok;
}

bool WriteFile(std::intptr_t file, const void* buffer, std::uint32_t count, std::uint32_t& done) {
  DWORD n = 0;
  const bool ok = ::WriteFile(reinterpret_cast<HANDLE>(file), buffer, count, &n, nullptr) != FALSE;
  done = n;
  return ok;
}

bool SeekFile(std::intptr_t file, std::int64_t offset, TSeekOrigin origin, std::int64_t& position) {
  DWORD method = FILE_BEGIN;
  if (origin == TSeekOrigin::Current) {
    method = FILE_CURRENT;
  } else if (origin == TSeekOrigin::End) {
    method = FILE_END;
  }
  LARGE_INTEGER distance{};
  distance.QuadPart = offset;
  LARGE_INTEGER result{};
  if (::SetFilePointerEx(reinterpret_cast<HANDLE>(file), distance, &result, method) == FALSE) {
    return false;
  }
  position = result.QuadPart;
  return true;
}

bool FlushFile(std::intptr_t file) {
  return ::FlushFileBuffers(reinterpret_cast<HANDLE>(file)) != FALSE;
}

bool SetFileTimes(std::intptr_t file, const TFileTime& creation, const TFileTime& lastWrite) {
  const FILETIME created{creation.Low, creation.High};
  const FILETIME written{lastWrite.Low, lastWrite.High};
  return ::SetFileTime(reinterpret_cast<HANDLE>(file), &created, nullptr, &written) != FALSE;
}

bool GetFileTimes(std::intptr_t file, TFileTime& creation, TFileTime& lastWrite) {
  FILETIME created{};
  FILETIME written{};
  if (::GetFileTime(reinterpret_cast<HANDLE>(file), &created, nullptr, &written) == FALSE) {
    return false;
  }
  creation = {created.dwLowDateTime, created.dwHighDateTime};
  lastWrite = {written.dwLowDateTime, written.dwHighDateTime};
  return true;
}

void SetLastOsError(std::uint32_t code) {
  ::SetLastError(code);
}

}  // namespace zelkupd::os
