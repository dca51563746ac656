// The skin manager and the flat border: classification, forms and dialogs,
// activation, teardown with the last counted window, and the frame's pixels.
#include "skin/skin_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "skin/flat_border.h"
#include "skin/shared_state.h"
#include "skin/skinned_button.h"
#include "tests/api_counter.h"
#include "tests/message_log.h"
#include "tests/skin_test_util.h"
#include "window/main_window.h"

namespace {

using testing_util::Log;
using testing_util::TestParent;

WNDPROC ProcOf(HWND w) { return reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w, GWLP_WNDPROC)); }
LONG_PTR Prop(HWND w, const char* key) { return reinterpret_cast<LONG_PTR>(GetPropA(w, key)); }
bool AtlasAlive() { return GetObjectType(AtlasDC) == OBJ_MEMDC; }

// A window class of the given name whose procedure records like the
// recording window's.
HWND CreateOfClass(const wchar_t* className, HWND parent, DWORD style) {
  static LRESULT(CALLBACK* const proc)(HWND, UINT, WPARAM, LPARAM) = [](HWND w, UINT m, WPARAM wp,
                                                                        LPARAM lp) -> LRESULT {
    if (Log().recording) Log().seen.push_back({m, wp, lp, 0, 0, 0, 0});
    return DefWindowProcW(w, m, wp, lp);
  };
  WNDCLASSW wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = className;
  RegisterClassW(&wc);
  return CreateWindowExW(0, className, L"", style, 0, 0, 200, 100, parent, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

HWND Dialog(HWND owner = nullptr) {
  return CreateWindowExW(0, L"#32770", L"dialog", WS_POPUP | WS_VISIBLE, 50, 50, 300, 200, owner,
                         nullptr, GetModuleHandleW(nullptr), nullptr);
}

HWND Child(const wchar_t* className, HWND parent, DWORD style = 0, DWORD exStyle = 0) {
  return CreateWindowExW(exStyle, className, L"x", WS_CHILD | WS_VISIBLE | style, 5, 5, 80, 24,
                         parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}

class SkinManagerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    Log().recording = false;
    testing_util::PumpMessages();
  }
};

TEST_F(SkinManagerTest, ButtonClassesMatchInAnyCase) {
  TestParent parent;
  for (const wchar_t* name : {L"ThunderCommandButton", L"thunderRT6COMMANDbutton"}) {
    HWND w = CreateOfClass(name, parent.get(), WS_CHILD);
    EXPECT_EQ(SkinWindow(w), 1);
    EXPECT_EQ(ProcOf(w), &ButtonWndProc);
    EXPECT_EQ(SkinWindow(w), 0);
  }
  HWND real = Child(L"BUTTON", parent.get());
  EXPECT_EQ(SkinWindow(real), 1);
  EXPECT_EQ(ProcOf(real), &ButtonWndProc);
}

TEST_F(SkinManagerTest, BothClassTablesRowByRowWithNearMisses) {
  const struct {
    const wchar_t* name;
    WNDPROC expected;  // nullptr: neither a button nor a form
  } rows[] = {
      {L"ThunderCommandButton", &ButtonWndProc},
      {L"THUNDERRT6COMMANDBUTTON", &ButtonWndProc},
      {L"ThunderFormDC", &FormWndProc},
      {L"thunderformdc", &FormWndProc},
      {L"ThunderRT6FormDC", &FormWndProc},
      {L"ThunderCommandButto", nullptr},
      {L"ThunderCommandButtons", nullptr},
      {L"ThunderFormD", nullptr},
      {L"ThunderFormDCs", nullptr},
      {L"ThunderRT6FormD", nullptr},
      {L"Forms", nullptr},
      {L"Buttons", nullptr},
      {L"#3277", nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.name, row.name + wcslen(row.name)));
    HWND w = CreateOfClass(row.name, nullptr, WS_OVERLAPPED);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(SkinWindow(w), row.expected ? 1 : 0);
    EXPECT_EQ(row.expected ? ProcOf(w) == row.expected : Prop(w, "PROCADDR") == 0, true);
    DestroyWindow(w);
  }
  HWND dialog = Dialog();
  EXPECT_EQ(SkinWindow(dialog), 1) << "#32770";
  EXPECT_EQ(ProcOf(dialog), &FormWndProc);
  DestroyWindow(dialog);
}

