// Fuzz target: the release order of archive names on arbitrary UTF-16 names (the input cut at
// NULs into up to three). IsNewerThanPrev must be a strict order: never true for a name against
// itself, never true both ways, transitive, and false both ways only for names of the same number
// and rank. Every rank is the release rank or a byte; and a name built from a number and a beta
// character taken from the input must give that number and the character's rank.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/code_units.h"
#include "fuzz/fuzz_check.h"
#include "runtime/text.h"
#include "update/release_page.h"

namespace zelkupd::fuzz {
namespace {

constexpr std::int32_t kReleaseRank = 100000;

bool Newer(const std::u16string& prev, const std::u16string& next) {
  TUpdateState state;
  state.PrevFile = prev;
  state.NewFile = next;
  return IsNewerThanPrev(state);
}

std::vector<std::u16string> Names(const std::u16string& text) {
  std::vector<std::u16string> names;
  std::size_t start = 0;
  while (names.size() < 3) {
    const std::size_t end = text.find(u'\0', start);
    names.push_back(text.substr(start, end - start));
    if (end == std::u16string::npos) {
      break;
    }
    start = end + 1;
  }
  while (names.size() < 3) {
    names.push_back(names.back());
  }
  return names;
}

void CheckOrder(const std::vector<std::u16string>& names) {
  for (const std::u16string& a : names) {
    const std::int32_t rank = BetaRank(a);
    Require(rank == kReleaseRank || (rank >= 0 && rank <= 255),
            "a beta rank is the release rank or a byte", a);
    Require(!Newer(a, a), "no name is newer than itself", a);
    for (const std::u16string& b : names) {
      const bool ab = Newer(a, b);
      const bool ba = Newer(b, a);
      Require(!(ab && ba), "no two names are each newer than the other", a + u" | " + b);
      Require(ab || ba || (ArchiveNumber(a) == ArchiveNumber(b) && BetaRank(a) == BetaRank(b)),
              "names in no order have the same number and rank", a + u" | " + b);
      for (const std::u16string& c : names) {
        Require(!(ab && Newer(b, c)) || Newer(a, c), "the order is transitive",
                a + u" | " + b + u" | " + c);
      }
    }
  }
}

// The number from the input's first four bytes, and a beta character from its fifth.
void CheckBuiltName(const std::uint8_t* data, std::size_t size) {
  if (size < 5) {
    return;
  }
  std::int32_t number = 0;
  std::memcpy(&number, data, sizeof number);
  const std::u16string release = u"zelk32_" + IntToText(number) + u".zip";
  Require(ArchiveNumber(release) == number, "a release name gives its number", release);
  Require(BetaRank(release) == kReleaseRank, "a release name has the release rank", release);
  const char16_t beta = static_cast<char16_t>(u'0' + data[4] % 10);
  const std::u16string betaName = u"zelk32_" + IntToText(number) + u"b" + beta + u".ZIP";
  Require(ArchiveNumber(betaName) == number, "a beta name gives its number", betaName);
  Require(BetaRank(betaName) == beta, "a digit's rank is its code", betaName);
  Require(Newer(betaName, release) && !Newer(release, betaName), "a release comes after its betas",
          betaName);
}

}  // namespace
}  // namespace zelkupd::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zelkupd::fuzz::CheckOrder(zelkupd::fuzz::Names(zelkupd::fuzz::CodeUnits(data, size)));
  zelkupd::fuzz::CheckBuiltName(data, size);
  return 0;
}
