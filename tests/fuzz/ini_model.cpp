#include "fuzz/ini_model.h"

#include "runtime/text.h"

namespace zelkupd::fuzz {
namespace {

constexpr std::u16string_view kLineEnd = u"\r\n";

bool SameName(std::u16string_view a, std::u16string_view b) {
  return UpperCase(a) == UpperCase(b);
}

// The lookups give positions, so that the reads and the writes share them; kNone when none.
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

std::size_t LastSection(const TIniContent& content, std::u16string_view name) {
  for (std::size_t i = content.size(); i-- > 0;) {
    if (SameName(content[i].Name, name)) {
      return i;
    }
  }
  return kNone;
}

std::size_t LastKeyLine(const TIniSection& section, std::u16string_view ident) {
  for (std::size_t i = section.Lines.size(); i-- > 0;) {
    const std::optional<std::u16string_view> name = KeyName(section.Lines[i]);
    if (name && SameName(*name, ident)) {
      return i;
    }
  }
  return kNone;
}

}  // namespace

std::optional<TIniContent> ParseRendered(std::u16string_view text) {
  std::vector<std::u16string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find(kLineEnd);
    if (end == std::u16string_view::npos) {
      return std::nullopt;
    }
    const std::u16string_view line = text.substr(0, end);
    if (line.find_first_of(u"\r\n") != std::u16string_view::npos) {
      return std::nullopt;
    }
    lines.push_back(line);
    text.remove_prefix(end + kLineEnd.size());
  }
  TIniContent content;
  std::size_t at = 0;
  while (at < lines.size()) {
    const std::u16string_view header = lines[at++];
    if (header.size() < 2 || header.front() != u'[' || header.back() != u']') {
      return std::nullopt;
    }
    TIniSection section{std::u16string(header.substr(1, header.size() - 2)), {}};
    while (at < lines.size() && !lines[at].empty()) {
      section.Lines.emplace_back(lines[at++]);
    }
    if (at == lines.size()) {
      return std::nullopt;
    }
    ++at;
    content.push_back(std::move(section));
  }
  return content;
}

std::optional<std::u16string_view> KeyName(std::u16string_view line) {
  const std::size_t equals = line.find(u'=');
  if (equals == std::u16string_view::npos) {
    return std::nullopt;
  }
  return line.substr(0, equals);
}

std::optional<std::u16string> ExpectedValue(const TIniContent& content, std::u16string_view section,
                                            std::u16string_view ident) {
  const std::size_t found = LastSection(content, section);
  if (found == kNone) {
    return std::nullopt;
  }
  const TIniSection& lines = content[found];
  const std::size_t line = LastKeyLine(lines, ident);
  if (line == kNone) {
    return std::nullopt;
  }
  return lines.Lines[line].substr(lines.Lines[line].find(u'=') + 1);
}

void ApplyWrite(TIniContent& content, std::u16string_view section, std::u16string_view ident,
                std::u16string_view value) {
  std::size_t found = LastSection(content, section);
  if (found == kNone) {
    content.push_back({std::u16string(section), {}});
    found = content.size() - 1;
  }
  TIniSection& lines = content[found];
  std::u16string line = std::u16string(ident) + u"=" + std::u16string(value);
  const std::size_t existing = LastKeyLine(lines, ident);
  if (existing == kNone) {
    lines.Lines.push_back(std::move(line));
  } else {
    lines.Lines[existing] = std::move(line);
  }
}

}  // namespace zelkupd::fuzz
