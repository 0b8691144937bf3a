#include "runtime/errors.h"

#include "runtime/files.h"
#include "runtime/text.h"

namespace zelkupd {

// Not inlined, so that the return address is the place that raised the exception.
__attribute__((noinline)) Exception::Exception(std::u16string message)
    : FMessage(std::move(message)),
      FAddress(__builtin_extract_return_addr(__builtin_return_address(0))) {}

namespace {
std::u16string InOutErrorText(std::uint32_t code) {
  if (code == 5) {
    return u"ファイルへのアクセスが拒否されました";
  }
  return u"I/O エラー " + IntToText(code);
}
}  // namespace

EInOutError::EInOutError(std::uint32_t errorCode)
    : Exception(InOutErrorText(errorCode)), FErrorCode(errorCode) {}

std::u16string FileOpenErrorText(std::u16string_view fullPath, std::uint32_t osError) {
  return u"ファイル " + std::u16string(fullPath) + u" は開けません。 " + SysErrorMessage(osError) +
         u" ";
}

std::u16string FileCreateErrorText(std::u16string_view fullPath, std::uint32_t osError) {
  return u"ファイル \"" + std::u16string(fullPath) + u"\" を作成できません。" +
         SysErrorMessage(osError);
}

}  // namespace zelkupd
