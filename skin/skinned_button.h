// A skinned push button: the platform's button keeps its logic, the skin
// shows one of four composed faces and fades into each new face by blending
// it over the window at a rising constant alpha, one step every 15 ms.
//
// State lives in thirteen window properties: "PROCADDR", "MOUSEFLAG",
// "TIMERID", "OLDSTATE", "ALPHALEVEL", and the face DCs and bitmaps "HDC0" to
// "HDC3" and "BMP0" to "BMP3".
#pragma once

#include <windows.h>

int SkinButton(HWND window);
int UnskinButton(HWND window);
LRESULT CALLBACK ButtonWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
UINT_PTR StartFade(HWND window);
BOOL StopFade(HWND window);
void TrackMouseLeave(HWND window);

namespace skin {

inline constexpr char kMouseFlag[] = "MOUSEFLAG";
inline constexpr char kTimerId[] = "TIMERID";
inline constexpr char kOldState[] = "OLDSTATE";
inline constexpr char kAlphaLevel[] = "ALPHALEVEL";

inline constexpr UINT_PTR kFadeTimer = 1;
inline constexpr UINT kFadePeriodMs = 15;
inline constexpr int kFadeStep = 3;

}  // namespace skin
