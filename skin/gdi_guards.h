// Move-only owners for GDI handles that live within one call. Declare the DC,
// then the bitmap, then the selection: scope exit puts back what was selected,
// deletes the bitmap, then the DC. Handles that outlive a call are not held
// here; they live in their window's properties.
#pragma once

#include <windows.h>

#include <cstddef>
#include <utility>

#include "engine/win32/handle_owner.h"

namespace gdi {

template <typename Handle, typename Traits>
using Owned = handles::Owned<Handle, Traits>;

struct DeleteObjectTraits {
  static std::nullptr_t Invalid() { return nullptr; }
  static void Close(HGDIOBJ object) { DeleteObject(object); }
};
struct DeleteDCTraits {
  static std::nullptr_t Invalid() { return nullptr; }
  static void Close(HDC dc) { DeleteDC(dc); }
};

using Brush = Owned<HBRUSH, DeleteObjectTraits>;
using Bitmap = Owned<HBITMAP, DeleteObjectTraits>;
using Font = Owned<HFONT, DeleteObjectTraits>;
using Region = Owned<HRGN, DeleteObjectTraits>;
using MemoryDC = Owned<HDC, DeleteDCTraits>;

// A device context from GetDC or GetWindowDC, released with ReleaseDC.
class WindowDC {
 public:
  WindowDC(HWND window, HDC dc) : window_(window), dc_(dc) {}
  static WindowDC Whole(HWND window) { return WindowDC(window, GetWindowDC(window)); }
  static WindowDC Client(HWND window) { return WindowDC(window, GetDC(window)); }
  ~WindowDC() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDC(WindowDC&& other) noexcept
      : window_(other.window_), dc_(std::exchange(other.dc_, nullptr)) {}
  WindowDC& operator=(WindowDC&&) = delete;
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;

  HDC get() const { return dc_; }
  operator HDC() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects an object into a DC and puts the previous one back at scope exit.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~Selection() {
    if (previous_) SelectObject(dc_, previous_);
  }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace gdi
