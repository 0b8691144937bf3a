// The abstract INI file: the file name and the text operations every store provides, with the
// typed reads built on them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zelkupd {

class TCustomIniFile {
 public:
  explicit TCustomIniFile(std::u16string fileName) : FFileName(std::move(fileName)) {}
  TCustomIniFile(const TCustomIniFile&) = delete;
  TCustomIniFile& operator=(const TCustomIniFile&) = delete;
  virtual ~TCustomIniFile() = default;

  const std::u16string& FileName() const { return FFileName; }

  // The value of the key, or `defaultValue` when the section or the key is missing.
  virtual std::u16string ReadString(std::u16string_view section, std::u16string_view ident,
                                    std::u16string_view defaultValue) const = 0;
  // The value parsed as a 32-bit integer (decimal or hexadecimal), or `defaultValue` when the key
  // is missing or its value is no integer.
  std::int32_t ReadInteger(std::u16string_view section, std::u16string_view ident,
                           std::int32_t defaultValue) const;
  // Sets the key, adding the section and the key when missing.
  virtual void WriteString(std::u16string_view section, std::u16string_view ident,
                           std::u16string_view value) = 0;
  // Writes the whole content to FileName.
  virtual void UpdateFile() = 0;

 private:
  std::u16string FFileName;
};

}  // namespace zelkupd
