// An extractor's output folder: checking that it holds what the archive holds, every folder and
// every file with its size and CRC-32, and removing it with everything in it.
#pragma once

#include <string>
#include <vector>

#include "zip_writer.h"

namespace zelkupd::bench {

// `folder` is a native path ending in "/". Raises EBenchError naming the first entry that is
// missing or differs.
void CheckOutputTree(const std::string& folder, const std::vector<TWrittenEntry>& entries);

void RemoveOutputTree(const std::string& folder);

}  // namespace zelkupd::bench
