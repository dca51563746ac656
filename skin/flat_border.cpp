#include "skin/flat_border.h"

#include "skin/button_faces.h"
#include "skin/gdi_guards.h"
#include "skin/high_contrast.h"
#include "skin/shared_state.h"

namespace {

// Asks for the whole frame; lParam is not read by the message.
void RepaintFrame(HWND window) {
  static const DWORD zero = 0;
  SendMessageW(window, WM_NCPAINT, 1, reinterpret_cast<LPARAM>(&zero));
}

// One device pixel of outline at every display scale (a hairline, as the
// flat look wants, not a width in points), then the sunken edge's rings
// painted over in the background.
void PaintFlatFrame(HWND window) {
  WindowBounds b;
  GetWindowBounds(window, b);
  const gdi::WindowDC whole = gdi::WindowDC::Whole(window);
  const gdi::WindowDC client = gdi::WindowDC::Client(window);
  const COLORREF border = skin::FlatBorderColour(IsWindowEnabled(window));
  DrawFrameRect(whole, 0, 0, b.width, b.height, border);
  DrawFrameRect(whole, 1, 1, b.width - 2, b.height - 2, GetBkColor(client));
  DrawFrameRect(whole, 2, 2, b.width - 4, b.height - 4, GetBkColor(client));
}

}  // namespace

int AddFlatBorder(HWND window) {
  if (!skin::InstallSkinProc(window, BorderWndProc)) return 0;
  RepaintFrame(window);  // through BorderWndProc, which finds "PROCADDR" stored
  return 1;
}

int RemoveFlatBorder(HWND window) {
  if (!skin::ReleaseSkinProc(window)) return 0;
  RepaintFrame(window);  // the previous procedure repaints its own frame
  return 1;
}

LRESULT CALLBACK BorderWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!window) return 0;
  const auto previous = reinterpret_cast<WNDPROC>(skin::GetProperty(window, skin::kProcAddr));
  if (!previous) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_DESTROY) {
    RemoveFlatBorder(window);
    return 0;
  }
  const LRESULT result = CallWindowProcW(previous, window, message, wParam, lParam);
  if (message == WM_NCPAINT && (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_CLIENTEDGE)) {
    PaintFlatFrame(window);
  }
  return result;
}

COLORREF skin::FlatBorderColour(bool enabled) {
  if (skin::HighContrastOn()) return GetSysColor(enabled ? COLOR_WINDOWFRAME : COLOR_GRAYTEXT);
  return enabled ? kBorderColour : kDisabledBorderColour;
}

int DrawFrameRect(HDC dc, int x, int y, int width, int height, COLORREF colour) {
  const RECT r{x, y, x + width, y + height};
  const gdi::Brush brush(CreateSolidBrush(colour));
  return FrameRect(dc, &r, brush);
}
