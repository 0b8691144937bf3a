#include "update/dispose.h"

namespace zelkupd {

void AnnounceDisposal(TRunContext& ctx) {
  ctx.Console.PrintText(u"ダウンロードしたアーカイブは");
  switch (ctx.State.DeleteMode) {
    case 1:
      ctx.Console.PrintLine(u"削除されます.");
      break;
    case 2:
      ctx.Console.PrintLine(u"ゴミ箱へ投棄されます.");
      break;
    default:
      ctx.Console.PrintLine(u"保持されます.");
      break;
  }
}

void DisposeArchive(TRunContext& /*ctx*/) {}

void LaunchApplication(TRunContext& ctx) {
  ctx.Console.PrintLine(u"ゼルク を起動...");
}

}  // namespace zelkupd
