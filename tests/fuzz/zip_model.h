// The ZIP fuzzer's model of the archives release tools write: the input chooses entries, which of
// their fields go into Zip64 extra blocks (central and local, streaming writers' zeros and 64-bit
// descriptors included), whether a Zip64 end record stands before the end record and which end
// record fields then hold the marker, and at most one defect in the directory's counts or bounds,
// a Zip64 value, or an entry's compressed size. The model knows what the reader must make of it.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <optional>
#include <string>
#include <vector>

namespace zelkupd::fuzz {

struct TModelEntry {
  std::string Name;
  std::optional<std::string> Data;  // none when the reader must refuse the entry's data
};

struct TModelArchive {
  std::string Bytes;
  bool Opens = false;  // false: the directory is damaged and the archive must not open
  std::vector<TModelEntry> Entries;
};

TModelArchive MakeModelArchive(FuzzedDataProvider& input);

}  // namespace zelkupd::fuzz
