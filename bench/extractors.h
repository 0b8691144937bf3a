// The extractors the benchmark races: this project's ExtractArchive (the benchmark program itself,
// run as a child) and the ones Debian ships: Info-ZIP unzip, bsdtar, 7z and Python's zipfile; and
// bsdtar followed by `sync -f` on its folder, which puts its output on the disk as durably as this
// project's install does. Each verifies the CRC-32 of what it extracts.
#pragma once

#include <string>
#include <vector>

namespace zelkupd::bench {

// The name of bsdtar followed by `sync -f`, the peer of a durable install.
inline constexpr const char* kDurablePeer = "bsdtar+sync";

struct TExtractor {
  std::string Name;
  std::vector<std::string> Command;  // "{archive}" and "{dest}" stand for the two paths
  std::string VersionCommand{};      // a shell command that prints the version; empty for ours
  bool IsOurs = false;
  std::string AlsoRuns{};  // a program the command runs besides its first word; empty for none
  bool Traced = true;      // false for a command of two programs, whose peak memory is neither's

  // The command line for one run; `dest` is a folder that exists and is empty.
  std::vector<std::string> CommandFor(const std::string& archive, const std::string& dest) const;
};

// This project's extractor first, then each of the others that is installed; `self` is the
// benchmark program's path. The names of the missing ones go to `missing`.
std::vector<TExtractor> FindExtractors(const std::string& self, std::vector<std::string>& missing);

// The first line a tool prints about its version, for the record of the run; zlib's version for
// this project's.
std::string ToolVersion(const TExtractor& extractor);

}  // namespace zelkupd::bench
