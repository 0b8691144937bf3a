#include "stand_in/file_lock.h"

namespace zelkupd::test {

TScopedFileHandle HoldFile(const TStandInOptions& options, const TRecordFile& log) {
  const bool readers = options.LockShare == TLockShare::Read;
  TScopedFileHandle file(::CreateFileW(options.LockPath.c_str(), GENERIC_READ,
                                       readers ? FILE_SHARE_READ : 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  TJsonLine record(file.IsValid() ? "locked" : "lock_failed");
  record.Add("path", options.LockPath).Add("share", readers ? L"read" : L"none");
  if (!file.IsValid()) {
    record.Add("error", static_cast<std::int64_t>(::GetLastError()));
  }
  log.Append(record);
  return file;
}

}  // namespace zelkupd::test
