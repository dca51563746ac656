#include "window/folder_list.h"

#include <algorithm>

#include "engine/path_rules.h"
#include "engine/win32/handle_owner.h"
#include "skin/gdi_guards.h"

namespace form1 {

namespace {

constexpr int kRowHeight = 16;
constexpr int kIndent = 9;
constexpr DWORD kSkippedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// Length of the root part: "C:\" or "\\server\share\".
size_t RootLength(const std::wstring& path) {
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return 3;
  if (path.rfind(L"\\\\", 0) == 0) {
    const size_t server = path.find(L'\\', 2);
    if (server == std::wstring::npos) return path.size();
    const size_t share = path.find(L'\\', server + 1);
    return share == std::wstring::npos ? path.size() : share + 1;
  }
  return 0;
}

bool ReadSubfolders(const std::wstring& folder, std::vector<std::wstring>& names) {
  const std::wstring pattern =
      shred::VerbatimPath(folder) + (folder.back() == L'\\' ? L"*" : L"\\*");
  WIN32_FIND_DATAW found;
  const handles::Find find(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                            FindExSearchNameMatch, nullptr, 0));
  if (!find.valid()) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::wstring name = found.cFileName;
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (found.dwFileAttributes & kSkippedAttributes) || !shred::IsOneName(name)) {
      continue;
    }
    names.push_back(name);
  } while (FindNextFileW(find, &found));
  std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
  });
  return true;
}

// A closed or open folder, 14 x 11 pixels at 96 dots per inch, drawn at
// (x, y); its outline one device pixel wide at any scale.
void DrawFolderGlyph(HDC dc, int x, int y, bool open, UINT dpi) {
  const auto at = [dpi](int length) { return MulDiv(length, int(dpi), 96); };
  const gdi::Brush body(CreateSolidBrush(RGB(0xF0, 0xC8, 0x50)));
  const gdi::Brush tab(CreateSolidBrush(RGB(0xD8, 0xA8, 0x30)));
  const gdi::Brush outline(CreateSolidBrush(RGB(0x80, 0x60, 0x10)));
  const RECT tabRect{x, y, x + at(6), y + at(2)};
  FillRect(dc, &tabRect, tab);
  const RECT bodyRect{x, y + at(2), x + at(14), y + at(11)};
  FillRect(dc, &bodyRect, body);
  FrameRect(dc, &bodyRect, outline);
  if (open) {
    // The open folder shows its lighter inside above its front.
    const gdi::Brush inside(CreateSolidBrush(RGB(0xFF, 0xF0, 0xB0)));
    const RECT insideRect{x + 1, y + at(3), x + at(13), y + at(6)};
    FillRect(dc, &insideRect, inside);
  }
}

}  // namespace

std::wstring CanonicalFolderPath(const std::wstring& folder) {
  if (folder.empty()) return {};
  std::wstring path(32768, L'\0');  // the longest path there is
  const DWORD n = GetFullPathNameW(folder.c_str(), DWORD(path.size()), path.data(), nullptr);
  if (n == 0 || n >= path.size()) return {};
  path.resize(n);
  while (path.size() > RootLength(path) && path.back() == L'\\') path.pop_back();
  if (path.size() == 2 && path[1] == L':') path += L'\\';
  return path;
}

bool LoadFolderChain(const std::wstring& folder, FolderListData& out) {
  const std::wstring path = CanonicalFolderPath(folder);
  const size_t rootLength = RootLength(path);
  if (path.empty() || rootLength == 0) return false;
  const DWORD attributes = GetFileAttributesW(shred::VerbatimPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  std::vector<std::wstring> subfolders;
  if (!ReadSubfolders(path, subfolders)) return false;

  FolderListData data;
  data.path = path;
  data.entries.push_back({path.substr(0, rootLength), 0, true});
  size_t start = rootLength;
  while (start < path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    data.entries.push_back({path.substr(start, end - start), int(data.entries.size()), true});
    start = end + 1;
  }
  data.current = int(data.entries.size()) - 1;
  const int level = data.current + 1;
  for (auto& name : subfolders) data.entries.push_back({std::move(name), level, false});
  out = std::move(data);
  return true;
}

std::wstring FolderEntryPath(const FolderListData& data, int index) {
  if (index < 0 || size_t(index) >= data.entries.size()) return {};
  if (index > data.current) {
    return data.path + (data.path.back() == L'\\' ? L"" : L"\\") + data.entries[index].name;
  }
  std::wstring path = data.entries[0].name;
  for (int i = 1; i <= index; ++i) {
    if (path.back() != L'\\') path += L'\\';
    path += data.entries[i].name;
  }
  return path;
}

HWND CreateFolderList(HWND parent, int id, int x, int y, int width, int height) {
  HWND list =
      CreateWindowExW(0, L"ListBox", nullptr,
                      WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_TABSTOP | WS_GROUP |
                          LBS_NOTIFY | LBS_NODATA | LBS_OWNERDRAWFIXED | LBS_NOINTEGRALHEIGHT,
                      x, y, width, height, parent, HMENU(INT_PTR(id)),
                      HINSTANCE(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
  SendMessageW(list, LB_SETITEMHEIGHT, 0, kRowHeight);
  return list;
}

bool SetFolderListPath(HWND list, FolderListData& data, const std::wstring& folder) {
  FolderListData loaded;
  if (!LoadFolderChain(folder, loaded)) return false;
  data = std::move(loaded);
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LB_SETCOUNT, data.entries.size(), 0);
  SendMessageW(list, LB_SETCURSEL, data.current, 0);
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  return true;
}

void DrawFolderListItem(const DRAWITEMSTRUCT& item, const FolderListData& data) {
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_WINDOW));
  if (item.itemID >= data.entries.size()) return;
  const FolderEntry& entry = data.entries[item.itemID];
  const auto at = [&data](int length) { return MulDiv(length, int(data.dpi), 96); };
  const int x = item.rcItem.left + at(2) + entry.level * at(kIndent);
  const int rowTop = item.rcItem.top + (item.rcItem.bottom - item.rcItem.top - at(11)) / 2;
  DrawFolderGlyph(item.hDC, x, rowTop, entry.open, data.dpi);

  RECT text{x + at(17), item.rcItem.top, item.rcItem.right, item.rcItem.bottom};
  SIZE extent{};
  GetTextExtentPoint32W(item.hDC, entry.name.c_str(), int(entry.name.size()), &extent);
  text.right = std::min<LONG>(text.right, text.left + extent.cx + 4);
  const bool selected = item.itemState & ODS_SELECTED;
  FillRect(item.hDC, &text, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  RECT inner = text;
  inner.left += 2;
  DrawTextW(item.hDC, entry.name.c_str(), -1, &inner, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &text);
}

}  // namespace form1
