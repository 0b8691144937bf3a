// The texts of an HTTP answer that a resumed transfer rests on, read exactly: a Content-Length and
// a Content-Range as decimal numbers of 64 bits, so that no announced size is ever cut short by a
// narrower number, and the Range header that asks for the rest of a body.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelkupd {

// A decimal number of one to twenty digits that fits 64 bits, nothing else around it (no sign, no
// blank); nullopt otherwise.
std::optional<std::uint64_t> ParseDecimal64(std::u16string_view text);

// The byte range a 206 answer says it carries: bytes First to Last of a body of Total bytes.
struct TContentRange {
  std::uint64_t First = 0;
  std::uint64_t Last = 0;
  std::uint64_t Total = 0;
};

// "bytes FIRST-LAST/TOTAL" with First <= Last < Total; nullopt for anything else, an unknown total
// ("*") included, since a body whose size is not known cannot be continued.
std::optional<TContentRange> ParseContentRange(std::u16string_view text);

// The longest validator kept: any real ETag or date fits many times over.
inline constexpr std::size_t kMaxValidatorLength = 256;

// True when the text can be sent back as it came, in a header line of its own: printable ASCII,
// no line end that would start another header, and not longer than kMaxValidatorLength.
bool IsValidatorText(std::u16string_view text);

// The request headers that ask for the body from byte `from` on, but only while the body is the
// one `validator` (an ETag or a Last-Modified date) names: "Range: bytes=FROM-" and "If-Range",
// each ending in CR LF.
std::u16string RangeHeaders(std::uint64_t from, std::u16string_view validator);

// The number in decimal digits, as ParseDecimal64 reads it.
std::u16string DecimalText(std::uint64_t value);

}  // namespace zelkupd
