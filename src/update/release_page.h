// The release page search (the archive link after the marker id="$zelk32$") and the release
// order of archive names.
#pragma once

#include <cstdint>
#include <string_view>

#include "update/run_context.h"

namespace zelkupd {

// Empties TargetUrl; when PageText names a release archive, sets TargetUrl to its URL and NewFile
// to its file name.
void FindArchiveLink(TUpdateState& state);

// The release number of an archive name; 0 when it has none.
std::int32_t ArchiveNumber(std::u16string_view name);

// The beta rank of an archive name: 100000 for a release, else the beta character's ANSI byte.
std::int32_t BetaRank(std::u16string_view name);

// True when NewFile is a later release than PrevFile.
bool IsNewerThanPrev(const TUpdateState& state);

}  // namespace zelkupd
