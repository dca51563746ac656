// The main window in-process: layout, fonts, tab order, labels, and every
// handler driven through real messages on real folders.
#include "window/main_window.h"
#include "window/shred_progress.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <array>
#include <atomic>
#include <map>
#include <set>
#include <thread>

#include "engine/record_check.h"
#include "engine/shred_run.h"
#include "engine/win32/record.h"
#include "skin/window_dpi.h"
#include "tests/box_answerer.h"
#include "tests/list_items.h"
#include "tests/skin_test_util.h"
#include "tests/temp_folder.h"
#include "window/form1_layout.h"

namespace form1 {
namespace {

using testing_util::BoxAnswerer;
using testing_util::Exists;
using testing_util::ListItems;
using testing_util::TempFolder;
using testing_util::WriteBytes;

std::wstring Text(HWND window) {
  wchar_t text[2048] = {};
  GetWindowTextW(window, text, 2048);
  return text;
}

MSG KeyDown(HWND window, WPARAM key) {
  MSG message{};
  message.hwnd = window;
  message.message = WM_KEYDOWN;
  message.wParam = key;
  return message;
}

RECT ClientPlace(HWND form, HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GetCurrentDirectoryW(MAX_PATH, previous_);
    ASSERT_TRUE(WriteBytes(dir / L"b.txt", "b"));
    ASSERT_TRUE(WriteBytes(dir / L"A.txt", "a"));
    ASSERT_TRUE(WriteBytes(dir / L"hidden.txt", "h"));
    ASSERT_TRUE(WriteBytes(dir / L"system.txt", "s"));
    SetFileAttributesW((dir / L"hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW((dir / L"system.txt").c_str(), FILE_ATTRIBUTE_SYSTEM);
    ASSERT_TRUE(CreateDirectoryW((dir / L"sub").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(dir / L"sub\\inner.txt", "i"));
    SetCurrentDirectoryW(dir.path().c_str());
    DeclareDpiAwareness();  // as the program's manifest does
    form = CreateForm1(GetModuleHandleW(nullptr));
    ASSERT_NE(form, nullptr);
    ShowForm1(form);
  }
  void TearDown() override {
    DestroyWindow(form);
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    SetCurrentDirectoryW(previous_);
  }
  HWND C(const wchar_t* name) { return Form1Control(form, name); }
  void Type(HWND edit, const std::wstring& text) {
    SetFocus(edit);
    for (wchar_t ch : text) SendMessageW(edit, WM_CHAR, ch, 1);
  }
  void Click(const wchar_t* button) { SendMessageW(C(button), BM_CLICK, 0, 0); }
  // Adds `count` files of 24 MiB each through the text box; returns their bytes.
  std::string AddBigFiles(int count) {
    const std::string big(24u << 20, 'z');
    for (int i = 0; i < count; ++i) {
      const std::wstring path = dir / (L"big-" + std::to_wstring(i) + L".bin");
      EXPECT_TRUE(WriteBytes(path, big));
      SetWindowTextW(C(L"Text1"), path.c_str());
      Click(L"Command1");
    }
    return big;
  }
  void Notify(const wchar_t* control, int code) {
    HWND window = C(control);
    SendMessageW(form, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), code), LPARAM(window));
  }
  void SelectFile(const std::wstring& name) {
    HWND list = C(L"File1");
    const int count = int(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      SendMessageW(list, LB_SETCURSEL, i, 0);
      Notify(L"File1", LBN_SELCHANGE);
      const std::wstring text = Text(C(L"Text1"));
      if (text.size() >= name.size() &&
          text.compare(text.size() - name.size(), name.size(), name) == 0)
        return;
    }
    ADD_FAILURE() << "no file named " << testing::PrintToString(name);
  }
  // Double-clicks the folder list's entry whose text is `name`.
  void OpenFolder(int index) {
    SendMessageW(C(L"Dir1"), LB_SETCURSEL, index, 0);
    Notify(L"Dir1", LBN_DBLCLK);
  }
  void MouseOnForm(UINT message, POINT at) {
    SendMessageW(form, message, 0, MAKELPARAM(at.x, at.y));
  }

  TempFolder dir;
  HWND form = nullptr;
  wchar_t previous_[MAX_PATH];
};

TEST_F(MainWindowTest, WindowHasItsCaptionClassAndClientSize) {
  EXPECT_EQ(Text(form), L"TarvelloV1.0 正式版 https://tarvello.example/");
  wchar_t className[32];
  GetClassNameW(form, className, 32);
  EXPECT_STREQ(className, L"Form");
  RECT client;
  GetClientRect(form, &client);
  EXPECT_EQ(client.right, 450);
  EXPECT_EQ(client.bottom, 445);
  EXPECT_EQ(GetFocus(), C(L"List1"));
  RECT window;
  GetWindowRect(form, &window);
  EXPECT_LE(std::abs((window.left + window.right) / 2 - GetSystemMetrics(SM_CXSCREEN) / 2), 1);
  EXPECT_LE(std::abs((window.top + window.bottom) / 2 - GetSystemMetrics(SM_CYSCREEN) / 2), 1);
}

// The controls' places as the layout gives them: left, top, width, height.
const std::map<std::wstring, std::array<int, 4>> kSpecifiedTwips = {
    {L"Command3", {3960, 5880, 1935, 495}}, {L"Command2", {840, 5880, 1935, 495}},
    {L"Command1", {5760, 5520, 855, 255}},  {L"Text1", {2640, 5510, 3135, 270}},
    {L"File1", {2640, 3960, 3975, 1470}},   {L"Dir1", {120, 4200, 2535, 1560}},
    {L"Drive1", {120, 3960, 2535, 300}},    {L"List1", {120, 360, 6495, 3450}},
};

TEST_F(MainWindowTest, ControlsStandInTheirPlacesWithTheirFonts) {
  std::set<HFONT> fonts;
  for (const ControlSpec& c : kControls) {
    if (c.kind == ControlKind::Label) continue;
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
    HWND control = C(c.name);
    ASSERT_NE(control, nullptr);
    const RECT r = ClientPlace(form, control);
    // Where the control must stand, in twips as specified, 15 to the pixel.
    const auto twips = kSpecifiedTwips.find(c.name);
    ASSERT_NE(twips, kSpecifiedTwips.end());
    const auto [left, top, width, height] = twips->second;
    EXPECT_EQ(r.left, (left + 7) / 15);
    EXPECT_EQ(r.top, (top + 7) / 15);
    EXPECT_EQ(r.right - r.left, (width + 7) / 15);
    EXPECT_EQ(r.bottom - r.top, (height + 7) / 15);
    EXPECT_FALSE(GetWindowLongW(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    // (The edit control takes WS_BORDER off its style and draws the line itself.)
    if (c.kind == ControlKind::ListBox || c.kind == ControlKind::FileList ||
        c.kind == ControlKind::FolderList) {
      EXPECT_TRUE(GetWindowLongW(control, GWL_STYLE) & WS_BORDER);
    }
    if (c.caption) {
      EXPECT_EQ(Text(control), c.caption);
    }

    HFONT font = HFONT(SendMessageW(control, WM_GETFONT, 0, 0));
    fonts.insert(font);
    LOGFONTW lf{};
    ASSERT_TRUE(GetObjectW(font, sizeof lf, &lf));
    EXPECT_STREQ(lf.lfFaceName, L"宋体");
    EXPECT_EQ(lf.lfCharSet, 134);
    const bool bold = c.font == FontId::ButtonBold;
    EXPECT_EQ(lf.lfHeight, bold ? -14 : -12);
    EXPECT_EQ(lf.lfWeight, bold ? 700 : 400);
    EXPECT_FALSE(lf.lfUnderline || lf.lfItalic || lf.lfStrikeOut);
  }
  EXPECT_EQ(fonts.size(), 2u) << "one font object per distinct font";
}

// At any display scale the window is the same size in inches: the layout's
// twips at the window's dots per inch, fonts at their points, no text cut,
// the caption whole, the skinned buttons' faces and corners at their size.
// (The test command runs this one again in prefixes at 120 and 144.)
TEST_F(MainWindowTest, TheLayoutFollowsTheDisplayScale) {
  const UINT dpi = skin::WindowDpi(form);
  if (const char* expected = getenv("TARVELLO_EXPECT_DPI")) {
    ASSERT_EQ(dpi, UINT(atoi(expected))) << "the prefix's display scale";
  }
  const auto at = [dpi](int pixelsAt96) { return MulDiv(pixelsAt96, int(dpi), 96); };
  RECT client;
  GetClientRect(form, &client);
  EXPECT_NEAR(client.right, at(kClientWidth), 1);
  EXPECT_NEAR(client.bottom, at(kClientHeight), 1);
  HDC screen = GetDC(nullptr);
  for (const ControlSpec& c : kControls) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
    if (c.kind == ControlKind::Label) {
      const RECT r = Form1LabelRect(form, c.name);
      EXPECT_NEAR(r.left, at(c.left), 1);
      EXPECT_NEAR(r.top, at(c.top), 1);
      // Its text extent (which it is sized to) inside the window, and its
      // glyphs above the window's bottom edge.
      EXPECT_LE(r.right, client.right) << "the label's text fits in the window";
      EXPECT_LE(r.top + (r.bottom - r.top) * 4 / 5, client.bottom);
      continue;
    }
    HWND control = C(c.name);
    const RECT r = ClientPlace(form, control);
    EXPECT_NEAR(r.left, at(c.left), 1);
    EXPECT_NEAR(r.top, at(c.top), 1);
    EXPECT_NEAR(r.right - r.left, at(c.width), 1);
    EXPECT_NEAR(r.bottom - r.top, at(c.height), 1);
    const HFONT font = HFONT(SendMessageW(control, WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    ASSERT_TRUE(GetObjectW(font, sizeof lf, &lf));
    const int points = c.font == FontId::Window ? 90 : c.font == FontId::Title ? 120 : 105;
    EXPECT_EQ(lf.lfHeight, -MulDiv(points, int(dpi), 720)) << "its points at this scale";
    const HGDIOBJ old = SelectObject(screen, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(screen, &metrics);
    RECT inside;
    GetClientRect(control, &inside);
    if (c.kind == ControlKind::CommandButton) {
      SIZE extent{};
      GetTextExtentPoint32W(screen, c.caption, int(wcslen(c.caption)), &extent);
      EXPECT_LE(extent.cx, inside.right - 4) << "the caption is not cut";
      EXPECT_LE(extent.cy, inside.bottom - 2);
    } else if (c.kind == ControlKind::TextBox || c.kind == ControlKind::DriveList) {
      EXPECT_LE(metrics.tmHeight, inside.bottom) << "a line of text fits";
    } else {
      // Rows of 12 pixels at 96 (the font's cell is 14, its glyphs 12 high):
      // in proportion at any scale.
      const int row = c.kind == ControlKind::FolderList ? 16 : 12;
      EXPECT_NEAR(SendMessageW(control, LB_GETITEMHEIGHT, 0, 0), at(row), 1);
      EXPECT_GE(SendMessageW(control, LB_GETITEMHEIGHT, 0, 0),
                metrics.tmAscent + metrics.tmDescent - metrics.tmInternalLeading)
          << "a row holds a line of glyphs";
    }
    SelectObject(screen, old);
  }
  // The caption, in the caption font at this scale, beside the icon and the
  // two caption buttons.
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  using ForDpi = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
  const auto forDpi = reinterpret_cast<ForDpi>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "SystemParametersInfoForDpi")));
  if (!forDpi || !forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi))
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  const HFONT captionFont = CreateFontIndirectW(&metrics.lfCaptionFont);
  const HGDIOBJ old = SelectObject(screen, captionFont);
  SIZE caption{};
  const std::wstring text = Caption();
  GetTextExtentPoint32W(screen, text.c_str(), int(text.size()), &caption);
  SelectObject(screen, old);
  DeleteObject(captionFont);
  RECT window;
  GetWindowRect(form, &window);
  EXPECT_LE(caption.cx + 2 * metrics.iCaptionWidth + metrics.iCaptionHeight + 16,
            window.right - window.left)
      << "the caption is whole";
  ReleaseDC(nullptr, screen);
  // A skinned button: its faces composed at its size, corners in proportion.
  HWND button = C(L"Command2");
  RECT size;
  GetWindowRect(button, &size);
  const int width = size.right - size.left, height = size.bottom - size.top;
  BITMAP face{};
  ASSERT_TRUE(GetObjectW(HBITMAP(GetPropA(button, "BMP0")), sizeof face, &face));
  EXPECT_EQ(face.bmWidth, width);
  EXPECT_EQ(face.bmHeight, height);
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(button, region), ERROR);
  const int corner = at(3) / 2;  // the rounding's depth along an edge
  EXPECT_FALSE(PtInRegion(region, 0, 0)) << "a rounded corner";
  EXPECT_TRUE(PtInRegion(region, corner + 1, corner + 1));
  EXPECT_TRUE(PtInRegion(region, width / 2, 0));
  EXPECT_TRUE(PtInRegion(region, width - 1 - corner - 1, height - 1 - corner - 1));
  DeleteObject(region);
}

// Moved to a screen at 150 % and back: the platform's suggested rectangle,
// the controls, their fonts and the skinned buttons' faces follow, and at
// 96 again every control stands where it stood.
TEST_F(MainWindowTest, ANewDisplayScaleLaysTheWindowOutAgain) {
  const UINT dpi = skin::WindowDpi(form);
  std::map<std::wstring, RECT> before;
  for (const ControlSpec& c : kControls)
    if (c.id) before[c.name] = ClientPlace(form, C(c.name));
  const auto rescale = [&](UINT to) {
    RECT frame{0, 0, MulDiv(kClientWidth, int(to), 96), MulDiv(kClientHeight, int(to), 96)};
    AdjustWindowRectEx(&frame, GetWindowLongW(form, GWL_STYLE), FALSE, 0);
    OffsetRect(&frame, 10 - frame.left, 10 - frame.top);
    SendMessageW(form, WM_DPICHANGED, MAKEWPARAM(to, to), LPARAM(&frame));
  };
  rescale(dpi * 3 / 2);
  for (const ControlSpec& c : kControls) {
    if (!c.id) continue;
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
    const RECT r = ClientPlace(form, C(c.name));
    EXPECT_NEAR(r.left, MulDiv(before[c.name].left, 3, 2), 1);
    EXPECT_NEAR(r.top, MulDiv(before[c.name].top, 3, 2), 1);
    EXPECT_NEAR(r.right - r.left, MulDiv(before[c.name].right - before[c.name].left, 3, 2), 1);
    LOGFONTW lf{};
    GetObjectW(HFONT(SendMessageW(C(c.name), WM_GETFONT, 0, 0)), sizeof lf, &lf);
    const int points = c.font == FontId::Window ? 90 : 105;
    EXPECT_EQ(lf.lfHeight, -MulDiv(points, int(dpi * 3 / 2), 720));
  }
  EXPECT_NEAR(Form1LabelRect(form, L"Label2").left, MulDiv(352, int(dpi * 3 / 2), 96), 1);
  BITMAP face{};
  ASSERT_TRUE(GetObjectW(HBITMAP(GetPropA(C(L"Command2"), "BMP0")), sizeof face, &face));
  EXPECT_NEAR(face.bmWidth, MulDiv(129, int(dpi * 3 / 2), 96), 1);
  rescale(dpi);
  for (const ControlSpec& c : kControls) {
    if (!c.id) continue;
    const RECT r = ClientPlace(form, C(c.name));
    EXPECT_TRUE(EqualRect(&r, &before[c.name])) << testing::PrintToString(std::wstring(c.name));
  }
}

TEST_F(MainWindowTest, ListsShowWholeTwelvePixelRows) {
  for (const auto& [name, rows] : {std::pair{L"List1", 19}, std::pair{L"File1", 8}}) {
    HWND list = C(name);
    RECT client;
    GetClientRect(list, &client);
    EXPECT_EQ(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0), 12);
    EXPECT_EQ(client.bottom, rows * 12);
  }
}