TEST_F(SkinManagerTest, ADialogHasEveryDescendantSkinnedAndItselfLast) {
  HWND dialog = Dialog();
  HWND ok = Child(L"Button", dialog, BS_PUSHBUTTON);
  HWND edit = Child(L"Edit", dialog, 0, WS_EX_CLIENTEDGE);
  HWND group = Child(L"Static", dialog);
  HWND nested = Child(L"Button", group, BS_PUSHBUTTON);
  const int forms = SkinnedFormCount, buttons = SkinnedButtonCount;
  EXPECT_EQ(SkinWindow(dialog), 1);
  EXPECT_EQ(ProcOf(dialog), &FormWndProc);
  EXPECT_EQ(ProcOf(ok), &ButtonWndProc);
  EXPECT_EQ(ProcOf(nested), &ButtonWndProc);
  EXPECT_EQ(ProcOf(edit), &BorderWndProc);
  EXPECT_EQ(ProcOf(group), &BorderWndProc);
  EXPECT_EQ(SkinnedFormCount, forms + 1);
  EXPECT_EQ(SkinnedButtonCount, buttons + 2);

  // A second call skins what appeared since and refuses the rest.
  HWND later = Child(L"Button", dialog, BS_PUSHBUTTON);
  EXPECT_EQ(SkinWindow(dialog), 0);
  EXPECT_EQ(ProcOf(later), &ButtonWndProc);
  EXPECT_EQ(SkinnedFormCount, forms + 1);
  EXPECT_EQ(SkinnedButtonCount, buttons + 3);
  DestroyWindow(dialog);
  EXPECT_EQ(SkinnedFormCount, forms);
  EXPECT_EQ(SkinnedButtonCount, buttons);
}

TEST_F(SkinManagerTest, AFirstCallOnAnUnlistedWindowOnlyInitialises) {
  ASSERT_EQ(SkinInitialised, 0);
  TestParent parent;
  EXPECT_EQ(SkinWindow(parent.get()), 0);
  EXPECT_EQ(SkinInitialised, -1);
  EXPECT_EQ(HasUserTrackMouseEvent, -1);
  EXPECT_TRUE(AtlasAlive());
  EXPECT_EQ(Prop(parent.get(), "PROCADDR"), 0);
  HDC atlas = AtlasDC;
  SkinWindow(parent.get());
  EXPECT_EQ(AtlasDC, atlas) << "built once per initialisation";
}

TEST_F(SkinManagerTest, ANestedFormGetsTheBorderAndRefusesTheFormSkin) {
  HWND dialog = Dialog();
  HWND nested = CreateOfClass(L"ThunderRT6FormDC", dialog, WS_CHILD | WS_VISIBLE);
  SkinWindow(dialog);
  EXPECT_EQ(ProcOf(nested), &BorderWndProc);
  HWND inner = Child(L"Button", nested, BS_PUSHBUTTON);
  const int forms = SkinnedFormCount;
  EXPECT_EQ(SkinWindow(nested), 0);
  EXPECT_EQ(ProcOf(inner), &ButtonWndProc);
  EXPECT_EQ(SkinnedFormCount, forms);
  DestroyWindow(dialog);
}

