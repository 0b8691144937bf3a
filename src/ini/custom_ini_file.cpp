#include "ini/custom_ini_file.h"

#include "ini/integer_text.h"

namespace zelkupd {

// A value such as "0x1F" needs no rewriting to "$1F" first: the parser reads "0x" as a
// hexadecimal marker itself, with the same result for every text.
std::int32_t TCustomIniFile::ReadInteger(std::u16string_view section, std::u16string_view ident,
                                         std::int32_t defaultValue) const {
  std::int32_t value = defaultValue;
  TryParseInteger(ReadString(section, ident, u""), value);
  return value;
}

}  // namespace zelkupd
