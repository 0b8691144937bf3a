// The INI file store: a whole INI file held in memory, read once when the store is created and
// rewritten whole, in the encoding it was read in, by UpdateFile.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ini/custom_ini_file.h"
#include "ini/hashed_string_list.h"
#include "ini/text_encoding.h"

namespace zelkupd {

// Sections and keys are matched without regard to letter case; when a name occurs more than
// once, lookups find its last occurrence.
class TMemIniFile : public TCustomIniFile {
 public:
  // Loads the file; a missing file, or an empty name, gives an empty store. A file that exists
  // but cannot be read raises EFOpenError.
  explicit TMemIniFile(std::u16string fileName);

  std::u16string ReadString(std::u16string_view section, std::u16string_view ident,
                            std::u16string_view defaultValue) const override;
  // Stores Ident + "=" + Value exactly as given, in place of the key's line or after the section's
  // last line. The file is not touched.
  void WriteString(std::u16string_view section, std::u16string_view ident,
                   std::u16string_view value) override;
  // Rewrites the file whole: each section's header, its lines and an empty line, each ended by
  // CR LF, in the encoding and with the mark it was read with (the ANSI code page without a mark
  // when it was missing). Raises EFCreateError or EWriteError; the old file then stays whole.
  void UpdateFile() override;

 private:
  void SetStrings(const std::vector<std::u16string>& lines);
  std::vector<std::u16string> GetStrings() const;
  THashedStringList* FindSection(std::u16string_view section) const;

  THashedStringList FSections;  // each entry's attached list holds the section's lines
  std::optional<TTextEncoding> FEncoding;
};

}  // namespace zelkupd
