#include "update/app_close.h"

#include "runtime/text.h"

namespace zelkupd {
namespace {

constexpr std::uint32_t kQueryAccess = 0x0400 | 0x0010;  // PROCESS_QUERY_INFORMATION | VM_READ
constexpr std::uint32_t kSynchronize = 0x00100000;
constexpr std::uint32_t kImageNameCapacity = 521;
constexpr std::uint32_t kWmClose = 16;
constexpr std::uint32_t kWaitTimeout = 258;
constexpr std::uint32_t kSlotWaitMs = 2000;
constexpr std::uint32_t kFinalWaitMs = 3000;

// A process handle opened through the platform and closed on every way out.
class TOpenedProcess {
 public:
  TOpenedProcess(Platform& system, std::uint32_t access, std::uint32_t processId)
      : FSystem(system), hProcess(system.OpenProcess(access, processId)) {}
  ~TOpenedProcess() {
    if (hProcess != nullptr) {
      FSystem.CloseHandle(hProcess);
    }
  }
  TOpenedProcess(const TOpenedProcess&) = delete;
  TOpenedProcess& operator=(const TOpenedProcess&) = delete;

  TProcessHandle Get() const { return hProcess; }

 private:
  Platform& FSystem;
  TProcessHandle hProcess;
};

// Waits for the process; a process that cannot be opened any more has already ended.
std::uint32_t WaitForProcess(Platform& system, std::uint32_t processId, std::uint32_t ms) {
  const TOpenedProcess process(system, kSynchronize, processId);
  if (process.Get() == nullptr) {
    return 0;
  }
  return system.WaitForSingleObject(process.Get(), ms);
}

}  // namespace

std::u16string GetWindowExeName(Platform& system, TWindowHandle window) {
  const TOpenedProcess process(system, kQueryAccess, system.GetWindowProcessId(window));
  std::u16string path;
  if (process.Get() == nullptr ||
      !system.GetProcessImageName(process.Get(), kImageNameCapacity, path)) {
    return {};
  }
  return path;
}

int EnumAppWindowProc(TWindowHandle window, void* record) {
  auto& search = *static_cast<THWndRec*>(record);
  Platform& system = *search.System;
  if (!system.IsWindowVisible(window) || system.GetWindowOwner(window) != 0) {
    return 1;
  }
  if (UpperCase(GetWindowExeName(system, window)) != UpperCase(search.Filename)) {
    return 1;
  }
  search.hWin = window;
  return 0;
}

TWindowHandle FindAppWindow(Platform& system, const std::u16string& exePath) {
  if (exePath.empty()) {
    return 0;
  }
  THWndRec search{0, exePath, &system};
  system.EnumWindows(EnumAppWindowProc, &search);
  return search.hWin;
}

bool CloseAppWindows(TRunContext& ctx, const std::u16string& exePath, std::int32_t slot) {
  auto& table = ctx.State.ProcessTable;
  const bool inTable = slot >= 0 && static_cast<std::size_t>(slot) < table.size();
  const TWindowHandle window = FindAppWindow(ctx.System, exePath);
  if (window == 0) {
    // Emptying the slots past the last find keeps the final wait to this pass's processes.
    if (inTable) {
      for (std::size_t i = static_cast<std::size_t>(slot); i < table.size(); ++i) {
        table[i] = 0;
      }
    }
    return false;
  }
  const std::uint32_t processId = ctx.System.GetWindowProcessId(window);
  ctx.System.PostWindowMessage(window, kWmClose, 0, 0);
  if (inTable) {
    table[static_cast<std::size_t>(slot)] = processId;
  } else if (slot >= 0 && processId != 0) {
    // Outside the table nothing waits for it later, so it gets its wait now.
    WaitForProcess(ctx.System, processId, kSlotWaitMs);
  }
  return true;
}

bool WaitForClosedApps(TRunContext& ctx) {
  bool allEnded = true;
  for (const std::uint32_t processId : ctx.State.ProcessTable) {
    if (processId != 0 && WaitForProcess(ctx.System, processId, kFinalWaitMs) == kWaitTimeout) {
      allEnded = false;
    }
  }
  return allEnded;
}

}  // namespace zelkupd
