#include "ini/integer_text.h"

namespace zelkupd {
namespace {

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') {
    return c - u'0';
  }
  if (c >= u'A' && c <= u'F') {
    return c - u'A' + 10;
  }
  if (c >= u'a' && c <= u'f') {
    return c - u'a' + 10;
  }
  return -1;
}

bool IsHexMarker(std::u16string_view text) {
  if (text.empty()) {
    return false;
  }
  if (text[0] == u'$' || text[0] == u'x' || text[0] == u'X') {
    return true;
  }
  return text.size() >= 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X');
}

// At least one digit and nothing else; the magnitude may not pass `limit`.
bool ParseDigits(std::u16string_view digits, int base, std::uint64_t limit,
                 std::uint64_t& magnitude) {
  if (digits.empty()) {
    return false;
  }
  magnitude = 0;
  for (const char16_t c : digits) {
    const int digit = HexDigit(c);
    if (digit < 0 || digit >= base) {
      return false;
    }
    magnitude = magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    if (magnitude > limit) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool TryParseInteger(std::u16string_view text, std::int32_t& value) {
  const std::size_t pos = text.find_first_not_of(u' ');
  if (pos == std::u16string_view::npos) {
    return false;
  }
  text.remove_prefix(pos);
  const bool negative = text[0] == u'-';
  if (negative || text[0] == u'+') {
    text.remove_prefix(1);
  }
  std::uint64_t magnitude = 0;
  std::uint32_t bits = 0;
  if (IsHexMarker(text)) {
    text.remove_prefix(text[0] == u'0' ? 2 : 1);
    if (!ParseDigits(text, 16, 0xFFFFFFFFu, magnitude)) {
      return false;
    }
    bits = static_cast<std::uint32_t>(magnitude);
  } else {
    const std::uint64_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
    if (!ParseDigits(text, 10, limit, magnitude)) {
      return false;
    }
    bits = static_cast<std::uint32_t>(magnitude);
  }
  // Negation and the hexadecimal two's complement both wrap in 32 bits.
  value = static_cast<std::int32_t>(negative ? 0u - bits : bits);
  return true;
}

}  // namespace zelkupd
