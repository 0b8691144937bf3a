#include "dialog_helper/dialog_session.h"

#include <algorithm>

#include "dialog_helper/box_finder.h"
#include "dialog_helper/message_box.h"

namespace zelkupd::test {
namespace {

constexpr DWORD kPollMs = 20;
// The exit code given to a program that outlived its time.
constexpr UINT kTerminatedExitCode = 258;

bool HasButton(const TMessageBoxInfo& info, const std::wstring& name) {
  return std::find(info.Buttons.begin(), info.Buttons.end(), name) != info.Buttons.end();
}

// What an unscripted or mis-scripted box gets, so the run can still end: the button that ends a
// box with the least effect.
std::wstring FallbackAnswer(const TMessageBoxInfo& info) {
  for (const wchar_t* name : {L"cancel", L"ok", L"no"}) {
    if (HasButton(info, name)) {
      return name;
    }
  }
  return L"close";
}

}  // namespace

void TDialogSession::Fail(const std::wstring& message) {
  FFailed = true;
  FRecord.Append(TJsonLine("failure").Add("message", message));
}

void TDialogSession::Answer(HWND box, HANDLE process) {
  const TMessageBoxInfo info = ReadMessageBox(box);
  const int index = ++FBoxCount;
  const std::wstring label = L"box " + std::to_wstring(index);
  const bool scripted = FNextAnswer < FScript.Answers.size();
  std::wstring answer = scripted ? FScript.Answers[FNextAnswer++] : FallbackAnswer(info);
  if (answer == L"default") {
    answer = info.DefaultButton;
  }
  std::wstring problem;
  if (!scripted) {
    problem = label + L" was not scripted; closed with " + answer;
  } else if (answer != L"close" && !HasButton(info, answer)) {
    problem = label + L" has no button '" + FScript.Answers[FNextAnswer - 1] + L"'";
    answer = FallbackAnswer(info);
  }

  TJsonLine record("box");
  record.Add("index", index).Add("caption", info.Caption).Add("text", info.Text);
  record.AddList("buttons", info.Buttons);
  if (info.DefaultButton.empty()) {
    record.AddNull("default");
  } else {
    record.Add("default", info.DefaultButton);
  }
  record.AddBool("icon", info.HasIcon).Add("answer", answer).AddBool("scripted", scripted);
  FRecord.Append(record);
  if (!problem.empty()) {
    Fail(problem);
  }

  ::Sleep(FScript.AnswerDelayMs);
  if (answer == L"close") {
    CloseBox(box);
  } else {
    PressButton(box, ButtonId(answer));
  }
  WaitUntilClosed(box, process, answer);
}

void TDialogSession::WaitUntilClosed(HWND box, HANDLE process, const std::wstring& answer) {
  const ULONGLONG deadline = ::GetTickCount64() + FScript.BoxCloseTimeoutMs;
  while (::IsWindow(box) != FALSE) {
    if (::WaitForSingleObject(process, kPollMs) == WAIT_OBJECT_0) {
      return;
    }
    if (::GetTickCount64() >= deadline) {
      Fail(L"box " + std::to_wstring(FBoxCount) + L" stayed open after '" + answer + L"'");
      return;
    }
  }
}

int TDialogSession::Run(const TChildStart& start) {
  TChild child = StartChild(start);
  if (!child.hProcess.IsValid()) {
    Fail(L"cannot start " + start.CommandLine + L": error " + std::to_wstring(child.Error));
    FRecord.Append(TJsonLine("end").AddNull("exit_code").AddBool("timed_out", false));
    return kHelperFailed;
  }
  FRecord.Append(TJsonLine("start")
                     .Add("command_line", start.CommandLine)
                     .Add("pid", static_cast<std::int64_t>(child.ProcessId)));
  HANDLE process = child.hProcess.Get();
  const ULONGLONG deadline = ::GetTickCount64() + FScript.TimeoutMs;
  bool timedOut = false;
  for (;;) {
    for (HWND box : FindMessageBoxes(child.ProcessId)) {
      if (FHandled.insert(box).second) {
        Answer(box, process);
      }
    }
    if (::WaitForSingleObject(process, kPollMs) == WAIT_OBJECT_0) {
      break;
    }
    if (::GetTickCount64() >= deadline) {
      timedOut = true;
      Fail(L"the program did not end within " + std::to_wstring(FScript.TimeoutMs) +
           L" ms and was terminated");
      ::TerminateProcess(process, kTerminatedExitCode);
      ::WaitForSingleObject(process, FScript.BoxCloseTimeoutMs);
      break;
    }
  }
  for (std::size_t i = FNextAnswer; i < FScript.Answers.size(); ++i) {
    Fail(L"scripted answer " + std::to_wstring(i + 1) + L" ('" + FScript.Answers[i] +
         L"') was never used: no box came for it");
  }
  DWORD exitCode = 0;
  ::GetExitCodeProcess(process, &exitCode);
  FRecord.Append(TJsonLine("end")
                     .Add("exit_code", static_cast<std::int64_t>(exitCode))
                     .AddBool("timed_out", timedOut)
                     .Add("boxes", FBoxCount));
  return FFailed ? kHelperFailed : static_cast<int>(exitCode);
}

}  // namespace zelkupd::test
