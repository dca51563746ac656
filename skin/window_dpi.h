// The dots per inch a window is shown at, and sizes scaled from 96 to it.
// Per monitor where the platform says so (Windows 10 1607 on, Wine), else
// the screen's; 96 when nothing answers.
#pragma once

#include <windows.h>

namespace skin {

inline UINT WindowDpi(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpi && window) {
    if (const UINT dpi = getDpi(window)) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? UINT(dpi) : 96;
}

// A length given for 96 dots per inch, at `dpi`.
inline int ScaleForDpi(int length, UINT dpi) { return MulDiv(length, int(dpi), 96); }

}  // namespace skin
