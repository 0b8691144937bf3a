// An extractor's output folder: checking that it holds what the archive holds, every folder and
// every file with its size and CRC-32, and each file's time where the extractor promises to stamp
// it; and removing it with everything in it.
#pragma once

#include <string>
#include <vector>

#include "zip_writer.h"

namespace zelkupd::bench {

// `folder` is a native path ending in "/". Raises EBenchError naming the first entry that is
// missing or differs.
void CheckOutputTree(const std::string& folder, const std::vector<TWrittenEntry>& entries);

// Raises EBenchError naming the first file whose last-write time is not its entry's DOS time,
// taken as local time with the bias in force now, as the installer takes it.
void CheckOutputTimes(const std::string& folder, const std::vector<TWrittenEntry>& entries);

void RemoveOutputTree(const std::string& folder);

}  // namespace zelkupd::bench
