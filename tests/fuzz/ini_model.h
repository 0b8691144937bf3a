// What the INI fuzzer compares stores by: a store's content as its rendered file shows it, the
// sections in order, each with its name and its lines in order; and the reads and writes worked
// out on that content by their definition (names matched without regard to case, the last
// occurrence found).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelkupd::fuzz {

struct TIniSection {
  std::u16string Name;
  std::vector<std::u16string> Lines;
  bool operator==(const TIniSection&) const = default;
};

// Two stores are equal when their contents are: the same sections in the same order, each with
// the same name and the same lines in the same order, code unit for code unit.
using TIniContent = std::vector<TIniSection>;

// The content of a rendered text: each section as its header line "[" name "]", its lines and an
// empty line, every line ended by CR LF. Nullopt when the text is not in that form.
std::optional<TIniContent> ParseRendered(std::u16string_view text);

// The name part of a key line, the text before its first "="; nullopt for a bare line.
std::optional<std::u16string_view> KeyName(std::u16string_view line);

// What ReadString must return: the text after the first "=" of the last line whose name is
// `ident`, in the last section named `section`; nullopt when it must return its default.
std::optional<std::u16string> ExpectedValue(const TIniContent& content, std::u16string_view section,
                                            std::u16string_view ident);

// The content after WriteString: the key's line replaced where ExpectedValue finds it, else
// appended to that section, or to a new section at the end when there is none of that name.
void ApplyWrite(TIniContent& content, std::u16string_view section, std::u16string_view ident,
                std::u16string_view value);

}  // namespace zelkupd::fuzz
