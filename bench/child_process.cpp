#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>

#include "bench_error.h"

namespace zelkupd::bench {
namespace {

double Seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

std::string ReadAll(int fd) {
  std::string text;
  lseek(fd, 0, SEEK_SET);
  char block[4096];
  for (ssize_t n; (n = read(fd, block, sizeof block)) > 0;) {
    text.append(block, static_cast<std::size_t>(n));
  }
  return text;
}

// Closes the descriptor however the run ends.
struct TFd {
  int Fd;
  ~TFd() {
    if (Fd >= 0) {
      close(Fd);
    }
  }
};

long HighWaterKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) {
      return std::atol(line.c_str() + 6);
    }
  }
  return 0;
}

pid_t Wait(pid_t pid, int& status, rusage& usage) {
  for (;;) {
    const pid_t done = wait4(pid, &status, 0, &usage);
    if (done >= 0 || errno != EINTR) {
      return done;
    }
  }
}

// In the forked child: the descriptors in place, traced if asked, then the program.
[[noreturn]] void StartChild(std::vector<char*>& args, int errors, bool traced) {
  const int null = open("/dev/null", O_RDWR);
  dup2(null, 0);
  dup2(null, 1);
  dup2(errors, 2);
  if (traced) {
    ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
  }
  execvp(args[0], args.data());
  _exit(127);
}

// The child stops after its first exec and again as it exits, when its memory can still be read;
// every other stop is passed on. ru_maxrss could not serve: exec records the peak of the memory
// it replaces, which for a child of this process includes this process's own peak.
void FollowToExit(pid_t pid, int& status, rusage& usage, long& peakKiB) {
  bool options = false;
  while (Wait(pid, status, usage) == pid && WIFSTOPPED(status)) {
    int signal = WSTOPSIG(status);
    if (!options) {
      ptrace(PTRACE_SETOPTIONS, pid, nullptr,
             PTRACE_O_TRACEEXIT | PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL);
      options = true;
      signal = 0;
    } else if (signal == SIGTRAP && (status >> 16) != 0) {
      if ((status >> 16) == PTRACE_EVENT_EXIT) {
        peakKiB = HighWaterKiB(pid);
      }
      signal = 0;
    }
    ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void*>(static_cast<long>(signal)));
  }
}

}  // namespace

TChildRun RunChild(const std::vector<std::string>& argv, bool traced) {
  std::vector<char*> args;
  for (const std::string& arg : argv) {
    args.push_back(const_cast<char*>(arg.c_str()));
  }
  args.push_back(nullptr);
  // The child's error text goes to memory, not to a file on the file system being measured.
  const TFd errors{memfd_create("child-stderr", MFD_CLOEXEC)};
  if (errors.Fd < 0) {
    throw EBenchError("memfd_create failed");
  }
  TChildRun run;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) {
    run.Outcome = "cannot start";
    return run;
  }
  if (pid == 0) {
    StartChild(args, errors.Fd, traced);
  }
  int status = 0;
  rusage usage{};
  if (traced) {
    FollowToExit(pid, status, usage, run.PeakRssKiB);
  } else if (Wait(pid, status, usage) != pid) {
    throw EBenchError("wait4 failed");
  }
  run.WallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.CpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  if (WIFEXITED(status)) {
    run.Succeeded = WEXITSTATUS(status) == 0;
    run.Outcome = "exit code " + std::to_string(WEXITSTATUS(status));
  } else if (WIFSIGNALED(status)) {
    run.Outcome = "killed by signal " + std::to_string(WTERMSIG(status));
  } else {
    run.Outcome = "lost";
  }
  run.ErrorOutput = ReadAll(errors.Fd);
  return run;
}

std::string FindInPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string folders = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= folders.size()) {
    const std::size_t end = std::min(folders.find(':', start), folders.size());
    const std::string candidate = folders.substr(start, end - start) + "/" + name;
    if (end > start && access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = end + 1;
  }
  return {};
}

}  // namespace zelkupd::bench
