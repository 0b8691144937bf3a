// How the install tells its own files from anyone else's: by a file's size and last-write time
// and, where proof is asked for, by the CRC-32 of its bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/datetime.h"
#include "runtime/files.h"

namespace zelkupd {

struct TFileIdentity {
  std::uint64_t Size = 0;
  TFileTime LastWrite{};
  std::uint32_t Crc = 0;
  bool HasCrc = false;  // journals of earlier versions know only the size and the time
  friend bool operator==(const TFileIdentity&, const TFileIdentity&) = default;
};

// Quick compares the size and the last-write time: enough for a file that this process read or
// wrote moments ago. Full also reads the file and compares the CRC-32 of its bytes where the
// identity has one: what proves, after a crash, that a file is the one the install met or left
// and not the user's own that keeps the same size and time.
enum class TProof { Quick, Full };

// Whether `found`, the file at `path`, is the version `identity` describes. A folder is no
// version of a file. A file whose bytes are to be read but cannot be (another program holds it)
// is neither this version nor another: that raises the read's EStreamError, with its code.
bool IsVersion(std::u16string_view path, const TFoundFile& found, const TFileIdentity& identity,
               TProof proof);

// The CRC-32 of a file's bytes, read with others allowed to read it too; raises EStreamError
// when it cannot be read.
std::uint32_t FileCrc32(std::u16string_view path);

}  // namespace zelkupd
