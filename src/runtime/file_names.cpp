#include "runtime/file_names.h"

#include <array>

namespace zelkupd {
namespace {

char16_t AsciiUpper(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool SameAsciiUpper(std::u16string_view text, std::u16string_view upper) {
  if (text.size() != upper.size()) {
    return false;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (AsciiUpper(text[i]) != upper[i]) {
      return false;
    }
  }
  return true;
}

// COM and LPT take one digit, the ISO 8859-1 superscripts included.
bool IsPortDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || c == u'\u00B9' || c == u'\u00B2' || c == u'\u00B3';
}

}  // namespace

bool IsReservedDeviceName(std::u16string_view name) {
  static constexpr std::array<std::u16string_view, 6> kDevices = {u"CON", u"PRN",    u"AUX",
                                                                  u"NUL", u"CONIN$", u"CONOUT$"};
  std::u16string_view stem = name.substr(0, name.find(u'.'));
  while (!stem.empty() && stem.back() == u' ') {
    stem.remove_suffix(1);
  }
  for (const std::u16string_view device : kDevices) {
    if (SameAsciiUpper(stem, device)) {
      return true;
    }
  }
  return stem.size() == 4 && IsPortDigit(stem[3]) &&
         (SameAsciiUpper(stem.substr(0, 3), u"COM") || SameAsciiUpper(stem.substr(0, 3), u"LPT"));
}

bool IsPlainFileName(std::u16string_view name) {
  if (name.empty() || name.back() == u'.' || name.back() == u' ') {
    return false;
  }
  for (const char16_t c : name) {
    if (c < u' ' || std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos) {
      return false;
    }
  }
  return !IsReservedDeviceName(name);
}

}  // namespace zelkupd
