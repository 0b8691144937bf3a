// A whole update over the fake platform in a temporary folder: an installation with its program,
// a document and its settings file, a download folder beside it, and a new release that the fake
// serves at an archive URL, so that a test can break one thing and look at what the run left.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>

#include "support/fake_platform.h"
#include "support/temp_dir.h"

namespace zelkupd::test {

// Every file below a folder with its content, by its path relative to the folder; a folder is
// listed by its path with a final backslash and no content.
using TTreeSnapshot = std::map<std::u16string, std::string>;
TTreeSnapshot Snapshot(std::u16string_view folder);

// The new release: a program of several download blocks, a changed document and a new one.
std::string NewReleaseArchive();

class TUpdateFixture : public ::testing::Test {
 protected:
  TUpdateFixture();

  // What the archive URL serves, in blocks as the run reads them.
  void ServeArchive(std::string_view archive);
  // The run with the archive URL as its argument, the download question answered Yes.
  int Run();
  std::u16string Out() const { return DecodedStdOut(fake); }
  bool ZelkStarted() const;

  TTempDir root;
  const std::u16string install = root / u"install\\";
  const std::u16string downloads = root / u"downloads\\";
  const std::u16string settings = install + u"zelkupd.INI";
  const std::u16string archivePath = downloads + u"zelk32_157.zip";
  // PREV_FILE, the download folder and DELETE as the settings file holds them before the run.
  const std::string settingsBytes;
  FakePlatform fake;
};

}  // namespace zelkupd::test
