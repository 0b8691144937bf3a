#include "stand_in/file_replace.h"

namespace zelkupd::test {

void ReplaceFile(const TStandInOptions& options, const TRecordFile& log) {
  if (options.ReplacePath.empty()) {
    return;
  }
  const bool moved = options.ReplaceBy == TReplaceBy::Move;
  const BOOL done =
      moved ? ::MoveFileExW(options.ReplaceWith.c_str(), options.ReplacePath.c_str(),
                            MOVEFILE_REPLACE_EXISTING)
            : ::CopyFileW(options.ReplaceWith.c_str(), options.ReplacePath.c_str(), FALSE);
  TJsonLine record(done != FALSE ? "replaced" : "replace_failed");
  record.Add("path", options.ReplacePath).Add("by", moved ? L"move" : L"copy");
  if (done == FALSE) {
    record.Add("error", static_cast<std::int64_t>(::GetLastError()));
  }
  log.Append(record);
}

}  // namespace zelkupd::test
