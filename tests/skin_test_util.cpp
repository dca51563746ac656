#include "tests/skin_test_util.h"

#include "skin/button_faces.h"
#include "skin/shared_state.h"

namespace testing_util {

namespace {

const wchar_t kParentClass[] = L"TarvelloTestParent";

void RegisterParentClass() {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kParentClass;
    return RegisterClassW(&wc) != 0;
  }();
  (void)registered;
}

}  // namespace

TestParent::TestParent(int width, int height) {
  RegisterParentClass();
  window_ = CreateWindowExW(0, kParentClass, L"test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                            width, height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetForegroundWindow(window_);
  SetActiveWindow(window_);
  PumpMessages();
}

TestParent::~TestParent() {
  DestroyWindow(window_);
  PumpMessages();
}

HWND TestParent::AddButton(const std::wstring& caption, int x, int y, int width, int height,
                           DWORD style) {
  return AddChild(L"Button", WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 0, x, y, width, height,
                  caption);
}

HWND TestParent::AddChild(const wchar_t* className, DWORD style, DWORD exStyle, int x, int y,
                          int width, int height, const std::wstring& text) {
  return CreateWindowExW(exStyle, className, text.c_str(), style, x, y, width, height, window_,
                         nullptr, GetModuleHandleW(nullptr), nullptr);
}

Pixels ReadPixels(HDC dc, int width, int height) {
  Pixels p{width, height, std::vector<COLORREF>(size_t(width) * height)};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) p.colours[size_t(y) * width + x] = GetPixel(dc, x, y);
  return p;
}

Pixels ReadFace(HWND button, int state) {
  WindowBounds b;
  GetWindowBounds(button, b);
  return ReadPixels(reinterpret_cast<HDC>(GetPropA(button, skin::FaceDCKey(state))), b.width,
                    b.height);
}

Pixels ReadWindow(HWND window) {
  WindowBounds b;
  GetWindowBounds(window, b);
  HDC dc = GetWindowDC(window);
  Pixels p = ReadPixels(dc, b.width, b.height);
  ReleaseDC(window, dc);
  return p;
}

void PumpMessages() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}

}  // namespace testing_util
