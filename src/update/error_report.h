// The last-resort report of an error that nothing caught: pending console output first, then
// "<class> がモジュール <exe name> の <address> で発生しました。", the message, each with a line
// end, on the standard error in the OEM code page.
#pragma once

#include <string>

#include "runtime/errors.h"
#include "update/run_context.h"

namespace zelkupd {

// The two lines of the report, as text.
std::u16string UncaughtErrorText(const Exception& error, std::u16string_view moduleName);

// Writes out the console and the report. The caller ends the process with exit code 1.
void ReportUncaughtError(TRunContext& ctx, const Exception& error);

}  // namespace zelkupd
