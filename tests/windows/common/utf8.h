// UTF-16 and UTF-8 conversion for the Windows test helpers, whose records and side files are
// UTF-8 text.
#pragma once

#include <string>
#include <string_view>

namespace zelkupd::test {

std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

}  // namespace zelkupd::test
