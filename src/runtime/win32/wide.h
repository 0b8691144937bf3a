// The bridge between the program's std::u16string and the Win32 wide-character API.
#pragma once

#include <cwchar>
#include <string>
#include <string_view>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wchar_t is a UTF-16 code unit");

namespace zelkupd {

inline const wchar_t* WidePtr(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline wchar_t* WidePtr(std::u16string& text) {
  return reinterpret_cast<wchar_t*>(text.data());
}

inline std::u16string FromWide(const wchar_t* text, std::size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

inline std::u16string FromWide(const wchar_t* text) {
  return text == nullptr ? std::u16string() : FromWide(text, std::wcslen(text));
}

}  // namespace zelkupd
