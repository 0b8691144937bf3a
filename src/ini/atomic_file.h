// Replacing a file's whole content so that a failure at any point leaves the old file whole.
#pragma once

#include <string>
#include <string_view>

namespace zelkupd {

// Writes `bytes` to a temporary file beside `path`, forces it to the disk and moves it over
// `path`. A file that cannot be replaced (read-only, held open by another process, in a folder
// without write access) raises EFCreateError naming `path`; a failed write raises EWriteError.
// On failure `path` keeps its old content and no temporary file is left behind.
//
// The temporary file has a name of the program's own (ReplacementFileName), which neither a user
// nor another program gives a file, so whatever stands at that name is the leftover of a rewrite
// that a crash cut short: it is removed before the new one is made. The new one is created only
// if the name is free (CREATE_NEW), so a leftover that cannot be removed, because something still
// holds it, fails the rewrite instead of being written over. No other name is ever created,
// written or removed; a user's own "<file>.tmp" is never touched.
void ReplaceFileContent(std::u16string_view path, std::string_view bytes);

// The temporary file that ReplaceFileContent writes before it takes the place of `path`: `path`
// with ".zelkupd-tmp" added, in the same folder so that the move stays on one volume and is
// atomic.
std::u16string ReplacementFileName(std::u16string_view path);

}  // namespace zelkupd
