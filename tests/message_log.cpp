#include "tests/message_log.h"

namespace testing_util {

namespace {

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MessageLog& log = Log();
  if (!log.recording) return DefWindowProcW(window, message, wParam, lParam);
  auto prop = [&](const char* key) { return reinterpret_cast<LONG_PTR>(GetPropA(window, key)); };
  log.seen.push_back({message, wParam, lParam, prop("OLDSTATE"), prop("ALPHALEVEL"),
                      prop("MOUSEFLAG"), prop("TIMERID")});
  if (log.act) log.act(window, message);
  // The default handling keeps the window a window (sizing sends WM_SIZE);
  // creation and sizing answers are kept, every other answer is the marker.
  const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_NCCREATE:
    case WM_CREATE:
    case WM_NCCALCSIZE:
    case WM_NCHITTEST:
    case WM_GETMINMAXINFO:
    case WM_WINDOWPOSCHANGING:
      return result;
  }
  return kRecorderResult;
}

}  // namespace

MessageLog& Log() {
  static MessageLog log;
  return log;
}

HWND CreateRecordingWindow(HWND parent, int x, int y, int width, int height, DWORD exStyle,
                           DWORD style) {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TarvelloRecorder";
    return RegisterClassW(&wc) != 0;
  }();
  (void)registered;
  return CreateWindowExW(exStyle, L"TarvelloRecorder", L"", style, x, y, width, height, parent,
                         nullptr, GetModuleHandleW(nullptr), nullptr);
}

}  // namespace testing_util