TEST_F(SkinManagerTest, ActivationSkinsTheOtherDialogOfThisThread) {
  HWND form = CreateOfClass(L"Form", nullptr, WS_OVERLAPPED);
  ASSERT_EQ(SkinWindow(form), 1);
  HWND box = Dialog(form);
  HWND boxButton = Child(L"Button", box, BS_PUSHBUTTON);
  Log().recording = true;
  for (LPARAM other : {LPARAM(0), LPARAM(form)}) {
    Log().Clear();
    SendMessageW(form, WM_ACTIVATE, WA_INACTIVE, other);
    EXPECT_EQ(Log().Count(WM_ACTIVATE), 1) << "passed on";
    EXPECT_EQ(Prop(box, "PROCADDR"), 0);
  }
  SendMessageW(form, WM_ACTIVATE, WA_ACTIVE, LPARAM(box));
  EXPECT_EQ(ProcOf(box), &FormWndProc);
  EXPECT_EQ(ProcOf(boxButton), &ButtonWndProc);

  // A dialog of another thread, alive while the form is activated against
  // it, is left to that thread.
  std::atomic<HWND> foreign{nullptr};
  std::atomic<bool> checked{false};
  std::thread other([&] {
    HWND d = Dialog();
    Child(L"Button", d, BS_PUSHBUTTON);
    foreign = d;
    while (!checked) {
      MSG m;
      while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
      Sleep(1);
    }
    DestroyWindow(d);
  });
  while (!foreign) Sleep(1);
  ASSERT_TRUE(IsWindow(foreign));
  const int formsBefore = SkinnedFormCount;
  SendMessageW(form, WM_ACTIVATE, WA_INACTIVE, LPARAM(HWND(foreign)));
  EXPECT_EQ(Prop(foreign, "PROCADDR"), 0);
  EXPECT_EQ(SkinnedFormCount, formsBefore);
  checked = true;
  other.join();

  Log().Clear();
  EXPECT_EQ(SendMessageW(form, WM_DESTROY, 0, 0), 0);
  EXPECT_EQ(Log().Count(WM_DESTROY), 0);
  EXPECT_EQ(Prop(form, "PROCADDR"), 0);
  EXPECT_NE(ProcOf(form), &FormWndProc);
  DestroyWindow(box);
  DestroyWindow(form);
}

TEST_F(SkinManagerTest, TheAtlasGoesWithTheLastCountedWindowInEitherOrder) {
  const auto& counts = testing_util::CountApiCalls();  // counts the atlas's objects from here
  for (bool formFirst : {true, false}) {
    SCOPED_TRACE(formFirst ? "form first" : "buttons first");
    ASSERT_EQ(SkinInitialised, 0);
    HWND dialog = Dialog();
    HWND buttons[3];
    for (HWND& b : buttons) b = Child(L"Button", dialog, BS_PUSHBUTTON);
    HWND edit = Child(L"Edit", dialog, 0, WS_EX_CLIENTEDGE);
    SkinWindow(dialog);
    EXPECT_EQ(SkinnedFormCount, 1);
    EXPECT_EQ(SkinnedButtonCount, 3);
    const HGDIOBJ atlasBitmap = AtlasBitmap, atlasDC = AtlasDC;
    ASSERT_EQ(counts.liveObjects.count(atlasBitmap), 1u);

    SendMessageW(edit, WM_DESTROY, 0, 0);  // bordered windows hold no share
    EXPECT_TRUE(AtlasAlive());
    if (formFirst) SendMessageW(dialog, WM_DESTROY, 0, 0);
    for (int i = 0; i < 3; ++i) {
      EXPECT_TRUE(AtlasAlive());
      SendMessageW(buttons[i], WM_DESTROY, 0, 0);
    }
    if (!formFirst) {
      EXPECT_TRUE(AtlasAlive());
      SendMessageW(dialog, WM_DESTROY, 0, 0);
    }
    EXPECT_FALSE(AtlasAlive());
    EXPECT_EQ(counts.liveObjects.count(atlasDC), 0u);
    EXPECT_EQ(counts.liveObjects.count(atlasBitmap), 0u) << "the bitmap goes with its DC";
    EXPECT_EQ(SkinInitialised, 0);
    EXPECT_EQ(SkinnedFormCount, 0);
    EXPECT_EQ(SkinnedButtonCount, 0);
    DestroyWindow(dialog);
  }
  // The next call starts afresh.
  HWND dialog = Dialog();
  SkinWindow(dialog);
  EXPECT_EQ(SkinInitialised, -1);
  EXPECT_TRUE(AtlasAlive());
  DestroyWindow(dialog);
  EXPECT_FALSE(AtlasAlive());
}

