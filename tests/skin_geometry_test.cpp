// The atlas table and the face pieces, without Windows: the pieces drawn by a
// small software blitter must give the faces the rules describe.
#include <gtest/gtest.h>

#include "skin/atlas_table.h"
#include "skin/face_geometry.h"
#include "tests/face_reference.h"

namespace skin {
namespace {

TEST(AtlasTable, HoldsTheTilesCellByCell) {
  EXPECT_EQ(kAtlasPixels[0][0], 0xE6BA78u);
  EXPECT_EQ(kAtlasPixels[10][4], 0xF9EAD7u);
  EXPECT_EQ(kAtlasPixels[26][4], 0xFCF2E4u);
  EXPECT_EQ(kAtlasPixels[83][8], 0xD8D8D8u);
  EXPECT_EQ(kAtlasPixels[19][0], 0xE2B064u);
  EXPECT_EQ(kAtlasPixels[19][8], 0xE1AF62u) << "row 19 is not a mirror of itself";
  int asymmetric = 0;
  for (int y = 0; y < kAtlasHeight; ++y) {
    bool mirror = true;
    for (int x = 0; x < 4; ++x) mirror &= kAtlasPixels[y][x] == kAtlasPixels[y][8 - x];
    asymmetric += !mirror;
    if (y >= 63) {
      EXPECT_TRUE(mirror) << "disabled tile row " << y;
    }
    for (int x = 0; x < kAtlasWidth; ++x) EXPECT_EQ(kAtlasPixels[y][x] >> 24, 0u);
  }
  EXPECT_EQ(asymmetric, 17);
  // The disabled tile is grey: equal red, green and blue.
  for (int y = 63; y < 84; ++y) {
    for (int x = 0; x < 9; ++x) {
      const uint32_t c = kAtlasPixels[y][x];
      EXPECT_EQ(c & 0xFF, (c >> 8) & 0xFF);
      EXPECT_EQ(c & 0xFF, (c >> 16) & 0xFF);
    }
  }
}

// Draws the pieces as BitBlt and StretchBlt would, with a nearest-row rule
// for the middle band (the platform's own choice is not fixed) and GDI's
// mirroring about the origin pixel for negative extents.
std::vector<uint32_t> Blit(int w, int h, int s) {
  std::vector<uint32_t> face(size_t(w) * h, 0x12345678);
  for (const FacePiece& p : FacePieces(w, h, s)) {
    const int sw = p.stretch ? p.sw : p.dw, sh = p.stretch ? p.sh : p.dh;
    if (p.dw == 0 || p.dh == 0) continue;
    const int cols = std::abs(p.dw), rows = std::abs(p.dh);
    const int x0 = p.dw > 0 ? p.dx : p.dx + p.dw + 1;
    const int y0 = p.dh > 0 ? p.dy : p.dy + p.dh + 1;
    for (int j = 0; j < rows; ++j)
      for (int i = 0; i < cols; ++i) {
        const int ci = p.dw > 0 ? i : cols - 1 - i, rj = p.dh > 0 ? j : rows - 1 - j;
        const int x = x0 + i, y = y0 + j;
        if (x < 0 || y < 0 || x >= w || y >= h) continue;
        face[size_t(y) * w + x] = kAtlasPixels[p.sy + rj * sh / rows][p.sx + ci * sw / cols];
      }
  }
  return face;
}

void ExpectMatchesRules(int w, int h) {
  for (int s = 0; s < 4; ++s) {
    const auto face = Blit(w, h, s);
    const auto ref = testing_util::ReferenceFace(w, h, s);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        EXPECT_NE(face[size_t(y) * w + x], 0x12345678u) << "uncovered pixel " << x << "," << y;
        if (auto c = ref.at(x, y)) {
          EXPECT_EQ(face[size_t(y) * w + x], *c)
              << w << "x" << h << " face " << s << " pixel " << x << "," << y;
        }
      }
  }
}

TEST(FaceGeometry, CoversEveryPixelAsTheRulesSay) {
  for (auto [w, h] : {std::pair{9, 21},
                      {129, 33},
                      {57, 17},
                      {8, 21},
                      {9, 10},
                      {6, 21},
                      {12, 7},
                      {1, 1},
                      {3, 40},
                      {200, 9}}) {
    ExpectMatchesRules(w, h);
  }
}

TEST(FaceGeometry, NineByTwentyOneIsTheTile) {
  for (int s = 0; s < 4; ++s) {
    const auto face = Blit(9, 21, s);
    for (int y = 0; y < 21; ++y)
      for (int x = 0; x < 9; ++x) EXPECT_EQ(face[size_t(y) * 9 + x], kAtlasPixels[21 * s + y][x]);
  }
}

TEST(FaceGeometry, NarrowAndLowFacesOverlapAsDescribed) {
  // W = 6: the top-right corner covers columns 2-5 of the top band; below
  // it the centre and bottom edge (width -2 from column 4) cover columns 3-4
  // with tile column 4, between the right edge's columns 2 and 5.
  const auto narrow = Blit(6, 21, 0);
  for (int x = 2; x < 6; ++x) EXPECT_EQ(narrow[size_t(x)], kAtlasPixels[0][x + 3]);
  for (int y = 5; y < 21; ++y) {
    EXPECT_EQ(narrow[size_t(y) * 6 + 0], kAtlasPixels[y][0]) << y;
    EXPECT_EQ(narrow[size_t(y) * 6 + 2], kAtlasPixels[y][5]) << y;
    EXPECT_EQ(narrow[size_t(y) * 6 + 3], kAtlasPixels[y][4]) << y;
    EXPECT_EQ(narrow[size_t(y) * 6 + 4], kAtlasPixels[y][4]) << y;
    EXPECT_EQ(narrow[size_t(y) * 6 + 5], kAtlasPixels[y][8]) << y;
  }
  // H = 7: the bottom band starts at row 2; the centre (height -3 from row
  // 5) covers rows 3-5 of columns 4-7, upside down; row 6 stays tile row 20.
  const auto low = Blit(12, 7, 0);
  EXPECT_EQ(low[size_t(2) * 12 + 5], kAtlasPixels[16][4]);
  EXPECT_EQ(low[size_t(6) * 12 + 5], kAtlasPixels[20][4]);
  EXPECT_EQ(low[size_t(2) * 12 + 0], kAtlasPixels[16][0]);
}

}  // namespace
}  // namespace skin
