// The integer syntax of INI values: decimal, or hexadecimal after "$", "x" or "0x", with an
// optional sign.
#pragma once

#include <cstdint>
#include <string_view>

namespace zelkupd {

// Parses the whole text as a 32-bit signed integer: leading blanks (U+0020 only), one optional
// "+" or "-", then decimal digits in range, or "$", "x", "X", "0x" or "0X" and one to eight
// significant hexadecimal digits, 80000000 to FFFFFFFF read as two's complement. Nothing may
// follow the digits. False, with `value` untouched, when the text is not such an integer.
bool TryParseInteger(std::u16string_view text, std::int32_t& value);

}  // namespace zelkupd
