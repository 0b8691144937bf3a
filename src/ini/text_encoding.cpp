#include "ini/text_encoding.h"

#include "runtime/codepage.h"
#include "runtime/text.h"

namespace zelkupd {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LEMark = "\xFF\xFE";
constexpr std::string_view kUtf16BEMark = "\xFE\xFF";

std::string_view MarkOf(TTextEncoding encoding) {
  switch (encoding) {
    case TTextEncoding::Utf8:
      return kUtf8Mark;
    case TTextEncoding::Utf16LE:
      return kUtf16LEMark;
    case TTextEncoding::Utf16BE:
      return kUtf16BEMark;
    case TTextEncoding::Ansi:
      break;
  }
  return AnsiCodePage() == kCodePageUtf8 ? kUtf8Mark : std::string_view();
}

std::u16string DecodeUtf16(std::string_view bytes, bool bigEndian) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto first = static_cast<unsigned char>(bytes[2 * i]);
    const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
    text[i] = static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
  }
  return text;
}

void AppendUtf16(std::string& out, std::u16string_view text, bool bigEndian) {
  for (const char16_t c : text) {
    const char high = static_cast<char>(c >> 8);
    const char low = static_cast<char>(c & 0xFF);
    out.push_back(bigEndian ? high : low);
    out.push_back(bigEndian ? low : high);
  }
}

}  // namespace

TTextEncoding DetectEncoding(std::string_view bytes, std::size_t& markLength) {
  for (const TTextEncoding encoding :
       {TTextEncoding::Utf8, TTextEncoding::Utf16LE, TTextEncoding::Utf16BE}) {
    const std::string_view mark = MarkOf(encoding);
    if (bytes.starts_with(mark)) {
      markLength = mark.size();
      return encoding;
    }
  }
  markLength = 0;
  return TTextEncoding::Ansi;
}

std::u16string DecodeText(std::string_view bytes, TTextEncoding encoding) {
  switch (encoding) {
    case TTextEncoding::Utf8:
      return Utf8ToUtf16(bytes);
    case TTextEncoding::Utf16LE:
      return DecodeUtf16(bytes, false);
    case TTextEncoding::Utf16BE:
      return DecodeUtf16(bytes, true);
    case TTextEncoding::Ansi:
      break;
  }
  return DecodeCodePage(bytes, AnsiCodePage());
}

std::string EncodeText(std::u16string_view text, TTextEncoding encoding) {
  std::string out(MarkOf(encoding));
  switch (encoding) {
    case TTextEncoding::Utf8:
      out += Utf16ToUtf8(text);
      break;
    case TTextEncoding::Utf16LE:
    case TTextEncoding::Utf16BE:
      AppendUtf16(out, text, encoding == TTextEncoding::Utf16BE);
      break;
    case TTextEncoding::Ansi:
      // The code page's default character, never a look-alike: a backslash for a yen sign, say,
      // would change what a path names.
      out += EncodeCodePageNoBestFit(text, AnsiCodePage());
      break;
  }
  return out;
}

}  // namespace zelkupd
