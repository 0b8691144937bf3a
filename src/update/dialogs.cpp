#include "update/dialogs.h"

namespace zelkupd {
namespace {
constexpr std::uint32_t kMbOk = 0x0;
constexpr std::uint32_t kMbYesNoCancel = 0x3;
constexpr std::uint32_t kMbIconQuestion = 0x20;
constexpr std::uint32_t kMbDefButton2 = 0x100;
}  // namespace

void AskDownload(TRunContext& ctx, std::u16string_view text, bool defaultYes) {
  const std::u16string message = std::u16string(text) + u"\r\n取得しますか？";
  std::uint32_t style = kMbYesNoCancel | kMbIconQuestion;
  if (!defaultYes) {
    style |= kMbDefButton2;
  }
  const int result = ctx.System.ShowMessageBox(message, kCaption, style);
  if (result == kIdCancel) {
    throw EndOfRun{0};
  }
  ctx.State.Answer = result == kIdYes ? u"Y" : u"N";
}

void ShowEndNotice(TRunContext& ctx) {
  ctx.System.ShowMessageBox(u"それではアップデートプログラムを終了致します", kCaption, kMbOk);
}

void ReportNotObtained(TRunContext& ctx) {
  ctx.Console.PrintLine(u"取得出来ませんでした.");
}

void ReportCannotWrite(TRunContext& ctx) {
  ctx.Console.PrintLine(u"ローカルディスクに書き込みが出来ません.");
}

}  // namespace zelkupd
