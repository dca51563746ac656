// xoshiro256** (Blackman and Vigna): fast random words for overwriting,
// keyed by the system's generator. Never the all-zero state.
#pragma once

#include <bit>
#include <cstdint>

namespace shred {

inline uint64_t NextXoshiro(uint64_t (&s)[4]) {
  const uint64_t result = std::rotl(s[1] * 5, 7) * 9;
  const uint64_t t = s[1] << 17;
  s[2] ^= s[0];
  s[3] ^= s[1];
  s[1] ^= s[2];
  s[0] ^= s[3];
  s[2] ^= t;
  s[3] = std::rotl(s[3], 45);
  return result;
}

}  // namespace shred
