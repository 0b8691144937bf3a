#include "extraction_race.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "bench_error.h"
#include "install/install_names.h"
#include "output_tree.h"
#include "runtime/text.h"
#include "shapes.h"
#include "stats.h"

namespace zelkupd::bench {
namespace {

// A rebuilt release, of which one file in twenty is new, should cost at most this share of a fresh
// install on a disk.
constexpr double kRebuiltTarget = 0.5;

bool IsRival(const std::string& name) {
  return name == "unzip" || name == "bsdtar" || name == "7z";
}

void MakeOutputFolder(const std::string& output) {
  if (mkdir(output.c_str(), 0777) != 0) {
    throw EBenchError("cannot create " + output);
  }
}

TChildRun RunExtractor(const TExtractor& extractor, const std::string& archivePath,
                       const std::string& output) {
  // What earlier runs left for writeback is written now, not while this run is timed.
  sync();
  const TChildRun run = RunChild(extractor.CommandFor(archivePath, output), extractor.Traced);
  if (!run.Succeeded) {
    throw EBenchError(extractor.Name + " failed (" + run.Outcome + "): " + run.ErrorOutput);
  }
  return run;
}

}  // namespace

TChildRun ExtractOnce(const TExtractor& extractor, const TArchive& archive,
                      const std::string& archivePath, const std::string& output, bool check) {
  MakeOutputFolder(output);
  const TChildRun run = RunExtractor(extractor, archivePath, output);
  if (check) {
    CheckOutputTree(output, archive.Entries);
  }
  RemoveOutputTree(output);
  return run;
}

TChildRun ExtractOverInstallation(const TExtractor& ours, const std::string& previousPath,
                                  const TPlacedArchive& archive, const std::string& output,
                                  bool check) {
  MakeOutputFolder(output);
  RunExtractor(ours, previousPath, output);
  const TChildRun run = RunExtractor(ours, archive.Path, output);
  if (check) {
    CheckOutputTree(output, archive.Archive->Entries);
    CheckOutputTimes(output, archive.Archive->Entries);
    if (std::filesystem::exists(output + Utf16ToUtf8(kBackupFolderName))) {
      throw EBenchError(ours.Name + " left its backup folder behind");
    }
  }
  RemoveOutputTree(output);
  return run;
}

TRaceResult RunRace(const TPlacedArchive& release, const TPlacedArchive& rebuilt,
                    const std::string& workFolder, const std::vector<TExtractor>& extractors,
                    int rounds, TInflateFloor& floor) {
  TRaceResult result;
  for (const TExtractor& extractor : extractors) {
    result.Tools.push_back({extractor.Name, {}, {}, 0});
  }
  const std::string output = workFolder + "out/";
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t k = 0; k < extractors.size(); ++k) {
      const std::size_t i = (k + static_cast<std::size_t>(round)) % extractors.size();
      const TChildRun run =
          ExtractOnce(extractors[i], *release.Archive, release.Path, output, round == 0);
      TToolTimes& times = result.Tools[i];
      times.Wall.push_back(run.WallSeconds);
      times.Cpu.push_back(run.CpuSeconds);
      times.PeakRssKiB = std::max(times.PeakRssKiB, run.PeakRssKiB);
    }
    const TChildRun over =
        ExtractOverInstallation(extractors.front(), release.Path, release, output, round == 0);
    result.OverInstallationWall.push_back(over.WallSeconds);
    result.OverInstallationPeakRssKiB =
        std::max(result.OverInstallationPeakRssKiB, over.PeakRssKiB);
    if (rebuilt.Archive != nullptr) {
      const TChildRun run =
          ExtractOverInstallation(extractors.front(), release.Path, rebuilt, output, round == 0);
      result.RebuiltWall.push_back(run.WallSeconds);
      result.RebuiltPeakRssKiB = std::max(result.RebuiltPeakRssKiB, run.PeakRssKiB);
    }
    const TFloorTime floorTime = floor.Run();
    result.FloorWall.push_back(floorTime.WallSeconds);
    result.FloorCpu.push_back(floorTime.CpuSeconds);
    const THashTimes hashing = MeasureHashing(floor.Archive(), release.Path);
    result.HashWhileDownloading.push_back(hashing.WhileDownloading);
    result.HashFromFile.push_back(hashing.FromFile);
  }
  return result;
}

