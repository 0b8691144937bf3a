// A disk that fills up during a whole update: while the archive arrives, and while the settings
// file is rewritten. The earlier complete archive and the settings file must survive byte for
// byte, and no temporary file may be left behind.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "runtime/codepage.h"
#include "runtime/fault_hook.h"
#include "runtime/files.h"
#include "runtime/replacement_file.h"
#include "unit/faults/update_fixture.h"

namespace zelkupd {
namespace {

// Writes (or flushes) of one file succeed `room` times, then fail as on a full disk, for the life
// of a scope. A disk that takes the data into its cache can still find itself full when the data
// has to go out: then the flush fails.
class TDiskFillsUp {
 public:
  TDiskFillsUp(std::u16string file, int room, TFaultPoint point = TFaultPoint::Write) {
    File() = std::move(file);
    Room() = room;
    Point() = point;
    SetFaultHook(&Hook);
  }
  ~TDiskFillsUp() { SetFaultHook(nullptr); }
  TDiskFillsUp(const TDiskFillsUp&) = delete;
  TDiskFillsUp& operator=(const TDiskFillsUp&) = delete;

 private:
  static std::u16string& File() {
    static std::u16string file;
    return file;
  }
  static int& Room() {
    static int room = 0;
    return room;
  }
  static TFaultPoint& Point() {
    static TFaultPoint point = TFaultPoint::Write;
    return point;
  }
  static bool Hook(TFaultPoint point, std::u16string_view path) {
    return point == Point() && path == File() && Room()-- <= 0;
  }
};

class DiskFullTest : public test::TUpdateFixture {
 protected:
  // A settings file that cannot be written ends the run as an error and stays as it was.
  void ExpectSettingsKeptWhenTheDiskFills(TFaultPoint point) {
    int exitCode = 0;
    {
      const TDiskFillsUp full(ReplacementFileName(settings), 0, point);
      exitCode = Run();
    }
    EXPECT_EQ(exitCode, 1);
    const std::u16string report = DecodeCodePage(fake.StdErr, 932);
    EXPECT_TRUE(report.starts_with(u"EWriteError がモジュール zelkupd.exe の ")) << fake.StdErr;
    EXPECT_TRUE(report.ends_with(u" で発生しました。\r\nストリームへの書き込みエラー\r\n"));
    EXPECT_EQ(test::ReadFileBytes(settings), settingsBytes);
    EXPECT_FALSE(FileExists(ReplacementFileName(settings)));
    EXPECT_EQ(test::ReadFileBytes(install + u"doc\\readme.txt"), "new readme")
        << "the extraction before it stands";
    EXPECT_TRUE(FileExists(archivePath));
  }
};

TEST_F(DiskFullTest, ADiskFullPartWayThroughTheDownloadKeepsTheEarlierArchiveAndTheSettings) {
  test::WriteFileBytes(archivePath, "an earlier complete archive");
  const test::TTreeSnapshot before = test::Snapshot(install);
  {
    const TDiskFillsUp full(ReplacementFileName(archivePath), 1);
    EXPECT_EQ(Run(), 0);
  }
  EXPECT_NE(Out().find(u"を取得中...\r\n#\r\nローカルディスクに書き込みが出来ません.\r\n"),
            std::u16string::npos)
      << "the first block is written, the second finds the disk full";
  EXPECT_EQ(test::ReadFileBytes(archivePath), "an earlier complete archive");
  EXPECT_FALSE(FileExists(ReplacementFileName(archivePath)));
  EXPECT_EQ(test::Snapshot(install), before) << "the settings file among them";
  EXPECT_FALSE(ZelkStarted()) << "nothing was installed, so nothing was closed or started";
  ASSERT_EQ(fake.Boxes.size(), 2u);
  EXPECT_EQ(fake.Boxes[1].Text, u"それではアップデートプログラムを終了致します");
}

TEST_F(DiskFullTest, ADiskFullWhileTheSettingsAreWrittenKeepsTheSettingsFileWhole) {
  ExpectSettingsKeptWhenTheDiskFills(TFaultPoint::Write);
}

TEST_F(DiskFullTest, ASettingsFileThatCannotBeForcedToTheDiskIsNotPutInPlace) {
  ExpectSettingsKeptWhenTheDiskFills(TFaultPoint::Flush);
}

}  // namespace
}  // namespace zelkupd
