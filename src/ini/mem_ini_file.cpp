#include "ini/mem_ini_file.h"

#include <memory>

#include "ini/ini_lines.h"
#include "runtime/atomic_file.h"
#include "runtime/files.h"
#include "runtime/stream.h"
#include "runtime/text.h"

namespace zelkupd {

TMemIniFile::TMemIniFile(std::u16string fileName) : TCustomIniFile(std::move(fileName)) {
  if (FileName().empty() || !FileExists(FileName())) {
    return;
  }
  const std::string bytes = ReadWholeFile(FileName(), kOpenReadShareRead);
  std::size_t markLength = 0;
  const TTextEncoding encoding = DetectEncoding(bytes, markLength);
  FEncoding = encoding;
  SetStrings(SplitLines(DecodeText(std::string_view(bytes).substr(markLength), encoding)));
}

void TMemIniFile::SetStrings(const std::vector<std::u16string>& lines) {
  FSections.Clear();
  THashedStringList* section = nullptr;
  for (const std::u16string& line : lines) {
    const std::u16string_view t = TrimControls(line);
    if (t.empty() || t.front() == u';') {
      continue;
    }
    if (t.front() == u'[' && t.back() == u']') {
      auto sectionLines = std::make_unique<THashedStringList>();
      section = sectionLines.get();
      FSections.AddObject(std::u16string(TrimControls(t.substr(1, t.size() - 2))),
                          std::move(sectionLines));
      continue;
    }
    if (section == nullptr) {
      continue;
    }
    const std::size_t equals = t.find(u'=');
    if (equals == std::u16string_view::npos) {
      section->Add(std::u16string(t));
    } else {
      section->Add(std::u16string(TrimControls(t.substr(0, equals))) + u"=" +
                   std::u16string(TrimControls(t.substr(equals + 1))));
    }
  }
}

std::vector<std::u16string> TMemIniFile::GetStrings() const {
  std::vector<std::u16string> lines;
  for (std::int32_t i = 0; i < FSections.Count(); ++i) {
    lines.push_back(u"[" + FSections.Strings(i) + u"]");
    const THashedStringList& section = *FSections.Objects(i);
    for (std::int32_t j = 0; j < section.Count(); ++j) {
      lines.push_back(section.Strings(j));
    }
    lines.emplace_back();
  }
  return lines;
}

THashedStringList* TMemIniFile::FindSection(std::u16string_view section) const {
  const std::int32_t index = FSections.IndexOf(section);
  return index < 0 ? nullptr : FSections.Objects(index);
}

std::u16string TMemIniFile::ReadString(std::u16string_view section, std::u16string_view ident,
                                       std::u16string_view defaultValue) const {
  const THashedStringList* lines = FindSection(section);
  const std::int32_t index = lines == nullptr ? -1 : lines->IndexOfName(ident);
  if (index < 0) {
    return std::u16string(defaultValue);
  }
  const std::u16string& line = lines->Strings(index);
  return line.substr(line.find(u'=') + 1);
}

void TMemIniFile::WriteString(std::u16string_view section, std::u16string_view ident,
                              std::u16string_view value) {
  THashedStringList* lines = FindSection(section);
  if (lines == nullptr) {
    auto added = std::make_unique<THashedStringList>();
    lines = added.get();
    FSections.AddObject(std::u16string(section), std::move(added));
  }
  std::u16string line = std::u16string(ident) + u"=" + std::u16string(value);
  const std::int32_t index = lines->IndexOfName(ident);
  if (index < 0) {
    lines->Add(std::move(line));
  } else {
    lines->Put(index, std::move(line));
  }
}

void TMemIniFile::UpdateFile() {
  ReplaceFileContent(FileName(),
                     EncodeText(JoinLines(GetStrings()), FEncoding.value_or(TTextEncoding::Ansi)));
}

}  // namespace zelkupd
