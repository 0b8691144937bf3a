#include "update/app_close.h"

#include <optional>
#include <utility>

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

}  // namespace

TWindowExeNames GetWindowExeNames(Platform& system, TWindowHandle window) {
  const TOpenedProcess process(system, kQueryAccess, system.GetWindowProcessId(window));
  TWindowExeNames names;
  if (process.Get() == nullptr) {
    return names;
  }
  if (!system.QueryFullProcessImagePath(process.Get(), kImageNameCapacity, names.Kernel)) {
    names.Kernel.clear();
  }
  if (!system.GetProcessImageName(process.Get(), kImageNameCapacity, names.Module)) {
    names.Module.clear();
  }
  return names;
}

int EnumAppWindowProc(TWindowHandle window, void* record) {
  auto& search = *static_cast<THWndRec*>(record);
  Platform& system = *search.System;
  if (!system.IsWindowVisible(window) || system.GetWindowOwner(window) != 0) {
    return 1;
  }
  const TWindowExeNames names = GetWindowExeNames(system, window);
  const std::u16string wanted = UpperCase(search.Filename);
  const auto matches = [&](const std::u16string& name) {
    return !name.empty() && UpperCase(name) == wanted;
  };
  if (!matches(names.Kernel) && !matches(names.Module)) {
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

void RecordProcess(TRunContext& ctx, std::size_t slot, std::uint32_t processId) {
  TProcessHandle& held = ctx.State.ProcessHandles[slot];
  if (held != nullptr) {
    ctx.System.CloseHandle(held);
  }
  held = processId != 0 ? ctx.System.OpenProcess(kSynchronize, processId) : nullptr;
  ctx.State.ProcessTable[slot] = processId;
}

bool CloseAppWindows(TRunContext& ctx, const std::u16string& exePath, std::int32_t slot) {
  auto& table = ctx.State.ProcessTable;
  const bool inTable = slot >= 0 && static_cast<std::size_t>(slot) < table.size();
  const TWindowHandle window = FindAppWindow(ctx.System, exePath);
  if (window == 0) {
    // Emptying the slots past the last find keeps the final wait to this pass's processes.
    if (inTable) {
      for (std::size_t i = static_cast<std::size_t>(slot); i < table.size(); ++i) {
        RecordProcess(ctx, i, 0);
      }
    }
    return false;
  }
  const std::uint32_t processId = ctx.System.GetWindowProcessId(window);
  // Opened before the request, while its window shows that the process is still there: once it
  // has ended, Windows can give its id to another process.
  std::optional<TOpenedProcess> waitedNow;
  if (inTable) {
    RecordProcess(ctx, static_cast<std::size_t>(slot), processId);
  } else if (slot >= 0 && processId != 0) {
    // Outside the table nothing waits for it later, so it gets its wait now.
    waitedNow.emplace(ctx.System, kSynchronize, processId);
  }
  ctx.System.PostWindowMessage(window, kWmClose, 0, 0);
  // A process that could not be opened has already ended.
  if (waitedNow && waitedNow->Get() != nullptr) {
    ctx.System.WaitForSingleObject(waitedNow->Get(), kSlotWaitMs);
  }
  return true;
}

// Reopening each process by its id here could meet another process that the id has passed to
// since the close request, and wait its 3000 ms for nothing.
bool WaitForClosedApps(TRunContext& ctx) {
  bool allEnded = true;
  for (TProcessHandle& held : ctx.State.ProcessHandles) {
    const TProcessHandle process = std::exchange(held, nullptr);
    if (process != nullptr) {
      allEnded = ctx.System.WaitForSingleObject(process, kFinalWaitMs) != kWaitTimeout && allEnded;
      ctx.System.CloseHandle(process);
    }
  }
  return allEnded;
}

}  // namespace zelkupd
