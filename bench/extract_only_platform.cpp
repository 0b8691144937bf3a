#include "extract_only_platform.h"

#include <unistd.h>

namespace zelkupd::bench {

namespace {
bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n <= 0) {
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}
}  // namespace

std::uint32_t ExtractOnlyPlatform::WriteStdOutput(std::string_view bytes) {
  constexpr std::uint32_t kWriteFault = 29;  // ERROR_WRITE_FAULT
  return WriteAll(STDERR_FILENO, bytes) ? 0 : kWriteFault;
}

void ExtractOnlyPlatform::WriteStdError(std::string_view bytes) {
  WriteAll(STDERR_FILENO, bytes);
}

}  // namespace zelkupd::bench
