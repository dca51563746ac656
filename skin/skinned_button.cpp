#include "skin/skinned_button.h"

#include <commctrl.h>

#include "skin/button_faces.h"
#include "skin/gdi_guards.h"
#include "skin/high_contrast.h"
#include "skin/shared_state.h"
#include "skin/window_dpi.h"

namespace {

using skin::GetProperty;
using skin::SetProperty;

enum ButtonState { kNormal = 0, kHot = 1, kPressed = 2, kDisabled = 3 };

// Fade start levels.
constexpr int kHoverLevel = 70;
constexpr int kSpaceLevel = 50;
constexpr int kPressLevel = 10;

HDC FaceDC(HWND window, int state) {
  return reinterpret_cast<HDC>(GetProperty(window, skin::FaceDCKey(state)));
}

// Corners rounded as at 96 dots per inch, in proportion at any other.
void SetButtonRegion(HWND window, int width, int height) {
  const int corner = skin::ScaleForDpi(3, skin::WindowDpi(window));
  SetWindowRgn(window, CreateRoundRectRgn(0, 0, width + 1, height + 1, corner, corner), TRUE);
}

// A passed-on message can destroy the window (a click handler may), which
// releases the skin: the rest of the row must then leave it alone.
bool StillSkinned(HWND window) { return GetProperty(window, skin::kProcAddr) != 0; }

LRESULT PassOn(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto previous = reinterpret_cast<WNDPROC>(GetProperty(window, skin::kProcAddr));
  return CallWindowProcW(previous, window, message, wParam, lParam);
}

// Records a new face and the level its fade starts from, and starts the fade.
void FadeTo(HWND window, int state, int level) {
  SetProperty(window, skin::kOldState, state);
  SetProperty(window, skin::kAlphaLevel, level);
  StartFade(window);
}

// Pressed and released: the mouse flag is cleared with the release.
void Release(HWND window) {
  SetProperty(window, skin::kOldState, kNormal);
  SetProperty(window, skin::kAlphaLevel, 0);
  SetProperty(window, skin::kMouseFlag, 0);
  StartFade(window);
}

void OnSize(HWND window) {
  WindowBounds b;
  GetWindowBounds(window, b);
  {
    const gdi::WindowDC dc = gdi::WindowDC::Whole(window);
    for (int s = 0; s < 4; ++s) {
      HBITMAP bitmap = CreateCompatibleBitmap(dc, b.width, b.height);
      DeleteObject(SelectObject(FaceDC(window, s), bitmap));
      SetProperty(window, skin::FaceBitmapKey(s), reinterpret_cast<LONG_PTR>(bitmap));
    }
    ComposeButtonFaces(window);
  }  // the whole-window DC goes back before the region changes the window
  SetButtonRegion(window, b.width, b.height);
}

void OnEnable(HWND window, bool enabled) {
  const gdi::WindowDC dc = gdi::WindowDC::Whole(window);
  WindowBounds b;
  GetWindowBounds(window, b);
  const int state = enabled ? kNormal : kDisabled;
  SetProperty(window, skin::kOldState, state);
  BitBlt(dc, 0, 0, b.width, b.height, FaceDC(window, state), 0, 0, SRCCOPY);
}

void OnPaint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  WindowBounds b;
  GetWindowBounds(window, b);
  const int state = int(GetProperty(window, skin::kOldState));
  BitBlt(dc, 0, 0, b.width, b.height, FaceDC(window, state), 0, 0, SRCCOPY);
  EndPaint(window, &paint);
}

void FadeStep(HWND window) {
  WindowBounds b;
  GetWindowBounds(window, b);
  const int state = int(GetProperty(window, skin::kOldState));
  const int level = int(GetProperty(window, skin::kAlphaLevel));
  {
    const gdi::WindowDC dc = gdi::WindowDC::Whole(window);
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, BYTE(level), 0};
    AlphaBlend(dc, 0, 0, b.width, b.height, FaceDC(window, state), 0, 0, b.width, b.height, blend);
  }
  const int next = level + skin::kFadeStep;
  if (next > 255) {
    StopFade(window);
    SetProperty(window, skin::kAlphaLevel, 0);
  } else {
    SetProperty(window, skin::kAlphaLevel, next);
  }
}

// The faces and every key but "PROCADDR", and the fade's timer.
void RemoveButtonProperties(HWND window) {
  for (int s = 0; s < 4; ++s) {
    DeleteDC(FaceDC(window, s));
    DeleteObject(reinterpret_cast<HGDIOBJ>(GetProperty(window, skin::FaceBitmapKey(s))));
    skin::RemoveProperty(window, skin::FaceDCKey(s));
    skin::RemoveProperty(window, skin::FaceBitmapKey(s));
  }
  StopFade(window);
  for (const char* key : {skin::kMouseFlag, skin::kTimerId, skin::kOldState, skin::kAlphaLevel}) {
    skin::RemoveProperty(window, key);
  }
}

}  // namespace

