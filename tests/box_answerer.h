// Answers the message boxes a test brings up, from a second thread, as a user
// would: waits for a "#32770" window with the expected title, records its text
// and presses one of its buttons.
#pragma once

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

namespace testing_util {

struct ExpectedBox {
  std::wstring title;
  int button;  // IDOK or IDCANCEL
};

struct SeenBox {
  std::wstring title;
  std::wstring text;
  bool hasCancel;
  bool hasIcon;
  bool buttonSkinned;  // the button pressed carries the skin's "PROCADDR"
};

// A visible "#32770" window of the process with this title, or nullptr.
HWND FindDialogBox(DWORD process, const std::wstring& title);
// Whether a message box shows an icon.
bool HasIcon(HWND box);
// A message box's text: its static control 0xFFFF.
std::wstring DialogBoxText(HWND box);

class BoxAnswerer {
 public:
  explicit BoxAnswerer(std::vector<ExpectedBox> boxes);
  ~BoxAnswerer();  // waits for the thread
  BoxAnswerer(const BoxAnswerer&) = delete;
  BoxAnswerer& operator=(const BoxAnswerer&) = delete;

  // Waits for the thread and returns what it saw, in order.
  const std::vector<SeenBox>& Finish();

 private:
  std::vector<ExpectedBox> expected_;
  std::vector<SeenBox> seen_;
  std::thread thread_;
};

}  // namespace testing_util
