// The console writer through which every message reaches the standard output: the code page and
// the handle kind are fixed at the first write; a console gets each text at once, a file or pipe
// in 128-byte pieces.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/platform.h"

namespace zelkupd {

class TConsole {
 public:
  explicit TConsole(Platform& system) : FSystem(system) {}
  TConsole(const TConsole&) = delete;
  TConsole& operator=(const TConsole&) = delete;

  // The text and CR LF. Raises EInOutError when the write failed.
  void PrintLine(std::u16string_view text);
  // The text without line end, pushed out on a console. Raises EInOutError when the write failed.
  void PrintText(std::u16string_view text);
  // Writes out whatever is pending, as the process ends. Raises EInOutError when that failed.
  void Close();

 private:
  static constexpr std::size_t kBufferSize = 128;

  void Write(std::u16string_view text, bool lineEnd);
  void Append(std::string_view bytes);
  void WritePending();
  void Check();

  Platform& FSystem;
  bool FOpened = false;
  bool FIsConsole = false;
  std::uint32_t FCodePage = 0;
  std::array<char, kBufferSize> FPending{};
  std::size_t FPendingCount = 0;
  std::uint32_t FError = 0;  // the first failure since the last check, 0 when none
};

}  // namespace zelkupd
