// The extraction benchmark: makes the archives, races this project's ExtractArchive against
// unzip, bsdtar (alone, and followed by sync), 7z and Python's zipfile on each file system given,
// installs a rebuilt release over the release, measures the in-memory floor and this project's
// peak memory, and reports the Windows executables' sizes. Also the child that runs
// ExtractArchive ("extract ARCHIVE FOLDER").
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_error.h"
#include "extract_only_platform.h"
#include "extraction_race.h"
#include "machine.h"
#include "pe_image.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "shapes.h"
#include "update/extract.h"
#include "update/run_context.h"
#include "wine_startup.h"

namespace zelkupd::bench {
namespace {

constexpr double kMiB = 1024.0 * 1024.0;
constexpr double kLargeFloorTarget = 1.2;
constexpr long kMemoryTargetKiB = 16 * 1024;

struct TPlace {
  std::string Label;
  std::string Folder;  // native, ending in "/"
};

struct TOptions {
  std::vector<TPlace> Places;
  int Rounds = 5;
  std::size_t SmallFiles = 20000;
  bool Small = true;
  bool Large = true;
  bool Memory = true;
  bool Startup = true;
  std::vector<std::string> Executables;
  TWineSetup Wine;  // used when the wine-run script and the dialog helper are given
};

// The core takes Windows-form paths; natively "\" becomes "/" again at the system calls.
std::u16string WindowsForm(const std::string& native) {
  std::u16string path = Utf8ToUtf16(native);
  for (char16_t& c : path) {
    if (c == u'/') {
      c = u'\\';
    }
  }
  return path;
}

int ExtractCommand(const std::string& archive, const std::string& folder) {
  ExtractOnlyPlatform platform;
  TRunContext context(platform);
  std::u16string dest = WindowsForm(folder);
  if (dest.empty() || dest.back() != u'\\') {
    dest += u'\\';
  }
  const bool extracted = ExtractArchive(context, WindowsForm(archive), dest);
  context.Console.Close();
  return extracted ? 0 : 1;
}

int MakeCommand(const std::string& shapeName, const std::string& path) {
  if (shapeName != "small" && shapeName != "rebuilt" && shapeName != "large" &&
      shapeName != "gigabyte" && shapeName != "entries") {
    throw EBenchError("no shape " + shapeName);
  }
  const TShape shape = shapeName == "small"      ? SmallFilesShape(20000)
                       : shapeName == "rebuilt"  ? RebuiltRelease(SmallFilesShape(20000))
                       : shapeName == "large"    ? LargeFilesShape()
                       : shapeName == "gigabyte" ? GigabyteShape()
                                                 : MostEntriesShape();
  const TArchive archive = MakeArchive(shape, WindowsForm(path));
  std::printf("%s: %zu entries, %llu bytes\n", path.c_str(), archive.Entries.size(),
              static_cast<unsigned long long>(archive.ArchiveBytes));
  return 0;
}

void Usage() {
  std::fprintf(
      stderr,
      "usage: zelkupd_bench --place LABEL=FOLDER... [--rounds N] [--small-files N]\n"
      "                     [--only small|large|memory|startup,...] [--exe PATH...]\n"
      "                     [--wine-run SCRIPT --wine-prefix DIR --dialog-helper EXE\n"
      "                      --trivial EXE...]\n"
      "       zelkupd_bench extract ARCHIVE FOLDER\n"
      "       zelkupd_bench make small|rebuilt|large|gigabyte|entries ARCHIVE   (to profile by "
      "hand)\n"
      "Each place is an existing empty folder the benchmark may fill and empty again;\n"
      "the first one also holds the 1 GiB archive of the memory check.\n");
}

TOptions ParseOptions(int argc, char** argv) {
  TOptions options;
  bool onlyGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) {
      throw EBenchError("option " + option + " needs a value");
    }
    const std::string value = argv[++i];
    if (option == "--place") {
      const std::size_t equals = value.find('=');
      if (equals == std::string::npos || equals == 0) {
        throw EBenchError("--place wants LABEL=FOLDER, not " + value);
      }
      std::string folder = value.substr(equals + 1);
      if (folder.empty() || folder.back() != '/') {
        folder += '/';
      }
      options.Places.push_back({value.substr(0, equals), folder});
    } else if (option == "--rounds") {
      options.Rounds = std::max(1, std::atoi(value.c_str()));
    } else if (option == "--small-files") {
      options.SmallFiles = static_cast<std::size_t>(std::max(1, std::atoi(value.c_str())));
    } else if (option == "--only") {
      if (!onlyGiven) {
        options.Small = options.Large = options.Memory = options.Startup = false;
        onlyGiven = true;
      }
      options.Small = options.Small || value.find("small") != std::string::npos;
      options.Large = options.Large || value.find("large") != std::string::npos;
      options.Memory = options.Memory || value.find("memory") != std::string::npos;
      options.Startup = options.Startup || value.find("startup") != std::string::npos;
    } else if (option == "--exe") {
      options.Executables.push_back(value);
    } else if (option == "--wine-run") {
      options.Wine.WineRun = value;
    } else if (option == "--wine-prefix") {
      options.Wine.Prefix = value;
    } else if (option == "--dialog-helper") {
      options.Wine.DialogHelper = value;
    } else if (option == "--trivial") {
      options.Wine.Trivials.push_back(value);
    } else {
      throw EBenchError("unknown option " + option);
    }
  }
  if (options.Places.empty()) {
    throw EBenchError("no --place given");
  }
  for (const TPlace& place : options.Places) {
    if (!std::filesystem::is_directory(place.Folder)) {
      throw EBenchError(place.Folder + " is not a folder");
    }
  }
  return options;
}

