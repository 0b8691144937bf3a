// Installing the archive: every entry extracted into the target folder in archive order and
// stamped with its stored local time.
#pragma once

#include <string>

#include "update/run_context.h"

namespace zelkupd {

// True when every entry was extracted and stamped; else prints
// ArchivePath + " の展開に失敗しました." and returns false. Never raises.
bool ExtractArchive(TRunContext& ctx, const std::u16string& archivePath,
                    const std::u16string& destDir);

}  // namespace zelkupd
