#include <clocale>
#include <cwctype>

#include <locale.h>

#include "runtime/text.h"

namespace zelkupd {

// Upper-cases with the C library's Unicode tables of the C.UTF-8 locale, one code unit at a time
// as CharUpperBuffW does; a unit whose upper case lies outside the BMP stays as it is.
std::u16string UpperCase(std::u16string_view text) {
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  std::u16string result(text);
  for (char16_t& c : result) {
    if (c < 0x80) {
      if (c >= u'a' && c <= u'z') {
        c = static_cast<char16_t>(c - u'a' + u'A');
      }
    } else if (utf8 != static_cast<locale_t>(nullptr) && (c < 0xD800 || c > 0xDFFF)) {
      const wint_t upper = towupper_l(static_cast<wint_t>(c), utf8);
      if (upper <= 0xFFFF) {
        c = static_cast<char16_t>(upper);
      }
    }
  }
  return result;
}

}  // namespace zelkupd