TEST_F(MainWindowTest, TabVisitsTheControlsInOrderAndNeverALabel) {
  const wchar_t* order[] = {L"Drive1",   L"Dir1",     L"File1",    L"Text1",
                            L"Command1", L"Command2", L"Command3", L"List1"};
  SetFocus(C(L"List1"));
  for (const wchar_t* name : order) {
    MSG tab = KeyDown(GetFocus(), VK_TAB);
    EXPECT_TRUE(IsForm1DialogMessage(form, tab));
    EXPECT_EQ(GetFocus(), C(name)) << testing::PrintToString(std::wstring(name));
  }
}

TEST_F(MainWindowTest, LabelsSizeThemselvesToTheirText) {
  struct {
    const wchar_t* name;
    POINT topLeft;
    int height, weight;
    bool underline;
  } labels[] = {{L"Label1", {8, 8}, -16, 400, false},
                {L"Label2", {352, 8}, -14, 400, true},
                {L"Label3", {256, 432}, -12, 400, false}};
  HDC screen = GetDC(nullptr);
  RedrawWindow(form, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  HDC formDC = GetDC(form);
  RECT client;
  GetClientRect(form, &client);
  for (const auto& l : labels) {
    const RECT r = Form1LabelRect(form, l.name);
    EXPECT_EQ(r.left, l.topLeft.x);
    EXPECT_EQ(r.top, l.topLeft.y);
    HFONT font =
        CreateFontW(l.height, 0, 0, 0, l.weight, 0, l.underline, 0, 134, 0, 0, 0, 0, L"宋体");
    HGDIOBJ old = SelectObject(screen, font);
    SIZE extent{};
    const std::wstring text = std::wstring(l.name) == L"Label1"   ? L"粉碎列表"
                              : std::wstring(l.name) == L"Label2" ? L"从列表中删除"
                                                                  : L"作者：塔小维  QQ：0000000";
    GetTextExtentPoint32W(screen, text.c_str(), int(text.size()), &extent);
    SelectObject(screen, old);
    EXPECT_EQ(r.right - r.left, extent.cx) << testing::PrintToString(std::wstring(l.name));
    EXPECT_EQ(r.bottom - r.top, extent.cy);

    // Its pixels: the text drawn transparently at the label's corner, over
    // the form's background, in its colour.
    HDC expected = CreateCompatibleDC(formDC);
    HBITMAP bitmap = CreateCompatibleBitmap(formDC, extent.cx, extent.cy);
    HGDIOBJ oldBitmap = SelectObject(expected, bitmap);
    const RECT all{0, 0, extent.cx, extent.cy};
    FillRect(expected, &all, GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(expected, TRANSPARENT);
    SetTextColor(expected, l.underline ? 0x000080 : GetSysColor(COLOR_WINDOWTEXT));
    old = SelectObject(expected, font);
    TextOutW(expected, 0, 0, text.c_str(), int(text.size()));
    int differing = 0;
    for (int y = 0; y < extent.cy; ++y) {
      for (int x = 0; x < extent.cx; ++x) {
        if (r.top + y >= client.bottom) continue;  // the last label reaches past the form
        differing += GetPixel(formDC, r.left + x, r.top + y) != GetPixel(expected, x, y);
      }
    }
    EXPECT_EQ(differing, 0) << testing::PrintToString(std::wstring(l.name));
    SelectObject(expected, old);
    DeleteObject(SelectObject(expected, oldBitmap));
    DeleteDC(expected);
    DeleteObject(font);
  }
  ReleaseDC(form, formDC);
  ReleaseDC(nullptr, screen);
  // The two labels of the top row are as wide as the layout gives them.
  EXPECT_EQ(Form1LabelRect(form, L"Label1").right, 8 + 64);
  EXPECT_EQ(Form1LabelRect(form, L"Label2").right, 352 + 84);
}

TEST_F(MainWindowTest, TheDriveListIsFlatLikeTheOtherControls) {
  HWND drive = C(L"Drive1");
  RedrawWindow(drive, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  const auto p = testing_util::ReadWindow(drive);
  const COLORREF frame = GetSysColor(COLOR_WINDOWFRAME), field = GetSysColor(COLOR_WINDOW);
  const COLORREF face = GetSysColor(COLOR_BTNFACE), arrow = GetSysColor(COLOR_BTNTEXT);
  const int button = GetSystemMetrics(SM_CXVSCROLL);
  const int w = p.width, h = p.height;
  int wrong = 0;
  // Ring 0: the frame; ring 1: the field's colour; no sunken edge.
  for (int x = 0; x < w; ++x) wrong += (p.at(x, 0) != frame) + (p.at(x, h - 1) != frame);
  for (int y = 0; y < h; ++y) wrong += (p.at(0, y) != frame) + (p.at(w - 1, y) != frame);
  for (int x = 1; x < w - 1 - button; ++x)
    wrong += (p.at(x, 1) != field) + (p.at(x, h - 2) != field);
  for (int y = 1; y < h - 1; ++y) wrong += p.at(1, y) != field;
  EXPECT_EQ(wrong, 0) << "a one-pixel frame around the field";
  // The drop button: a line, then only its face and its arrow, no raised edge.
  int raised = 0;
  for (int y = 1; y < h - 1; ++y) {
    EXPECT_EQ(p.at(w - 1 - button, y), frame) << y;
    for (int x = w - button; x < w - 1; ++x) raised += p.at(x, y) != face && p.at(x, y) != arrow;
  }
  EXPECT_EQ(raised, 0);
}

TEST_F(MainWindowTest, AddButtonAddsTheTextAsTyped) {
  Click(L"Command1");  // empty text box: an empty entry
  Type(C(L"Text1"), L"no such file 한국어 😀");
  Click(L"Command1");
  Click(L"Command1");
  EXPECT_EQ(ListItems(C(L"List1")),
            (std::vector<std::wstring>{L"", L"no such file 한국어 😀", L"no such file 한국어 😀"}));
  EXPECT_EQ(Text(C(L"Text1")), L"no such file 한국어 😀");
}

TEST_F(MainWindowTest, RemoveLinkFramesWhileHeldAndRemovesTheSelection) {
  for (const wchar_t* p : {L"a", L"b", L"c"}) {
    SetWindowTextW(C(L"Text1"), p);
    Click(L"Command1");
  }
  const RECT r = Form1LabelRect(form, L"Label2");
  const POINT inside{(r.left + r.right) / 2, (r.top + r.bottom) / 2};

  // No selection: nothing changes, nothing is shown.
  MouseOnForm(WM_LBUTTONDOWN, inside);
  EXPECT_EQ(Form1LabelBorderStyle(form, L"Label2"), 1);
  MouseOnForm(WM_LBUTTONUP, inside);
  EXPECT_EQ(Form1LabelBorderStyle(form, L"Label2"), 0);
  EXPECT_EQ(ListItems(C(L"List1")).size(), 3u);

  SendMessageW(C(L"List1"), LB_SETCURSEL, 1, 0);
  MouseOnForm(WM_RBUTTONDOWN, inside);
  EXPECT_EQ(Form1LabelBorderStyle(form, L"Label2"), 1) << "any button frames it";
  MouseOnForm(WM_RBUTTONUP, inside);
  EXPECT_EQ(Form1LabelBorderStyle(form, L"Label2"), 0);
  EXPECT_EQ(ListItems(C(L"List1")).size(), 3u) << "only a left click removes";

  MouseOnForm(WM_LBUTTONDOWN, inside);
  MouseOnForm(WM_LBUTTONUP, inside);
  EXPECT_EQ(ListItems(C(L"List1")), (std::vector<std::wstring>{L"a", L"c"}));

  // A press inside and a release outside, or the other way round, removes nothing.
  SendMessageW(C(L"List1"), LB_SETCURSEL, 0, 0);
  MouseOnForm(WM_LBUTTONDOWN, inside);
  MouseOnForm(WM_LBUTTONUP, {r.right + 5, inside.y});
  EXPECT_EQ(Form1LabelBorderStyle(form, L"Label2"), 0);
  MouseOnForm(WM_LBUTTONDOWN, {r.left - 5, inside.y});
  MouseOnForm(WM_LBUTTONUP, inside);
  EXPECT_EQ(ListItems(C(L"List1")), (std::vector<std::wstring>{L"a", L"c"}));

  // Just outside the label nothing happens.
  SendMessageW(C(L"List1"), LB_SETCURSEL, 0, 0);
  MouseOnForm(WM_LBUTTONDOWN, {r.right, inside.y});
  EXPECT_EQ(Form1LabelBorderStyle(form, L"Label2"), 0);
  MouseOnForm(WM_LBUTTONUP, {r.right, inside.y});
  EXPECT_EQ(ListItems(C(L"List1")).size(), 2u);

  // The keyboard's way: Delete in the list removes the selected entry.
  SetFocus(C(L"List1"));
  SendMessageW(C(L"List1"), LB_SETCURSEL, 1, 0);
  MSG del = KeyDown(C(L"List1"), VK_DELETE);
  EXPECT_TRUE(IsForm1DialogMessage(form, del));
  EXPECT_EQ(ListItems(C(L"List1")), std::vector<std::wstring>{L"a"});
}

TEST_F(MainWindowTest, ThePathBoxTakesWhatAPathCanHoldAndAddRefusesMore) {
  const std::wstring fits = L"C:\\" + std::wstring(30996, L'p');  // 31,000 characters
  SendMessageW(C(L"Text1"), EM_REPLACESEL, FALSE, LPARAM(fits.c_str()));
  EXPECT_EQ(size_t(GetWindowTextLengthW(C(L"Text1"))), fits.size()) << "pasted whole";
  Click(L"Command1");
  EXPECT_EQ(ListItems(C(L"List1")), std::vector<std::wstring>{fits});

  SetWindowTextW(C(L"Text1"), L"");
  const std::wstring tooLong = L"C:\\" + std::wstring(40000, L'p');
  SendMessageW(C(L"Text1"), EM_REPLACESEL, FALSE, LPARAM(tooLong.c_str()));
  BoxAnswerer box({{L"提示", IDOK}});
  Click(L"Command1");
  const auto& seen = box.Finish();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, L"路径过长（最多 32767 个字符），未加入列表。");
  EXPECT_EQ(ListItems(C(L"List1")).size(), 1u) << "never a shorter, different path";
}

// A held Enter key on the Shred button: the first press does nothing, the
// repeats nothing, the release clicks; the confirmation opens only then.
TEST_F(MainWindowTest, TheShredButtonClicksWhenEnterIsReleased) {
  SetWindowTextW(C(L"Text1"), (dir / L"A.txt").c_str());
  Click(L"Command1");
  SetFocus(C(L"Command2"));
  MSG press = KeyDown(C(L"Command2"), VK_RETURN);
  EXPECT_TRUE(IsForm1DialogMessage(form, press));
  press.lParam = 1 << 30;  // the key's repeats
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(IsForm1DialogMessage(form, press));
  EXPECT_TRUE(Exists(dir / L"A.txt")) << "no run on the press";
  BoxAnswerer boxes({{L"警告", IDCANCEL}});
  MSG release = press;
  release.message = WM_KEYUP;
  EXPECT_TRUE(IsForm1DialogMessage(form, release));
  EXPECT_EQ(boxes.Finish().size(), 1u) << "the confirmation came with the release";
  MSG stray = release;  // a release whose press went elsewhere clicks nothing
  EXPECT_TRUE(IsForm1DialogMessage(form, stray));
  EXPECT_TRUE(Exists(dir / L"A.txt"));
}

// While the confirmation or the report is open, the list belongs to the run:
// clicks another program sends change nothing, and a close request waits.
TEST_F(MainWindowTest, CommandsAndCloseRequestsWaitWhileTheRunsBoxesAreOpen) {
  for (const wchar_t* box : {L"警告", L"提示"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(box)));
    ASSERT_TRUE(WriteBytes(dir / L"A.txt", "a"));
    SetWindowTextW(C(L"Text1"), (dir / L"A.txt").c_str());
    Click(L"Command1");
    SendMessageW(C(L"List1"), LB_SETCURSEL, 0, 0);
    SetWindowTextW(C(L"Text1"), (dir / L"b.txt").c_str());
    const RECT r = Form1LabelRect(form, L"Label2");
    const LPARAM inside = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    std::atomic<int> boxesSeen{0};
    std::thread other([&] {
      // Press OK on every box; at the chosen one, act as another program first.
      for (int i = 0; i < 3000 && boxesSeen < 2; ++i) {
        HWND found = nullptr;
        for (const wchar_t* title : {L"警告", L"提示"}) {
          if (!found) found = testing_util::FindDialogBox(GetCurrentProcessId(), title);
          if (found && wcscmp(title, box) == 0 && !(boxesSeen == 1 && title[0] == L'警')) {
            SendMessageW(C(L"Command1"), BM_CLICK, 0, 0);
            SendMessageW(form, WM_LBUTTONDOWN, MK_LBUTTON, inside);
            SendMessageW(form, WM_LBUTTONUP, 0, inside);
            SendMessageW(C(L"Command3"), BM_CLICK, 0, 0);
            PostMessageW(form, WM_CLOSE, 0, 0);
          }
        }
        if (found) {
          ++boxesSeen;
          Sleep(50);
          PostMessageW(found, WM_COMMAND, IDOK, 0);
          for (int j = 0; j < 400 && IsWindow(found); ++j) Sleep(5);
        }
        Sleep(5);
      }
    });
    Click(L"Command2");
    other.join();
    EXPECT_EQ(boxesSeen, 2) << "one confirmation, one report: no second run";
    EXPECT_FALSE(Exists(dir / L"A.txt"));
    EXPECT_TRUE(Exists(dir / L"b.txt")) << "never added, never shredded";
    EXPECT_TRUE(ListItems(C(L"List1")).empty());
    EXPECT_TRUE(IsWindow(form)) << "the window outlives the run's handler";
    MSG close;
    EXPECT_TRUE(PeekMessageW(&close, form, WM_CLOSE, WM_CLOSE, PM_REMOVE)) << "then it closes";
  }
}

TEST_F(MainWindowTest, FileListShowsVisibleFilesAndFillsThePathBox) {
  EXPECT_EQ(Form1FolderPath(form), dir.path());
  EXPECT_EQ(Form1FilePath(form), dir.path());
  EXPECT_EQ(SendMessageW(C(L"File1"), LB_GETCOUNT, 0, 0), 2) << "hidden and system files left out";
  SendMessageW(C(L"File1"), LB_SETCURSEL, 0, 0);
  Notify(L"File1", LBN_SELCHANGE);
  EXPECT_EQ(Text(C(L"Text1")), dir / L"A.txt") << "sorted by name, one backslash";
  SendMessageW(C(L"File1"), LB_SETCURSEL, 1, 0);
  Notify(L"File1", LBN_SELCHANGE);
  EXPECT_EQ(Text(C(L"Text1")), dir / L"b.txt");
}

TEST_F(MainWindowTest, OpeningFoldersMovesTheFileListAndLeavesThePathBox) {
  SetWindowTextW(C(L"Text1"), L"typed");
  HWND dirList = C(L"Dir1");
  const int count = int(SendMessageW(dirList, LB_GETCOUNT, 0, 0));
  OpenFolder(count - 1);  // the last entry: the subfolder "sub"
  EXPECT_EQ(Form1FolderPath(form), dir / L"sub");
  EXPECT_EQ(Form1FilePath(form), dir / L"sub");
  EXPECT_EQ(SendMessageW(C(L"File1"), LB_GETCOUNT, 0, 0), 1);
  EXPECT_EQ(Text(C(L"Text1")), L"typed");

  // Enter on the folder list opens the selected entry: back to the parent.
  const int parent = int(SendMessageW(dirList, LB_GETCURSEL, 0, 0)) - 1;
  SendMessageW(dirList, LB_SETCURSEL, parent, 0);
  SetFocus(dirList);
  MSG enter = KeyDown(dirList, VK_RETURN);
  IsForm1DialogMessage(form, enter);
  EXPECT_EQ(Form1FolderPath(form), dir.path());
}

TEST_F(MainWindowTest, EnterClicksTheFocusedButtonAndARunGivesTheFocusBack) {
  SetWindowTextW(C(L"Text1"), (dir / L"A.txt").c_str());
  SetFocus(C(L"Command1"));
  MSG enter = KeyDown(C(L"Command1"), VK_RETURN);
  IsForm1DialogMessage(form, enter);
  EXPECT_EQ(ListItems(C(L"List1")), std::vector<std::wstring>{dir / L"A.txt"});

  SetFocus(C(L"Text1"));
  BoxAnswerer boxes({{L"警告", IDOK}, {L"提示", IDOK}});
  Click(L"Command2");
  EXPECT_EQ(boxes.Finish().size(), 2u);
  EXPECT_FALSE(Exists(dir / L"A.txt"));
  EXPECT_EQ(GetFocus(), C(L"Command2")) << "the button pressed has it, as before the run";
}

TEST_F(MainWindowTest, FileAtADriveRootGetsTwoBackslashes) {
  const std::wstring root = dir.path().substr(0, 3);
  const std::wstring name = L"tarvello-root-test.txt";
  ASSERT_TRUE(WriteBytes(root + name, "r"));
  OpenFolder(0);
  EXPECT_EQ(Form1FolderPath(form), root);
  EXPECT_EQ(Form1FilePath(form), root);
  SelectFile(name);
  EXPECT_EQ(Text(C(L"Text1")), root + L"\\" + name);
  DeleteFileW((root + name).c_str());
}

TEST_F(MainWindowTest, ChangingTheDriveMovesBothListsAndLeavesThePathBox) {
  SetWindowTextW(C(L"Text1"), L"typed");
  HWND drives = C(L"Drive1");
  const int count = int(SendMessageW(drives, CB_GETCOUNT, 0, 0));
  ASSERT_GE(count, 1);
  wchar_t current[64] = {};
  SendMessageW(drives, CB_GETLBTEXT, SendMessageW(drives, CB_GETCURSEL, 0, 0), LPARAM(current));
  EXPECT_EQ(towupper(current[0]), towupper(dir.path()[0]));
  EXPECT_EQ(current[1], L':');
  for (int i = 0; i < count; ++i) {
    wchar_t text[64] = {};
    SendMessageW(drives, CB_GETLBTEXT, i, LPARAM(text));
    if (towupper(text[0]) == towupper(current[0])) continue;
    SendMessageW(drives, CB_SETCURSEL, i, 0);
    Notify(L"Drive1", CBN_SELCHANGE);
    EXPECT_EQ(towupper(Form1FolderPath(form)[0]), towupper(text[0]));
    EXPECT_EQ(Form1FilePath(form), Form1FolderPath(form));
    break;
  }
  EXPECT_EQ(Text(C(L"Text1")), L"typed");
}

TEST_F(MainWindowTest, UnreadableFolderKeepsTheListsAndSaysWhy) {
  const int sub = int(SendMessageW(C(L"Dir1"), LB_GETCOUNT, 0, 0)) - 1;
  testing_util::RemoveTree(dir / L"sub");
  BoxAnswerer answer({{L"提示", IDOK}});
  OpenFolder(sub);
  const auto& boxes = answer.Finish();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find(dir / L"sub"), std::wstring::npos);
  EXPECT_EQ(Form1FolderPath(form), dir.path());
  EXPECT_EQ(Form1FilePath(form), dir.path());
}

