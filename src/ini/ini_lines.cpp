#include "ini/ini_lines.h"

namespace zelkupd {

std::vector<std::u16string> SplitLines(std::u16string_view text) {
  text = text.substr(0, text.find(u'\0'));
  std::vector<std::u16string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of(u"\r\n", start);
    if (end == std::u16string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == u'\r' && start < text.size() && text[start] == u'\n') {
      ++start;
    }
  }
  return lines;
}

std::u16string JoinLines(const std::vector<std::u16string>& lines) {
  std::u16string text;
  for (const std::u16string& line : lines) {
    text += line;
    text += u"\r\n";
  }
  return text;
}

}  // namespace zelkupd
