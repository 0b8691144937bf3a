// A downloaded archive that is cut short, corrupt, or names a file outside the installation: the
// verifying pass refuses it before anything is replaced, so every attempt fails with the old
// installation (settings included) as it was and nothing written beside it, the retry lines are
// printed, and ZELK is started all the same.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/text.h"
#include "support/zip_builder.h"
#include "unit/faults/update_fixture.h"

namespace zelkupd {
namespace {

struct TDamage {
  const char* Name;
  std::string (*Archive)();
};

void PrintTo(const TDamage& param, std::ostream* out) {
  *out << param.Name;
}

std::string Truncated() {
  const std::string whole = test::NewReleaseArchive();
  return whole.substr(0, whole.size() * 2 / 3);
}

// The program entry is sound and comes first; the document after it has a flipped data byte.
std::string Corrupt() {
  const std::string name = "doc/readme.txt";
  test::TZipLayout layout;
  std::string archive = test::TZipBuilder()
                            .Stored("ZELK.EXE", "MZ new program")
                            .Deflated(name, std::string(2000, 'r') + "new readme")
                            .Build(&layout);
  const std::size_t dataStart = layout.LocalHeaders[1] + 30 + name.size();
  archive[(dataStart + layout.CentralDirectory) / 2] ^= 0x55;
  return archive;
}

std::string Hostile(const std::string& name) {
  return test::TZipBuilder()
      .Stored("ZELK.EXE", "MZ new program")
      .Stored(name, "written where it must not be")
      .Build();
}

const TDamage kDamages[] = {
    {"Truncated", &Truncated},
    {"Corrupt", &Corrupt},
    {"ClimbsOut", [] { return Hostile("../evil.txt"); }},
    {"ClimbsOutWithBackslashes", [] { return Hostile("doc\\..\\..\\evil.txt"); }},
    {"Absolute", [] { return Hostile("/evil.txt"); }},
};

class DamagedArchiveTest : public test::TUpdateFixture,
                           public ::testing::WithParamInterface<TDamage> {};

TEST_P(DamagedArchiveTest, ChangesNothingRetriesAndStartsZelk) {
  ServeArchive(GetParam().Archive());
  const test::TTreeSnapshot before = test::Snapshot(root.Path());
  EXPECT_EQ(Run(), 0);

  std::u16string expected;
  const std::u16string failed = archivePath + u" の展開に失敗しました.\r\n";
  for (int retry = 1; retry <= 5; ++retry) {
    expected += failed + u"展開に失敗しました. リトライします. (" + IntToText(retry) + u")\r\n";
  }
  expected += failed + u"何はともあれ ゼルク の起動を試みます.\r\n";
  EXPECT_NE(Out().find(expected), std::u16string::npos) << Utf16ToUtf8(Out());
  EXPECT_TRUE(ZelkStarted());

  test::TTreeSnapshot after = test::Snapshot(root.Path());
  EXPECT_EQ(after.erase(u"downloads\\zelk32_157.zip"), 1u) << "the download itself is kept";
  EXPECT_EQ(after, before);
  EXPECT_FALSE(FileExists(ExpandFileName(install + u"..\\..\\evil.txt")));
  EXPECT_FALSE(FileExists(u"\\evil.txt"));
}

INSTANTIATE_TEST_SUITE_P(Damages, DamagedArchiveTest, ::testing::ValuesIn(kDamages),
                         [](const auto& param) { return std::string(param.param.Name); });

}  // namespace
}  // namespace zelkupd
