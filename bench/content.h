// Deterministic file contents for the benchmark's archives: text, machine-code-like bytes,
// incompressible bytes and a mix, the same bytes for the same seed however the reads are split.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zelkupd::bench {

enum class TContentKind {
  Text,    // words, punctuation and line breaks: deflate shrinks it to about a third
  Binary,  // skewed byte values and short repeats, as in programs: mostly literals when deflated
  Random,  // incompressible: deflate emits stored blocks
  Mixed,   // 64 KiB blocks of text and of random bytes in turn
};

// Names the kind in the benchmark's output.
const char* ContentKindName(TContentKind kind);

// A stream of content made in blocks of 64 KiB, each from the seed and its own index. A block is
// made only as far as it is read: every generator's output begins the same whatever its length.
class TContentSource {
 public:
  TContentSource(TContentKind kind, std::uint64_t seed) : FKind(kind), FSeed(seed) {}

  // The next `count` bytes of the content.
  void Fill(unsigned char* buffer, std::size_t count);

 private:
  static constexpr std::size_t kBlockSize = 65536;

  // Makes the first `length` bytes of the current block.
  void MakeBlock(std::size_t length);

  TContentKind FKind;
  std::uint64_t FSeed;
  std::uint64_t FBlockIndex = 0;
  std::size_t FBlockUsed = 0;
  std::size_t FBlockMade = 0;
  std::array<unsigned char, kBlockSize> FBlock{};
};

}  // namespace zelkupd::bench
