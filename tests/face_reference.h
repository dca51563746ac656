// A reference of the button face, computed from the face rules alone: the
// nine pieces in their order, copies one to one, stretches covering their
// (possibly mirrored) area, later pieces over earlier ones. Pixels whose row
// choice belongs to the platform's stretching (the middle band stretched to
// other than 11 rows) are left unknown.
//
// A negative extent mirrors about the origin pixel, as GDI's StretchBlt does:
// x = 4, width = -2 covers columns 3 and 4 (Wine's conformance tests show the
// same on Windows), not columns 2 and 3.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "skin/atlas_table.h"

namespace testing_util {

struct FaceReference {
  int width, height;
  std::vector<std::optional<uint32_t>> pixels;  // row by row
  std::optional<uint32_t> at(int x, int y) const { return pixels[size_t(y) * width + x]; }
};

inline FaceReference ReferenceFace(int w, int h, int s) {
  FaceReference f{w, h, std::vector<std::optional<uint32_t>>(size_t(w) * h)};
  const int t = 21 * s;
  auto set = [&](int x, int y, std::optional<uint32_t> c) {
    if (x >= 0 && y >= 0 && x < w && y < h) f.pixels[size_t(y) * w + x] = c;
  };
  auto copy = [&](int dx, int dy, int sx, int sy) {
    for (int j = 0; j < 5; ++j)
      for (int i = 0; i < 4; ++i) set(dx + i, dy + j, skin::kAtlasPixels[sy + j][sx + i]);
  };
  // sw is 1 (every column shows atlas column sx) or 4 onto 4 columns; sh is
  // 5 onto 5 rows, or the 11 rows of the middle band.
  auto stretch = [&](int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh) {
    if (dw == 0 || dh == 0) return;
    const int x0 = dw > 0 ? dx : dx + dw + 1, cols = dw > 0 ? dw : -dw;
    const int y0 = dh > 0 ? dy : dy + dh + 1, rows = dh > 0 ? dh : -dh;
    for (int j = 0; j < rows; ++j) {
      for (int i = 0; i < cols; ++i) {
        const int ci = dw > 0 ? i : cols - 1 - i;  // mirrored left to right
        const int rj = dh > 0 ? j : rows - 1 - j;  // upside down
        const int srcX = sw == 1 ? sx : sx + ci;
        std::optional<uint32_t> c;
        if (sh == rows) c = skin::kAtlasPixels[sy + rj][srcX];
        set(x0 + i, y0 + j, c);
      }
    }
  };
  copy(0, 0, 0, t);
  stretch(4, 0, w - 8, 5, 4, t, 1, 5);
  copy(w - 4, 0, 5, t);
  stretch(0, 5, 4, h - 10, 0, t + 5, 4, 11);
  stretch(w - 4, 5, 4, h - 10, 5, t + 5, 4, 11);
  copy(0, h - 5, 0, t + 16);
  copy(w - 4, h - 5, 5, t + 16);
  stretch(4, h - 5, w - 8, 5, 4, t + 16, 1, 5);
  stretch(4, 5, w - 8, h - 10, 4, t + 5, 1, 11);
  return f;
}

}  // namespace testing_util
