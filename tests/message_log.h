// A recording window procedure for the skin's message-sequence tests: the
// window's own procedure before the skin, logging each message that reaches
// it together with the skin's properties at that moment, and answering with
// a marker so that a test sees whose result came back.
#pragma once

#include <windows.h>

#include <vector>

namespace testing_util {

inline constexpr LRESULT kRecorderResult = 0x5150;

struct Seen {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  LONG_PTR oldState, alphaLevel, mouseFlag, timerId;
};

struct MessageLog {
  std::vector<Seen> seen;
  bool recording = false;
  // Called after the message is logged, as a handler of the window would act.
  void (*act)(HWND window, UINT message) = nullptr;
  void Clear() { seen.clear(); }
  int Count(UINT message) const {
    int n = 0;
    for (const Seen& s : seen) n += s.message == message;
    return n;
  }
};

MessageLog& Log();
// Creates a child window of the recording class.
HWND CreateRecordingWindow(HWND parent, int x, int y, int width, int height, DWORD exStyle = 0,
                           DWORD style = WS_CHILD | WS_VISIBLE);

}  // namespace testing_util
