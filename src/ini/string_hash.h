// A chained hash table from texts to entry positions: the index behind the lookups of
// THashedStringList.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelkupd {

struct THashItem {
  std::u16string Key;
  std::int32_t Value;
};

class TStringHash {
 public:
  explicit TStringHash(std::size_t size);

  // Puts the item at the head of its bucket's chain, so it shadows older items with the same key.
  void Add(std::u16string key, std::int32_t value);
  void Clear();
  // The value of the newest item whose key equals `key` exactly, or -1.
  std::int32_t ValueOf(std::u16string_view key) const;

  // h := (h rotated left by 2) XOR c over the key's UTF-16 code units, from 0.
  static std::uint32_t HashOf(std::u16string_view key);

 private:
  // Each chain is kept with its head at the back, so adding is a push_back.
  std::vector<std::vector<THashItem>> FBuckets;
};

}  // namespace zelkupd