// Room for the archive and for one extraction of it, with some to spare.
void CheckRoom(const TPlace& place, std::uint64_t dataBytes) {
  const std::uint64_t needed = 2 * dataBytes + 256 * 1024 * 1024;
  const std::uint64_t free = FreeBytes(place.Folder);
  if (free < needed) {
    char text[256];
    std::snprintf(text, sizeof text, "%s has %.0f MiB free, the benchmark needs %.0f MiB there",
                  place.Folder.c_str(), static_cast<double>(free) / kMiB,
                  static_cast<double>(needed) / kMiB);
    throw EBenchError(text);
  }
}

std::uint64_t PlannedBytes(const TShape& shape) {
  std::uint64_t bytes = 0;
  for (const TEntryPlan& plan : shape.Entries) {
    bytes += plan.Size;
  }
  return bytes;
}

// Every extractor then reads the archive from memory, as the first one would not otherwise.
void ReadThrough(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<char> block(1 << 20);
  while (file.read(block.data(), static_cast<std::streamsize>(block.size())) || file.gcount() > 0) {
  }
}

TArchive MakeShapeArchive(const TShape& shape, const TPlace& place) {
  const auto start = std::chrono::steady_clock::now();
  TArchive archive = MakeArchive(shape, WindowsForm(place.Folder + shape.Name + ".zip"));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "\n%s\n  %zu files (%zu deflated, %zu stored) and %zu folder entries: %.1f MiB in an "
      "archive of %.1f MiB, made in %.1f s\n",
      shape.Title.c_str(), archive.Files, archive.Deflated, archive.Files - archive.Deflated,
      archive.Folders, static_cast<double>(archive.DataBytes) / kMiB,
      static_cast<double>(archive.ArchiveBytes) / kMiB, seconds);
  return archive;
}

// This project's peak memory in one kind of run.
struct TPeak {
  std::string Name;
  long KiB = 0;
};

