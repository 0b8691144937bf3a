// An ordered, unsorted list of texts, each with an optional owned list attached, whose lookups by
// whole text and by name (the text before the first "=") ignore letter case and are hashed.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ini/string_hash.h"

namespace zelkupd {

class THashedStringList {
 public:
  std::int32_t Count() const { return static_cast<std::int32_t>(FEntries.size()); }
  const std::u16string& Strings(std::int32_t index) const { return FEntries[Index(index)].Text; }
  // The list attached to an entry; null when it has none.
  THashedStringList* Objects(std::int32_t index) const {
    return FEntries[Index(index)].Object.get();
  }

  // Each returns the new entry's position.
  std::int32_t Add(std::u16string text);
  std::int32_t AddObject(std::u16string text, std::unique_ptr<THashedStringList> object);
  // Replaces an entry's text in place; its attached list stays.
  void Put(std::int32_t index, std::u16string text);
  void Clear();

  // The position of the last entry with this text, or with this name; -1 when there is none.
  // Names are only looked for in entries that contain "=".
  std::int32_t IndexOf(std::u16string_view text) const;
  std::int32_t IndexOfName(std::u16string_view name) const;

 private:
  struct TEntry {
    std::u16string Text;
    std::unique_ptr<THashedStringList> Object;
  };

  static std::size_t Index(std::int32_t index) { return static_cast<std::size_t>(index); }
  void Changed();
  void RebuildValueHash() const;
  void RebuildNameHash() const;

  std::vector<TEntry> FEntries;
  // Built on the first lookup after a change; a lookup that only rebuilds a cache stays const.
  mutable std::optional<TStringHash> FValueHash;
  mutable std::optional<TStringHash> FNameHash;
  mutable bool FValueHashValid = false;
  mutable bool FNameHashValid = false;
};

}  // namespace zelkupd
