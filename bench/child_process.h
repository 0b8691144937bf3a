// Running one program as a child process and taking its measure: wall time from start to reaped
// exit, CPU time, peak resident memory and what it wrote to its standard error.
#pragma once

#include <string>
#include <vector>

namespace zelkupd::bench {

struct TChildRun {
  double WallSeconds = 0;
  double CpuSeconds = 0;   // user and system, with any children it waited for
  long PeakRssKiB = 0;     // the program's own high-water resident set (VmHWM) as it exits; 0
                           // when not traced
  bool Succeeded = false;  // ran and exited with code 0
  std::string Outcome;     // "exit code N", "killed by signal N" or "cannot start"
  std::string ErrorOutput;
};

// Runs `argv` (argv[0] looked up in PATH) with its standard input and output on /dev/null.
// `traced` takes the peak memory under ptrace; Wine, which traces its own processes, runs
// untraced.
TChildRun RunChild(const std::vector<std::string>& argv, bool traced = true);

// The full path of an executable found in PATH; empty when there is none.
std::string FindInPath(const std::string& name);

}  // namespace zelkupd::bench
