// Replacing a file's whole content so that a failure at any point leaves the old file whole.
#pragma once

#include <string_view>

namespace zelkupd {

// Writes `bytes` to the replacement file of `path` (runtime/replacement_file), forces it to the
// disk and moves it over `path`. A file that cannot be replaced (read-only, held open by another
// process, in a folder without write access) raises EFCreateError naming `path`; a failed write
// raises EWriteError. On failure `path` keeps its old content and no temporary file is left behind.
//
// The replacement file's name is the program's own, so what stands there is the leftover of a
// rewrite that a crash cut short: it is removed before the new one is made, and one that cannot be
// removed, because something still holds it, fails the rewrite instead of being written over. A
// user's own "<file>.tmp" is never touched.
void ReplaceFileContent(std::u16string_view path, std::string_view bytes);

}  // namespace zelkupd
