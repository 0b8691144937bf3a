#include "runtime/lock_file.h"

#include <windows.h>

#include "runtime/fault_hook.h"
#include "runtime/files.h"
#include "runtime/win32/wide.h"

namespace zelkupd {
namespace {

// Shared with nobody and removed by the system as its last handle closes, whoever closes it: the
// holder, or the system for a holder that was killed.
HANDLE OpenLock(const std::u16string& path) {
  return ::CreateFileW(WidePtr(path), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

bool IsReadOnly(const std::u16string& path) {
  const DWORD attributes = ::GetFileAttributesW(WidePtr(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

}  // namespace

std::unique_ptr<TLockFile> TLockFile::Take(std::u16string_view path) {
  const std::u16string name(path);
  if (FaultRequested(TFaultPoint::Create, name)) {
    RaiseLockError(name, ERROR_ACCESS_DENIED);
  }
  HANDLE lock = OpenLock(name);
  if (lock == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED && IsReadOnly(name) &&
      ClearReadOnly(name)) {
    lock = OpenLock(name);
  }
  if (lock == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    // A file whose removal is pending refuses every open with access denied: its holder is
    // letting go of it.
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) {
      return nullptr;
    }
    RaiseLockError(name, error);
  }
  return std::unique_ptr<TLockFile>(new TLockFile(name, reinterpret_cast<std::intptr_t>(lock)));
}

TLockFile::~TLockFile() {
  ::CloseHandle(reinterpret_cast<HANDLE>(FHandle));
}

}  // namespace zelkupd
