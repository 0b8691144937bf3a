// UTF-16 text helpers used by every layer: UTF-8 conversion, numbers, upper-casing and trimming.
// Text is std::u16string throughout; lengths and limits count UTF-16 code units.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zelkupd {

// Decodes UTF-8; each invalid or truncated sequence becomes one U+FFFD, so no valid text is lost.
std::u16string Utf8ToUtf16(std::string_view bytes);

// Decodes UTF-8 strictly: false, and `out` empty, when any sequence is invalid.
bool Utf8ToUtf16Strict(std::string_view bytes, std::u16string& out);

// Encodes UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Decimal text of a number, with a leading "-" when negative.
std::u16string IntToText(std::int64_t value);

// Upper-cases code unit by code unit with the platform's full Unicode mapping; the length never
// changes (CharUpperBuffW on Windows).
std::u16string UpperCase(std::u16string_view text);

// Removes every leading and trailing code unit up to U+0020 (blanks and control characters).
std::u16string_view TrimControls(std::u16string_view text);

}  // namespace zelkupd
