#include "update/dispose.h"

#include "runtime/files.h"
#include "update/dialogs.h"

namespace zelkupd {
namespace {

constexpr std::int32_t kDeleteArchive = 1;
constexpr std::int32_t kRecycleArchive = 2;
constexpr std::uint32_t kFoDelete = 3;
// FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NO_CONNECTED_ELEMENTS | FOF_WANTNUKEWARNING |
// FOF_NORECURSEREPARSE: to the recycle bin without a question, but with the shell's warning when
// the file would be deleted for good instead.
constexpr std::uint16_t kRecycleFlags = 0xE050;
constexpr int kSwShowNormal = 1;

void RecycleArchive(TRunContext& ctx) {
  TShellFileOp recycleOp;
  recycleOp.Func = kFoDelete;
  // A one-entry file list: the path, then the double zero that ends the list.
  recycleOp.From = ctx.State.ArchivePath + std::u16string(2, u'\0');
  recycleOp.Flags = kRecycleFlags;
  if (ctx.System.FileOperation(recycleOp) != 0 && !recycleOp.AnyOperationsAborted) {
    ctx.Console.PrintLine(ctx.State.ArchivePath +
                          u" をごみ箱へ投棄中に何らかのエラーが発生しました");
    ShowEndNotice(ctx);
  }
}

}  // namespace

void AnnounceDisposal(TRunContext& ctx) {
  ctx.Console.PrintText(u"ダウンロードしたアーカイブは");
  switch (ctx.State.DeleteMode) {
    case kDeleteArchive:
      ctx.Console.PrintLine(u"削除されます.");
      break;
    case kRecycleArchive:
      ctx.Console.PrintLine(u"ゴミ箱へ投棄されます.");
      break;
    default:
      ctx.Console.PrintLine(u"保持されます.");
      break;
  }
}

void DisposeArchive(TRunContext& ctx) {
  switch (ctx.State.DeleteMode) {
    case kDeleteArchive:
      // A failed delete only leaves the archive behind, as keeping it would.
      RemoveFile(ctx.State.ArchivePath);
      break;
    case kRecycleArchive:
      RecycleArchive(ctx);
      break;
    default:
      break;
  }
}

void LaunchApplication(TRunContext& ctx) {
  ctx.Console.PrintLine(u"ゼルク を起動...");
  // The empty verb lets the file's default verb apply; ZELK runs on its own, not waited for.
  ctx.System.ShellExecuteFile(u"", ctx.State.ProgramDir + u"ZELK.EXE", ctx.State.ProgramDir,
                              kSwShowNormal);
}

}  // namespace zelkupd
