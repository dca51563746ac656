// Start-up: creates the main window, shows it and runs the message loop, with
// the dialog manager's keyboard handling for the tab order.
#include <windows.h>

#include "window/main_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // A drive without a medium fails quietly instead of asking the user.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HWND form = form1::CreateForm1(instance);
  if (!form) return 1;
  form1::ShowForm1(form);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (form1::IsForm1DialogMessage(form, message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return int(message.wParam);
}
