// The journal's lines: what is written is read back, and reading stops at the first line that a
// crash tore or that is not the program's own.
#include "update/install_journal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zelkupd {
namespace {

bool Same(const TJournalRecord& a, const TJournalRecord& b) {
  return a.Action == b.Action && a.Path == b.Path && a.Backup == b.Backup &&
         a.Creation == b.Creation && a.LastWrite == b.LastWrite && a.Identified == b.Identified &&
         a.Written == b.Written;
}

const std::vector<TJournalRecord> kRecords = {
    {.Action = TJournalAction::Times,
     .Path = u"",
     .Creation = TFileTime::FromTicks(0x01D7000000000001),
     .LastWrite = TFileTime::FromTicks(0xFFFFFFFFFFFFFFFF)},
    {.Action = TJournalAction::Folder, .Path = u"プラグイン\\深い"},
    {.Action = TJournalAction::File,
     .Path = u"プラグイン\\深い\\a b.dll",
     .Identified = true,
     .Written = {0x1234, TFileTime::FromTicks(0x01D8000000000002)}},
    {.Action = TJournalAction::Backup,
     .Path = u"ZELK.EXE",
     .Backup = 4294967295u,
     .Creation = TFileTime::FromTicks(0),
     .LastWrite = TFileTime::FromTicks(12345),
     .Identified = true,
     .Written = {0, TFileTime::FromTicks(1)}},
    {.Action = TJournalAction::Settled},
};

TEST(InstallJournalTest, RecordsComeBackAsTheyWereWritten) {
  const std::vector<TJournalRecord> read = ParseJournal(FormatJournal(kRecords));
  ASSERT_EQ(read.size(), kRecords.size());
  for (std::size_t i = 0; i < read.size(); ++i) {
    EXPECT_TRUE(Same(read[i], kRecords[i])) << i;
  }
  EXPECT_EQ(FormatJournalRecord(kRecords[3]), "backup\t4294967295\t0\t3039\t0\t1\tZELK.EXE\n");
}

// A journal that an earlier version left is read as it was meant, without identities, also when
// a later journal carries its records on.
TEST(InstallJournalTest, AJournalOfTheFirstFormatIsStillRead) {
  const std::string format1 =
      "ZELKUPD JOURNAL 1\nfolder\ta\\\nfile\ta\\\\b.txt\nbackup\t3\t1\t2\tZELK.EXE\n";
  const std::vector<TJournalRecord> read = ParseJournal(format1);
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[1].Path, u"a\\\\b.txt");
  EXPECT_FALSE(read[1].Identified);
  EXPECT_FALSE(read[2].Identified);
  EXPECT_EQ(read[2].LastWrite, TFileTime::FromTicks(2));
  const std::vector<TJournalRecord> carried = ParseJournal(FormatJournal(read));
  ASSERT_EQ(carried.size(), 3u);
  for (std::size_t i = 0; i < read.size(); ++i) {
    EXPECT_TRUE(Same(carried[i], read[i])) << i;
  }
  EXPECT_TRUE(ParseJournal("ZELKUPD JOURNAL 1\nfile\t1\t2\tb\n").empty());
}

TEST(InstallJournalTest, ReadingStopsAtTheFirstTornOrForeignLine) {
  const std::string good = FormatJournal({kRecords[1]});
  using namespace std::string_literals;
  const struct {
    std::string Tail;
    const char* Defect;
  } cases[] = {
      {"file\tb\0\n"s, "a NUL from a torn write"},
      {"fil\tb\n", "unknown kind"},
      {"settled\tx\n", "extra field"},
      {"folder\n", "missing path"},
      {"folder\t\n", "empty path"},
      {"times\ta\t12\t\n", "missing time"},
      {"times\ta\t1g\t2\n", "time not hexadecimal"},
      {"backup\t0\t1\t2\tb\n", "backup number 0"},
      {"backup\t-1\t1\t2\tb\n", "negative backup number"},
      {"backup\t4294967296\t1\t2\tb\n", "backup number too large"},
      {"file\t\xFF\n", "not UTF-8"},
  };
  for (const auto& c : cases) {
    const std::string bytes = good + c.Tail + FormatJournalRecord(kRecords[4]);
    const std::vector<TJournalRecord> read = ParseJournal(bytes);
    ASSERT_EQ(read.size(), 1u) << c.Defect;
    EXPECT_TRUE(Same(read[0], kRecords[1])) << c.Defect;
  }
  EXPECT_EQ(ParseJournal(good + "file\tb").size(), 1u) << "a last line without its line end";
  EXPECT_TRUE(ParseJournal("ZELKUPD JOURNAL 3\nsettled\n").empty());
  EXPECT_TRUE(ParseJournal("").empty());
}

TEST(InstallJournalTest, PathsThatLeaveTheInstallationFolderAreForeign) {
  for (const char* path : {"\\Windows\\x.dll", "..\\x", "a\\..\\..\\x", "a\\.\\b", ".", "C:x",
                           "a:stream", "a/b", "a\tb"}) {
    EXPECT_TRUE(ParseJournal(FormatJournal({}) + "file\t" + path + "\n").empty()) << path;
  }
  EXPECT_EQ(ParseJournal(FormatJournal({}) + "file\ta..b\\.c\n").size(), 1u);
}

}  // namespace
}  // namespace zelkupd
