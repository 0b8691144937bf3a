// The updater's settings: PREV_FILE, DOWN_PATH and DELETE of section ZELK in the INI file named
// after the executable.
#pragma once

#include <string>
#include <string_view>

#include "update/run_context.h"

namespace zelkupd {

// The executable's path (as the platform reports it for the running process, GetModuleFileNameW)
// with its extension replaced by ".INI", or ".INI" appended.
std::u16string SettingsFileName(std::u16string_view executablePath);

// The text between an opening `quote` and its closing one, a doubled quote inside standing for
// one; the text as it is when it does not begin with `quote`, and also when it neither ends with
// `quote` nor yields a non-empty text closed by a quote.
std::u16string Unquote(std::u16string_view text, char16_t quote);

// Fills PrevFile, DownPath (unquoted) and DeleteMode. A settings file that exists but cannot be
// read raises its store's open error.
void ReadSettings(TRunContext& ctx);

// Records NewFile as PREV_FILE when it is not empty, keeping every other line of the file. Raises
// the store's create or write error, and the old file then stays whole.
void WriteSettings(TRunContext& ctx);

}  // namespace zelkupd
