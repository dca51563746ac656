// What the overwrite writes, made so that a read-back can tell it again: the
// buffer's random bytes, and at the head of every 4 KiB block a 16-byte
// stamp that is a keyed function of the stream and the block's offset in it.
// No two blocks written are alike (a deduplicating drive must store every
// one), and any block's stamp is made again from the run's key alone, with
// no copy of what a file was given. Needs no Windows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace shred {

inline constexpr size_t kStampBlock = 4096;
inline constexpr size_t kStampBytes = 16;

// The run's key for the stamps, from the system's generator.
struct StampKey {
  uint64_t words[2] = {};
};

// The stamp of the block written at `offset` of the run's `stream`th
// stream.
void BlockStamp(const StampKey& key, uint64_t stream, int64_t offset,
                uint8_t (&stamp)[kStampBytes]);
// Gives every block of buffer[0, length), written at `offset`, its stamp;
// the last one, when shorter than a stamp, as much of it as fits.
void StampBlocks(uint8_t* buffer, size_t length, const StampKey& key, uint64_t stream,
                 int64_t offset);
// Whether `read` holds what StampBlocks made of `pattern` for that offset:
// every block's stamp, and the pattern's own bytes between the stamps.
bool MatchesWritten(const uint8_t* read, const uint8_t* pattern, size_t length, const StampKey& key,
                    uint64_t stream, int64_t offset);

}  // namespace shred
