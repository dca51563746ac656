// The nine pieces of a button face: where each lands in a W x H face and
// which block of the atlas it comes from, in drawing order. Sizes are used as
// computed: below 8 x 10 the extents turn zero or negative and pieces overlap
// or mirror, and the platform's blits decide what that draws.
#pragma once

#include <array>

namespace skin {

struct FacePiece {
  bool stretch;  // StretchBlt; otherwise a BitBlt of the destination's size
  int dx, dy, dw, dh;
  int sx, sy, sw, sh;
};

std::array<FacePiece, 9> FacePieces(int width, int height, int state);

}  // namespace skin
