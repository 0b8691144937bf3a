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

std::string EncodeCodePage(std::u16string_view text, std::uint32_t codePage) {
  if (text.empty()) {
    return {};
  }
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int size = static_cast<int>(text.size());
  const int length = ::WideCharToMultiByte(codePage, 0, wide, size, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    ::WideCharToMultiByte(codePage, 0, wide, size, bytes.data(), length, nullptr, nullptr);
  }
  return bytes;
}

}  // namespace zelkupd
