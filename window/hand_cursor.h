// Label2's pointer: a 32 x 32 monochrome pointing hand, hot spot at the
// fingertip (column 6, row 0).
#pragma once

#include <windows.h>

namespace form1 {

inline constexpr int kHandHotSpotX = 6;
inline constexpr int kHandHotSpotY = 0;

HCURSOR CreateHandCursor(HINSTANCE instance);

}  // namespace form1
