// One scripted run of the program under test: starts it, answers its message boxes in the order
// the test scripted, records every box and the end of the run, and never waits without a limit.
#pragma once

#include <windows.h>

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "common/record_file.h"
#include "dialog_helper/child_process.h"

namespace zelkupd::test {

// The helper's exit code when the run did not go by the script (the records say why); otherwise
// the helper exits with the program's own exit code.
inline constexpr int kHelperFailed = 250;

struct TDialogScript {
  std::vector<std::wstring> Answers;  // a button name, "default" or "close", one per box
  DWORD TimeoutMs = 60000;            // for the whole run; then the program is terminated
  DWORD BoxCloseTimeoutMs = 5000;     // for a box to go away once answered
  DWORD AnswerDelayMs = 0;            // a pause before each answer, for a person watching
};

class TDialogSession {
 public:
  TDialogSession(TRecordFile record, TDialogScript script)
      : FRecord(std::move(record)), FScript(std::move(script)) {}

  int Run(const TChildStart& start);

 private:
  void Answer(HWND box, HANDLE process);
  void WaitUntilClosed(HWND box, HANDLE process, const std::wstring& answer);
  void Fail(const std::wstring& message);

  TRecordFile FRecord;
  TDialogScript FScript;
  std::set<HWND> FHandled;
  std::size_t FNextAnswer = 0;
  int FBoxCount = 0;
  bool FFailed = false;
};

}  // namespace zelkupd::test
