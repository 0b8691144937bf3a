// The log a helper appends its records to. Each record is opened, appended and closed on its own,
// so several processes can share one log and the harness sees every record as soon as it is made;
// each carries the system's tick count ("tick", in ms), so records of different processes can be
// put in order and their distances measured.
#pragma once

#include <string>

#include "common/json_line.h"

namespace zelkupd::test {

class TRecordFile {
 public:
  // An empty path records nothing (a helper started by hand without a log).
  explicit TRecordFile(std::wstring path) : FPath(std::move(path)) {}

  // False when the record could not be written.
  bool Append(TJsonLine record) const;

 private:
  std::wstring FPath;
};

}  // namespace zelkupd::test
