#include "wine_startup.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include "bench_error.h"
#include "child_process.h"
#include "stats.h"

namespace zelkupd::bench {
namespace {

constexpr double kTargetSeconds = 0.050;

// Wine shows the Unix root as drive Z:.
std::string WindowsPath(const std::string& native) {
  std::string path = "Z:" + std::filesystem::absolute(native).string();
  for (char& c : path) {
    if (c == '/') {
      c = '\\';
    }
  }
  return path;
}

struct TWineRun {
  std::string Name;
  std::vector<std::string> Command;
  std::vector<double> Wall;
};

double RunOnce(const TWineRun& run) {
  const TChildRun result = RunChild(run.Command, false);
  if (!result.Succeeded) {
    throw EBenchError(run.Name + " under Wine failed (" + result.Outcome +
                      "): " + result.ErrorOutput);
  }
  return result.WallSeconds;
}

}  // namespace

void ReportWineStartup(const TWineSetup& setup) {
  const std::string install = setup.WorkFolder + "install/";
  std::filesystem::create_directories(install);
  std::filesystem::copy_file(setup.Executable, install + "zelkupd.exe",
                             std::filesystem::copy_options::overwrite_existing);
  const std::string log = WindowsPath(setup.WorkFolder + "dialogs.log");
  // Wine takes only an absolute prefix.
  const std::string prefix = std::filesystem::absolute(setup.Prefix).string();
  const std::vector<std::string> wine = {setup.WineRun, prefix};
  const auto command = [&](std::vector<std::string> tail) {
    std::vector<std::string> full = wine;
    full.insert(full.end(), tail.begin(), tail.end());
    return full;
  };
  // An archive URL goes straight to the question: nothing is fetched before it, so the run is
  // the program's start, its settings, the Internet session, the two boxes and its end.
  std::vector<TWineRun> runs = {
      {"trivial program", command({setup.Trivial}), {}},
      {"trivial program through the dialog helper",
       command({setup.DialogHelper, "--record", log, "--", WindowsPath(setup.Trivial)}),
       {}},
      {"trivial program with the two boxes, helper",
       command({setup.DialogHelper, "--record", log, "--answer", "no", "--answer", "ok", "--",
                WindowsPath(setup.Trivial), "boxes"}),
       {}},
      {"zelkupd answering No",
       command({setup.DialogHelper, "--record", log, "--answer", "no", "--answer", "ok", "--",
                WindowsPath(install + "zelkupd.exe"), "http://zelk.invalid/zelk32_155.zip"}),
       {}}};
  // The first runs may make the prefix and start its server; they are not timed.
  for (const TWineRun& run : runs) {
    RunOnce(run);
  }
  for (int round = 0; round < setup.Rounds; ++round) {
    for (TWineRun& run : runs) {
      run.Wall.push_back(RunOnce(run));
    }
  }
  std::printf("\nstart-up of %s under Wine (%s), median of %d rounds:\n", setup.Executable.c_str(),
              prefix.c_str(), setup.Rounds);
  for (const TWineRun& run : runs) {
    std::printf("  %-44s %7.3f s (min %.3f s)\n", run.Name.c_str(), Median(run.Wall),
                Minimum(run.Wall));
  }
  const double own = Median(runs[3].Wall) - Median(runs[2].Wall);
  std::printf(
      "  zelkupd beyond the trivial program with the same two boxes through the helper: "
      "%.0f ms; target within 50 ms: %s\n",
      own * 1000, own <= kTargetSeconds ? "met" : "NOT met");
  std::printf(
      "  zelkupd beyond the trivial program without boxes: %.0f ms through the helper, "
      "%.0f ms against Wine starting it directly\n",
      (Median(runs[3].Wall) - Median(runs[1].Wall)) * 1000,
      (Median(runs[3].Wall) - Median(runs[0].Wall)) * 1000);
}

}  // namespace zelkupd::bench