// The shape raced in every place, and with `rebuilt` its rebuilt release installed over it; adds
// this project's peak memory over all its runs of the shape, and of the rebuilt release's, to
// `peaks`.
void RaceShape(const TShape& shape, const TShape* rebuilt, const TOptions& options,
               const std::vector<TExtractor>& extractors, double floorTarget,
               std::vector<TPeak>& peaks) {
  const std::uint64_t data =
      PlannedBytes(shape) + (rebuilt != nullptr ? PlannedBytes(*rebuilt) : 0);
  for (const TPlace& place : options.Places) {
    CheckRoom(place, data);
  }
  const TArchive archive = MakeShapeArchive(shape, options.Places.front());
  TInflateFloor floor(options.Places.front().Folder + shape.Name + ".zip", archive.Entries);
  TArchive rebuiltArchive;
  if (rebuilt != nullptr) {
    rebuiltArchive = MakeShapeArchive(*rebuilt, options.Places.front());
  }
  std::vector<std::string> names = {shape.Name + ".zip"};
  if (rebuilt != nullptr) {
    names.push_back(rebuilt->Name + ".zip");
  }
  TPeak peak{shape.Name + " files", 0};
  TPeak rebuiltPeak{shape.Name + " rebuilt", 0};
  for (const TPlace& place : options.Places) {
    const bool first = &place == &options.Places.front();
    for (const std::string& name : names) {
      if (!first) {
        std::filesystem::copy_file(options.Places.front().Folder + name, place.Folder + name,
                                   std::filesystem::copy_options::overwrite_existing);
      }
      ReadThrough(place.Folder + name);
    }
    const std::string fileSystem = FileSystemName(place.Folder);
    std::printf("  %s: %s, %s, %d rounds, load %s\n", place.Label.c_str(), place.Folder.c_str(),
                fileSystem.c_str(), options.Rounds, LoadAverage().c_str());
    std::fflush(stdout);
    const TPlacedArchive release{&archive, place.Folder + names.front()};
    const TPlacedArchive rebuild{rebuilt != nullptr ? &rebuiltArchive : nullptr,
                                 place.Folder + names.back()};
    const TRaceResult result =
        RunRace(release, rebuild, place.Folder, extractors, options.Rounds, floor);
    PrintRace(result, floorTarget, fileSystem != "tmpfs");
    std::fflush(stdout);
    peak.KiB =
        std::max({peak.KiB, result.Tools.front().PeakRssKiB, result.OverInstallationPeakRssKiB});
    rebuiltPeak.KiB = std::max(rebuiltPeak.KiB, result.RebuiltPeakRssKiB);
    if (!first) {
      for (const std::string& name : names) {
        std::filesystem::remove(place.Folder + name);
      }
    }
  }
  for (const std::string& name : names) {
    std::filesystem::remove(options.Places.front().Folder + name);
  }
  peaks.push_back(peak);
  if (rebuilt != nullptr) {
    peaks.push_back(rebuiltPeak);
  }
}

long MemoryCheck(const TShape& shape, const TOptions& options, const TExtractor& ours) {
  const TPlace& place = options.Places.front();
  CheckRoom(place, PlannedBytes(shape));
  const TArchive archive = MakeShapeArchive(shape, place);
  const std::string path = place.Folder + shape.Name + ".zip";
  const TChildRun run = ExtractOnce(ours, archive, path, place.Folder + "out/", true);
  std::filesystem::remove(path);
  std::printf("  %s: zelkupd extracted it in %.3f s, peak RSS %.1f MiB\n", place.Label.c_str(),
              run.WallSeconds, static_cast<double>(run.PeakRssKiB) / 1024);
  return run.PeakRssKiB;
}

void ReportExecutable(const std::string& path) {
  const TPeImage image = ReadPeImage(path);
  const std::vector<std::string> runtime = RuntimeImports(image);
  std::string imports;
  for (const std::string& name : image.Imports) {
    imports += (imports.empty() ? "" : " ") + name;
  }
  std::printf("  %s (%s): %llu bytes = %.2f MiB, %s, %s; target below 1 MiB: %s\n", path.c_str(),
              image.Machine.c_str(), static_cast<unsigned long long>(image.FileBytes),
              static_cast<double>(image.FileBytes) / kMiB,
              image.Stripped ? "stripped" : "NOT stripped",
              runtime.empty() ? "no runtime or zlib DLL" : ("imports " + runtime.front()).c_str(),
              image.FileBytes < 1024 * 1024 ? "met" : "NOT met");
  std::printf("    imports: %s\n", imports.c_str());
}

