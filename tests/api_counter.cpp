#include "tests/api_counter.h"

#include <commctrl.h>

#include <cstring>

namespace testing_util {

namespace {

ApiCounts counts;

decltype(&SetTimer) realSetTimer;
decltype(&KillTimer) realKillTimer;
decltype(&TrackMouseEvent) realTrackMouseEvent;
decltype(&_TrackMouseEvent) realComctlTrackMouseEvent;
decltype(&AlphaBlend) realAlphaBlend;
decltype(&SetWindowRgn) realSetWindowRgn;
decltype(&GetProcAddress) realGetProcAddress;
decltype(&FreeLibrary) realFreeLibrary;
decltype(&CreateCompatibleDC) realCreateCompatibleDC;
decltype(&CreateCompatibleBitmap) realCreateCompatibleBitmap;
decltype(&CreateSolidBrush) realCreateSolidBrush;
decltype(&CreateRoundRectRgn) realCreateRoundRectRgn;
decltype(&CreateDCW) realCreateDCW;
decltype(&DeleteDC) realDeleteDC;
decltype(&DeleteObject) realDeleteObject;
decltype(&FlushFileBuffers) realFlushFileBuffers;
decltype(&SetEndOfFile) realSetEndOfFile;

template <typename H>
H Keep(H handle) {
  if (handle) {
    ++counts.gdiCreated;
    counts.liveObjects.insert(handle);
  }
  return handle;
}

UINT_PTR WINAPI CountedSetTimer(HWND w, UINT_PTR id, UINT ms, TIMERPROC proc) {
  ++counts.setTimer;
  return realSetTimer(w, id, ms, proc);
}
BOOL WINAPI CountedKillTimer(HWND w, UINT_PTR id) {
  ++counts.killTimer;
  return realKillTimer(w, id);
}
BOOL WINAPI CountedTrackMouseEvent(TRACKMOUSEEVENT* request) {
  ++counts.trackMouseEvent;
  return realTrackMouseEvent(request);
}
BOOL WINAPI CountedComctlTrackMouseEvent(TRACKMOUSEEVENT* request) {
  ++counts.trackMouseEvent;
  return realComctlTrackMouseEvent(request);
}
BOOL WINAPI CountedAlphaBlend(HDC d, int x, int y, int w, int h, HDC s, int sx, int sy, int sw,
                              int sh, BLENDFUNCTION f) {
  ++counts.alphaBlend;
  return realAlphaBlend(d, x, y, w, h, s, sx, sy, sw, sh, f);
}
// The window owns a region once SetWindowRgn took it, and deletes it itself.
int WINAPI CountedSetWindowRgn(HWND window, HRGN region, BOOL redraw) {
  counts.liveObjects.erase(region);
  return realSetWindowRgn(window, region, redraw);
}
FARPROC WINAPI CountedGetProcAddress(HMODULE module, LPCSTR name) {
  ++counts.getProcAddress;
  return realGetProcAddress(module, name);
}
BOOL WINAPI CountedFreeLibrary(HMODULE module) {
  ++counts.freeLibrary;
  return realFreeLibrary(module);
}
HDC WINAPI CountedCreateCompatibleDC(HDC dc) { return Keep(realCreateCompatibleDC(dc)); }
HBITMAP WINAPI CountedCreateCompatibleBitmap(HDC dc, int w, int h) {
  return Keep(realCreateCompatibleBitmap(dc, w, h));
}
HBRUSH WINAPI CountedCreateSolidBrush(COLORREF c) { return Keep(realCreateSolidBrush(c)); }
HRGN WINAPI CountedCreateRoundRectRgn(int a, int b, int c, int d, int e, int f) {
  return Keep(realCreateRoundRectRgn(a, b, c, d, e, f));
}
HDC WINAPI CountedCreateDCW(LPCWSTR a, LPCWSTR b, LPCWSTR c, const DEVMODEW* d) {
  return Keep(realCreateDCW(a, b, c, d));
}
BOOL WINAPI CountedDeleteDC(HDC dc) {
  const BOOL ok = realDeleteDC(dc);
  if (ok) counts.liveObjects.erase(dc);
  return ok;
}
BOOL WINAPI CountedDeleteObject(HGDIOBJ object) {
  const BOOL ok = realDeleteObject(object);
  if (ok) counts.liveObjects.erase(object);
  return ok;
}

BOOL WINAPI CountedFlushFileBuffers(HANDLE file) {
  counts.fileCalls += 'F';
  return realFlushFileBuffers(file);
}
BOOL WINAPI CountedSetEndOfFile(HANDLE file) {
  counts.fileCalls += 'T';
  return realSetEndOfFile(file);
}

// Points this module's import of `dll`!`name` at `replacement`; returns the
// function it pointed to.
void* Redirect(const char* dll, const char* name, void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name;
       ++d) {
    if (_stricmp(reinterpret_cast<char*>(base + d->Name), dll) != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (strcmp(reinterpret_cast<char*>(byName->Name), name) != 0) continue;
      DWORD old;
      VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &old);
      void* previous = reinterpret_cast<void*>(slots->u1.Function);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slots->u1.Function, sizeof(void*), old, &old);
      return previous;
    }
  }
  return nullptr;
}

