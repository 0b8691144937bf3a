#include "common/record_file.h"

#include <windows.h>

#include "runtime/win32/scoped_handle.h"

namespace zelkupd::test {

bool TRecordFile::Append(TJsonLine record) const {
  if (FPath.empty()) {
    return true;
  }
  // FILE_APPEND_DATA alone makes every write land at the current end, even with other writers.
  const TScopedFileHandle file(::CreateFileW(FPath.c_str(), FILE_APPEND_DATA,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) {
    return false;
  }
  const std::string text = record.Add("tick", static_cast<std::int64_t>(::GetTickCount64())).Text();
  DWORD written = 0;
  return ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) !=
             FALSE &&
         written == text.size();
}

}  // namespace zelkupd::test
