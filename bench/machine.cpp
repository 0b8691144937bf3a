#include "machine.h"

#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace zelkupd::bench {

std::string DescribeMachine() {
  std::string model = "unknown CPU";
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.rfind("model name", 0) == 0) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  }
  const long cores = sysconf(_SC_NPROCESSORS_ONLN);
  const double memory = static_cast<double>(sysconf(_SC_PHYS_PAGES)) *
                        static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024 * 1024);
  utsname system{};
  uname(&system);
  char text[512];
  std::snprintf(text, sizeof text, "%s, %ld cores, %.1f GiB memory, %s %s %s", model.c_str(), cores,
                memory, system.sysname, system.release, system.machine);
  return text;
}

std::string LoadAverage() {
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) != 3) {
    return "unknown";
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
  return text;
}

std::string FileSystemName(const std::string& folder) {
  struct statfs info {};
  if (statfs(folder.c_str(), &info) != 0) {
    return "unknown";
  }
  switch (static_cast<unsigned long>(info.f_type)) {
    case 0x01021994:
      return "tmpfs";
    case 0xef53:
      return "ext4";
    case 0x58465342:
      return "xfs";
    case 0x9123683e:
      return "btrfs";
    case 0x794c7630:
      return "overlayfs";
    default: {
      char text[32];
      std::snprintf(text, sizeof text, "type 0x%lx", static_cast<unsigned long>(info.f_type));
      return text;
    }
  }
}

std::uint64_t FreeBytes(const std::string& folder) {
  struct statvfs info {};
  if (statvfs(folder.c_str(), &info) != 0) {
    return 0;
  }
  return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

}  // namespace zelkupd::bench
