#include "update/extract.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <vector>

#include "runtime/fault_hook.h"
#include "runtime/files.h"
#include "runtime/stream.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace zelkupd {
namespace {

using test::TZipBuilder;

class ExtractArchiveTest : public ::testing::Test {
 protected:
  // A console is written at once, so each line can be checked as it comes.
  ExtractArchiveTest() { fake.OutputType = kFileTypeChar; }
  ~ExtractArchiveTest() override { SetFaultHook(nullptr); }

  bool Extract(const TZipBuilder& builder) {
    test::WriteFileBytes(archive, builder.Build());
    return ExtractArchive(ctx, archive, dest);
  }
  std::u16string Out() const { return test::DecodedStdOut(fake); }
  std::u16string FailureLine() const { return archive + u" の展開に失敗しました.\r\n"; }

  test::TTempDir dir;
  const std::u16string archive = dir / u"zelk32_156.zip";
  const std::u16string dest = dir / u"install\\";
  test::FakePlatform fake;
  TRunContext ctx{fake};
};

TFileTime Expected(const TSystemTime& local) {
  TFileTime calendar;
  TFileTime utc;
  EXPECT_TRUE(CalendarToFileTime(local, calendar));
  EXPECT_TRUE(LocalFileTimeToFileTime(calendar, utc));
  return utc;
}

TEST_F(ExtractArchiveTest, AnEmptyArchiveSucceedsSilently) {
  EXPECT_TRUE(Extract(TZipBuilder()));
  EXPECT_EQ(Out(), u"");
}

TEST_F(ExtractArchiveTest, FilesAndFoldersGetTheEntryTimeAsLocalTime) {
  const std::uint32_t stamp = test::DosDateTime(2021, 7, 15, 13, 45, 58);
  TZipBuilder builder;
  builder.Add({.Name = "doc/readme.txt", .Data = "read me", .DosTime = stamp});
  builder.Add({.Name = "doc/", .DosTime = stamp});
  ASSERT_TRUE(Extract(builder));
  EXPECT_EQ(Out(), u"");
  const TFileTime expected = Expected({2021, 7, 0, 15, 13, 45, 58, 0});
  for (const std::u16string& path : {dest + u"doc\\readme.txt", dest + u"doc"}) {
    TFileTimes times;
    ASSERT_TRUE(GetFileTimes(path, times));
    EXPECT_EQ(times.LastWrite, expected);
#ifdef _WIN32
    EXPECT_EQ(times.Creation, expected);
#endif
  }
}

#ifndef _WIN32
// Nine hours east of UTC for the life of a scope, so a missing or reversed bias shows.
class TJapanTimeScope {
 public:
  TJapanTimeScope() : FHadZone(std::getenv("TZ") != nullptr) {
    if (FHadZone) {
      FSaved = std::getenv("TZ");
    }
    setenv("TZ", "JST-9", 1);
    tzset();
  }
  ~TJapanTimeScope() {
    if (FHadZone) {
      setenv("TZ", FSaved.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool FHadZone;
  std::string FSaved;
};

TEST_F(ExtractArchiveTest, TheTimeZoneInForceConvertsTheLocalTime) {
  const TJapanTimeScope japan;
  ASSERT_TRUE(
      Extract(TZipBuilder().Add({.Name = "a", .DosTime = test::DosDateTime(2020, 1, 2, 9, 0, 0)})));
  TFileTimes times;
  ASSERT_TRUE(GetFileTimes(dest + u"a", times));
  TFileTime midnightUtc;
  ASSERT_TRUE(CalendarToFileTime({2020, 1, 4, 2, 0, 0, 0, 0}, midnightUtc));
  EXPECT_EQ(times.LastWrite, midnightUtc);
}
#endif

std::vector<std::u16string> gStamped;

TEST_F(ExtractArchiveTest, TimesAreSetThroughTheNameAsStored) {
  gStamped.clear();
  SetFaultHook([](TFaultPoint point, std::u16string_view path) {
    if (point == TFaultPoint::SetTimes) {
      gStamped.emplace_back(path);
    }
    return point == TFaultPoint::SetTimes;
  });
  EXPECT_TRUE(Extract(TZipBuilder().Stored("doc/", "").Stored("doc/readme.txt", "x")));
  EXPECT_EQ(gStamped, (std::vector<std::u16string>{dest + u"doc/", dest + u"doc/readme.txt"}));
}

TEST_F(ExtractArchiveTest, AnInvalidDateFailsAfterItsEntryIsExtracted) {
  TZipBuilder builder;
  builder.Stored("a.txt", "a").Add({.Name = "b.txt", .Data = "b", .DosTime = 0});
  builder.Stored("c.txt", "c");
  EXPECT_FALSE(Extract(builder));
  EXPECT_EQ(Out(), FailureLine());
  EXPECT_EQ(test::ReadFileBytes(dest + u"b.txt"), "b");
  EXPECT_FALSE(FileExists(dest + u"c.txt"));
}

// A damaged or hostile archive changes nothing, whichever entry is bad.
TEST_F(ExtractArchiveTest, AnArchiveFailingVerificationLeavesTheInstallationAsItWas) {
  ASSERT_TRUE(CreateDir(dest));
  test::WriteFileBytes(dest + u"a.txt", "old a");
  const std::string data = test::NoiseBytes(5000);
  std::string flipped = test::RawDeflate(data);
  flipped[flipped.size() / 2] ^= 0x01;
  const test::TZipEntryPlan bad[] = {
      {.Name = "b.bin", .Data = data, .Method = 8, .Payload = flipped},
      {.Name = "../escape.txt", .Data = "x"},
      {.Name = "nul.txt", .Data = "x"},
      {.Name = "b.bin", .Data = data, .Flags = 1},
  };
  for (const test::TZipEntryPlan& entry : bad) {
    fake.StdOut.clear();
    EXPECT_FALSE(Extract(TZipBuilder().Stored("a.txt", "new a").Add(entry)));
    EXPECT_EQ(Out(), FailureLine());
    EXPECT_EQ(test::ReadFileBytes(dest + u"a.txt"), "old a");
    EXPECT_EQ(ListDirectory(dest).size(), 1u);
    EXPECT_FALSE(FileExists(dir / u"escape.txt"));
  }
}

TEST_F(ExtractArchiveTest, AFailedAttemptIsRepeatedFromTheStart) {
  SetFaultHook([](TFaultPoint point, std::u16string_view path) {
    return point == TFaultPoint::Create && path.ends_with(u"b.txt");
  });
  TZipBuilder builder;
  builder.Stored("a.txt", "a").Stored("b.txt", "b");
  EXPECT_FALSE(Extract(builder));
  EXPECT_EQ(Out(), FailureLine());
  EXPECT_TRUE(FileExists(dest + u"a.txt"));
  SetFaultHook(nullptr);
  EXPECT_TRUE(ExtractArchive(ctx, archive, dest));
  EXPECT_EQ(test::ReadFileBytes(dest + u"b.txt"), "b");
  EXPECT_FALSE(ExtractArchive(ctx, dir / u"missing.zip", dest));
}

#ifdef _WIN32
TEST_F(ExtractArchiveTest, AFileHeldOpenByAnotherProgramFailsTheAttempt) {
  ASSERT_TRUE(CreateDir(dest));
  test::WriteFileBytes(dest + u"ZELK.EXE", "old");
  TFileStream held(dest + u"ZELK.EXE", kOpenReadExclusive);
  EXPECT_FALSE(Extract(TZipBuilder().Stored("ZELK.EXE", "new")));
  EXPECT_EQ(Out(), FailureLine());
}
#endif

TEST(LocalToUtcFileTimeTest, AnUnconvertibleTimeGivesZero) {
#ifndef _WIN32
  const TJapanTimeScope japan;
#endif
  EXPECT_EQ(LocalToUtcFileTime({2020, 13, 0, 1, 0, 0, 0, 0}), TFileTime{});
  EXPECT_EQ(LocalToUtcFileTime({2020, 1, 3, 1, 0, 0, 0, 0}), Expected({2020, 1, 3, 1, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace zelkupd
