#include "skin/atlas.h"

#include "skin/atlas_table.h"
#include "skin/shared_state.h"

void BuildSkinAtlas() {
  HDC screen = CreateDCW(L"DISPLAY", L"", L"", nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, skin::kAtlasWidth, skin::kAtlasHeight);
  AtlasDC = CreateCompatibleDC(screen);
  AtlasBitmap = bitmap;
  DeleteObject(SelectObject(AtlasDC, bitmap));
  DeleteDC(screen);
  for (int y = 0; y < skin::kAtlasHeight; ++y) {
    for (int x = 0; x < skin::kAtlasWidth; ++x) {
      SetPixel(AtlasDC, x, y, skin::kAtlasPixels[y][x]);
    }
  }
}
