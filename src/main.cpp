// The entry point on Windows: runs the update once with the command-line arguments.
#include <string>
#include <vector>

#include "platform/win32/win32_platform.h"
#include "update/run.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) {
    arguments.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  }
  zelkupd::Win32Platform platform;
  return zelkupd::RunUpdate(platform, arguments);
}
