#include "skin/skin_manager.h"

#include <algorithm>

#include "skin/atlas.h"
#include "skin/button_faces.h"
#include "skin/flat_border.h"
#include "skin/shared_state.h"
#include "skin/skinned_button.h"

namespace skin {

namespace {

const char* const kButtonClasses[] = {"thundercommandbutton", "thunderrt6commandbutton", "button"};
const char* const kFormClasses[] = {"#32770", "thunderformdc", "thunderrt6formdc", "form"};

// The colours changed (high contrast on or off, another scheme): every
// skinned child draws anew, buttons from freshly composed faces.
BOOL CALLBACK RedrawSkinnedChild(HWND window, LPARAM) {
  if (!GetProperty(window, kProcAddr)) return TRUE;
  if (GetProperty(window, FaceDCKey(0))) {
    ComposeButtonFaces(window);
    StopFade(window);
    InvalidateRect(window, nullptr, FALSE);
  } else {
    SendMessageW(window, WM_NCPAINT, 1, 0);
  }
  return TRUE;
}

template <size_t N>
bool InTable(const char* const (&table)[N], const std::string& name) {
  return std::any_of(std::begin(table), std::end(table),
                     [&](const char* entry) { return name == entry; });
}

std::string LowerCaseClassName(HWND window) {
  std::string name = GetWindowClassName(window);
  std::transform(name.begin(), name.end(), name.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
  return name;
}

}  // namespace

bool IsButtonClass(const std::string& lowerCaseName) {
  return InTable(kButtonClasses, lowerCaseName);
}

bool IsFormClass(const std::string& lowerCaseName) { return InTable(kFormClasses, lowerCaseName); }

}  // namespace skin

int SkinWindow(HWND window) {
  if (!SkinInitialised) {
    SkinInitialised = -1;
    HasUserTrackMouseEvent = ExportExists("TrackMouseEvent", "User32");
    BuildSkinAtlas();
  }
  const std::string name = skin::LowerCaseClassName(window);
  if (skin::IsButtonClass(name)) return SkinButton(window);
  if (skin::IsFormClass(name)) {
    EnumChildWindows(window, SkinChildProc, 0);
    return SkinForm(window);
  }
  return 0;
}

BOOL CALLBACK SkinChildProc(HWND window, LPARAM) {
  if (skin::IsButtonClass(skin::LowerCaseClassName(window))) {
    SkinButton(window);
  } else {
    AddFlatBorder(window);
  }
  return TRUE;
}

int SkinForm(HWND window) {
  if (!skin::InstallSkinProc(window, FormWndProc)) return 0;
  ++SkinnedFormCount;
  return 1;
}

int UnskinForm(HWND window) {
  if (!skin::ReleaseSkinProc(window)) return 0;
  --SkinnedFormCount;
  ReleaseSharedIfIdle();
  return 1;
}

LRESULT CALLBACK FormWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!window) return 0;
  const auto previous = reinterpret_cast<WNDPROC>(skin::GetProperty(window, skin::kProcAddr));
  if (!previous) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_DESTROY) {
    UnskinForm(window);
    return 0;
  }
  if (message == WM_SETTINGCHANGE || message == WM_SYSCOLORCHANGE) {
    const LRESULT result = CallWindowProcW(previous, window, message, wParam, lParam);
    EnumChildWindows(window, skin::RedrawSkinnedChild, 0);
    return result;
  }
  if (message == WM_ACTIVATE) {
    HWND other = reinterpret_cast<HWND>(lParam);
    // Only windows of this thread: the skin's state and its subclassing
    // belong to the thread that owns the windows.
    if (other && other != window &&
        GetWindowThreadProcessId(other, nullptr) == GetCurrentThreadId() &&
        skin::IsFormClass(skin::LowerCaseClassName(other))) {
      SkinWindow(other);
    }
  }
  return CallWindowProcW(previous, window, message, wParam, lParam);
}

std::string GetWindowClassName(HWND window) {
  char buffer[255] = {};
  if (!GetClassNameA(window, buffer, 255)) return {};
  return buffer;
}

int16_t ExportExists(const char* functionName, const char* moduleName) {
  HMODULE module = GetModuleHandleA(moduleName);
  const bool loaded = module == nullptr;
  if (loaded) module = LoadLibraryA(moduleName);
  if (!module) return 0;
  const int16_t result = GetProcAddress(module, functionName) ? -1 : 0;
  if (loaded) FreeLibrary(module);
  return result;
}
