#include "common/arguments.h"

#include <windows.h>

#include <shellapi.h>

#include <cwchar>

namespace zelkupd::test {

std::vector<std::wstring> CommandLineArguments() {
  int count = 0;
  LPWSTR* list = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::wstring> arguments;
  for (int i = 1; i < count; ++i) {
    arguments.emplace_back(list[i]);
  }
  ::LocalFree(list);
  return arguments;
}

std::wstring QuoteArgument(std::wstring_view argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
    return std::wstring(argument);
  }
  // Backslashes are literal except before a quote: double those, and a run that ends the
  // argument, since the closing quote follows it.
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    quoted.push_back(c);
    backslashes = 0;
  }
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

std::wstring JoinCommandLine(const std::vector<std::wstring>& arguments) {
  std::wstring line;
  for (const std::wstring& argument : arguments) {
    if (!line.empty()) {
      line.push_back(L' ');
    }
    line += QuoteArgument(argument);
  }
  return line;
}

long ParseNumber(const std::wstring& text, long fallback) {
  wchar_t* end = nullptr;
  const long value = std::wcstol(text.c_str(), &end, 10);
  return text.empty() || *end != L'\0' ? fallback : value;
}

}  // namespace zelkupd::test
