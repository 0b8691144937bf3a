// Start-up under Wine: a run of zelkupd.exe that answers No to the download question and OK to
// the end notice that follows, timed next to Wine starting a trivial console program: directly,
// through the dialog helper that plays the user, and showing the same two boxes.
#pragma once

#include <string>
#include <vector>

namespace zelkupd::bench {

struct TWineSetup {
  std::string WineRun;                // tests/wine/wine-run
  std::string Prefix;                 // the Wine prefix it makes or reuses
  std::string DialogHelper;           // dialog-helper.exe
  std::string Trivial;                // trivial_console.exe of the executable's processor
  std::vector<std::string> Trivials;  // one of each processor, given on the command line
  std::string Executable;             // the zelkupd.exe timed
  std::string WorkFolder;  // native, ending in "/": gets a copy of zelkupd.exe and the logs
  int Rounds = 5;
};

// Prints the median of each run and the verdict on the target: zelkupd's run within 50 ms of the
// trivial program's that shows the same two boxes, both answered by the dialog helper. Raises
// EBenchError when a run fails.
void ReportWineStartup(const TWineSetup& setup);

}  // namespace zelkupd::bench
