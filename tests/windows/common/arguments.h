// The helpers' own command line as a list, and the quoting that builds a child's command line so
// that the child's CommandLineToArgvW gives every argument back unchanged.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelkupd::test {

// The arguments after the program name.
std::vector<std::wstring> CommandLineArguments();

std::wstring QuoteArgument(std::wstring_view argument);

// The arguments quoted and joined with single blanks.
std::wstring JoinCommandLine(const std::vector<std::wstring>& arguments);

// A decimal number option; `fallback` when the text is not one.
long ParseNumber(const std::wstring& text, long fallback);

}  // namespace zelkupd::test
