// Fuzz input read as UTF-16 text: little-endian pairs of bytes, so that every code unit, lone
// surrogates and controls included, can occur; an odd last byte is dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zelkupd::fuzz {

inline std::u16string CodeUnits(const std::uint8_t* data, std::size_t size) {
  std::u16string text(size / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  return text;
}

}  // namespace zelkupd::fuzz
