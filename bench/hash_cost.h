// What checking a release's signature costs, timed beside extraction: the SHA-256 of the archive
// as a download takes it (the blocks of 10240 bytes already in memory as they arrive, so no pass
// of its own) and as a local archive is hashed before installation (read from its file in pieces).
#pragma once

#include <string>
#include <vector>

namespace zelkupd::bench {

struct THashTimes {
  double WhileDownloading = 0;  // wall seconds over the bytes in memory, block by block
  double FromFile = 0;          // wall seconds of the product's HashFile on the archive
};

// Hashes `archive` (the archive's bytes) and the file at `archivePath` (native) once each.
// Raises EBenchError when the two digests differ or the file cannot be hashed.
THashTimes MeasureHashing(const std::vector<unsigned char>& archive,
                          const std::string& archivePath);

}  // namespace zelkupd::bench
