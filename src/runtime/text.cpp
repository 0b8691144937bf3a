#include "runtime/text.h"

namespace zelkupd {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

// Decodes one UTF-8 sequence at `bytes[i]`. Returns the code point, or -1 for an invalid
// sequence; `length` is what to skip, the maximal valid prefix of a broken sequence counting as
// one, as Unicode recommends, so the next sequence starts where a reader would expect it.
long DecodeOne(std::string_view bytes, std::size_t i, std::size_t& length) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  const unsigned lead = at(i);
  length = 1;
  if (lead < 0x80) {
    return static_cast<long>(lead);
  }
  unsigned count = 0;
  unsigned long cp = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    count = 1;
    cp = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    count = 2;
    cp = lead & 0x0Fu;
    if (lead == 0xE0)
      low = 0xA0;
    if (lead == 0xED)
      high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    count = 3;
    cp = lead & 0x07u;
    if (lead == 0xF0)
      low = 0x90;
    if (lead == 0xF4)
      high = 0x8F;
  } else {
    return -1;
  }
  for (unsigned k = 1; k <= count; ++k) {
    if (i + k >= bytes.size()) {
      return -1;
    }
    const unsigned char c = at(i + k);
    const unsigned char lo = k == 1 ? low : 0x80;
    const unsigned char hi = k == 1 ? high : 0xBF;
    if (c < lo || c > hi) {
      return -1;
    }
    cp = (cp << 6) | (c & 0x3Fu);
    length = k + 1;
  }
  return static_cast<long>(cp);
}

void AppendCodePoint(std::u16string& out, unsigned long cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

bool Decode(std::string_view bytes, std::u16string& out, bool strict) {
  out.clear();
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    std::size_t length = 0;
    const long cp = DecodeOne(bytes, i, length);
    if (cp < 0) {
      if (strict) {
        out.clear();
        return false;
      }
      out.push_back(kReplacement);
    } else {
      AppendCodePoint(out, static_cast<unsigned long>(cp));
    }
    i += length;
  }
  return true;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view bytes) {
  std::u16string out;
  Decode(bytes, out, false);
  return out;
}

bool Utf8ToUtf16Strict(std::string_view bytes, std::u16string& out) {
  return Decode(bytes, out, true);
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned long cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::u16string IntToText(std::int64_t value) {
  std::u16string digits;
  std::uint64_t magnitude =
      value < 0 ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) {
    digits.insert(digits.begin(), u'-');
  }
  return digits;
}

std::u16string_view TrimControls(std::u16string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && text[begin] <= u' ')
    ++begin;
  while (end > begin && text[end - 1] <= u' ')
    --end;
  return text.substr(begin, end - begin);
}

}  // namespace zelkupd
