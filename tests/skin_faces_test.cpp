// The atlas as built into its DC, and the four composed faces read back pixel
// by pixel against a reference computed from the face rules.
#include <gtest/gtest.h>

#include "skin/atlas.h"
#include "skin/atlas_table.h"
#include "skin/button_faces.h"
#include "skin/shared_state.h"
#include "skin/skin.h"
#include "tests/api_counter.h"
#include "tests/face_reference.h"
#include "tests/skin_test_util.h"

namespace {

using testing_util::Pixels;
using testing_util::ReadFace;
using testing_util::TestParent;

std::string Hex(COLORREF c) {
  char text[16];
  snprintf(text, sizeof text, "%06lX", static_cast<unsigned long>(c));
  return text;
}

TEST(SkinAtlas, EveryPixelEqualsItsTableCellAfterEachBuild) {
  for (int build = 0; build < 2; ++build) {
    SkinInitialised = -1;
    BuildSkinAtlas();
    ASSERT_EQ(GetObjectType(AtlasDC), DWORD(OBJ_MEMDC));
    const Pixels atlas = testing_util::ReadPixels(AtlasDC, skin::kAtlasWidth, skin::kAtlasHeight);
    for (int y = 0; y < skin::kAtlasHeight; ++y)
      for (int x = 0; x < skin::kAtlasWidth; ++x)
        ASSERT_EQ(atlas.at(x, y), skin::kAtlasPixels[y][x]) << "atlas pixel " << x << "," << y;
    EXPECT_EQ(atlas.at(0, 19), 0xE2B064u);
    EXPECT_EQ(atlas.at(8, 19), 0xE1AF62u);

    HDC built = AtlasDC;
    ReleaseSharedIfIdle();  // no counted window: the atlas goes
    EXPECT_EQ(GetObjectType(built), 0u);
    EXPECT_EQ(SkinInitialised, 0);
  }
}

// A skinned button of the given size in a fresh parent; the faces are
// composed by SkinButton with an empty caption and no focus.
class FacesTest : public ::testing::Test {
 protected:
  HWND Button(int w, int h, const std::wstring& caption = L"") {
    HWND b = parent.AddButton(caption, 20, 20, w, h);
    SetFocus(parent.get());
    SkinWindow(b);
    return b;
  }

  // Compares face s with the reference wherever the rules fix the pixel.
  void ExpectFaceFollowsRules(HWND button, int w, int h) {
    for (int s = 0; s < 4; ++s) {
      const Pixels face = ReadFace(button, s);
      const auto ref = testing_util::ReferenceFace(w, h, s);
      int mismatches = 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const auto expected = ref.at(x, y);
          if (expected && face.at(x, y) != *expected && ++mismatches <= 5) {
            ADD_FAILURE() << w << "x" << h << " face " << s << " pixel (" << x << "," << y
                          << "): " << Hex(face.at(x, y)) << ", expected " << Hex(*expected);
          }
        }
      EXPECT_EQ(mismatches, 0);
    }
  }

  TestParent parent;
};

TEST_F(FacesTest, FacesFollowTheRulesAtEverySize) {
  for (auto [w, h] : {std::pair{9, 21}, {129, 33}, {57, 17}, {8, 21}, {9, 10}, {6, 21}, {12, 7}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    ExpectFaceFollowsRules(Button(w, h), w, h);
  }
}

TEST_F(FacesTest, TileSizedFacesAreTheirTiles) {
  HWND b = Button(9, 21);
  for (int s = 0; s < 4; ++s) {
    const Pixels face = ReadFace(b, s);
    for (int y = 0; y < 21; ++y)
      for (int x = 0; x < 9; ++x) EXPECT_EQ(face.at(x, y), skin::kAtlasPixels[21 * s + y][x]);
  }
}

TEST_F(FacesTest, StretchedMiddleRowsComeFromTheMiddleBandInOrder) {
  HWND b = Button(129, 33);
  for (int s = 0; s < 4; ++s) {
    const Pixels face = ReadFace(b, s);
    int last = 0;
    for (int y = 5; y <= 27; ++y) {
      int found = -1;
      for (int r = last; r <= 15 && found < 0; ++r)
        if (face.at(0, y) == skin::kAtlasPixels[21 * s + r][0] &&
            face.at(64, y) == skin::kAtlasPixels[21 * s + r][4] &&
            face.at(128, y) == skin::kAtlasPixels[21 * s + r][8])
          found = r;
      ASSERT_GE(found, 5) << "face " << s << " row " << y;
      last = found;
      for (int x = 4; x <= 124; ++x) ASSERT_EQ(face.at(x, y), face.at(4, y));
    }
  }
}

// The face with a caption equals the captionless face with the caption drawn
// on it by DrawTextW in the same place, format, font and colour.
Pixels ExpectedWithCaption(const Pixels& plain, HWND button, const std::wstring& text, int state,
                           bool focus) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, plain.width, plain.height);
  HGDIOBJ old = SelectObject(dc, bitmap);
  for (int y = 0; y < plain.height; ++y)
    for (int x = 0; x < plain.width; ++x) SetPixel(dc, x, y, plain.at(x, y));
  HGDIOBJ oldFont = SelectObject(dc, HFONT(SendMessageW(button, WM_GETFONT, 0, 0)));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, state == 3 ? 0x808080 : 0);
  RECT r{2, 2, plain.width - 2, plain.height - 2};
  if (!text.empty()) DrawTextW(dc, text.c_str(), -1, &r, 0x8025);
  if (focus) DrawFocusRect(dc, &r);
  Pixels expected = testing_util::ReadPixels(dc, plain.width, plain.height);
  SelectObject(dc, oldFont);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return expected;
}

