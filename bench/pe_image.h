// What the benchmark reports about a Windows executable: its size, whether its symbol table was
// stripped, and the DLLs it imports (a static build imports no MinGW runtime or zlib DLL).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelkupd::bench {

struct TPeImage {
  std::uint64_t FileBytes = 0;
  std::string Machine;               // "x86_64", "i686" or the machine number
  bool Stripped = false;             // no COFF symbol table
  std::vector<std::string> Imports;  // DLL names as the import table gives them
};

// Raises EBenchError when the file cannot be read or is not a PE image.
TPeImage ReadPeImage(const std::string& path);

// The imported DLLs that a static build would not need: MinGW's C++, GCC and thread runtimes and
// zlib's DLL.
std::vector<std::string> RuntimeImports(const TPeImage& image);

}  // namespace zelkupd::bench