template <typename F>
void Hook(const char* dll, const char* name, F& real, F counted) {
  void* previous = Redirect(dll, name, reinterpret_cast<void*>(counted));
  real = previous ? reinterpret_cast<F>(previous)
                  : reinterpret_cast<F>(
                        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dll), name)));
}

}  // namespace

ApiCounts& CountApiCalls() {
  static const bool installed = [] {
    LoadLibraryA("msimg32.dll");
    LoadLibraryA("comctl32.dll");
    Hook("user32.dll", "SetTimer", realSetTimer, &CountedSetTimer);
    Hook("user32.dll", "KillTimer", realKillTimer, &CountedKillTimer);
    Hook("user32.dll", "TrackMouseEvent", realTrackMouseEvent, &CountedTrackMouseEvent);
    Hook("comctl32.dll", "_TrackMouseEvent", realComctlTrackMouseEvent,
         &CountedComctlTrackMouseEvent);
    Hook("msimg32.dll", "AlphaBlend", realAlphaBlend, &CountedAlphaBlend);
    Hook("user32.dll", "SetWindowRgn", realSetWindowRgn, &CountedSetWindowRgn);
    Hook("kernel32.dll", "GetProcAddress", realGetProcAddress, &CountedGetProcAddress);
    Hook("kernel32.dll", "FreeLibrary", realFreeLibrary, &CountedFreeLibrary);
    Hook("gdi32.dll", "CreateCompatibleDC", realCreateCompatibleDC, &CountedCreateCompatibleDC);
    Hook("gdi32.dll", "CreateCompatibleBitmap", realCreateCompatibleBitmap,
         &CountedCreateCompatibleBitmap);
    Hook("gdi32.dll", "CreateSolidBrush", realCreateSolidBrush, &CountedCreateSolidBrush);
    Hook("gdi32.dll", "CreateRoundRectRgn", realCreateRoundRectRgn, &CountedCreateRoundRectRgn);
    Hook("gdi32.dll", "CreateDCW", realCreateDCW, &CountedCreateDCW);
    Hook("gdi32.dll", "DeleteDC", realDeleteDC, &CountedDeleteDC);
    Hook("gdi32.dll", "DeleteObject", realDeleteObject, &CountedDeleteObject);
    Hook("kernel32.dll", "FlushFileBuffers", realFlushFileBuffers, &CountedFlushFileBuffers);
    Hook("kernel32.dll", "SetEndOfFile", realSetEndOfFile, &CountedSetEndOfFile);
    return true;
  }();
  (void)installed;
  return counts;
}

}  // namespace testing_util
