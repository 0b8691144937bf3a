// Conversion between UTF-16 and the 8-bit code pages the program meets: the ANSI and OEM code
// pages, the console's code page, UTF-8 (65001) and code page 437 of ZIP names.
// On Windows this is MultiByteToWideChar/WideCharToMultiByte; natively it is iconv, with code
// page 932 standing in for the system's ANSI and OEM code pages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zelkupd {

inline constexpr std::uint32_t kCodePageUtf8 = 65001;
inline constexpr std::uint32_t kCodePage437 = 437;

// The system's ANSI code page (GetACP), read once.
std::uint32_t AnsiCodePage();

// The system's OEM code page (GetOEMCP), read once.
std::uint32_t OemCodePage();

// Bytes to text with the platform's default handling of bytes the code page cannot map.
std::u16string DecodeCodePage(std::string_view bytes, std::uint32_t codePage);

// Text to bytes as the system converts by default (WideCharToMultiByte with flags 0): a character
// the code page cannot show becomes a look-alike where Windows has one for that code page (best
// fit: U+0100 becomes "A" on 1252, U+00E9 "e" on 932), else the default character ("?").
std::string EncodeCodePage(std::u16string_view text, std::uint32_t codePage);

// Text to bytes where a character the code page cannot show always becomes its default character
// ("?"), never a look-alike (WC_NO_BEST_FIT_CHARS). Natively the two conversions are the same.
std::string EncodeCodePageNoBestFit(std::u16string_view text, std::uint32_t codePage);

}  // namespace zelkupd