int RunBenchmark(const TOptions& options, const std::string& self) {
  const auto start = std::chrono::steady_clock::now();
  std::printf("zelkupd extraction benchmark\n  machine: %s\n  load at start: %s\n",
              DescribeMachine().c_str(), LoadAverage().c_str());
  std::vector<std::string> missing;
  const std::vector<TExtractor> extractors = FindExtractors(self, missing);
  for (const TExtractor& extractor : extractors) {
    std::printf("  %-11s %s\n", extractor.Name.c_str(), ToolVersion(extractor).c_str());
  }
  for (const std::string& name : missing) {
    std::printf("  %-11s not installed (scripts/install-deps installs it)\n", name.c_str());
  }
  std::printf(
      "  times are wall seconds from start to exit of each run; zelkupd/tool is the "
      "ratio of medians, below 1 when zelkupd is faster\n");
  std::vector<TPeak> peaks;
  if (options.Small) {
    const TShape small = SmallFilesShape(options.SmallFiles);
    const TShape rebuilt = RebuiltRelease(small);
    RaceShape(small, &rebuilt, options, extractors, 0, peaks);
  }
  if (options.Large) {
    RaceShape(LargeFilesShape(), nullptr, options, extractors, kLargeFloorTarget, peaks);
  }
  if (options.Memory) {
    peaks.push_back({"1 GiB archive", MemoryCheck(GigabyteShape(), options, extractors.front())});
    peaks.push_back(
        {"65,535 entries", MemoryCheck(MostEntriesShape(), options, extractors.front())});
  }
  std::fflush(stdout);
  if (!peaks.empty()) {
    std::printf(
        "\npeak resident memory of zelkupd's extraction (VmHWM of the child as it exits; a shape's "
        "over all its runs, into a fresh folder and over an installation):\n");
    for (const TPeak& peak : peaks) {
      std::printf("  %-15s %6.1f MiB; target below 16 MiB: %s\n", peak.Name.c_str(),
                  static_cast<double>(peak.KiB) / 1024,
                  peak.KiB < kMemoryTargetKiB ? "met" : "NOT met");
    }
  }
  if (!options.Executables.empty()) {
    std::printf("\nWindows executables:\n");
    for (const std::string& path : options.Executables) {
      ReportExecutable(path);
    }
  }
  if (options.Startup && !options.Wine.WineRun.empty() && !options.Wine.DialogHelper.empty()) {
    TWineSetup wine = options.Wine;
    // A run takes a fraction of a second, and a box's appearance jitters by the helper's polling.
    wine.Rounds = 3 * options.Rounds;
    wine.WorkFolder = options.Places.front().Folder + "wine/";
    if (options.Executables.empty() || wine.Prefix.empty()) {
      throw EBenchError("the start-up under Wine needs an --exe and a --wine-prefix");
    }
    // Each executable against the trivial program of its own processor.
    for (const std::string& path : options.Executables) {
      const std::string machine = ReadPeImage(path).Machine;
      wine.Executable = path;
      wine.Trivial.clear();
      for (const std::string& trivial : options.Wine.Trivials) {
        if (ReadPeImage(trivial).Machine == machine) {
          wine.Trivial = trivial;
        }
      }
      if (wine.Trivial.empty()) {
        throw EBenchError("the start-up of " + path + " needs a --trivial program for " + machine);
      }
      ReportWineStartup(wine);
      std::filesystem::remove_all(wine.WorkFolder);
    }
  }
  std::printf("\nload at end: %s; the benchmark took %.0f s\n", LoadAverage().c_str(),
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return 0;
}

}  // namespace
}  // namespace zelkupd::bench

int main(int argc, char** argv) {
  using namespace zelkupd::bench;
  try {
    if (argc == 4 && std::string(argv[1]) == "extract") {
      return ExtractCommand(argv[2], argv[3]);
    }
    if (argc == 4 && std::string(argv[1]) == "make") {
      return MakeCommand(argv[2], argv[3]);
    }
    if (argc < 2) {
      Usage();
      return 2;
    }
    const TOptions options = ParseOptions(argc, argv);
    return RunBenchmark(options, std::filesystem::read_symlink("/proc/self/exe").string());
  } catch (const EBenchError& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "zelkupd_bench: %s\n", error.what());
  } catch (const zelkupd::Exception& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "zelkupd_bench: %s: %s\n", error.ClassName(),
                 zelkupd::Utf16ToUtf8(error.Message()).c_str());
  } catch (const std::exception& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "zelkupd_bench: %s\n", error.what());
  }
  return 2;
}