void ExpectSamePixels(const Pixels& actual, const Pixels& expected, const std::string& what) {
  int mismatches = 0;
  for (int y = 0; y < actual.height; ++y) {
    for (int x = 0; x < actual.width; ++x) {
      if (actual.at(x, y) != expected.at(x, y) && ++mismatches <= 3) {
        ADD_FAILURE() << what << ": pixel (" << x << "," << y << ") " << Hex(actual.at(x, y))
                      << ", expected " << Hex(expected.at(x, y));
      }
    }
  }
  EXPECT_EQ(mismatches, 0) << what;
}

TEST_F(FacesTest, CaptionsAreDrawnCentredInTheInsetWithTheirStateColour) {
  HWND plainButton = Button(129, 33);
  Pixels plain[4];
  for (int s = 0; s < 4; ++s) plain[s] = ReadFace(plainButton, s);
  struct {
    std::wstring caption, drawn;
  } cases[] = {{L"粉碎文件", L"粉碎文件"},
               {L"확인 한국어", L"확인 한국어"},
               {L"A very long caption that cannot fit in the face at all", L""},
               {L"&Open", L""},
               {L"Fish && Chips", L""}};
  for (const auto& c : cases) {
    HWND b = Button(129, 33, c.caption);
    for (int s = 0; s < 4; ++s) {
      ExpectSamePixels(ReadFace(b, s), ExpectedWithCaption(plain[s], b, c.caption, s, false),
                       testing::PrintToString(c.caption) + " face " + std::to_string(s));
    }
  }
  // The disabled face writes in grey, the others in black: glyph pixels of
  // full coverage have that colour, smoothed edges lie between it and the face.
  HWND b = Button(129, 33, L"粉碎文件");
  for (int s = 0; s < 4; ++s) {
    const Pixels face = ReadFace(b, s);
    const COLORREF ink = s == 3 ? 0x808080 : 0;
    bool inkSeen = false;
    for (int y = 2; y < 31; ++y) {
      for (int x = 2; x < 127; ++x) {
        const COLORREF c = face.at(x, y);
        if (c == plain[s].at(x, y)) continue;
        inkSeen |= c == ink;
        for (int shift : {0, 8, 16}) EXPECT_GE((c >> shift) & 0xFF, (ink >> shift) & 0xFF);
      }
    }
    EXPECT_TRUE(inkSeen) << "face " << s;
  }
}

TEST_F(FacesTest, ACaptionTooWideStaysInsideTheInset) {
  const Pixels plain = ReadFace(Button(57, 17), 0);
  const Pixels longCaption = ReadFace(Button(57, 17, L"WWWWWWWWWWWWWWWWWWWW"), 0);
  for (int y = 0; y < 17; ++y) {
    for (int x = 0; x < 57; ++x) {
      if (x < 2 || y < 2 || x >= 55 || y >= 15) {
        EXPECT_EQ(longCaption.at(x, y), plain.at(x, y)) << x << "," << y;
      }
    }
  }
}

