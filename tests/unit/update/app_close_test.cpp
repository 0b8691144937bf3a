// Finding, closing and waiting for the running ZELK programs, over the fake platform; under
// Windows also over the real window and process calls.
#include "update/app_close.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include "runtime/text.h"
#include "support/fake_platform.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/enum_trampoline.h"
#include "platform/win32/win32_platform.h"
#endif

namespace zelkupd {
namespace {

using test::FakePlatform;

constexpr char16_t kZelk[] = u"C:\\ZELK\\ZELK.EXE";
constexpr char16_t kZelkCfg[] = u"C:\\ZELK\\ZELKCFG.EXE";

class AppCloseTest : public ::testing::Test {
 protected:
  // A window of its own process; by default visible, unowned, closing on the first WM_CLOSE.
  bool Called(const std::string& prefix) const {
    return std::any_of(fake.Calls.begin(), fake.Calls.end(),
                       [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
  }

  FakePlatform fake;
  TRunContext ctx{fake};
};

TEST_F(AppCloseTest, ExeNamesAreReadWithQueryAccessAndA521UnitBufferAndTheHandleClosed) {
  fake.AddWindow(10, 77, kZelk);
  const TWindowExeNames names = GetWindowExeNames(fake, 10);
  EXPECT_EQ(names.Kernel, kZelk);
  EXPECT_EQ(names.Module, kZelk);
  EXPECT_EQ(fake.Calls,
            (std::vector<std::string>{"OpenProcess 1040 77", "QueryFullProcessImageName 521",
                                      "GetModuleFileNameEx 521", "CloseHandle"}));

  fake.PsapiMissing = true;
  fake.Processes[77].ImageQueryFails = true;
  EXPECT_EQ(GetWindowExeNames(fake, 10).Kernel, u"");
  EXPECT_EQ(fake.CallCount("CloseHandle"), 2) << "closed also when no name can be read";

  fake.Processes[77].QueryOpenFails = true;
  EXPECT_EQ(GetWindowExeNames(fake, 10).Module, u"");
  EXPECT_EQ(fake.OpenProcessHandles, 0);
}

// Each name alone must find the window: the kernel's is all a 32-bit updater can read of a 64-bit
// ZELK, and the module list's is the only one spelt as the updater was started (a subst drive).
TEST_F(AppCloseTest, AZelkKnownByEitherOfItsNamesIsFoundAndAskedToClose) {
  fake.AddWindow(10, 1, kZelk).ClosesAfter = 0;
  fake.Processes[1].OtherBitness = true;
  EXPECT_TRUE(CloseAppWindows(ctx, kZelk, 0));
  EXPECT_EQ(ctx.State.ProcessTable[0], 1u);

  fake.Processes[1].OtherBitness = false;
  fake.Processes[1].KernelImagePath = u"D:\\REAL\\ZELK\\ZELK.EXE";
  EXPECT_TRUE(CloseAppWindows(ctx, kZelk, 1));
  fake.Processes[1].ImageQueryFails = true;
  EXPECT_TRUE(CloseAppWindows(ctx, kZelk, 2));

  fake.Processes[1].OtherBitness = true;
  EXPECT_FALSE(CloseAppWindows(ctx, kZelk, 3)) << "neither name can be read";
  EXPECT_EQ(fake.CallCount("PostMessage 10 16 0 0"), 3);
}

TEST_F(AppCloseTest, HiddenAndOwnedWindowsAreSkippedWithoutLookingAtTheirProcess) {
  fake.AddWindow(10, 1, kZelk).Visible = false;
  fake.AddWindow(11, 2, kZelk).Owner = 12;
  fake.AddWindow(12, 3, kZelk);
  EXPECT_EQ(FindAppWindow(fake, kZelk), 12u);
  EXPECT_FALSE(Called("OpenProcess 1040 1"));
  EXPECT_FALSE(Called("OpenProcess 1040 2"));

  fake.Windows.pop_back();
  fake.Calls.clear();
  EXPECT_FALSE(CloseAppWindows(ctx, kZelk, 0));
  EXPECT_FALSE(Called("PostMessage"));
}

TEST_F(AppCloseTest, PathsAreComparedIgnoringLetterCaseButNotTheirForm) {
  fake.AddWindow(10, 1, u"c:\\zelk\\zelk.exe");
  EXPECT_EQ(FindAppWindow(fake, kZelk), 10u);
  for (const char16_t* other :
       {u"C:\\ZELK~1\\ZELK.EXE", u"D:\\ZELK\\ZELK.EXE", u"C:/ZELK/ZELK.EXE", u"C:\\ZELK\\ZELK.EX",
        u"C:\\ZELK\\ZELK.EXE ", u"\\\\?\\C:\\ZELK\\ZELK.EXE"}) {
    fake.Processes[1].ImagePath = other;
    EXPECT_EQ(FindAppWindow(fake, kZelk), 0u) << Utf16ToUtf8(other);
  }
  fake.Processes[1].ImagePath = u"C:\\ゼルク\\zelk.exe";
  EXPECT_EQ(FindAppWindow(fake, u"C:\\ゼルク\\ZELK.EXE"), 10u);
  fake.Processes[1].ImagePath = u"C:\\ÉTÉ\\ZELK.EXE";
  EXPECT_EQ(FindAppWindow(fake, u"C:\\été\\zelk.exe"), 10u);
}

TEST_F(AppCloseTest, TheFirstMatchingWindowInEnumerationOrderIsFoundAndTheSearchStops) {
  fake.AddWindow(10, 1, kZelkCfg);
  fake.AddWindow(20, 2, kZelk);
  fake.AddWindow(30, 3, kZelk);
  EXPECT_EQ(FindAppWindow(fake, kZelk), 20u);
  EXPECT_FALSE(Called("OpenProcess 1040 3"));
}

TEST_F(AppCloseTest, AProcessWhoseImageCannotBeReadDoesNotMatch) {
  fake.AddWindow(10, 1, kZelk);
  fake.AddWindow(20, 2, kZelk);
  fake.Processes[1].QueryOpenFails = true;
  EXPECT_EQ(FindAppWindow(fake, kZelk), 20u);
  fake.PsapiMissing = true;
  fake.Processes[2].ImageQueryFails = true;
  EXPECT_EQ(FindAppWindow(fake, kZelk), 0u);
  EXPECT_EQ(fake.OpenProcessHandles, 0);
}

TEST_F(AppCloseTest, AnEmptyPathFindsNothingWithoutEnumerating) {
  fake.AddWindow(10, 1, u"");
  EXPECT_EQ(FindAppWindow(fake, u""), 0u);
  EXPECT_FALSE(Called("EnumWindows"));
}

TEST_F(AppCloseTest, CloseRequestIsWmCloseAndRecordsTheProcessInItsSlotWithoutWaiting) {
  fake.AddWindow(10, 77, kZelk);
  EXPECT_TRUE(CloseAppWindows(ctx, kZelk, 4));
  EXPECT_TRUE(Called("PostMessage 10 16 0 0"));
  EXPECT_EQ(ctx.State.ProcessTable[4], 77u);
  EXPECT_TRUE(fake.Waits.empty());
}

TEST_F(AppCloseTest, AWindowFoundAgainFillsTheNextSlotsWithTheSameProcess) {
  fake.AddWindow(10, 77, kZelk).ClosesAfter = 3;
  ctx.State.ProcessTable.fill(5);
  std::int32_t slot = 0;
  while (CloseAppWindows(ctx, kZelk, slot)) {
    ++slot;
  }
  EXPECT_EQ(slot, 3);
  EXPECT_EQ(fake.CallCount("PostMessage 10 16 0 0"), 3);
  std::array<std::uint32_t, 20> expected{};
  expected[0] = expected[1] = expected[2] = 77;
  EXPECT_EQ(ctx.State.ProcessTable, expected) << "slots from the first miss on are emptied";
}

TEST_F(AppCloseTest, AMissEmptiesOnlyTheSlotsFromItsOwnOn) {
  for (std::uint32_t i = 0; i < 20; ++i) {
    ctx.State.ProcessTable[i] = i + 1;
  }
  EXPECT_FALSE(CloseAppWindows(ctx, kZelk, 30));
  EXPECT_EQ(ctx.State.ProcessTable[19], 20u) << "a slot outside the table empties nothing";
  EXPECT_FALSE(CloseAppWindows(ctx, kZelk, 19));
  EXPECT_EQ(ctx.State.ProcessTable[19], 0u);
  EXPECT_EQ(ctx.State.ProcessTable[18], 19u);
  EXPECT_FALSE(CloseAppWindows(ctx, kZelk, 7));
  EXPECT_EQ(ctx.State.ProcessTable[6], 7u);
  EXPECT_EQ(std::count(ctx.State.ProcessTable.begin(), ctx.State.ProcessTable.end(), 0u), 13);
}

TEST_F(AppCloseTest, ASlotBeyondTheTableWaits2000MsAtOnceAndRecordsNothing) {
  fake.AddWindow(10, 77, kZelkCfg).ClosesAfter = 0;
  fake.AddWindow(11, 77, kZelkCfg);
  EXPECT_TRUE(CloseAppWindows(ctx, kZelkCfg, 30));
  EXPECT_EQ(fake.CallCount("PostMessage 10 16 0 0"), 1);
  EXPECT_FALSE(Called("PostMessage 11"));
  const auto post = std::find(fake.Calls.begin(), fake.Calls.end(), "PostMessage 10 16 0 0");
  EXPECT_EQ(std::vector<std::string>(post - 1, fake.Calls.end()),
            (std::vector<std::string>{"OpenProcess 1048576 77", "PostMessage 10 16 0 0",
                                      "WaitForSingleObject 77 2000", "CloseHandle"}))
      << "opened before the request, waited for after it";
  EXPECT_EQ(ctx.State.ProcessTable, (std::array<std::uint32_t, 20>{}));

  fake.Calls.clear();
  EXPECT_TRUE(CloseAppWindows(ctx, kZelkCfg, 20));
  EXPECT_TRUE(Called("WaitForSingleObject 77 2000"));
  EXPECT_EQ(fake.OpenProcessHandles, 0);
}

TEST_F(AppCloseTest, AnImmediateWaitIsSkippedForAProcessThatCannotBeOpened) {
  fake.AddWindow(10, 77, kZelkCfg);
  fake.Processes[77].SyncOpenFails = true;
  EXPECT_TRUE(CloseAppWindows(ctx, kZelkCfg, 30));
  EXPECT_TRUE(fake.Waits.empty());
  EXPECT_FALSE(Called("CloseHandle null"));
}

TEST_F(AppCloseTest, ANegativeSlotAsksToCloseButNeitherRecordsNorWaits) {
  fake.AddWindow(10, 77, kZelk).ClosesAfter = 0;
  ctx.State.ProcessTable.fill(5);
  EXPECT_TRUE(CloseAppWindows(ctx, kZelk, -1));
  EXPECT_TRUE(Called("PostMessage 10 16 0 0"));
  EXPECT_TRUE(fake.Waits.empty());
  fake.Windows.clear();
  EXPECT_FALSE(CloseAppWindows(ctx, kZelk, -1));
  EXPECT_EQ(std::count(ctx.State.ProcessTable.begin(), ctx.State.ProcessTable.end(), 5u), 20);
}

TEST_F(AppCloseTest, FinalWaitIs3000MsPerRecordedSlotInOrderAndKeepsTheSlots) {
  EXPECT_TRUE(WaitForClosedApps(ctx));
  EXPECT_TRUE(fake.Calls.empty()) << "an empty table waits for nothing";

  fake.Processes[5].EndsInWait = true;
  RecordProcess(ctx, 2, 5);
  RecordProcess(ctx, 3, 5);
  EXPECT_EQ(fake.CallCount("OpenProcess 1048576 5"), 2) << "opened as it is recorded";
  fake.Calls.clear();
  EXPECT_TRUE(WaitForClosedApps(ctx));
  EXPECT_EQ(fake.Calls, (std::vector<std::string>{"WaitForSingleObject 5 3000", "CloseHandle",
                                                  "WaitForSingleObject 5 3000", "CloseHandle"}))
      << "the second wait finds the process ended";
  EXPECT_EQ(ctx.State.ProcessTable[3], 5u);
  EXPECT_EQ(fake.OpenProcessHandles, 0);
}

TEST_F(AppCloseTest, ATimedOutWaitMakesTheResultFalseAndTheLaterSlotsAreStillWaitedFor) {
  fake.Processes[7].Running = true;
  fake.Processes[5].EndsInWait = true;
  RecordProcess(ctx, 0, 7);
  RecordProcess(ctx, 19, 5);
  EXPECT_FALSE(WaitForClosedApps(ctx));
  EXPECT_EQ(fake.Waits, (std::vector<std::uint32_t>{3000, 3000}));
  EXPECT_FALSE(fake.Processes[5].Running);
  EXPECT_EQ(fake.OpenProcessHandles, 0);
}

TEST_F(AppCloseTest, AProcessThatCannotBeOpenedForWaitingCountsAsEnded) {
  fake.Processes[5].SyncOpenFails = true;
  RecordProcess(ctx, 0, 5);
  RecordProcess(ctx, 1, 6);  // gone: unknown to the system
  EXPECT_TRUE(WaitForClosedApps(ctx));
  EXPECT_TRUE(fake.Waits.empty());
}

// Windows gives an ended process's id to the next process it starts. The handle opened at the
// close request still names the process that was asked to close, so the final wait does not sit
// out its 3000 ms on a stranger and report a time-out.
TEST_F(AppCloseTest, TheFinalWaitIsForTheProcessAskedEvenWhenItsIdHasPassedToAnother) {
  fake.AddWindow(10, 77, kZelk);
  ASSERT_TRUE(CloseAppWindows(ctx, kZelk, 0));
  const auto post = std::find(fake.Calls.begin(), fake.Calls.end(), "PostMessage 10 16 0 0");
  EXPECT_EQ(*(post - 1), "OpenProcess 1048576 77") << "opened before the request";
  fake.Processes[77] = {.ImagePath = u"C:\\OTHER\\OTHER.EXE", .Instance = 1};
  EXPECT_TRUE(WaitForClosedApps(ctx));
  EXPECT_EQ(fake.OpenProcessHandles, 0);
}

#ifdef _WIN32
// Real windows of this test process: its own executable is the one searched for.
class Win32AppCloseTest : public ::testing::Test {
 protected:
  ~Win32AppCloseTest() override {
    for (HWND window : windows) {
      ::DestroyWindow(window);
    }
  }
  HWND Create(DWORD style, HWND owner) {
    HWND window = ::CreateWindowExW(0, L"STATIC", L"zelkupd test", WS_OVERLAPPED | style, 0, 0, 10,
                                    10, owner, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    windows.push_back(window);
    return window;
  }
  static std::u16string OwnExe() {
    wchar_t buffer[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return std::u16string(reinterpret_cast<const char16_t*>(buffer), length);
  }

  Win32Platform system;
  std::vector<HWND> windows;
};

TEST_F(Win32AppCloseTest, OnlyAVisibleUnownedWindowOfTheExecutableIsFound) {
  HWND hidden = Create(0, nullptr);
  Create(WS_VISIBLE, hidden);
  const std::u16string exe = OwnExe();
  EXPECT_EQ(FindAppWindow(system, exe), 0u);

  HWND visible = Create(WS_VISIBLE, nullptr);
  const TWindowExeNames names = GetWindowExeNames(system, reinterpret_cast<TWindowHandle>(visible));
  EXPECT_EQ(names.Kernel, exe);
  EXPECT_EQ(names.Module, exe);
  std::u16string lower = exe;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; });
  EXPECT_EQ(FindAppWindow(system, lower), reinterpret_cast<TWindowHandle>(visible));
  EXPECT_EQ(FindAppWindow(system, exe + u"X"), 0u);
}

TEST_F(Win32AppCloseTest, TheCloseRequestIsAWmCloseInTheWindowsQueue) {
  HWND window = Create(WS_VISIBLE, nullptr);
  TRunContext ctx(system);
  EXPECT_TRUE(CloseAppWindows(ctx, OwnExe(), 0));
  EXPECT_EQ(ctx.State.ProcessTable[0], ::GetCurrentProcessId());
  MSG message{};
  ASSERT_TRUE(::PeekMessageW(&message, window, WM_CLOSE, WM_CLOSE, PM_REMOVE));
  EXPECT_EQ(message.wParam, 0u);
  EXPECT_EQ(message.lParam, 0);
}

// std::bad_alloc from building a path inside the search, say. Through user32's frames it would end
// in std::terminate on i686; x86_64 unwinds it harmlessly, so the trampoline is called directly
// first. The error stops the enumeration, is kept, and comes out once EnumWindows has returned.
TEST_F(Win32AppCloseTest, AnErrorInsideTheEnumerationStopsItAndComesOutAfterwards) {
  int calls = 0;
  const TEnumWindowsProc failing = [](TWindowHandle, void* count) -> int {
    ++*static_cast<int*>(count);
    throw std::bad_alloc();
  };
  TEnumContext context{failing, &calls, nullptr};
  BOOL result = TRUE;
  EXPECT_NO_THROW(result = EnumTrampoline(nullptr, reinterpret_cast<LPARAM>(&context)));
  EXPECT_EQ(result, FALSE);
  EXPECT_TRUE(context.Error != nullptr);

  Create(WS_VISIBLE, nullptr);
  Create(WS_VISIBLE, nullptr);
  calls = 0;
  EXPECT_THROW(system.EnumWindows(failing, &calls), std::bad_alloc);
  EXPECT_EQ(calls, 1);
}

TEST_F(Win32AppCloseTest, WaitingForARunningProcessTimesOut) {
  TRunContext ctx(system);
  RecordProcess(ctx, 0, ::GetCurrentProcessId());
  EXPECT_FALSE(WaitForClosedApps(ctx)) << "this process is still running after 3000 ms";
}
#endif

}  // namespace
}  // namespace zelkupd