TEST_F(MainWindowTest, ShredButtonShredsTheListedFiles) {
  // Before any run there is no record to save: 保存粉碎记录… is greyed.
  wchar_t item[64] = {};
  GetMenuStringW(GetSystemMenu(form, FALSE), kSaveRecordCommand, item, 64, MF_BYCOMMAND);
  EXPECT_STREQ(item, L"保存粉碎记录…");
  EXPECT_TRUE(GetMenuState(GetSystemMenu(form, FALSE), kSaveRecordCommand, MF_BYCOMMAND) &
              MF_GRAYED);
  GetMenuStringW(GetSystemMenu(form, FALSE), kSaveCertificateCommand, item, 64, MF_BYCOMMAND);
  EXPECT_STREQ(item, L"保存粉碎证书…");
  EXPECT_TRUE(GetMenuState(GetSystemMenu(form, FALSE), kSaveCertificateCommand, MF_BYCOMMAND) &
              MF_GRAYED);
  TempFolder out;
  EXPECT_FALSE(SaveRecordFromForm1(form, out / L"run.json"));
  EXPECT_FALSE(Exists(out / L"run.json"));
  EXPECT_FALSE(SaveCertificateFromForm1(form, out / L"run.html"));
  // 粉碎后校验 (the run reads back) and 保留最近使用记录 (the run leaves A.txt's
  // Recent shortcut, the shell's own, where it is) are off at the start;
  // chosen, each is checked.
  const auto checked = [&](UINT command) {
    return (GetMenuState(GetSystemMenu(form, FALSE), command, MF_BYCOMMAND) & MF_CHECKED) != 0;
  };
  for (const auto& [command, text] : {std::pair{kVerifyCommand, L"粉碎后校验"},
                                      std::pair{kKeepTracesCommand, L"保留最近使用记录"}}) {
    GetMenuStringW(GetSystemMenu(form, FALSE), command, item, 64, MF_BYCOMMAND);
    EXPECT_STREQ(item, text);
    EXPECT_FALSE(checked(command));
    SendMessageW(form, WM_SYSCOMMAND, command, 0);
    EXPECT_TRUE(checked(command));
  }
  const std::string opened(dir.path().begin(), dir.path().end());
  SHAddToRecentDocs(SHARD_PATHA, (opened + "\\A.txt").c_str());
  wchar_t* recentFolder = nullptr;
  SHGetKnownFolderPath(FOLDERID_Recent, 0, nullptr, &recentFolder);
  const std::wstring shortcut = std::wstring(recentFolder ? recentFolder : L"") + L"\\A.txt.lnk";
  CoTaskMemFree(recentFolder);
  const bool made = Exists(shortcut);
  for (const wchar_t* name : {L"A.txt", L"b.txt"}) {
    SelectFile(name);
    Click(L"Command1");
  }
  BoxAnswerer answer({{L"警告", IDOK}, {L"提示", IDOK}});
  Click(L"Command2");
  const auto& boxes = answer.Finish();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, L"您确认粉碎已选文件吗？");
  EXPECT_TRUE(boxes[0].hasCancel);
  EXPECT_TRUE(boxes[0].hasIcon);
  EXPECT_EQ(boxes[1].text, L"已选文件粉碎完成！");
  EXPECT_FALSE(boxes[1].hasCancel);
  EXPECT_FALSE(boxes[1].hasIcon);
  EXPECT_FALSE(Exists(dir / L"A.txt"));
  EXPECT_FALSE(Exists(dir / L"b.txt"));
  EXPECT_TRUE(ListItems(C(L"List1")).empty());
  // The run's record: 保存粉碎记录… is there now, and saves it whole.
  const UINT state = GetMenuState(GetSystemMenu(form, FALSE), kSaveRecordCommand, MF_BYCOMMAND);
  EXPECT_FALSE(state & MF_GRAYED);
  EXPECT_FALSE(GetMenuState(GetSystemMenu(form, FALSE), kSaveCertificateCommand, MF_BYCOMMAND) &
               MF_GRAYED);
  ASSERT_TRUE(SaveRecordFromForm1(form, out / L"run.json"));
  const std::string record = testing_util::ReadBytes(out / L"run.json");
  // Its certificate names it, and its hash once it was saved.
  ASSERT_TRUE(SaveCertificateFromForm1(form, out / L"run.html"));
  EXPECT_TRUE(shred::CheckCertificate(record, shred::Sha256Hex(record),
                                      testing_util::ReadBytes(out / L"run.html"))
                  .empty());
  // Into a folder that is not there: refused, said so.
  EXPECT_FALSE(SaveRecordFromForm1(form, out / L"missing\\run.json"));
  EXPECT_FALSE(SaveCertificateFromForm1(form, out / L"missing\\run.html"));
  EXPECT_NE(record.find("\"action\": \"shred\""), std::string::npos);
  EXPECT_NE(record.find("\"shredded\": 2"), std::string::npos) << record;
  EXPECT_NE(record.find("\"verification\": \"read-back:"), std::string::npos);
  EXPECT_EQ(record.find("\"verified\": false"), std::string::npos);
  EXPECT_NE(record.find("\"kept_by_choice\": true"), std::string::npos);
  if (made) {
    EXPECT_TRUE(Exists(shortcut));
    DeleteFileW(shortcut.c_str());
  }
  for (const UINT command : {kVerifyCommand, kKeepTracesCommand}) {
    SendMessageW(form, WM_SYSCOMMAND, command, 0);
    EXPECT_FALSE(checked(command));
  }
}

