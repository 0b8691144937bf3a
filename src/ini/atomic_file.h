// Replacing a file's whole content so that a failure at any point leaves the old file whole.
#pragma once

#include <string>
#include <string_view>

namespace zelkupd {

// Writes `bytes` to a temporary file beside `path`, forces it to the disk and moves it over
// `path`. A file that cannot be replaced (read-only, held open by another process, in a folder
// without write access) raises EFCreateError naming `path`; a failed write raises EWriteError.
// On failure `path` keeps its old content and no temporary file is left behind.
void ReplaceFileContent(std::u16string_view path, std::string_view bytes);

// The temporary file that ReplaceFileContent writes before it takes the place of `path`: `path`
// with ".tmp" added, in the same folder so that the move stays on one volume and is atomic.
std::u16string ReplacementFileName(std::u16string_view path);

}  // namespace zelkupd