int SkinButton(HWND window) {
  if (GetProperty(window, skin::kProcAddr)) return 0;
  {
    const gdi::WindowDC dc = gdi::WindowDC::Whole(window);
    WindowBounds b;
    GetWindowBounds(window, b);
    for (int s = 0; s < 4; ++s) {
      HDC face = CreateCompatibleDC(dc);
      HBITMAP bitmap = CreateCompatibleBitmap(dc, b.width, b.height);
      DeleteObject(SelectObject(face, bitmap));
      SetProperty(window, skin::FaceDCKey(s), reinterpret_cast<LONG_PTR>(face));
      SetProperty(window, skin::FaceBitmapKey(s), reinterpret_cast<LONG_PTR>(bitmap));
    }
    ComposeButtonFaces(window);
  }
  const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  SendMessageW(window, BM_SETSTYLE, BS_OWNERDRAW, TRUE);
  SetProperty(window, skin::kMouseFlag, 0);
  SetProperty(window, skin::kTimerId, 0);
  SetProperty(window, skin::kOldState, IsWindowEnabled(window) ? kNormal : kDisabled);
  SetProperty(window, skin::kAlphaLevel, 0);
  WindowBounds b;
  GetWindowBounds(window, b);
  SetButtonRegion(window, b.width, b.height);
  // "PROCADDR" last of the thirteen; a window that cannot take the procedure
  // (one of another process) gets everything back and is not counted.
  if (!skin::InstallSkinProc(window, ButtonWndProc)) {
    RemoveButtonProperties(window);
    SendMessageW(window, BM_SETSTYLE, style & 0x0F, TRUE);
    SetWindowRgn(window, nullptr, TRUE);
    return 0;
  }
  ++SkinnedButtonCount;
  return 1;
}

int UnskinButton(HWND window) {
  const LONG_PTR previous = GetProperty(window, skin::kProcAddr);
  if (!previous) return 0;
  RemoveButtonProperties(window);
  skin::RemoveProperty(window, skin::kProcAddr);
  SetWindowLongPtrW(window, GWL_STYLE, GetWindowLongPtrW(window, GWL_STYLE) & ~LONG_PTR(0x0B));
  SetWindowRgn(window, nullptr, TRUE);
  skin::ReplaceWindowProc(window, reinterpret_cast<WNDPROC>(previous));
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE);
  --SkinnedButtonCount;
  ReleaseSharedIfIdle();
  return 1;
}

UINT_PTR StartFade(HWND window) {
  if (skin::HighContrastOn()) {
    // No fade: the new face at once.
    const gdi::WindowDC dc = gdi::WindowDC::Whole(window);
    WindowBounds b;
    GetWindowBounds(window, b);
    BitBlt(dc, 0, 0, b.width, b.height, FaceDC(window, int(GetProperty(window, skin::kOldState))),
           0, 0, SRCCOPY);
    return 0;
  }
  if (GetProperty(window, skin::kTimerId)) return 0;
  const UINT_PTR id = SetTimer(window, skin::kFadeTimer, skin::kFadePeriodMs, nullptr);
  SetProperty(window, skin::kTimerId, LONG_PTR(id));
  return id;
}

BOOL StopFade(HWND window) {
  const auto id = UINT_PTR(GetProperty(window, skin::kTimerId));
  if (!id) return 0;
  SetProperty(window, skin::kTimerId, 0);
  return KillTimer(window, id);
}

void TrackMouseLeave(HWND window) {
  TRACKMOUSEEVENT request{sizeof request, TME_LEAVE, window, 0};
  if (HasUserTrackMouseEvent) {
    TrackMouseEvent(&request);
  } else {
    _TrackMouseEvent(&request);
  }
}

LRESULT CALLBACK ButtonWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!window) return 0;
  if (!GetProperty(window, skin::kProcAddr)) {
    return DefWindowProcW(window, message, wParam, lParam);
  }
  LRESULT result = 0;
  switch (message) {
    case WM_DESTROY:
      UnskinButton(window);
      return 0;
    case WM_SIZE:
      result = PassOn(window, message, wParam, lParam);
      if (!StillSkinned(window)) return result;
      OnSize(window);
      return result;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      result = PassOn(window, message, wParam, lParam);
      if (!StillSkinned(window)) return result;
      ComposeButtonFaces(window);
      SetProperty(window, skin::kAlphaLevel, 0);
      StartFade(window);
      return result;
    case WM_ENABLE:
      result = PassOn(window, message, wParam, lParam);
      if (!StillSkinned(window)) return result;
      OnEnable(window, wParam != 0);
      return result;
    case WM_PAINT:
      OnPaint(window);
      return 0;
    case WM_KEYDOWN:
      result = PassOn(window, message, wParam, lParam);
      if (!StillSkinned(window)) return result;
      if (wParam == VK_SPACE) FadeTo(window, kPressed, kSpaceLevel);
      return result;
    case WM_KEYUP:
      result = PassOn(window, message, wParam, lParam);
      if (!StillSkinned(window)) return result;
      if (wParam == VK_SPACE) Release(window);
      return result;
    case WM_TIMER:
      FadeStep(window);
      return PassOn(window, message, wParam, lParam);
    case WM_MOUSEMOVE:
      result = PassOn(window, message, wParam, lParam);
      if (!StillSkinned(window)) return result;
      if (!GetProperty(window, skin::kMouseFlag)) {
        SetProperty(window, skin::kMouseFlag, 1);
        SetProperty(window, skin::kOldState, kHot);
        SetProperty(window, skin::kAlphaLevel, kHoverLevel);
        TrackMouseLeave(window);
        StartFade(window);
      }
      return result;
    case WM_LBUTTONDOWN:
      result = PassOn(window, message, wParam, lParam);
      if (!StillSkinned(window)) return result;
      FadeTo(window, kPressed, kPressLevel);
      return result;
    case WM_LBUTTONUP:
    case WM_MOUSELEAVE:
      result = PassOn(window, message, wParam, lParam);
      if (!StillSkinned(window)) return result;
      Release(window);
      return result;
  }
  return PassOn(window, message, wParam, lParam);
}
