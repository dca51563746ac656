#include "window/hand_cursor.h"

#include <cstdint>

namespace form1 {

namespace {

// '#' black, 'o' white, anything else shows the screen through.
constexpr const char* kHand[] = {
    ".....##.",          "....#oo#",          "....#oo#",          "....#oo#",
    "....#oo#",          "....#oo###",        "....#oo#oo###",     "....#oo#oo#oo##",
    "....#oo#oo#oo#o#",  ".##.#oo#oo#oo#oo#", "#oo##ooooooooooo#", "#ooo#ooooooooooo#",
    ".#oo#ooooooooooo#", "..#ooooooooooooo#", "..#ooooooooooooo#", "...#ooooooooooo#",
    "...#ooooooooooo#",  "....#ooooooooo#",   "....#ooooooooo#",   ".....#ooooooo#",
    ".....#ooooooo#",    ".....#########",
};

}  // namespace

HCURSOR CreateHandCursor(HINSTANCE instance) {
  constexpr int kSize = 32;
  constexpr int kRowBytes = kSize / 8;
  uint8_t andMask[kSize * kRowBytes];
  uint8_t xorMask[kSize * kRowBytes] = {};
  for (uint8_t& byte : andMask) byte = 0xFF;
  int row = 0;
  for (const char* line : kHand) {
    for (int x = 0; line[x] && x < kSize; ++x) {
      const uint8_t bit = uint8_t(0x80 >> (x % 8));
      const int at = row * kRowBytes + x / 8;
      if (line[x] == '#' || line[x] == 'o') andMask[at] &= uint8_t(~bit);
      if (line[x] == 'o') xorMask[at] |= bit;
    }
    ++row;
  }
  return CreateCursor(instance, kHandHotSpotX, kHandHotSpotY, kSize, kSize, andMask, xorMask);
}

}  // namespace form1
