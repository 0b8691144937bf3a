// The user deletes the journal of an attempt cut off by a power loss, at every step where it was
// at its name. Until it was settled, nothing then says which file at a path is whose, so the next
// start must keep every old file that was put aside; no start may claim it put the update back,
// and a later attempt must install the release.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "install/install_names.h"
#include "runtime/files.h"
#include "runtime/text.h"
#include "support/fake_platform.h"
#include "support/power_cut.h"
#include "support/sample_install.h"
#include "support/temp_dir.h"
#include "support/tree_snapshot.h"
#include "update/extract.h"
#include "update/run.h"

namespace zelkupd {
namespace {

constexpr char16_t kNotRestoredLine[] = u"前回中断したアップデートを元に戻せませんでした.\r\n";

bool Attempt(const std::u16string& archive, const std::u16string& folder) {
  test::FakePlatform fake;
  TRunContext ctx(fake);
  return ExtractArchive(ctx, archive, folder);
}

std::u16string Recover(const std::u16string& folder) {
  test::FakePlatform fake;
  TRunContext ctx(fake);
  RecoverInstallation(ctx, folder);
  ctx.Console.Close();
  return test::DecodedStdOut(fake);
}

// The bytes of every file at the installation's paths and in the folder of kept files.
std::set<std::string> Contents(const std::u16string& folder) {
  std::set<std::string> contents;
  for (const std::u16string& root : {folder, KeptFolderPath(folder)}) {
    for (const auto& [path, entry] : test::SnapshotTree(root, false)) {
      if (!entry.IsDirectory) {
        contents.insert(entry.Bytes);
      }
    }
  }
  return contents;
}

TEST(JournalDeletedTest, NoOldFileIsLostAndALaterAttemptStillInstalls) {
  const test::TTempDir dir;
  const std::u16string archive = dir / u"zelk32_156.zip";
  test::WriteFileBytes(archive, test::Release().Build());
  const test::TTempDir reference;
  test::WriteOldInstallation(reference.Path());
  const test::TTreeSnapshot oldTree = test::SnapshotTree(reference.Path(), false);
  int operations = 0;
  {
    const test::TPowerCut counter(0);
    ASSERT_TRUE(Attempt(archive, reference.Path()));
    operations = counter.Operations();
  }
  const test::TTreeSnapshot newTree = test::SnapshotTree(reference.Path(), false);
  int kept = 0;
  for (int lostAt = 1; lostAt <= operations; ++lostAt) {
    const test::TTempDir install;
    test::WriteOldInstallation(install.Path());
    {
      test::TPowerCut power(lostAt);
      Attempt(archive, install.Path());
      power.LoseUnflushed(install.Path());
    }
    if (!FileExists(JournalPath(install.Path()))) {
      continue;
    }
    // A settled journal's attempt is complete: its old files are only leftovers.
    const bool settled = test::ReadFileBytes(JournalPath(install.Path())).ends_with("settled\n");
    ASSERT_TRUE(RemoveFile(JournalPath(install.Path())));
    const std::u16string said = Recover(install.Path());
    const std::set<std::string> contents = Contents(install.Path());
    for (const auto& [path, entry] : oldTree) {
      EXPECT_TRUE(settled || entry.IsDirectory || contents.contains(entry.Bytes))
          << Utf16ToUtf8(path) << " lost, power lost at " << lostAt;
    }
    const bool keeps = DirectoryExists(KeptFolderPath(install.Path()));
    kept += keeps ? 1 : 0;
    EXPECT_TRUE(said.starts_with(kNotRestoredLine) || (said.empty() && !keeps))
        << Utf16ToUtf8(said) << " at " << lostAt;
    EXPECT_TRUE(Attempt(archive, install.Path())) << lostAt;
    test::TTreeSnapshot installed = test::SnapshotTree(install.Path(), false);
    std::erase_if(installed,
                  [](const auto& item) { return item.first.starts_with(kBackupFolderName); });
    EXPECT_EQ(installed, newTree) << "power lost at " << lostAt;
  }
  EXPECT_GT(kept, 3) << "cuts while placing, with old files put aside";
}

}  // namespace
}  // namespace zelkupd
