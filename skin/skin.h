// The skin engine's entry point. Hands a window to the skin: a push button
// becomes a skinned button; a form or dialog has its push buttons skinned,
// every other descendant framed flat, and itself subclassed so that the
// dialogs it is activated against get skinned too. Everything is released as
// the windows are destroyed. Returns 1 when a skin was installed on the
// window itself, 0 otherwise.
#pragma once

#include <windows.h>

int SkinWindow(HWND window);
