#include "update/console.h"

#include <algorithm>

#include "runtime/codepage.h"
#include "runtime/errors.h"

namespace zelkupd {
namespace {
// What the runtime reports for a standard output whose kind it does not know.
constexpr std::uint32_t kErrorUnknownHandle = 105;
}  // namespace

void TConsole::PrintLine(std::u16string_view text) {
  Write(text, true);
}

void TConsole::PrintText(std::u16string_view text) {
  Write(text, false);
}

void TConsole::Close() {
  if (FOpened) {
    WritePending();
  }
  Check();
}

void TConsole::Write(std::u16string_view text, bool lineEnd) {
  if (!FOpened && FError == 0) {
    const std::uint32_t kind = FSystem.StdOutputType();
    if (kind == kFileTypeUnknown) {
      FError = kErrorUnknownHandle;
    } else {
      FOpened = true;
      FIsConsole = kind == kFileTypeChar;
      FCodePage = FIsConsole ? FSystem.ConsoleOutputCodePage() : AnsiCodePage();
    }
  }
  if (FOpened) {
    Append(EncodeCodePage(text, FCodePage));
    if (lineEnd) {
      Append("\r\n");
    }
    if (FIsConsole) {
      WritePending();
    }
  }
  Check();
}

void TConsole::Append(std::string_view bytes) {
  while (!bytes.empty() && FError == 0) {
    const std::size_t n = std::min(bytes.size(), kBufferSize - FPendingCount);
    std::copy_n(bytes.data(), n, FPending.data() + FPendingCount);
    FPendingCount += n;
    bytes.remove_prefix(n);
    if (FPendingCount == kBufferSize) {
      WritePending();
    }
  }
}

void TConsole::WritePending() {
  if (FPendingCount != 0 && FError == 0) {
    FError = FSystem.WriteStdOutput(std::string_view(FPending.data(), FPendingCount));
  }
  FPendingCount = 0;
}

void TConsole::Check() {
  if (FError != 0) {
    const std::uint32_t error = FError;
    FError = 0;
    throw EInOutError(error);
  }
}

}  // namespace zelkupd
