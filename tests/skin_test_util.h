// Windows and pixels for the skin tests: a plain top-level parent, push
// buttons in it, and the pixels of a DC read back as COLORREF values.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_util {

// A visible, active top-level window of a plain class, destroyed at scope exit.
class TestParent {
 public:
  TestParent(int width = 400, int height = 300);
  ~TestParent();
  TestParent(const TestParent&) = delete;
  TestParent& operator=(const TestParent&) = delete;
  HWND get() const { return window_; }
  HWND AddButton(const std::wstring& caption, int x, int y, int width, int height,
                 DWORD style = BS_PUSHBUTTON);
  HWND AddChild(const wchar_t* className, DWORD style, DWORD exStyle, int x, int y, int width,
                int height, const std::wstring& text = L"");

 private:
  HWND window_;
};

struct Pixels {
  int width = 0, height = 0;
  std::vector<COLORREF> colours;  // row by row
  COLORREF at(int x, int y) const { return colours[size_t(y) * width + x]; }
};

// The pixels of the bitmap selected into a memory DC, or of a window DC.
Pixels ReadPixels(HDC dc, int width, int height);
Pixels ReadFace(HWND button, int state);
// What a window shows on the screen, through its whole-window DC.
Pixels ReadWindow(HWND window);
void PumpMessages();

}  // namespace testing_util
