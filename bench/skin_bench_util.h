// A skinned 129 x 33 push button in a hidden window, for the skin benchmarks.
#pragma once

#include <windows.h>

#include "skin/skin.h"

namespace bench {

struct SkinnedButton {
  HWND parent, button;
  SkinnedButton() {
    parent = CreateWindowExW(0, L"Static", nullptr, WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr,
                             nullptr, nullptr, nullptr);
    button = CreateWindowExW(0, L"Button", L"粉碎文件", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10,
                             10, 129, 33, parent, nullptr, nullptr, nullptr);
    SkinWindow(button);
  }
  ~SkinnedButton() { DestroyWindow(parent); }
  HDC Face(int state) const {
    static const char* const keys[] = {"HDC0", "HDC1", "HDC2", "HDC3"};
    return static_cast<HDC>(GetPropA(button, keys[state]));
  }
};

}  // namespace bench
