#include "ini/hashed_string_list.h"

#include "runtime/text.h"

namespace zelkupd {
namespace {

constexpr std::size_t kHashBuckets = 256;

void Reset(std::optional<TStringHash>& hash) {
  if (hash) {
    hash->Clear();
  } else {
    hash.emplace(kHashBuckets);
  }
}

}  // namespace

std::int32_t THashedStringList::Add(std::u16string text) {
  return AddObject(std::move(text), nullptr);
}

std::int32_t THashedStringList::AddObject(std::u16string text,
                                          std::unique_ptr<THashedStringList> object) {
  FEntries.push_back({std::move(text), std::move(object)});
  Changed();
  return Count() - 1;
}

void THashedStringList::Put(std::int32_t index, std::u16string text) {
  FEntries[Index(index)].Text = std::move(text);
  Changed();
}

void THashedStringList::Clear() {
  FEntries.clear();
  Changed();
}

void THashedStringList::Changed() {
  FValueHashValid = false;
  FNameHashValid = false;
}

// Entries go in from first to last, so the last of equal keys heads its chain and is found.
void THashedStringList::RebuildValueHash() const {
  Reset(FValueHash);
  for (std::int32_t i = 0; i < Count(); ++i) {
    FValueHash->Add(UpperCase(Strings(i)), i);
  }
  FValueHashValid = true;
}

void THashedStringList::RebuildNameHash() const {
  Reset(FNameHash);
  for (std::int32_t i = 0; i < Count(); ++i) {
    const std::u16string_view text = Strings(i);
    const std::size_t equals = text.find(u'=');
    if (equals != std::u16string_view::npos) {
      FNameHash->Add(UpperCase(text.substr(0, equals)), i);
    }
  }
  FNameHashValid = true;
}

std::int32_t THashedStringList::IndexOf(std::u16string_view text) const {
  if (!FValueHashValid) {
    RebuildValueHash();
  }
  return FValueHash->ValueOf(UpperCase(text));
}

std::int32_t THashedStringList::IndexOfName(std::u16string_view name) const {
  if (!FNameHashValid) {
    RebuildNameHash();
  }
  return FNameHash->ValueOf(UpperCase(name));
}

}  // namespace zelkupd
