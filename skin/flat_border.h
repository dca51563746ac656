// The flat border: on a window with WS_EX_CLIENTEDGE, the sunken edge is
// painted over by a one-pixel line in the border colour with two rings of
// the control's background colour inside it. Other windows paint as before.
#pragma once

#include <windows.h>

int AddFlatBorder(HWND window);
int RemoveFlatBorder(HWND window);
LRESULT CALLBACK BorderWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int DrawFrameRect(HDC dc, int x, int y, int width, int height, COLORREF colour);

namespace skin {

inline constexpr COLORREF kBorderColour = 0xD5A554;
inline constexpr COLORREF kDisabledBorderColour = 0xCCCCCC;
// The line's colour: the skin's own, or the frame's (grey text's, disabled)
// while high contrast is on.
COLORREF FlatBorderColour(bool enabled);

}  // namespace skin
