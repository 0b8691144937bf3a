// The two message boxes of the run (the download question and the end notice), and the lines for
// a resource that could not be obtained and for a local disk that cannot be written.
#pragma once

#include <string_view>

#include "update/run_context.h"

namespace zelkupd {

inline constexpr char16_t kCaption[] = u"ゼルク x86 更新";

// Asks whether to fetch; sets Answer to "Y" or "N". A Cancel ends the process with exit code 0.
void AskDownload(TRunContext& ctx, std::u16string_view text, bool defaultYes);

// "それではアップデートプログラムを終了致します", returning when the user closes it.
void ShowEndNotice(TRunContext& ctx);

// Prints "取得出来ませんでした.".
void ReportNotObtained(TRunContext& ctx);

// Prints "ローカルディスクに書き込みが出来ません.".
void ReportCannotWrite(TRunContext& ctx);

}  // namespace zelkupd
