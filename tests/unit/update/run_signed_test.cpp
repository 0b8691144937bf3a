// Whole runs of a build with a release key over the fake platform: a downloaded archive is checked
// against its ".sig" before it takes its name, a local one against the file beside it, and only a
// good signature gets either installed.
#include <gtest/gtest.h>

#include <optional>

#include "runtime/files.h"
#include "support/fake_platform.h"
#include "support/fault_scope.h"
#include "support/run_texts.h"
#include "support/signed_release.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "update/run.h"
#include "update/verified_copy.h"

namespace zelkupd {
namespace {

using test::FakePlatform;
using test::kArchiveSignature;
using test::kBytesOnlySignature;
using test::kEndNotice;
using test::kGreeting;
using test::kOtherKeySignature;
using test::kOtherNameSignature;
using test::kReleaseKey;
using test::kSignedArchive;
using test::TTempDir;

const std::u16string kArchiveUrl = u"http://example.invalid/zip/zelk32_156.zip";
const std::u16string kSignatureUrl = kArchiveUrl + u".sig";
constexpr char16_t kVerified[] = u"アーカイブの署名を確認しました.\r\n";
constexpr char16_t kNotVerified[] = u"アーカイブの署名を確認出来ませんでした.\r\n";
constexpr char16_t kCannotWrite[] = u"ローカルディスクに書き込みが出来ません.\r\n";

class RunSignedTest : public ::testing::Test {
 protected:
  // A run of `platform` with the fixture's installation, its answers given.
  int Run(FakePlatform& platform, const std::u16string& argument) {
    platform.ModulePath = install / u"zelkupd.exe";
    return RunUpdate(platform, {argument}, &kReleaseKey);
  }
  std::u16string DownloadLines() const {
    return std::u16string(kGreeting) + u"サーバ上のアーカイブファイルが指定されました.\r\n　→ " +
           kArchiveUrl + u"\r\n" + kArchiveUrl + u" を取得中...\r\n#\r\n";
  }
  // Nothing was closed, extracted, recorded or started.
  void ExpectNothingInstalled(const FakePlatform& platform) const {
    EXPECT_EQ(platform.CallCount("EnumWindows"), 0);
    EXPECT_TRUE(platform.Executes.empty());
    EXPECT_FALSE(FileExists(install / u"zelkupd.INI"));
    ASSERT_FALSE(platform.Boxes.empty());
    EXPECT_EQ(platform.Boxes.back().Text, kEndNotice);
    EXPECT_EQ(platform.OpenInetHandles, 0);
  }

