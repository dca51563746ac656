#include "engine/overwrite_pattern.h"

#include <algorithm>
#include <cstring>

namespace shred {

namespace {

// SplitMix64's finaliser: a bijection on 64-bit words that spreads every
// input bit over the output.
uint64_t Mix(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

void BlockStamp(const StampKey& key, uint64_t stream, int64_t offset,
                uint8_t (&stamp)[kStampBytes]) {
  // Within a stream the first word is a bijection of the offset: no two
  // blocks of one stream share it.
  const uint64_t base = Mix(key.words[0] ^ Mix(stream + key.words[1]));
  const uint64_t words[2] = {Mix(base + uint64_t(offset)),
                             Mix(base ^ key.words[1] ^ uint64_t(offset))};
  memcpy(stamp, words, sizeof words);
}

void StampBlocks(uint8_t* buffer, size_t length, const StampKey& key, uint64_t stream,
                 int64_t offset) {
  for (size_t at = 0; at < length; at += kStampBlock) {
    uint8_t stamp[kStampBytes];
    BlockStamp(key, stream, offset + int64_t(at), stamp);
    memcpy(buffer + at, stamp, std::min(kStampBytes, length - at));
  }
}

bool MatchesWritten(const uint8_t* read, const uint8_t* pattern, size_t length, const StampKey& key,
                    uint64_t stream, int64_t offset) {
  for (size_t at = 0; at < length; at += kStampBlock) {
    uint8_t stamp[kStampBytes];
    BlockStamp(key, stream, offset + int64_t(at), stamp);
    const size_t head = std::min(kStampBytes, length - at);
    const size_t end = std::min(at + kStampBlock, length);
    if (memcmp(read + at, stamp, head) != 0 ||
        memcmp(read + at + head, pattern + at + head, end - at - head) != 0) {
      return false;
    }
  }
  return true;
}

}  // namespace shred
