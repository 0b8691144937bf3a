// What the benchmark says about where it ran: the machine, its load, and the file systems of the
// folders it works in.
#pragma once

#include <cstdint>
#include <string>

namespace zelkupd::bench {

// CPU model, online cores, memory and kernel in one line.
std::string DescribeMachine();
// The 1, 5 and 15 minute load averages: other work on the machine skews every timing.
std::string LoadAverage();
// The file system type of the folder, such as "tmpfs" or "ext4".
std::string FileSystemName(const std::string& folder);
// Bytes an unprivileged writer may still put in the folder's file system.
std::uint64_t FreeBytes(const std::string& folder);

}  // namespace zelkupd::bench
