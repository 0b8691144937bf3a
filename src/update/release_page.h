// The release page search (the archive link after the marker id="$zelk32$") and the release
// order of archive names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "update/run_context.h"

namespace zelkupd {

// The rank of a name whose first "b" ends it before the extension, so has no beta character:
// below every real beta character, such a name sorts before all betas of its release.
inline constexpr std::int32_t kBareBetaRank = 0;

// Splits text by the comma-list rules: tokens separated by commas and by characters 1 to 32, a
// token that starts with a double quote running to its closing quote with "" standing for one.
// The text ends at its first NUL.
std::vector<std::u16string> CommaListTokens(std::u16string_view text);

// Empties TargetUrl; when PageText names a release archive, sets TargetUrl to its URL and NewFile
// to its file name, the link after its four-character folder ("zip/"). A page whose marker is
// followed by anything but an href="..." token names no archive: TargetUrl stays empty and NewFile
// unchanged. So does a link whose folder is not three characters a file name may hold (no control
// character, blank, double quote or any of #%?\/:*<>|) and a slash, since the link goes to the
// console and into the request as it is; and a link whose file name is not an archive file name
// (IsArchiveFileName): the page, not the user, would otherwise choose which file of the download
// folder is written, and then deleted or started. A link of four characters or fewer therefore
// names no archive either, where it once gave an archive URL with an empty file name.
void FindArchiveLink(TUpdateState& state);

// True when the name is one plain file name (IsPlainFileName) that ends in ".zip" in any letter
// case and holds no "#", "%", DEL or C1 control character: the only names a download may take in
// the download folder. A name is requested as it is written, so "#" would cut a fragment off it
// and "%" would let a server that decodes it read another name ("..%2f"), and the console and
// the folder refuse DEL and C1.
bool IsArchiveFileName(std::u16string_view name);

// The release number of an archive name; 0 when it has none.
std::int32_t ArchiveNumber(std::u16string_view name);

// The beta rank of an archive name: 100000 for a release, else the beta character's ANSI byte,
// or kBareBetaRank when the "b" has no character after it.
std::int32_t BetaRank(std::u16string_view name);

// True when NewFile is a later release than PrevFile.
bool IsNewerThanPrev(const TUpdateState& state);

}  // namespace zelkupd
