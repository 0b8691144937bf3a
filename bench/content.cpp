#include "content.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace zelkupd::bench {
namespace {

// SplitMix64: fast, and good enough that deflate finds nothing to shrink in its output.
struct TSplitMix {
  std::uint64_t State;

  std::uint64_t Next() {
    std::uint64_t z = (State += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
};

constexpr std::size_t kWordCount = 512;

// Made-up words of one to four syllables, always the same.
const std::vector<std::string>& Vocabulary() {
  static const std::vector<std::string> words = [] {
    static constexpr const char* kSyllables[] = {"ka", "ri",  "to", "ne", "mu", "sa", "lo", "pe",
                                                 "zu", "shi", "ta", "an", "el", "or", "is", "um",
                                                 "be", "de",  "fi", "go", "hu", "ja", "ki", "la",
                                                 "mo", "nu",  "po", "qu", "ra", "se", "ti", "vo"};
    TSplitMix rng{0x5eed};
    std::vector<std::string> list;
    for (std::size_t i = 0; i < kWordCount; ++i) {
      const std::uint64_t r = rng.Next();
      std::string word;
      for (std::uint64_t s = 0; s <= (r & 3); ++s) {
        word += kSyllables[(r >> (8 + 5 * s)) & 31];
      }
      list.push_back(word);
    }
    return list;
  }();
  return words;
}

void Append(unsigned char* out, std::size_t size, std::size_t& at, const std::string& text) {
  const std::size_t n = std::min(text.size(), size - at);
  std::memcpy(out + at, text.data(), n);
  at += n;
}

// Frequent words come first in the vocabulary: the smaller of two uniform picks favours them, as
// natural text favours its common words.
void MakeText(TSplitMix& rng, unsigned char* out, std::size_t size) {
  const std::vector<std::string>& words = Vocabulary();
  std::size_t at = 0;
  while (at < size) {
    const std::uint64_t r = rng.Next();
    Append(out, size, at,
           words[static_cast<std::size_t>(std::min(r % kWordCount, (r >> 9) % kWordCount))]);
    Append(out, size, at, (r >> 20) % 12 == 0 ? ". " : " ");
    if ((r >> 28) % 10 == 0) {
      Append(out, size, at, "\r\n");
    }
  }
}

// Zeros, 0xFF and a few frequent opcodes dominate, with now and then a short copy of earlier bytes.
void MakeBinary(TSplitMix& rng, unsigned char* out, std::size_t size) {
  static constexpr unsigned char kOpcodes[] = {0x48, 0x89, 0x8b, 0xe8, 0x0f, 0x83, 0xc3, 0x74,
                                               0x75, 0xeb, 0x85, 0xc0, 0x24, 0x44, 0x4c, 0x8d,
                                               0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80};
  std::size_t at = 0;
  while (at < size) {
    const std::uint64_t r = rng.Next();
    if ((r & 63) == 0 && at > 64) {
      const std::size_t distance =
          1 + static_cast<std::size_t>((r >> 8) % std::min<std::size_t>(at, 4096));
      const std::size_t length = std::min<std::size_t>(8 + ((r >> 24) & 31), size - at);
      for (std::size_t i = 0; i < length; ++i, ++at) {
        out[at] = out[at - distance];
      }
      continue;
    }
    for (int shift = 8; shift < 64 && at < size; shift += 8) {
      const auto v = static_cast<unsigned>((r >> shift) & 0xff);
      if (v < 90) {
        out[at++] = 0x00;
      } else if (v < 115) {
        out[at++] = 0xff;
      } else if (v < 190) {
        out[at++] = kOpcodes[v % sizeof kOpcodes];
      } else {
        out[at] = static_cast<unsigned char>(v * 7 + static_cast<unsigned>(at));
        ++at;
      }
    }
  }
}

void MakeRandom(TSplitMix& rng, unsigned char* out, std::size_t size) {
  for (std::size_t at = 0; at < size; at += 8) {
    const std::uint64_t r = rng.Next();
    std::memcpy(out + at, &r, std::min<std::size_t>(8, size - at));
  }
}

}  // namespace

const char* ContentKindName(TContentKind kind) {
  switch (kind) {
    case TContentKind::Text:
      return "text";
    case TContentKind::Binary:
      return "binary";
    case TContentKind::Random:
      return "random";
    case TContentKind::Mixed:
      return "mixed";
  }
  return "?";
}

void TContentSource::Fill(unsigned char* buffer, std::size_t count) {
  while (count > 0) {
    if (FBlockUsed == kBlockSize) {
      ++FBlockIndex;
      FBlockUsed = 0;
      FBlockMade = 0;
    }
    if (FBlockUsed == FBlockMade) {
      MakeBlock(std::min(kBlockSize, FBlockUsed + count));
    }
    const std::size_t n = std::min(count, FBlockMade - FBlockUsed);
    std::memcpy(buffer, FBlock.data() + FBlockUsed, n);
    FBlockUsed += n;
    buffer += n;
    count -= n;
  }
}

void TContentSource::MakeBlock(std::size_t length) {
  TSplitMix rng{FSeed * 0x9e3779b97f4a7c15ULL ^ (FBlockIndex + 1) * 0xd1b54a32d192ed03ULL};
  TContentKind kind = FKind;
  if (kind == TContentKind::Mixed) {
    kind = FBlockIndex % 2 == 0 ? TContentKind::Text : TContentKind::Random;
  }
  switch (kind) {
    case TContentKind::Text:
      MakeText(rng, FBlock.data(), length);
      break;
    case TContentKind::Binary:
      MakeBinary(rng, FBlock.data(), length);
      break;
    case TContentKind::Random:
    case TContentKind::Mixed:
      MakeRandom(rng, FBlock.data(), length);
      break;
  }
  FBlockMade = length;
}

}  // namespace zelkupd::bench
