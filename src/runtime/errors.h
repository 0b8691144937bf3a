// The exception hierarchy of the program. Every class carries the name and the message text that
// the last-resort error report shows, and the code address where it was raised.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace zelkupd {

class Exception {
 public:
  explicit Exception(std::u16string message);
  virtual ~Exception() = default;
  Exception(const Exception&) = default;
  Exception& operator=(const Exception&) = default;

  virtual const char* ClassName() const { return "Exception"; }
  const std::u16string& Message() const { return FMessage; }
  // The code address that constructed the exception: the raise site, for the error report.
  const void* Address() const { return FAddress; }

 private:
  std::u16string FMessage;
  const void* FAddress;
};

#define ZELKUPD_EXCEPTION_CLASS(Name, Base)                  \
  class Name : public Base {                                 \
   public:                                                   \
    using Base::Base;                                        \
    const char* ClassName() const override { return #Name; } \
  }

// A failed file operation, with the system's error code of the call that failed (0 when the
// failure was none of the system's, such as a short read). The code travels with the error:
// GetLastError cannot be read once the error is caught, for unwinding may change it (Wine's does,
// the first time a process unwinds).
class EStreamError : public Exception {
 public:
  explicit EStreamError(std::u16string message, std::uint32_t osError = 0)
      : Exception(std::move(message)), FOsError(osError) {}
  const char* ClassName() const override { return "EStreamError"; }
  std::uint32_t OsError() const { return FOsError; }

 private:
  std::uint32_t FOsError;
};

ZELKUPD_EXCEPTION_CLASS(EFOpenError, EStreamError);
ZELKUPD_EXCEPTION_CLASS(EFCreateError, EStreamError);
ZELKUPD_EXCEPTION_CLASS(EReadError, EStreamError);
ZELKUPD_EXCEPTION_CLASS(EWriteError, EStreamError);
ZELKUPD_EXCEPTION_CLASS(EZipException, Exception);
ZELKUPD_EXCEPTION_CLASS(EListError, Exception);
ZELKUPD_EXCEPTION_CLASS(EZDecompressionError, Exception);
ZELKUPD_EXCEPTION_CLASS(EArgumentException, Exception);
ZELKUPD_EXCEPTION_CLASS(EArgumentOutOfRangeException, EArgumentException);
ZELKUPD_EXCEPTION_CLASS(EPathTooLongException, Exception);
ZELKUPD_EXCEPTION_CLASS(ENotSupportedException, Exception);
ZELKUPD_EXCEPTION_CLASS(EDirectoryNotFoundException, Exception);
ZELKUPD_EXCEPTION_CLASS(EConvertError, Exception);
ZELKUPD_EXCEPTION_CLASS(EOutOfMemory, Exception);

#undef ZELKUPD_EXCEPTION_CLASS

// A failed console write: "I/O エラー n", or the access-denied text for code 5.
class EInOutError : public Exception {
 public:
  explicit EInOutError(std::uint32_t errorCode);
  const char* ClassName() const override { return "EInOutError"; }
  std::uint32_t ErrorCode() const { return FErrorCode; }

 private:
  std::uint32_t FErrorCode;
};

// Message texts of the stream and file errors, shared by every unit that opens files.
namespace texts {
inline constexpr char16_t kStreamReadError[] = u"ストリームからの読み取りエラー";
inline constexpr char16_t kStreamWriteError[] = u"ストリームへの書き込みエラー";
inline constexpr char16_t kOutOfMemory[] = u"メモリが不足しています";
}  // namespace texts

// "ファイル <full path> は開けません。 <system text> "
std::u16string FileOpenErrorText(std::u16string_view fullPath, std::uint32_t osError);
// "ファイル "<full path>" を作成できません。<system text>"
std::u16string FileCreateErrorText(std::u16string_view fullPath, std::uint32_t osError);

}  // namespace zelkupd
