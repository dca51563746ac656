#include "skin/high_contrast.h"

#include "skin/gdi_guards.h"

namespace skin {

namespace {

int forced = -1;

void Fill(HDC dc, const RECT& r, int colour) { FillRect(dc, &r, GetSysColorBrush(colour)); }

}  // namespace

bool HighContrastOn() {
  if (forced >= 0) return forced == 1;
  HIGHCONTRASTW mode{};
  mode.cbSize = sizeof mode;
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof mode, &mode, 0) &&
         (mode.dwFlags & HCF_HIGHCONTRASTON);
}

void SetHighContrastForTesting(int on) { forced = on; }

void DrawContrastFace(HDC face, int width, int height, int state) {
  const RECT all{0, 0, width, height};
  Fill(face, all, state == 2 ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
  // A hot button is framed in the highlight, every other in the frame's colour.
  const gdi::Brush frame(
      CreateSolidBrush(GetSysColor(state == 1 ? COLOR_HIGHLIGHT : COLOR_WINDOWFRAME)));
  FrameRect(face, &all, frame);
  SetTextColor(face, GetSysColor(state == 2   ? COLOR_HIGHLIGHTTEXT
                                 : state == 3 ? COLOR_GRAYTEXT
                                              : COLOR_BTNTEXT));
}

}  // namespace skin
