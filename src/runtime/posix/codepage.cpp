#include <iconv.h>

#include <cerrno>
#include <string>

#include "runtime/codepage.h"
#include "runtime/text.h"

namespace zelkupd {

// Natively there is no system code page; 932 (Shift_JIS as Windows extends it) stands in for the
// ANSI and OEM code pages, the ones a Japanese Windows has.
std::uint32_t AnsiCodePage() {
  return 932;
}
std::uint32_t OemCodePage() {
  return 932;
}

namespace {

std::string IconvName(std::uint32_t codePage) {
  switch (codePage) {
    case 932:
      return "CP932";
    case 437:
      return "IBM437";
    default:
      return "CP" + std::to_string(codePage);
  }
}

// One iconv conversion; on a unit it cannot convert it appends `substitute` and skips
// `skipUnit` input bytes, as the Win32 conversions do with their default characters.
std::string Convert(const std::string& from, const std::string& to, std::string_view input,
                    std::string_view substitute, std::size_t skipUnit) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    return {};
  }
  std::string output;
  std::string in(input);
  char* inPtr = in.data();
  std::size_t inLeft = in.size();
  char block[4096];
  while (inLeft > 0) {
    char* outPtr = block;
    std::size_t outLeft = sizeof block;
    const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    output.append(block, sizeof block - outLeft);
    if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
      output.append(substitute);
      const std::size_t skip = inLeft < skipUnit ? inLeft : skipUnit;
      inPtr += skip;
      inLeft -= skip;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return output;
}

}  // namespace

std::u16string DecodeCodePage(std::string_view bytes, std::uint32_t codePage) {
  if (codePage == kCodePageUtf8) {
    return Utf8ToUtf16(bytes);
  }
  const std::string utf16 = Convert(IconvName(codePage), "UTF-16LE", bytes, "\xFD\xFF", 1);
  std::u16string text(utf16.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(static_cast<unsigned char>(utf16[2 * i]) |
                                    (static_cast<unsigned char>(utf16[2 * i + 1]) << 8));
  }
  return text;
}

std::string EncodeCodePage(std::u16string_view text, std::uint32_t codePage) {
  if (codePage == kCodePageUtf8) {
    return Utf16ToUtf8(text);
  }
  std::string utf16;
  utf16.reserve(text.size() * 2);
  for (const char16_t c : text) {
    utf16.push_back(static_cast<char>(c & 0xFF));
    utf16.push_back(static_cast<char>(c >> 8));
  }
  return Convert("UTF-16LE", IconvName(codePage), utf16, "?", 2);
}

// iconv maps no look-alikes unless asked to (//TRANSLIT), so natively there is no best fit.
std::string EncodeCodePageNoBestFit(std::u16string_view text, std::uint32_t codePage) {
  return EncodeCodePage(text, codePage);
}

}  // namespace zelkupd
