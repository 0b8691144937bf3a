#include "update/extract.h"

namespace zelkupd {

bool ExtractArchive(TRunContext& ctx, const std::u16string& archivePath,
                    const std::u16string& /*destDir*/) {
  ctx.Console.PrintLine(archivePath + u" の展開に失敗しました.");
  return false;
}

}  // namespace zelkupd