// A button whose text holds a NUL in its middle.
LRESULT CALLBACK NulTextProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  static const wchar_t kText[] = L"AB\0CD";
  if (m == WM_GETTEXTLENGTH) return 5;
  if (m == WM_GETTEXT) {
    const size_t n = std::min<size_t>(size_t(wp), 6);
    memcpy(reinterpret_cast<wchar_t*>(lp), kText, n * sizeof(wchar_t));
    return LRESULT(n ? n - 1 : 0);
  }
  return CallWindowProcW(reinterpret_cast<WNDPROC>(GetPropA(w, "TESTPREV")), w, m, wp, lp);
}

TEST_F(FacesTest, CaptionStopsAtItsFirstNul) {
  HWND plainButton = Button(129, 33);
  const Pixels plain = ReadFace(plainButton, 0);
  HWND b = parent.AddButton(L"", 20, 20, 129, 33);
  SetPropA(b, "TESTPREV", HANDLE(SetWindowLongPtrW(b, GWLP_WNDPROC, LONG_PTR(&NulTextProc))));
  EXPECT_EQ(GetWindowCaption(b), std::wstring(L"AB\0CD", 5));
  SkinWindow(b);
  ExpectSamePixels(ReadFace(b, 0), ExpectedWithCaption(plain, b, L"AB", 0, false), "AB\\0CD");
}

TEST_F(FacesTest, FocusRectangleOnAllFourFacesExactlyWithTheFocus) {
  HWND plainButton = Button(129, 33, L"OK");
  Pixels unfocused[4];
  for (int s = 0; s < 4; ++s) unfocused[s] = ReadFace(plainButton, s);
  HWND b = Button(129, 33, L"OK");
  SetFocus(b);  // WM_SETFOCUS recomposes the faces
  ASSERT_EQ(GetFocus(), b);
  for (int s = 0; s < 4; ++s) {
    HDC dc = reinterpret_cast<HDC>(GetPropA(b, skin::FaceDCKey(s)));
    Pixels expected = unfocused[s];
    // The focus frame inverts: draw it on the unfocused face to compare.
    HDC scratch = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 129, 33);
    HGDIOBJ old = SelectObject(scratch, bitmap);
    for (int y = 0; y < 33; ++y)
      for (int x = 0; x < 129; ++x) SetPixel(scratch, x, y, unfocused[s].at(x, y));
    RECT r{2, 2, 127, 31};
    DrawFocusRect(scratch, &r);
    expected = testing_util::ReadPixels(scratch, 129, 33);
    SelectObject(scratch, old);
    DeleteObject(bitmap);
    DeleteDC(scratch);
    ExpectSamePixels(ReadFace(b, s), expected, "focused face " + std::to_string(s));
  }
  SetFocus(parent.get());  // WM_KILLFOCUS recomposes without the frame
  for (int s = 0; s < 4; ++s)
    ExpectSamePixels(ReadFace(b, s), unfocused[s], "unfocused face " + std::to_string(s));
}

TEST_F(FacesTest, MissingFaceDCLeavesThatFaceAlone) {
  HWND b = Button(57, 17);
  Pixels before[4];
  for (int s = 0; s < 4; ++s) before[s] = ReadFace(b, s);
  HDC face2 = reinterpret_cast<HDC>(GetPropA(b, "HDC2"));
  const RECT all{0, 0, 57, 17};
  HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
  FillRect(face2, &all, magenta);
  DeleteObject(magenta);
  for (int s : {0, 1, 3}) {
    HDC dc = reinterpret_cast<HDC>(GetPropA(b, skin::FaceDCKey(s)));
    HBRUSH black = HBRUSH(GetStockObject(BLACK_BRUSH));
    FillRect(dc, &all, black);
  }
  RemovePropA(b, "HDC2");
  ComposeButtonFaces(b);
  SetPropA(b, "HDC2", face2);
  for (int s : {0, 1, 3}) ExpectSamePixels(ReadFace(b, s), before[s], "composed face");
  const Pixels untouched = ReadFace(b, 2);
  for (COLORREF c : untouched.colours) ASSERT_EQ(c, RGB(255, 0, 255));
}

TEST_F(FacesTest, CompositionCreatesNoGdiObject) {
  auto& counts = testing_util::CountApiCalls();
  HWND b = Button(129, 33, L"粉碎文件");
  const int created = counts.gdiCreated;
  for (int i = 0; i < 10; ++i) ComposeButtonFaces(b);
  EXPECT_EQ(counts.gdiCreated, created);
}

}  // namespace
