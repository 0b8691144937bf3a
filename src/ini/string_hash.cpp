#include "ini/string_hash.h"

#include <bit>

namespace zelkupd {

TStringHash::TStringHash(std::size_t size) : FBuckets(size) {}

std::uint32_t TStringHash::HashOf(std::u16string_view key) {
  std::uint32_t hash = 0;
  for (const char16_t c : key) {
    hash = std::rotl(hash, 2) ^ c;
  }
  return hash;
}

void TStringHash::Add(std::u16string key, std::int32_t value) {
  auto& chain = FBuckets[HashOf(key) % FBuckets.size()];
  chain.push_back({std::move(key), value});
}

void TStringHash::Clear() {
  for (auto& chain : FBuckets) {
    chain.clear();
  }
}

std::int32_t TStringHash::ValueOf(std::u16string_view key) const {
  const auto& chain = FBuckets[HashOf(key) % FBuckets.size()];
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (it->Key == key) {
      return it->Value;
    }
  }
  return -1;
}

}  // namespace zelkupd
