// The dialog helper: runs the program under test and plays the user at its message boxes.
//
//   dialog-helper --record LOG [--answer NAME]... [--timeout-ms N] [--answer-delay-ms N]
//                 [--stdout inherit|none] [--cwd DIR] -- PROGRAM [ARGUMENTS...]
//
// LOG receives one JSON record per line: "start", one "box" per message box (caption, text,
// buttons from left to right, default button, icon, the answer given), any "failure", and "end"
// with the program's exit code. The helper exits with that exit code, or 250 when the run did not
// go by the script.
#include <cstdio>
#include <string>
#include <vector>

#include "common/arguments.h"
#include "common/record_file.h"
#include "dialog_helper/dialog_session.h"

int wmain() {
  using namespace zelkupd::test;
  const std::vector<std::wstring> arguments = CommandLineArguments();
  std::wstring recordPath;
  TDialogScript script;
  TChildStart start;
  std::wstring usageError;
  std::size_t i = 0;
  for (; i < arguments.size() && arguments[i] != L"--"; ++i) {
    const std::wstring& option = arguments[i];
    if (i + 1 >= arguments.size()) {
      usageError = L"option " + option + L" needs a value";
      break;
    }
    const std::wstring& value = arguments[++i];
    if (option == L"--record") {
      recordPath = value;
    } else if (option == L"--answer") {
      script.Answers.push_back(value);
    } else if (option == L"--timeout-ms") {
      script.TimeoutMs = static_cast<DWORD>(ParseNumber(value, 60000));
    } else if (option == L"--answer-delay-ms") {
      script.AnswerDelayMs = static_cast<DWORD>(ParseNumber(value, 0));
    } else if (option == L"--stdout" && (value == L"inherit" || value == L"none")) {
      start.WithoutStdOutput = value == L"none";
    } else if (option == L"--cwd") {
      start.WorkingDir = value;
    } else {
      usageError = L"unknown option " + option + L" " + value;
      break;
    }
  }
  if (usageError.empty() && i + 1 >= arguments.size()) {
    usageError = L"no program given after --";
  }
  const TRecordFile record(recordPath);
  if (!usageError.empty()) {
    if (recordPath.empty() || !record.Append(TJsonLine("failure").Add("message", usageError))) {
      std::fwprintf(stderr, L"dialog-helper: %ls\n", usageError.c_str());
    }
    return kHelperFailed;
  }
  start.CommandLine = JoinCommandLine(
      std::vector<std::wstring>(arguments.begin() + static_cast<long>(i) + 1, arguments.end()));
  TDialogSession session(record, script);
  return session.Run(start);
}
