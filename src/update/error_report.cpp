#include "update/error_report.h"

#include <cstdint>

#include "runtime/codepage.h"
#include "runtime/paths.h"

namespace zelkupd {
namespace {

// A code address as the report shows it: upper-case hexadecimal, as wide as a pointer.
std::u16string AddressText(const void* address) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  auto value = reinterpret_cast<std::uintptr_t>(address);
  std::u16string text(sizeof(void*) * 2, u'0');
  for (auto it = text.rbegin(); it != text.rend(); ++it) {
    *it = kDigits[value & 0xF];
    value >>= 4;
  }
  return text;
}

std::u16string AsciiText(const char* text) {
  std::u16string result;
  for (; *text != '\0'; ++text) {
    result.push_back(static_cast<char16_t>(static_cast<unsigned char>(*text)));
  }
  return result;
}

}  // namespace

std::u16string UncaughtErrorText(const Exception& error, std::u16string_view moduleName) {
  return AsciiText(error.ClassName()) + u" がモジュール " + std::u16string(moduleName) + u" の " +
         AddressText(error.Address()) + u" で発生しました。\r\n" + error.Message() + u"\r\n";
}

void ReportUncaughtError(TRunContext& ctx, const Exception& error) {
  try {
    ctx.Console.Close();
  } catch (const EInOutError&) {
    // The console is what failed; the report still goes to the standard error.
  }
  const std::u16string text =
      UncaughtErrorText(error, ExtractFileName(ctx.System.ModuleFileName()));
  // The default character for what the code page lacks: a look-alike in a path or message would
  // name something else than what failed.
  ctx.System.WriteStdError(EncodeCodePageNoBestFit(text, OemCodePage()));
}

}  // namespace zelkupd
