// Fuzz target: the INI store on arbitrary file bytes. The file is loaded, every key read, the
// store rendered, the rendering loaded again and rendered again, keys written and the result
// loaded once more. Each load must answer every read as the content of its rendering says (the
// last section and the last key of a name, matched without regard to case); a load of a rendering
// must equal the load it was rendered from (ini_model.h says what equal means), which the bytes of
// its own rendering show; and the writes must change exactly the lines they name.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_folder.h"
#include "fuzz/ini_model.h"
#include "ini/mem_ini_file.h"
#include "ini/text_encoding.h"
#include "runtime/text.h"
#include "support/temp_dir.h"

namespace zelkupd::fuzz {
namespace {

// No stored value can hold a line break, so no read returns this unless it is the default.
constexpr char16_t kDefault[] = u"\r\n(default)";

struct TRendering {
  std::string Bytes;
  TTextEncoding Encoding;
  TIniContent Content;
};

std::u16string DecodeFile(std::string_view bytes, TTextEncoding& encoding) {
  std::size_t markLength = 0;
  encoding = DetectEncoding(bytes, markLength);
  return DecodeText(bytes.substr(markLength), encoding);
}

TRendering Render(TMemIniFile& store) {
  store.UpdateFile();
  TRendering rendering;
  rendering.Bytes = test::ReadFileBytes(store.FileName());
  const std::optional<TIniContent> content =
      ParseRendered(DecodeFile(rendering.Bytes, rendering.Encoding));
  Require(content.has_value(),
          "a store renders as headers, lines and an empty line, each ended "
          "by CR LF");
  rendering.Content = *content;
  return rendering;
}

// Whether the text of the file comes out of the store as it went in: characters that its
// encoding cannot write (in the ANSI code page) are written as the default character.
bool WritesBackWhole(std::string_view bytes) {
  TTextEncoding encoding;
  const std::u16string text = DecodeFile(bytes, encoding);
  const std::size_t markLength = EncodeText(u"", encoding).size();
  return DecodeText(std::string_view(EncodeText(text, encoding)).substr(markLength), encoding) ==
         text;
}

void CheckInteger(const TMemIniFile& store, std::u16string_view section, std::u16string_view ident,
                  std::u16string_view value) {
  const std::int32_t seven = store.ReadInteger(section, ident, 7);
  const std::int32_t eight = store.ReadInteger(section, ident, 8);
  Require(seven == eight || (seven == 7 && eight == 8),
          "ReadInteger gives the default only for a value that is no integer", value);
  Require(value != IntToText(seven) || seven == eight,
          "ReadInteger reads a decimal number written plainly", value);
}

void CheckReads(const TMemIniFile& store, const TIniContent& content) {
  for (const TIniSection& section : content) {
    for (const std::u16string& line : section.Lines) {
      const std::optional<std::u16string_view> ident = KeyName(line);
      if (!ident) {
        continue;
      }
      const std::optional<std::u16string> expected = ExpectedValue(content, section.Name, *ident);
      const std::u16string value = store.ReadString(section.Name, *ident, kDefault);
      Require(value == expected.value_or(kDefault),
              "a read finds the last key of its name in the last section of its name", line);
      CheckInteger(store, section.Name, *ident, value);
    }
    Require(store.ReadString(section.Name, u"\r", kDefault) == kDefault,
            "a missing key reads as the default", section.Name);
  }
  Require(store.ReadString(u"\r", u"", kDefault) == kDefault,
          "a missing section reads as the default");
}

// Writes one key of every section that has one, as a user's tool might, and the key the updater
// writes, so new sections, new keys and replaced lines all occur.
TIniContent WriteKeys(TMemIniFile& store, TIniContent content) {
  const TIniContent before = content;
  for (std::size_t i = 0; i < before.size(); ++i) {
    for (const std::u16string& line : before[i].Lines) {
      if (const std::optional<std::u16string_view> ident = KeyName(line)) {
        const std::u16string value = u"w" + IntToText(static_cast<std::int64_t>(i));
        store.WriteString(before[i].Name, *ident, value);
        ApplyWrite(content, before[i].Name, *ident, value);
        break;
      }
    }
  }
  store.WriteString(u"ZELK", u"PREV_FILE", u"zelk32_157.zip");
  ApplyWrite(content, u"ZELK", u"PREV_FILE", u"zelk32_157.zip");
  return content;
}

void CheckStore(const std::u16string& path, std::string_view input) {
  test::WriteFileBytes(path, input);
  TMemIniFile first(path);
  const TRendering firstRendering = Render(first);
  TTextEncoding inputEncoding;
  DecodeFile(input, inputEncoding);
  Require(firstRendering.Encoding == inputEncoding, "a store is written in the encoding it read");
  if (WritesBackWhole(input)) {
    CheckReads(first, firstRendering.Content);
  }

  TMemIniFile second(path);
  CheckReads(second, firstRendering.Content);
  Require(Render(second).Bytes == firstRendering.Bytes,
          "a load of a rendering equals the load it was rendered from");

  const TIniContent written = WriteKeys(second, firstRendering.Content);
  CheckReads(second, written);
  const TRendering writtenRendering = Render(second);
  Require(writtenRendering.Content == written, "writes change exactly the lines they name");

  TMemIniFile third(path);
  CheckReads(third, written);
  Require(Render(third).Bytes == writtenRendering.Bytes,
          "a load of a written store equals the store that wrote it");
}

}  // namespace
}  // namespace zelkupd::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const zelkupd::fuzz::TFuzzFolder folder;
  zelkupd::fuzz::CheckStore(folder.Path() + u"settings.ini",
                            std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
