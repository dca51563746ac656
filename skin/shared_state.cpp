#include "skin/shared_state.h"

int16_t SkinInitialised = 0;
HDC AtlasDC = nullptr;
HBITMAP AtlasBitmap = nullptr;
int16_t HasUserTrackMouseEvent = 0;
int32_t SkinnedButtonCount = 0;
int32_t SkinnedFormCount = 0;

void ReleaseSharedIfIdle() {
  if (SkinnedButtonCount > 0 || SkinnedFormCount > 0) return;
  DeleteDC(AtlasDC);
  // The bitmap is free once its DC is gone; nothing else holds it.
  DeleteObject(AtlasBitmap);
  AtlasBitmap = nullptr;
  SkinInitialised = 0;
}

namespace skin {

// Property names are ASCII; the A functions store them under the same atoms
// as the W ones and do not change how the window treats text.
LONG_PTR GetProperty(HWND window, const char* key) {
  return reinterpret_cast<LONG_PTR>(GetPropA(window, key));
}

void SetProperty(HWND window, const char* key, LONG_PTR value) {
  SetPropA(window, key, reinterpret_cast<HANDLE>(value));
}

void RemoveProperty(HWND window, const char* key) { RemovePropA(window, key); }

WNDPROC ReplaceWindowProc(HWND window, WNDPROC procedure) {
  // The W function: the windows are Unicode and must stay so.
  return reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
}

bool InstallSkinProc(HWND window, WNDPROC procedure) {
  if (GetProperty(window, kProcAddr)) return false;
  // Fails for a window of another process: then nothing is recorded.
  const WNDPROC previous = ReplaceWindowProc(window, procedure);
  if (!previous) return false;
  SetProperty(window, kProcAddr, reinterpret_cast<LONG_PTR>(previous));
  return true;
}

WNDPROC ReleaseSkinProc(HWND window) {
  const auto previous = reinterpret_cast<WNDPROC>(GetProperty(window, kProcAddr));
  if (!previous) return nullptr;
  RemoveProperty(window, kProcAddr);
  ReplaceWindowProc(window, previous);
  return previous;
}

}  // namespace skin
