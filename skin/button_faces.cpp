#include "skin/button_faces.h"

#include <algorithm>

#include "skin/face_geometry.h"
#include "skin/high_contrast.h"
#include "skin/shared_state.h"

BOOL GetWindowBounds(HWND window, WindowBounds& bounds) {
  RECT r{};
  const BOOL ok = GetWindowRect(window, &r);
  if (!ok) r = {};
  bounds = {int(r.left),           int(r.top),           int(r.right), int(r.bottom),
            int(r.right - r.left), int(r.bottom - r.top)};
  return ok;
}

std::wstring GetWindowCaption(HWND window) {
  const int n = std::max(GetWindowTextLengthW(window), 0);
  // Asked also for an empty caption, with a buffer of one.
  std::wstring text(size_t(n), L'\0');
  GetWindowTextW(window, text.data(), n + 1);
  return text;
}

int DrawCaptionText(HDC dc, const std::wstring& text, int x, int y, int width, int height,
                    UINT format) {
  RECT r{x, y, x + width, y + height};
  // Length -1: the caption ends at its first NUL.
  return DrawTextW(dc, text.c_str(), -1, &r, format);
}

BOOL DrawFocusBox(HDC dc, int x, int y, int width, int height) {
  const RECT r{x, y, x + width, y + height};
  return DrawFocusRect(dc, &r);
}

void ComposeButtonFaces(HWND window) {
  WindowBounds bounds;
  GetWindowBounds(window, bounds);
  const int w = bounds.width;
  const int h = bounds.height;
  const std::wstring caption = GetWindowCaption(window);
  const bool contrast = skin::HighContrastOn();

  for (int s = 0; s < 4; ++s) {
    HDC face = reinterpret_cast<HDC>(skin::GetProperty(window, skin::FaceDCKey(s)));
    // The button's own font stays selected: it belongs to the button, and
    // the face DC is only ever copied from afterwards.
    SelectObject(face, HFONT(SendMessageW(window, WM_GETFONT, 0, 0)));
    SetBkMode(face, TRANSPARENT);
    if (contrast) {
      skin::DrawContrastFace(face, w, h, s);
      DrawCaptionText(face, caption, 2, 2, w - 4, h - 4, skin::kCaptionFormat);
      if (GetFocus() == window) DrawFocusBox(face, 2, 2, w - 4, h - 4);
      continue;
    }
    for (const skin::FacePiece& p : skin::FacePieces(w, h, s)) {
      if (p.stretch) {
        StretchBlt(face, p.dx, p.dy, p.dw, p.dh, AtlasDC, p.sx, p.sy, p.sw, p.sh, SRCCOPY);
      } else {
        BitBlt(face, p.dx, p.dy, p.dw, p.dh, AtlasDC, p.sx, p.sy, SRCCOPY);
      }
    }
    SetTextColor(face, s == 3 ? skin::kDisabledCaptionColour : RGB(0, 0, 0));
    DrawCaptionText(face, caption, 2, 2, w - 4, h - 4, skin::kCaptionFormat);
    if (GetFocus() == window) DrawFocusBox(face, 2, 2, w - 4, h - 4);
  }
}
