#include "unit/faults/update_fixture.h"

#include <algorithm>

#include "platform/platform.h"
#include "runtime/files.h"
#include "runtime/text.h"
#include "support/zip_builder.h"
#include "update/run.h"

namespace zelkupd::test {
namespace {

constexpr char16_t kArchiveUrl[] = u"http://site.invalid/zip/zelk32_157.zip";
constexpr std::size_t kReadBlockSize = 10240;

void AddToSnapshot(const std::u16string& folder, const std::u16string& relative,
                   TTreeSnapshot& snapshot) {
  for (const TDirEntry& entry : ListDirectory(folder + relative)) {
    const std::u16string path = relative + entry.Name;
    if (entry.IsDirectory) {
      snapshot[path + u"\\"];
      AddToSnapshot(folder, path + u"\\", snapshot);
    } else {
      snapshot[path] = ReadFileBytes(folder + path);
    }
  }
}

std::string SettingsOf(const std::u16string& downloads) {
  return "[ZELK]\r\nPREV_FILE=zelk32_156.zip\r\nDOWN_PATH=" + Utf16ToUtf8(downloads) +
         "\r\nDELETE=0\r\n";
}

}  // namespace

TTreeSnapshot Snapshot(std::u16string_view folder) {
  TTreeSnapshot snapshot;
  AddToSnapshot(std::u16string(folder), u"", snapshot);
  return snapshot;
}

std::string NewReleaseArchive() {
  return TZipBuilder()
      .Stored("ZELK.EXE", "MZ new program" + NoiseBytes(3 * kReadBlockSize))
      .Deflated("doc/readme.txt", "new readme")
      .Deflated("doc/new.txt", "a new document")
      .Build();
}

TUpdateFixture::TUpdateFixture() : settingsBytes(SettingsOf(downloads)) {
  CreateDir(install);
  CreateDir(install + u"doc");
  CreateDir(downloads);
  WriteFileBytes(install + u"zelkupd.exe", "MZ updater");
  WriteFileBytes(install + u"ZELK.EXE", "MZ old program");
  WriteFileBytes(install + u"doc\\readme.txt", "old readme");
  WriteFileBytes(settings, settingsBytes);
  fake.ModulePath = install + u"zelkupd.exe";
  ServeArchive(NewReleaseArchive());
}

void TUpdateFixture::ServeArchive(std::string_view archive) {
  FakePlatform::TResponse response;
  for (std::size_t at = 0; at < archive.size(); at += kReadBlockSize) {
    response.Blocks.emplace_back(archive.substr(at, kReadBlockSize));
  }
  fake.Responses[kArchiveUrl] = response;
}

int TUpdateFixture::Run() {
  fake.BoxAnswers = {kIdYes};
  return RunUpdate(fake, {kArchiveUrl});
}

bool TUpdateFixture::ZelkStarted() const {
  return fake.Executes.size() == 1 && fake.Executes[0].File == install + u"ZELK.EXE";
}

}  // namespace zelkupd::test
