// Composes the four faces of a skinned button (normal, hot, pressed,
// disabled) into the face DCs kept under "HDC0" to "HDC3": nine pieces of the
// atlas tile, the caption centred on top, and the focus rectangle while the
// button has the focus.
#pragma once

#include <windows.h>

#include <string>

struct WindowBounds {
  int left, top, right, bottom;
  int width, height;
};

void ComposeButtonFaces(HWND window);
// The outer window rectangle and its size; all zero when the query fails.
BOOL GetWindowBounds(HWND window, WindowBounds& bounds);
// The window's text as long as the window says it is: NULs may end it.
std::wstring GetWindowCaption(HWND window);
int DrawCaptionText(HDC dc, const std::wstring& text, int x, int y, int width, int height,
                    UINT format);
BOOL DrawFocusBox(HDC dc, int x, int y, int width, int height);

namespace skin {

// DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS
inline constexpr UINT kCaptionFormat = 0x8025;
inline constexpr COLORREF kDisabledCaptionColour = 0x808080;

// "HDC0" ... "BMP3": the face keys of state s. A state out of range names a
// key that no window holds, so that it reads as 0 and draws nothing.
inline const char* FaceDCKey(int state) {
  static const char* const keys[] = {"HDC0", "HDC1", "HDC2", "HDC3"};
  return state >= 0 && state < 4 ? keys[state] : "HDC?";
}
inline const char* FaceBitmapKey(int state) {
  static const char* const keys[] = {"BMP0", "BMP1", "BMP2", "BMP3"};
  return state >= 0 && state < 4 ? keys[state] : "BMP?";
}

}  // namespace skin
