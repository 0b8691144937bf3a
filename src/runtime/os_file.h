// The operating-system side of TFileStream, implemented once per platform. Internal to runtime/.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/datetime.h"
#include "runtime/stream.h"

namespace zelkupd::os {

inline constexpr std::intptr_t kInvalidFile = -1;

// Opens with the exact access, share and disposition; kInvalidFile on failure (LastOsError).
std::intptr_t OpenFile(std::u16string_view path, const TFileMode& mode);
void CloseFile(std::intptr_t file);
// Each transfers at most `count` bytes and reports how many; false on failure.
bool ReadFile(std::intptr_t file, void* buffer, std::uint32_t count, std::uint32_t& done);
bool WriteFile(std::intptr_t file, const void* buffer, std::uint32_t count, std::uint32_t& done);
bool SeekFile(std::intptr_t file, std::int64_t offset, TSeekOrigin origin, std::int64_t& position);
bool FlushFile(std::intptr_t file);
// The open file's creation and last-write times (natively the creation time is not kept: it reads
// as zero and is not set).
bool SetFileTimes(std::intptr_t file, const TFileTime& creation, const TFileTime& lastWrite);
bool GetFileTimes(std::intptr_t file, TFileTime& creation, TFileTime& lastWrite);
// Records an error code for LastOsError (used when a fault hook fails an operation).
void SetLastOsError(std::uint32_t code);

}  // namespace zelkupd::os

namespace zelkupd::os {
// The codes a fault hook's failure reports: a full disk for writes, access denied otherwise.
extern const std::uint32_t kDiskFullError;
extern const std::uint32_t kAccessDeniedError;
}  // namespace zelkupd::os
