#include "skin/face_geometry.h"

#include "skin/atlas_table.h"

namespace skin {

std::array<FacePiece, 9> FacePieces(int w, int h, int state) {
  const int t = kTileHeight * state;  // the tile's first atlas row
  return {{
      {false, 0, 0, 4, 5, 0, t, 4, 5},               // top-left corner
      {true, 4, 0, w - 8, 5, 4, t, 1, 5},            // top edge
      {false, w - 4, 0, 4, 5, 5, t, 4, 5},           // top-right corner
      {true, 0, 5, 4, h - 10, 0, t + 5, 4, 11},      // left edge
      {true, w - 4, 5, 4, h - 10, 5, t + 5, 4, 11},  // right edge
      {false, 0, h - 5, 4, 5, 0, t + 16, 4, 5},      // bottom-left corner
      {false, w - 4, h - 5, 4, 5, 5, t + 16, 4, 5},  // bottom-right corner
      {true, 4, h - 5, w - 8, 5, 4, t + 16, 1, 5},   // bottom edge
      {true, 4, 5, w - 8, h - 10, 4, t + 5, 1, 11},  // centre
  }};
}

}  // namespace skin