  TTempDir install;
};

TEST_F(RunSignedTest, ADownloadWithTheReleaseKeysSignatureIsInstalled) {
  FakePlatform fake;
  fake.Responses[kArchiveUrl] = {.Blocks = {kSignedArchive}};
  fake.Responses[kSignatureUrl] = {.Blocks = {kArchiveSignature}};
  fake.BoxAnswers = {kIdYes};
  EXPECT_EQ(Run(fake, kArchiveUrl), 0);
  EXPECT_EQ(test::DecodedStdOut(fake),
            DownloadLines() + kVerified +
                u"取得完了.\r\n起動中の ゼルク を終了...\r\n起動中の ゼルク を終了完了.\r\n"
                u"ゼルク を起動...\r\n");
  EXPECT_EQ(fake.OpenedUrls, (std::vector<std::u16string>{kArchiveUrl, kSignatureUrl}));
  EXPECT_EQ(fake.OpenUrlFlags, (std::vector<std::uint32_t>{0x842C0200, 0x842C0200}));
  EXPECT_EQ(test::ReadFileBytes(install / u"zelk32_156.zip"), kSignedArchive);
  EXPECT_EQ(test::ReadFileBytes(install / u"zelkupd.INI"),
            "[ZELK]\r\nPREV_FILE=zelk32_156.zip\r\n\r\n");
  EXPECT_EQ(fake.OpenInetHandles, 0);
}

TEST_F(RunSignedTest, AnyOtherDownloadLeavesNothingOfItselfAndEndsWithTheNotice) {
  std::string altered = kSignedArchive;
  altered[12] = '\x01';
  const struct {
    const char* Case;
    std::string Archive;
    FakePlatform::TResponse Signature;
  } cases[] = {
      {"altered archive", altered, {.Blocks = {kArchiveSignature}}},
      {"another key's signature", kSignedArchive, {.Blocks = {kOtherKeySignature}}},
      {"signed as zelk32_150.zip", kSignedArchive, {.Blocks = {kOtherNameSignature}}},
      {"its bytes alone signed", kSignedArchive, {.Blocks = {kBytesOnlySignature}}},
      {"no signature (404)", kSignedArchive, {.Status = 404, .Blocks = {kArchiveSignature}}},
      {"signature cannot be opened", kSignedArchive, {.OpenFails = true}},
      {"signature cut short",
       kSignedArchive,
       {.Blocks = {kArchiveSignature.substr(0, 40)}, .ReadFailsAtEnd = true}},
      {"DER refused", kSignedArchive, {.Blocks = {kArchiveSignature.substr(0, 70)}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    FakePlatform fake;
    test::WriteFileBytes(install / u"zelk32_156.zip", "an earlier archive");
    fake.Responses[kArchiveUrl] = {.Blocks = {c.Archive}};
    fake.Responses[kSignatureUrl] = c.Signature;
    fake.BoxAnswers = {kIdYes};
    EXPECT_EQ(Run(fake, kArchiveUrl), 0);
    EXPECT_EQ(test::DecodedStdOut(fake), DownloadLines() + kNotVerified);
    ExpectNothingInstalled(fake);
    EXPECT_EQ(test::ReadFileBytes(install / u"zelk32_156.zip"), "an earlier archive");
    EXPECT_EQ(ListDirectory(install.Path()).size(), 1u) << "no part file is left";
  }
}

// Another program that changes the archive while ZELK is asked to close, writing it over in place
// or moving another file over it, never gets its bytes installed: they carry a ZELK.EXE that the
// verified archive does not.
TEST_F(RunSignedTest, AnArchiveChangedWhileZelkClosesIsNeverWhatIsInstalled) {
  const std::string impostor = test::TZipBuilder().Stored("ZELK.EXE", "unsigned").Build();
  const std::u16string local = install / u"dl\\zelk32_156.zip";
  ForceDirectories(install / u"dl");
  for (const bool downloaded : {true, false}) {
    for (const bool moved : {false, true}) {
      SCOPED_TRACE(std::string(downloaded ? "downloaded" : "local") +
                   (moved ? ", another file moved over it" : ", written over in place"));
      FakePlatform fake;
      fake.BoxAnswers = {kIdYes};
      fake.Responses[kArchiveUrl] = {.Blocks = {kSignedArchive}};
      fake.Responses[kSignatureUrl] = {.Blocks = {kArchiveSignature}};
      test::WriteFileBytes(local, kSignedArchive);
      test::WriteFileBytes(local + u".sig", kArchiveSignature);
      const std::u16string archive = downloaded ? install / u"zelk32_156.zip" : local;
      bool changed = false;
      fake.OnEnumWindows = [&] {
        if (changed) {
          return;
        }
        changed = true;
        if (moved) {
          test::WriteFileBytes(install / u"impostor.zip", impostor);
          MoveFileOver(install / u"impostor.zip", archive);
        } else {
          test::WriteFileBytes(archive, impostor);
        }
      };
      EXPECT_EQ(Run(fake, downloaded ? kArchiveUrl : local), 0);
      EXPECT_EQ(test::ReadFileBytes(archive), impostor) << "the other program did its change";
      EXPECT_FALSE(FileExists(install / u"ZELK.EXE")) << "the unsigned ZELK.EXE was installed";
      EXPECT_FALSE(FileExists(install / kVerifiedCopyName)) << "the copy went with the run";
      RemoveFile(install / u"ZELK.EXE");
      RemoveFile(install / u"zelk32_156.zip");
      RemoveFile(install / u"zelkupd.INI");
    }
  }
}

// The copy that is installed goes beside the installation; a folder that cannot take it is a
// disk that cannot be written, for a download and a local archive alike, and nothing is left.
TEST_F(RunSignedTest, ACopyThatCannotBeMadeIsADiskFailure) {
  const std::u16string local = install / u"dl\\zelk32_156.zip";
  ForceDirectories(install / u"dl");
  test::WriteFileBytes(local, kSignedArchive);
  test::WriteFileBytes(local + u".sig", kArchiveSignature);
  const test::TFaultScope refused(TFaultPoint::Create, install / kVerifiedCopyName);
  FakePlatform downloading;
  downloading.Responses[kArchiveUrl] = {.Blocks = {kSignedArchive}};
  downloading.Responses[kSignatureUrl] = {.Blocks = {kArchiveSignature}};
  downloading.BoxAnswers = {kIdYes};
  EXPECT_EQ(Run(downloading, kArchiveUrl), 0);
  EXPECT_EQ(test::DecodedStdOut(downloading),
            std::u16string(kGreeting) + u"サーバ上のアーカイブファイルが指定されました.\r\n　→ " +
                kArchiveUrl + u"\r\n" + kArchiveUrl + u" を取得中...\r\n" + kCannotWrite);
  ExpectNothingInstalled(downloading);
  EXPECT_EQ(ListDirectory(install.Path()).size(), 1u) << "only the folder dl";
  FakePlatform localRun;
  EXPECT_EQ(Run(localRun, local), 0);
  EXPECT_EQ(test::DecodedStdOut(localRun),
            std::u16string(kGreeting) + u"ローカルのアーカイブファイルが指定されました.\r\n" +
                kCannotWrite);
  ExpectNothingInstalled(localRun);
}

TEST_F(RunSignedTest, AnArchiveThatIsNotObtainedAsksForNoSignature) {
  FakePlatform fake;
  fake.Responses[kArchiveUrl] = {.Status = 404, .Blocks = {"Not Found"}};
  fake.Responses[kSignatureUrl] = {.Blocks = {kArchiveSignature}};
  fake.BoxAnswers = {kIdYes};
  EXPECT_EQ(Run(fake, kArchiveUrl), 0);
  EXPECT_EQ(fake.OpenedUrls, std::vector<std::u16string>{kArchiveUrl});
  EXPECT_EQ(test::DecodedStdOut(fake).find(u"署名"), std::u16string::npos);
}

TEST_F(RunSignedTest, ALocalArchiveIsCheckedAgainstTheFileBesideIt) {
  const std::u16string archive = install / u"dl\\zelk32_156.zip";
  ForceDirectories(install / u"dl");
  test::WriteFileBytes(archive, kSignedArchive);
  const std::u16string local =
      std::u16string(kGreeting) + u"ローカルのアーカイブファイルが指定されました.\r\n";
  const struct {
    const char* Case;
    std::string Signature;   // no file when empty
    std::u16string Refused;  // a file whose reads fail, as a range another program locked
  } failures[] = {
      {"no signature", "", u""},
      {"another key's signature", kOtherKeySignature, u""},
      {"signed as zelk32_150.zip", kOtherNameSignature, u""},
      {"its bytes alone signed", kBytesOnlySignature, u""},
      {"archive unreadable", kArchiveSignature, archive},
      {"signature unreadable", kArchiveSignature, archive + u".sig"},
  };
  for (const auto& c : failures) {
    SCOPED_TRACE(c.Case);
    FakePlatform failing;
    RemoveFile(archive + u".sig");
    if (!c.Signature.empty()) {
      test::WriteFileBytes(archive + u".sig", c.Signature);
    }
    {
      std::optional<test::TFaultScope> refused;
      if (!c.Refused.empty()) {
        refused.emplace(TFaultPoint::Read, c.Refused);
      }
      EXPECT_EQ(Run(failing, archive), 0);
    }
    EXPECT_EQ(test::DecodedStdOut(failing), local + kNotVerified);
    ExpectNothingInstalled(failing);
    EXPECT_EQ(test::ReadFileBytes(archive), kSignedArchive);
  }
  FakePlatform signedRun;
  test::WriteFileBytes(archive + u".sig", kArchiveSignature);
  EXPECT_EQ(Run(signedRun, archive), 0);
  EXPECT_EQ(test::DecodedStdOut(signedRun),
            local + kVerified +
                u"起動中の ゼルク を終了...\r\n起動中の ゼルク を終了完了.\r\n"
                u"ゼルク を起動...\r\n");
  EXPECT_TRUE(signedRun.OpenedUrls.empty());
  EXPECT_EQ(test::ReadFileBytes(archive), kSignedArchive) << "a local archive is kept";

  // The name a local archive is checked under is its own.
  const std::u16string renamed = install / u"dl\\zelk32_150.zip";
  test::WriteFileBytes(renamed, kSignedArchive);
  test::WriteFileBytes(renamed + u".sig", kOtherNameSignature);
  FakePlatform renamedRun;
  EXPECT_EQ(Run(renamedRun, renamed), 0);
  EXPECT_NE(test::DecodedStdOut(renamedRun).find(kVerified), std::u16string::npos);
}

}  // namespace
}  // namespace zelkupd