TEST_F(SkinManagerTest, ExportExistsLoadsOnlyWhatIsNotLoaded) {
  auto& counts = testing_util::CountApiCalls();
  int frees = counts.freeLibrary, lookups = counts.getProcAddress;
  EXPECT_EQ(ExportExists("TrackMouseEvent", "User32"), -1);
  EXPECT_EQ(ExportExists("NoSuchFunction", "User32"), 0);
  EXPECT_EQ(counts.freeLibrary, frees) << "a loaded module is not released";
  EXPECT_EQ(counts.getProcAddress, lookups + 2);
  lookups = counts.getProcAddress;
  EXPECT_EQ(ExportExists("Anything", "no-such-module-here"), 0);
  EXPECT_EQ(counts.getProcAddress, lookups);
  EXPECT_EQ(counts.freeLibrary, frees);
  ASSERT_EQ(GetModuleHandleA("wtsapi32"), nullptr);
  EXPECT_EQ(ExportExists("WTSFreeMemory", "wtsapi32"), -1);
  EXPECT_EQ(counts.freeLibrary, frees + 1) << "a module it loaded is released";
  EXPECT_EQ(GetModuleHandleA("wtsapi32"), nullptr);
}

TEST_F(SkinManagerTest, QueriesAndProceduresWithoutAWindow) {
  HWND gone = Child(L"Static", TestParent().get());
  EXPECT_EQ(GetWindowClassName(gone), "");
  EXPECT_EQ(FormWndProc(nullptr, WM_PAINT, 0, 0), 0);
  EXPECT_EQ(BorderWndProc(nullptr, WM_PAINT, 0, 0), 0);
  EXPECT_EQ(ButtonWndProc(nullptr, WM_PAINT, 0, 0), 0);
  TestParent parent;
  HWND plain = Child(L"Static", parent.get());
  SetWindowTextW(plain, L"abc");
  // Without "PROCADDR" they answer as the default procedure does.
  for (auto proc : {&FormWndProc, &BorderWndProc, &ButtonWndProc}) {
    EXPECT_EQ(proc(plain, WM_GETTEXTLENGTH, 0, 0), DefWindowProcW(plain, WM_GETTEXTLENGTH, 0, 0));
  }
  EXPECT_EQ(UnskinForm(plain), 0);
  EXPECT_EQ(RemoveFlatBorder(plain), 0);
}

// ---- the flat border ----------------------------------------------------------

