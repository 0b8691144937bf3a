#include <windows.h>

#include "runtime/codepage.h"
#include "runtime/win32/wide.h"

namespace zelkupd {

std::uint32_t AnsiCodePage() {
  static const std::uint32_t codePage = ::GetACP();
  return codePage;
}

std::uint32_t OemCodePage() {
  static const std::uint32_t codePage = ::GetOEMCP();
  return codePage;
}

std::u16string DecodeCodePage(std::string_view bytes, std::uint32_t codePage) {
  if (bytes.empty()) {
    return {};
  }
  const int size = static_cast<int>(bytes.size());
  const int length = ::MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  std::u16string text(static_cast<std::size_t>(length > 0 ? length : 0), u'\0');
  if (length > 0) {
    ::MultiByteToWideChar(codePage, 0, bytes.data(), size, WidePtr(text), length);
  }
  return text;
}

namespace {

std::string Encode(std::u16string_view text, std::uint32_t codePage, DWORD flags) {
  if (text.empty()) {
    return {};
  }
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int size = static_cast<int>(text.size());
  int length = ::WideCharToMultiByte(codePage, flags, wide, size, nullptr, 0, nullptr, nullptr);
  // UTF-8, which can be the ANSI or OEM code page, and a few others take no flags: they have no
  // best fit to turn off.
  if (length == 0 && flags != 0 && ::GetLastError() == ERROR_INVALID_FLAGS) {
    flags = 0;
    length = ::WideCharToMultiByte(codePage, flags, wide, size, nullptr, 0, nullptr, nullptr);
  }
  std::string bytes(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    ::WideCharToMultiByte(codePage, flags, wide, size, bytes.data(), length, nullptr, nullptr);
  }
  return bytes;
}

}  // namespace

std::string EncodeCodePage(std::u16string_view text, std::uint32_t codePage) {
  return Encode(text, codePage, 0);
}

std::string EncodeCodePageNoBestFit(std::u16string_view text, std::uint32_t codePage) {
  return Encode(text, codePage, WC_NO_BEST_FIT_CHARS);
}

}  // namespace zelkupd
