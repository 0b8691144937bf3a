#include "hash_cost.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "bench_error.h"
#include "runtime/crypto.h"
#include "runtime/text.h"
#include "update/release_signature.h"

namespace zelkupd::bench {
namespace {

constexpr std::size_t kDownloadBlock = 10240;

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

THashTimes MeasureHashing(const std::vector<unsigned char>& archive,
                          const std::string& archivePath) {
  THashTimes times;
  auto start = std::chrono::steady_clock::now();
  TSha256 hash;
  for (std::size_t at = 0; at < archive.size(); at += kDownloadBlock) {
    hash.Update(archive.data() + at, std::min(kDownloadBlock, archive.size() - at));
  }
  const std::optional<TSha256Digest> downloaded = hash.Finish();
  times.WhileDownloading = Since(start);

  std::u16string path = Utf8ToUtf16(archivePath);
  std::replace(path.begin(), path.end(), u'/', u'\\');
  start = std::chrono::steady_clock::now();
  const std::optional<TSha256Digest> local = HashFile(path);
  times.FromFile = Since(start);
  if (!downloaded || !local || *downloaded != *local) {
    throw EBenchError("the archive's SHA-256 in memory and from " + archivePath + " differ");
  }
  return times;
}

}  // namespace zelkupd::bench
