#include "tests/box_answerer.h"

namespace testing_util {

namespace {

struct FindContext {
  const std::wstring* title;
  DWORD process;
  HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM lParam) {
  auto* context = reinterpret_cast<FindContext*>(lParam);
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != context->process || wcscmp(className, L"#32770") != 0 ||
      !IsWindowVisible(window)) {
    return TRUE;
  }
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  if (*context->title != title) return TRUE;
  context->found = window;
  return FALSE;
}

}  // namespace

bool HasIcon(HWND box) {
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child) &&
        SendMessageW(child, STM_GETICON, 0, 0)) {
      return true;
    }
  }
  return false;
}

HWND FindDialogBox(DWORD process, const std::wstring& title) {
  FindContext context{&title, process, nullptr};
  EnumWindows(FindBox, LPARAM(&context));
  return context.found;
}

std::wstring DialogBoxText(HWND box) {
  wchar_t text[4096] = {};
  GetDlgItemTextW(box, 0xFFFF, text, 4096);
  return text;
}

BoxAnswerer::BoxAnswerer(std::vector<ExpectedBox> boxes) : expected_(std::move(boxes)) {
  thread_ = std::thread([this] {
    for (const ExpectedBox& box : expected_) {
      HWND found = nullptr;
      // Generous: the first box of a new Wine prefix waits for the font cache.
      for (int i = 0; i < 3000 && !found; ++i) {
        found = FindDialogBox(GetCurrentProcessId(), box.title);
        if (!found) Sleep(10);
      }
      if (!found) continue;  // the next box must still be answered, or the test hangs
      Sleep(20);             // let the box finish its own initialisation
      HWND button = GetDlgItem(found, box.button);
      if (!button) button = GetDlgItem(found, IDOK);
      seen_.push_back({box.title, DialogBoxText(found), GetDlgItem(found, IDCANCEL) != nullptr,
                       HasIcon(found), GetPropA(button, "PROCADDR") != nullptr});
      PostMessageW(button, BM_CLICK, 0, 0);
      // Wait until this box is gone before looking for the next one.
      for (int i = 0; i < 1000 && IsWindow(found); ++i) Sleep(5);
    }
  });
}

BoxAnswerer::~BoxAnswerer() {
  if (thread_.joinable()) thread_.join();
}

const std::vector<SeenBox>& BoxAnswerer::Finish() {
  if (thread_.joinable()) thread_.join();
  return seen_;
}

}  // namespace testing_util
