// One archive raced on one file system: every extractor in turn, the order rotating from round to
// round, each run into a fresh output folder beside the archive and checked after the first
// round; the in-memory floor once per round; this project's extraction over an installation that
// already holds every file, and, where the shape has one, of its rebuilt release over the release;
// and the SHA-256 that a signed release costs. Prints the medians and this project's ratios.
#pragma once

#include <string>
#include <vector>

#include "child_process.h"
#include "extractors.h"
#include "hash_cost.h"
#include "inflate_floor.h"
#include "shapes.h"

namespace zelkupd::bench {

struct TToolTimes {
  std::string Name;
  std::vector<double> Wall;
  std::vector<double> Cpu;
  long PeakRssKiB = 0;
};

struct TRaceResult {
  std::vector<TToolTimes> Tools;  // in the order of the extractors; this project's first
  std::vector<double> FloorWall;
  std::vector<double> FloorCpu;
  std::vector<double> OverInstallationWall;  // this project's, over the same archive's files
  std::vector<double> RebuiltWall;           // this project's, the rebuilt release over the release
  long OverInstallationPeakRssKiB = 0;
  long RebuiltPeakRssKiB = 0;
  std::vector<double> HashWhileDownloading;  // SHA-256 of the archive block by block in memory
  std::vector<double> HashFromFile;          // SHA-256 of the archive read from its file
};

// Runs the extractor once into `output` (native, ending in "/"), made fresh and removed after;
// with `check` the output is compared with the archive's entries first. EBenchError when the
// extractor fails or its output differs.
TChildRun ExtractOnce(const TExtractor& extractor, const TArchive& archive,
                      const std::string& archivePath, const std::string& output, bool check);

// An archive and where it lies (native) in the place raced.
struct TPlacedArchive {
  const TArchive* Archive = nullptr;  // none when null
  std::string Path;
};

// Runs this project's extractor twice into `output`: untimed with the archive at `previousPath`
// into the fresh folder, then timed with `archive` over what the first run left, as an update
// installs over an installation. With `check` the output is compared with `archive`, every file's
// bytes and time, and no backup may be left behind.
TChildRun ExtractOverInstallation(const TExtractor& ours, const std::string& previousPath,
                                  const TPlacedArchive& archive, const std::string& output,
                                  bool check);

// `workFolder` is native; the output folder is made in it. `rebuilt`, when it has an archive, is
// installed over `release` once per round.
TRaceResult RunRace(const TPlacedArchive& release, const TPlacedArchive& rebuilt,
                    const std::string& workFolder, const std::vector<TExtractor>& extractors,
                    int rounds, TInflateFloor& floor);

// The table of one race, and the verdicts on the targets, judged on median wall times: at least
// as fast as the fastest of unzip, bsdtar and 7z, and (when `floorTarget` is not 0) within that
// factor of the floor. The CPU times' ratios are shown beside them. `onDisk` adds the targets of a
// durable install on a disk: no slower than bsdtar then sync, and a rebuilt release over the
// release in at most half the time of a fresh install.
void PrintRace(const TRaceResult& result, double floorTarget, bool onDisk);

}  // namespace zelkupd::bench
