// The skin engine's program-wide values, the per-window property helpers and
// the teardown that releases the atlas with the last counted window. Every
// window the skin serves keeps its own state in window properties; the
// engine holds no table of windows.
#pragma once

#include <windows.h>

#include <cstdint>

// Whether the probe has run and the atlas is built: 0 false, -1 true.
extern int16_t SkinInitialised;
// The memory DC holding the atlas bitmap; its only handle besides the bitmap's.
extern HDC AtlasDC;
extern HBITMAP AtlasBitmap;
// Whether user32 exports TrackMouseEvent: 0 false, -1 true.
extern int16_t HasUserTrackMouseEvent;
// Windows carrying the button and the form procedures.
extern int32_t SkinnedButtonCount;
extern int32_t SkinnedFormCount;

// Deletes the atlas and clears SkinInitialised once no skinned button and no
// skinned form is left. Called right after each count decrement.
void ReleaseSharedIfIdle();

namespace skin {

// The previous window procedure; non-zero marks a window as skinned.
inline constexpr char kProcAddr[] = "PROCADDR";

LONG_PTR GetProperty(HWND window, const char* key);
void SetProperty(HWND window, const char* key, LONG_PTR value);
void RemoveProperty(HWND window, const char* key);

// Swaps the window procedure and returns the previous one.
WNDPROC ReplaceWindowProc(HWND window, WNDPROC procedure);

// The convention every skin procedure follows. Install: refuse a window that
// already has "PROCADDR", else replace the procedure and store the previous
// one under "PROCADDR". Release: read "PROCADDR" (nullptr: not skinned),
// remove it, put the previous procedure back and return it.
bool InstallSkinProc(HWND window, WNDPROC procedure);
WNDPROC ReleaseSkinProc(HWND window);

}  // namespace skin
