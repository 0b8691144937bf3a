// What Windows accepts as the name of one file: the reserved device names and the test for a plain
// file name, for names that come from outside the program (an archive, a web page, a URL).
#pragma once

#include <string_view>

namespace zelkupd {

// True when Windows opens a device for this name, whatever its extension and blanks before the
// extension: CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9 (the superscript digits 1 to 3 too), CONIN$
// and CONOUT$, in any letter case ("nul.txt", "Con .zip").
bool IsReservedDeviceName(std::u16string_view name);

// True when the name stands for exactly one file in the folder it is put after: not empty, none of
// the characters "\" "/" ":" "*" "?" the double quote "<" ">" "|" nor one below U+0020, not a
// reserved device name, and not ending in a dot or a blank (so not "." or "..", and nothing that
// Windows would quietly shorten into another name).
bool IsPlainFileName(std::u16string_view name);

}  // namespace zelkupd
