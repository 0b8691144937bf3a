// The stand-in ZELK.EXE (and, copied, ZELKCFG.EXE): a small GUI program that shows, refuses or
// hides its window, holds a file locked, replaces a file when asked to close, and logs its start,
// the close requests it receives and its end, so end-to-end tests can stage the programs the
// updater closes and starts.
#include <windows.h>

#include <string>
#include <vector>

#include "common/arguments.h"
#include "common/record_file.h"
#include "stand_in/app_window.h"
#include "stand_in/file_lock.h"
#include "stand_in/options.h"

namespace {

std::wstring CurrentFolder() {
  std::wstring folder(::GetCurrentDirectoryW(0, nullptr), L'\0');
  folder.resize(::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
  return folder;
}

std::wstring OwnPath() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  return path;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int showCommand) {
  using namespace zelkupd::test;
  const TStandInOptions options = LoadOptions();
  const TRecordFile log(options.LogPath);
  TJsonLine started("started");
  started.Add("pid", static_cast<std::int64_t>(::GetCurrentProcessId()))
      .Add("exe", OwnPath())
      .Add("command_line", ::GetCommandLineW())
      .AddList("arguments", CommandLineArguments())
      .Add("cwd", CurrentFolder())
      .Add("show", showCommand)
      .Add("window", WindowModeName(options.Window))
      .Add("pointer_bytes", static_cast<std::int64_t>(sizeof(void*)));
  if (!options.Problems.empty()) {
    started.Add("problems", options.Problems);
  }
  log.Append(started);
  zelkupd::TScopedFileHandle held;
  if (!options.LockPath.empty()) {
    held = HoldFile(options, log);
  }
  return RunStandIn(instance, options, log);
}