TEST_F(MainWindowTest, DroppedFilesJoinTheListInOrder) {
  SetWindowTextW(C(L"Text1"), L"first");
  Click(L"Command1");
  const std::vector<std::wstring> dropped = {dir / L"b.txt", dir / L"sub", dir / L"A.txt",
                                             L"C:\\no\\such 한국어.txt"};
  std::wstring names;
  for (const auto& p : dropped) names += p + L'\0';
  names += L'\0';
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  memcpy(drop + 1, names.data(), names.size() * sizeof(wchar_t));
  GlobalUnlock(memory);
  SendMessageW(form, WM_DROPFILES, WPARAM(memory), 0);  // the window frees it
  // A dropped folder brings the files inside it.
  const std::vector<std::wstring> expected = {L"first", dropped[0], dir / L"sub\\inner.txt",
                                              dropped[2], dropped[3]};
  EXPECT_EQ(ListItems(C(L"List1")), expected);
  EXPECT_TRUE(GetWindowLongW(form, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
}

TEST_F(MainWindowTest, ALongRunShowsASkinnedProgressDialogThatCancels) {
  ProgressDialogDelayMs = 0;  // a fast disk would finish before half a second
  const std::string big = AddBigFiles(8);
  BoxAnswerer confirm({{L"警告", IDOK}});
  std::atomic<bool> dialogSkinned{false}, ownerDisabled{false};
  std::thread user([&] {
    // Cancel once a file is done, as a user watching it would.
    for (int i = 0; i < 6000; ++i) {
      HWND dialog = testing_util::FindDialogBox(GetCurrentProcessId(), kProgressTitle);
      wchar_t count[128] = {};
      if (dialog) GetDlgItemTextW(dialog, kProgressCountText, count, 128);
      if (dialog && wcsncmp(count, L"已完成 ", 4) == 0 && count[4] >= L'1' && count[4] <= L'9') {
        dialogSkinned = GetPropA(GetDlgItem(dialog, IDCANCEL), "PROCADDR") != nullptr;
        ownerDisabled = !IsWindowEnabled(form);
        PostMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
        return;
      }
      Sleep(5);
    }
  });
  BoxAnswerer done({{L"提示", IDOK}});  // answers the closing message when it comes
  Click(L"Command2");
  user.join();
  const auto& closing = done.Finish();
  EXPECT_EQ(confirm.Finish().size(), 1u);
  EXPECT_TRUE(dialogSkinned) << "the progress dialog gets the skin";
  EXPECT_TRUE(ownerDisabled);
  ASSERT_EQ(closing.size(), 1u);
  EXPECT_EQ(closing[0].text.rfind(L"粉碎已取消：", 0), 0u)
      << testing::PrintToString(closing[0].text);
  const auto left = ListItems(C(L"List1"));
  ASSERT_FALSE(left.empty()) << "the files not reached stay listed";
  // The file the cancel came in stays too, partly overwritten, and is named.
  int partly = 0;
  for (const auto& path : left) {
    const std::string now = testing_util::ReadBytes(path);
    ASSERT_EQ(now.size(), big.size());
    if (now == big) continue;
    ++partly;
    EXPECT_NE(closing[0].text.find(L"已取消，仅部分覆盖（1 个）：\r\n" + path), std::wstring::npos);
  }
  EXPECT_LE(partly, 1);
  EXPECT_TRUE(IsWindowEnabled(form));
}

TEST_F(MainWindowTest, CancelLeavesFilesAndList) {
  SelectFile(L"A.txt");
  Click(L"Command1");
  BoxAnswerer answer({{L"警告", IDCANCEL}});
  Click(L"Command2");
  EXPECT_EQ(answer.Finish().size(), 1u);
  EXPECT_TRUE(Exists(dir / L"A.txt"));
  EXPECT_EQ(ListItems(C(L"List1")).size(), 1u);
}

TEST_F(MainWindowTest, AFullListSaysSoAndAddsNothing) {
  HWND list = C(L"List1");
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  for (int i = 0; i < shred::kMaxEntries; ++i) SendMessageW(list, LB_ADDSTRING, 0, LPARAM(L"x"));
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  SetWindowTextW(C(L"Text1"), L"C:\\one-more.txt");
  {
    BoxAnswerer full({{L"提示", IDOK}});
    Click(L"Command1");
    const auto& seen = full.Finish();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, L"列表已满，最多 32767 项");
  }
  EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), shred::kMaxEntries);
  // The run reads the whole list at once and at once gives the window back.
  BoxAnswerer boxes({{L"警告", IDOK}, {L"提示", IDOK}});
  Click(L"Command2");
  const auto& seen = boxes.Finish();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].text.rfind(
                L"共 32767 个文件，其中 32767 个未能粉碎：\r\n不是完整路径（32767 个）：", 0),
            0u);
  EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), shred::kMaxEntries) << "all of them kept";
}

TEST_F(MainWindowTest, ClosingDuringARunCancelsReportsThenCloses) {
  ProgressDialogDelayMs = 0;
  AddBigFiles(4);
  BoxAnswerer confirm({{L"警告", IDOK}});
  std::thread user([&] {
    for (int i = 0; i < 6000; ++i) {
      if (testing_util::FindDialogBox(GetCurrentProcessId(), kProgressTitle)) {
        PostMessageW(form, WM_CLOSE, 0, 0);  // Alt+F4 from the taskbar
        return;
      }
      Sleep(5);
    }
  });
  BoxAnswerer done({{L"提示", IDOK}});
  Click(L"Command2");
  user.join();
  confirm.Finish();
  const auto& closing = done.Finish();
  ASSERT_EQ(closing.size(), 1u) << "the report comes before the window goes";
  EXPECT_EQ(closing[0].text.rfind(L"粉碎已取消：", 0), 0u);
  EXPECT_TRUE(IsWindow(form));
  MSG close;
  EXPECT_TRUE(PeekMessageW(&close, form, WM_CLOSE, WM_CLOSE, PM_REMOVE)) << "and then it closes";
}

}  // namespace
}  // namespace form1
