// The journal's lines: what is written is read back, a torn last line is dropped, and a journal
// with any other line that is not the program's own cannot be read at all.
#include "install/install_journal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zelkupd {
namespace {

bool Same(const TJournalRecord& a, const TJournalRecord& b) {
  return a.Action == b.Action && a.Path == b.Path && a.Number == b.Number &&
         a.Creation == b.Creation && a.LastWrite == b.LastWrite && a.Old == b.Old &&
         a.New == b.New && a.Identified == b.Identified && a.Legacy == b.Legacy;
}

TFileIdentity Identity(std::uint64_t size, std::uint64_t time, std::uint32_t crc) {
  return {size, TFileTime::FromTicks(time), crc, true};
}

const std::vector<TJournalRecord> kRecords = {
    {.Action = TJournalAction::Times,
     .Path = u"",
     .Creation = TFileTime::FromTicks(0x01D7000000000001),
     .LastWrite = TFileTime::FromTicks(0xFFFFFFFFFFFFFFFF)},
    {.Action = TJournalAction::Folder, .Path = u"プラグイン\\深い"},
    {.Action = TJournalAction::Add,
     .Path = u"プラグイン\\深い\\a b.dll",
     .Number = 1,
     .New = Identity(0x1234, 0x01D8000000000002, 0xFFFFFFFF)},
    {.Action = TJournalAction::Replace,
     .Path = u"ZELK.EXE",
     .Number = 4294967295u,
     .Creation = TFileTime::FromTicks(7),
     .Old = Identity(3, 12345, 0),
     .New = Identity(0, 1, 0xABCDEF)},
    {.Action = TJournalAction::Touch,
     .Path = u"doc\\readme.txt",
     .Creation = TFileTime::FromTicks(7),
     .Old = Identity(10, 8, 0x55),
     .New = Identity(10, 9, 0x55)},
    {.Action = TJournalAction::Stamp, .Path = u"doc", .LastWrite = TFileTime::FromTicks(9)},
    {.Action = TJournalAction::Restore,
     .Path = u"doc",
     .Creation = TFileTime::FromTicks(1),
     .LastWrite = TFileTime::FromTicks(2)},
    {.Action = TJournalAction::Settled},
};

std::string Journal(const std::vector<TJournalRecord>& records) {
  std::string bytes = FormatJournalHeader();
  for (const TJournalRecord& record : records) {
    bytes += FormatJournalRecord(record);
  }
  return bytes;
}

TEST(InstallJournalTest, RecordsComeBackAsTheyWereWritten) {
  const auto read = ParseJournal(Journal(kRecords));
  ASSERT_TRUE(read);
  ASSERT_EQ(read->size(), kRecords.size());
  for (std::size_t i = 0; i < read->size(); ++i) {
    EXPECT_TRUE(Same((*read)[i], kRecords[i])) << i;
  }
  EXPECT_EQ(FormatJournalRecord(kRecords[3]),
            "replace\t4294967295\t7\t3039\t3\t0\t0\t1\tabcdef\tZELK.EXE\n");
}

// A journal that an earlier version left is read as it was meant: its files are legacy records,
// without identities in the first format.
TEST(InstallJournalTest, JournalsOfEarlierVersionsAreStillRead) {
  const auto format1 = ParseJournal(
      "ZELKUPD JOURNAL 1\nfolder\ta\nfile\ta\\\\b.txt\nbackup\t3\t1\t2\tZELK.EXE\n");
  ASSERT_TRUE(format1);
  ASSERT_EQ(format1->size(), 3u);
  EXPECT_TRUE((*format1)[0].Legacy);
  EXPECT_EQ((*format1)[1].Action, TJournalAction::Add);
  EXPECT_EQ((*format1)[1].Number, 0u);
  EXPECT_FALSE((*format1)[1].Identified);
  EXPECT_EQ((*format1)[2].Action, TJournalAction::Replace);
  EXPECT_EQ((*format1)[2].Old.LastWrite, TFileTime::FromTicks(2));
  const auto format2 =
      ParseJournal("ZELKUPD JOURNAL 2\nfile\t5\t9\tb\nbackup\t3\t1\t2\t6\ta\tZELK.EXE\n");
  ASSERT_TRUE(format2);
  ASSERT_EQ(format2->size(), 2u);
  EXPECT_TRUE((*format2)[0].Identified && (*format2)[1].Identified);
  EXPECT_EQ((*format2)[1].New, (TFileIdentity{6, TFileTime::FromTicks(10), 0, false}));
}

// Only the last line can be torn, and only "settled" is ever appended: any other line that is no
// record means the journal is not what this version wrote, and nothing it names may be touched.
TEST(InstallJournalTest, AnyLineButATornLastOneThatIsNoRecordMakesTheJournalUnreadable) {
  const std::string good = Journal({kRecords[1]});
  using namespace std::string_literals;
  const struct {
    std::string Line;
    const char* Defect;
  } cases[] = {
      {"add\t1\t1\t1\t1\tb\0\n"s, "a NUL"},
      {"ad\t1\t1\t1\t1\tb\n", "unknown kind"},
      {"settled\tx\n", "extra field"},
      {"folder\n", "missing path"},
      {"folder\t\n", "empty path"},
      {"times\ta\t12\t\n", "missing time"},
      {"times\ta\t1g\t2\n", "time not hexadecimal"},
      {"add\t0\t1\t1\t1\tb\n", "number 0"},
      {"add\t-1\t1\t1\t1\tb\n", "negative number"},
      {"add\t4294967296\t1\t1\t1\tb\n", "number too large"},
      {"add\t1\t1\t1\t100000000\tb\n", "CRC too large"},
      {"folder\t\xFF\n", "not UTF-8"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(ParseJournal(good + c.Line)) << c.Defect << " at the end";
    EXPECT_FALSE(ParseJournal(good + c.Line + FormatJournalRecord(kRecords[7])))
        << c.Defect << " in the middle";
  }
  const auto torn = ParseJournal(good + "sett");
  ASSERT_TRUE(torn);
  EXPECT_EQ(torn->size(), 1u) << "a last line without its line end";
  EXPECT_FALSE(ParseJournal("ZELKUPD JOURNAL 4\nsettled\n")) << "a newer version's";
  EXPECT_FALSE(ParseJournal(std::string(20, '\0'))) << "zeros where the header was";
  for (const char* nothingBegun : {"", "ZELKUPD JOU"}) {
    const auto empty = ParseJournal(nothingBegun);
    ASSERT_TRUE(empty) << nothingBegun;
    EXPECT_TRUE(empty->empty()) << nothingBegun;
  }
}

TEST(InstallJournalTest, PathsThatLeaveTheInstallationFolderAreForeign) {
  for (const char* path : {"\\Windows\\x.dll", "..\\x", "a\\..\\..\\x", "a\\.\\b", ".", "C:x",
                           "a:stream", "a/b", "a\tb"}) {
    EXPECT_FALSE(ParseJournal(Journal({}) + "folder\t" + path + "\n")) << path;
  }
  EXPECT_TRUE(ParseJournal(Journal({}) + "folder\ta..b\\.c\n"));
}

}  // namespace
}  // namespace zelkupd
