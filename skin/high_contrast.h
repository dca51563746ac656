// Windows' high-contrast mode: while it is on, the skin draws in the colours
// the mode sets instead of its own, and without fades.
#pragma once

#include <windows.h>

namespace skin {

// Whether the mode is on (SPI_GETHIGHCONTRAST), or what a test said.
bool HighContrastOn();
// A test's answer where the platform cannot set the mode: 1 on, 0 off, -1
// asks Windows again.
void SetHighContrastForTesting(int on);

// A skinned button's face of `state` (0 normal, 1 hot, 2 pressed, 3
// disabled) in the mode's colours: face, text, highlight, grey text, frame.
void DrawContrastFace(HDC face, int width, int height, int state);

}  // namespace skin
