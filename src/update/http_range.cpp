#include "update/http_range.h"

#include <algorithm>
#include <limits>

namespace zelkupd {

std::optional<std::uint64_t> ParseDecimal64(std::u16string_view text) {
  if (text.empty() || text.size() > 20) {
    return std::nullopt;
  }
  std::uint64_t value = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9') {
      return std::nullopt;
    }
    const auto digit = static_cast<std::uint64_t>(c - u'0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
      return std::nullopt;
    }
    value = value * 10 + digit;
  }
  return value;
}

std::optional<TContentRange> ParseContentRange(std::u16string_view text) {
  constexpr std::u16string_view kUnit = u"bytes ";
  if (!text.starts_with(kUnit)) {
    return std::nullopt;
  }
  text.remove_prefix(kUnit.size());
  const std::size_t dash = text.find(u'-');
  const std::size_t slash = text.find(u'/');
  if (dash == std::u16string_view::npos || slash == std::u16string_view::npos || slash < dash) {
    return std::nullopt;
  }
  const auto first = ParseDecimal64(text.substr(0, dash));
  const auto last = ParseDecimal64(text.substr(dash + 1, slash - dash - 1));
  const auto total = ParseDecimal64(text.substr(slash + 1));
  if (!first || !last || !total || *first > *last || *last >= *total) {
    return std::nullopt;
  }
  return TContentRange{*first, *last, *total};
}

bool IsValidatorText(std::u16string_view text) {
  return !text.empty() && text.size() <= kMaxValidatorLength &&
         std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= 0x20 && c < 0x7F; });
}

std::u16string RangeHeaders(std::uint64_t from, std::u16string_view validator) {
  return u"Range: bytes=" + DecimalText(from) + u"-\r\nIf-Range: " + std::u16string(validator) +
         u"\r\n";
}

std::u16string DecimalText(std::uint64_t value) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

}  // namespace zelkupd
