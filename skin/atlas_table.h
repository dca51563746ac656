// The skin atlas's pixels: four 9 x 21 tiles stacked top to bottom, one per
// button state, each a miniature button face. Every row is given in full:
// seventeen of them are not mirror-symmetric.
#pragma once

#include <cstdint>

namespace skin {

inline constexpr int kAtlasWidth = 9;
inline constexpr int kAtlasHeight = 84;
inline constexpr int kTileHeight = 21;

// COLORREF values, 0x00BBGGRR, indexed [row][column].
extern const uint32_t kAtlasPixels[kAtlasHeight][kAtlasWidth];

}  // namespace skin