void PrintRace(const TRaceResult& result, double floorTarget, bool onDisk) {
  const double ours = Median(result.Tools.front().Wall);
  const double oursCpu = Median(result.Tools.front().Cpu);
  std::printf("    %-11s %9s %9s %9s %10s %13s %12s\n", "tool", "median s", "min s", "cpu s",
              "peak RSS", "zelkupd/tool", "(cpu ratio)");
  double fastestRival = 0;
  std::string fastestName;
  double durablePeer = 0;
  for (const TToolTimes& tool : result.Tools) {
    const double median = Median(tool.Wall);
    const double cpu = Median(tool.Cpu);
    char peak[32] = "-";
    if (tool.PeakRssKiB > 0) {
      std::snprintf(peak, sizeof peak, "%.1f MiB", static_cast<double>(tool.PeakRssKiB) / 1024);
    }
    std::printf("    %-11s %9.3f %9.3f %9.3f %10s %13.2f %12.2f\n", tool.Name.c_str(), median,
                Minimum(tool.Wall), cpu, peak, ours / median, oursCpu / cpu);
    if (IsRival(tool.Name) && (fastestName.empty() || median < fastestRival)) {
      fastestRival = median;
      fastestName = tool.Name;
    }
    if (tool.Name == kDurablePeer) {
      durablePeer = median;
    }
  }
  const double floorTime = Median(result.FloorWall);
  const double floorCpu = Median(result.FloorCpu);
  std::printf(
      "    %-11s %9.3f %9.3f %9.3f %10s %13.2f %12.2f   zlib raw inflate + CRC-32 in memory\n",
      "floor", floorTime, Minimum(result.FloorWall), floorCpu, "", ours / floorTime,
      oursCpu / floorCpu);
  const double over = Median(result.OverInstallationWall);
  std::printf(
      "    over an installation that holds every file: zelkupd %.3f s, %.2f times its time into "
      "a fresh folder\n",
      over, over / ours);
  const double rebuilt = Median(result.RebuiltWall);
  if (!result.RebuiltWall.empty()) {
    std::printf(
        "    rebuilt release over the release (every file's time new, one file in %zu with new "
        "bytes): zelkupd %.3f s, %.2f times its time into a fresh folder\n",
        kRebuiltOneIn, rebuilt, rebuilt / ours);
  }
  const double whileDownloading = Median(result.HashWhileDownloading);
  const double fromFile = Median(result.HashFromFile);
  std::printf(
      "    SHA-256 for the release signature (native libcrypto): %.3f s as the download's blocks "
      "arrive, %.1f%% of zelkupd's extraction, no pass of its own; %.3f s reading a local "
      "archive's file, %.1f%%\n",
      whileDownloading, 100 * whileDownloading / ours, fromFile, 100 * fromFile / ours);
  if (!fastestName.empty()) {
    std::printf("    target: as fast as the fastest of unzip, bsdtar and 7z (%s): %.2f, %s\n",
                fastestName.c_str(), ours / fastestRival, ours <= fastestRival ? "met" : "NOT met");
  }
  if (floorTarget > 0) {
    std::printf("    target: within %.1f times the floor: %.2f, %s\n", floorTarget,
                ours / floorTime, ours <= floorTarget * floorTime ? "met" : "NOT met");
  }
  if (onDisk && durablePeer > 0) {
    std::printf(
        "    target on a disk: as fast as bsdtar then sync -f on its folder (%s, the same "
        "durability): %.2f, %s\n",
        kDurablePeer, ours / durablePeer, ours <= durablePeer ? "met" : "NOT met");
  }
  if (onDisk && !result.RebuiltWall.empty()) {
    std::printf(
        "    target on a disk: the rebuilt release over the release within %.1f times the fresh "
        "install: %.2f, %s\n",
        kRebuiltTarget, rebuilt / ours, rebuilt <= kRebuiltTarget * ours ? "met" : "NOT met");
  }
}

}  // namespace zelkupd::bench