TEST_F(SkinManagerTest, AnEdgedControlGetsThreeRingsInItsColours) {
  TestParent parent;
  HWND edit = parent.AddChild(L"Edit", WS_CHILD | WS_VISIBLE, WS_EX_CLIENTEDGE, 20, 20, 100, 20);
  ASSERT_EQ(AddFlatBorder(edit), 1);
  HDC client = GetDC(edit);
  const COLORREF inner = GetBkColor(client);
  ReleaseDC(edit, client);
  for (bool enabled : {true, false}) {
    EnableWindow(edit, enabled);
    RedrawWindow(edit, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    // Ring 2 lies inside the client area, which the edit paints after its
    // frame: read the rings as the frame paint leaves them.
    SendMessageW(edit, WM_NCPAINT, 1, 0);
    const auto p = testing_util::ReadWindow(edit);
    const COLORREF ring0 = enabled ? 0xD5A554 : 0xCCCCCC;
    for (int x = 0; x < 100; ++x) {
      EXPECT_EQ(p.at(x, 0), ring0) << x;
      EXPECT_EQ(p.at(x, 19), ring0) << x;
    }
    for (int y = 0; y < 20; ++y) {
      EXPECT_EQ(p.at(0, y), ring0) << y;
      EXPECT_EQ(p.at(99, y), ring0) << y;
    }
    for (int x = 1; x < 99; ++x) EXPECT_EQ(p.at(x, 1), inner) << x;
    for (int y = 2; y < 18; ++y) {
      EXPECT_EQ(p.at(2, y), inner) << y;
      EXPECT_EQ(p.at(97, y), inner) << y;
    }
  }
}

TEST_F(SkinManagerTest, AWindowWithoutAClientEdgePaintsAsBefore) {
  TestParent parent;
  HWND edit = parent.AddChild(L"Edit", WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 20, 20, 100, 20);
  RedrawWindow(edit, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  const auto before = testing_util::ReadWindow(edit);
  AddFlatBorder(edit);
  RedrawWindow(edit, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(testing_util::ReadWindow(edit).colours, before.colours);
  // The edit repaints over its frame under Wine: count what the frame paint
  // creates instead. Without a client edge it creates no brush at all.
  auto& counts = testing_util::CountApiCalls();
  int created = counts.gdiCreated;
  SendMessageW(edit, WM_NCPAINT, 1, 0);
  EXPECT_EQ(counts.gdiCreated, created);
  HWND edged = parent.AddChild(L"Edit", WS_CHILD | WS_VISIBLE, WS_EX_CLIENTEDGE, 20, 50, 100, 20);
  AddFlatBorder(edged);
  created = counts.gdiCreated;
  SendMessageW(edged, WM_NCPAINT, 1, 0);
  EXPECT_GT(counts.gdiCreated, created) << "the rings are painted with brushes of their own";
}

TEST_F(SkinManagerTest, BorderPassesMessagesOnAndRepaintsTheFrameWhenReleased) {
  TestParent parent;
  HWND w = testing_util::CreateRecordingWindow(parent.get(), 10, 10, 100, 20, WS_EX_CLIENTEDGE);
  Log().recording = true;
  Log().Clear();
  ASSERT_EQ(AddFlatBorder(w), 1);
  ASSERT_EQ(Log().Count(WM_NCPAINT), 1);
  EXPECT_EQ(Log().seen.back().wParam, 1u);
  EXPECT_EQ(SendMessageW(w, WM_USER + 3, 7, 8), testing_util::kRecorderResult);
  EXPECT_EQ(SendMessageW(w, WM_NCPAINT, 1, 0), testing_util::kRecorderResult);
  Log().Clear();
  EXPECT_EQ(AddFlatBorder(w), 0);
  EXPECT_EQ(SkinButton(w), 0);
  EXPECT_EQ(Log().Count(WM_NCPAINT), 0) << "a refused install sends nothing";

  EXPECT_EQ(SendMessageW(w, WM_DESTROY, 0, 0), 0);
  EXPECT_EQ(Log().Count(WM_DESTROY), 0);
  ASSERT_EQ(Log().Count(WM_NCPAINT), 1) << "the previous procedure repaints its own frame";
  EXPECT_EQ(Log().seen.back().wParam, 1u);
  EXPECT_EQ(Prop(w, "PROCADDR"), 0);
  EXPECT_NE(ProcOf(w), &BorderWndProc);
}

// ---- the real program -----------------------------------------------------------

TEST_F(SkinManagerTest, TheMainWindowIsSkinnedAndLeavesNothingBehind) {
  auto& counts = testing_util::CountApiCalls();
  HWND form = form1::CreateForm1(GetModuleHandleW(nullptr));
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(ProcOf(form), &FormWndProc);
  for (const wchar_t* name : {L"Command1", L"Command2", L"Command3"})
    EXPECT_EQ(ProcOf(form1::Form1Control(form, name)), &ButtonWndProc);
  for (const wchar_t* name : {L"List1", L"Text1", L"File1", L"Dir1", L"Drive1"})
    EXPECT_EQ(ProcOf(form1::Form1Control(form, name)), &BorderWndProc);
  EXPECT_EQ(SkinnedButtonCount, 3);
  EXPECT_EQ(SkinnedFormCount, 1);

  SendMessageW(form1::Form1Control(form, L"Command2"), WM_MOUSEMOVE, 0, 0);  // a fade runs
  const int killTimers = counts.killTimer;
  DestroyWindow(form);
  EXPECT_EQ(counts.killTimer - killTimers, 1);
  EXPECT_EQ(SkinnedButtonCount, 0);
  EXPECT_EQ(SkinnedFormCount, 0);
  EXPECT_EQ(SkinInitialised, 0);
  EXPECT_FALSE(AtlasAlive());
  MSG quit;
  EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the program ends";
}

}  // namespace
