// The real program, started as a user starts it and driven from this separate
// process: find the window by its caption and its controls by class and place,
// collect files, shred them, answer both boxes, and check the files are gone.
#include <gtest/gtest.h>

#include <vector>

#include "tests/box_answerer.h"
#include "tests/screenshot.h"
#include "tests/temp_folder.h"

namespace {

using testing_util::Exists;
using testing_util::TempFolder;
using testing_util::WriteBytes;

const wchar_t kCaption[] = L"TarvelloV1.0 正式版 https://tarvello.example/";

std::wstring ExeFolder() {
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring folder(exe);
  return folder.substr(0, folder.find_last_of(L'\\'));
}

template <typename Probe>
auto WaitFor(Probe probe, int milliseconds = 30000) {
  for (int waited = 0;; waited += 20) {
    if (auto found = probe(); found || waited >= milliseconds) return found;
    Sleep(20);
  }
}

struct ChildQuery {
  const wchar_t* className;
  POINT topLeft;
  HWND parent;
  HWND found;
};

BOOL CALLBACK MatchChild(HWND child, LPARAM lParam) {
  auto* q = reinterpret_cast<ChildQuery*>(lParam);
  wchar_t name[64] = {};
  GetClassNameW(child, name, 64);
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, q->parent, reinterpret_cast<POINT*>(&r), 2);
  if (_wcsicmp(name, q->className) == 0 && r.left == q->topLeft.x && r.top == q->topLeft.y) {
    q->found = child;
    return FALSE;
  }
  return TRUE;
}

HWND ChildAt(HWND parent, const wchar_t* className, POINT topLeft) {
  ChildQuery q{className, topLeft, parent, nullptr};
  EnumChildWindows(parent, MatchChild, LPARAM(&q));
  return q.found;
}

HWND FindBox(DWORD process, const wchar_t* title) {
  return WaitFor([&] { return testing_util::FindDialogBox(process, title); });
}

RECT Bounds(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return r;
}

// A mouse click on a point of a control's client area, as the control sees it.
void ClickAt(HWND window, int x, int y) {
  PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

void Settle() { Sleep(300); }

TEST(EndToEnd, CollectAndShredFilesInTheRealProgram) {
  TempFolder dir;
  const std::vector<std::wstring> names = {L"a-report.txt", L"b-한국어.txt", L"c-photo.jpg"};
  for (const auto& name : names) ASSERT_TRUE(WriteBytes(dir / name, "private data"));
  ASSERT_TRUE(WriteBytes(dir / L"d-keep.txt", "stays"));

  std::wstring commandLine = L"\"" + ExeFolder() + L"\\tarvello.exe\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             dir.path().c_str(), &startup, &process));

  HWND form = WaitFor([] { return FindWindowW(L"Form", kCaption); });
  ASSERT_NE(form, nullptr) << "the main window did not appear";
  WaitForInputIdle(process.hProcess, 10000);
  Settle();

  HWND list1 = ChildAt(form, L"ListBox", {8, 24});
  HWND file1 = ChildAt(form, L"ListBox", {176, 264});
  HWND text1 = ChildAt(form, L"Edit", {176, 367});
  HWND add = ChildAt(form, L"Button", {384, 368});
  HWND shred = ChildAt(form, L"Button", {56, 392});
  ASSERT_TRUE(list1 && file1 && text1 && add && shred);
  ASSERT_EQ(SendMessageW(file1, LB_GETCOUNT, 0, 0), 4);

  // Click each of the first three files (12-pixel rows), then "添 加".
  for (int row = 0; row < 3; ++row) {
    ClickAt(file1, 20, row * 12 + 6);
    Settle();
    wchar_t path[MAX_PATH] = {};
    SendMessageW(text1, WM_GETTEXT, MAX_PATH, LPARAM(path));  // GetWindowText would not ask it
    EXPECT_EQ(std::wstring(path), dir / names[row]);
    PostMessageW(add, BM_CLICK, 0, 0);
    Settle();
  }
  ASSERT_EQ(SendMessageW(list1, LB_GETCOUNT, 0, 0), 3);
  testing_util::SaveScreenRect(Bounds(form),
                               testing_util::ScreenshotFolder() + L"\\main-window.bmp");

  PostMessageW(shred, BM_CLICK, 0, 0);
  HWND confirm = FindBox(process.dwProcessId, L"警告");
  ASSERT_NE(confirm, nullptr);
  EXPECT_EQ(testing_util::DialogBoxText(confirm), L"您确认粉碎已选文件吗？");
  Settle();
  // The box got the skin when the main window was deactivated against it.
  EXPECT_NE(GetPropA(GetDlgItem(confirm, IDOK), "PROCADDR"), nullptr);
  EXPECT_NE(GetPropA(GetDlgItem(confirm, IDCANCEL), "PROCADDR"), nullptr);
  EXPECT_NE(GetPropA(confirm, "PROCADDR"), nullptr);
  Sleep(700);
  RECT both = Bounds(form);
  const RECT box = Bounds(confirm);
  UnionRect(&both, &both, &box);
  testing_util::SaveScreenRect(both, testing_util::ScreenshotFolder() + L"\\confirmation.bmp");
  PostMessageW(GetDlgItem(confirm, IDOK), BM_CLICK, 0, 0);

  HWND done = FindBox(process.dwProcessId, L"提示");
  ASSERT_NE(done, nullptr);
  EXPECT_EQ(testing_util::DialogBoxText(done), L"已选文件粉碎完成！");
  PostMessageW(GetDlgItem(done, IDOK), BM_CLICK, 0, 0);
  Settle();

  for (const auto& name : names) EXPECT_FALSE(Exists(dir / name));
  EXPECT_TRUE(Exists(dir / L"d-keep.txt"));
  EXPECT_EQ(SendMessageW(list1, LB_GETCOUNT, 0, 0), 0);

  PostMessageW(form, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 15000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace
