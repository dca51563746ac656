#include "window/file_list.h"

#include <algorithm>

#include "engine/path_rules.h"
#include "engine/win32/handle_owner.h"
#include "window/form1_layout.h"

namespace form1 {

namespace {

constexpr DWORD kSkippedAttributes =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// In the verbatim form, which reaches folders beyond 260 characters.
std::wstring SearchPattern(const std::wstring& folder) {
  if (!folder.empty() && folder.back() == L'\\') return shred::VerbatimPath(folder) + L"*";
  return shred::VerbatimPath(folder) + L"\\*";
}

}  // namespace

bool LoadFolderFiles(const std::wstring& folder, FileListData& out) {
  WIN32_FIND_DATAW found;
  const handles::Find find(FindFirstFileExW(SearchPattern(folder).c_str(), FindExInfoBasic, &found,
                                            FindExSearchNameMatch, nullptr,
                                            FIND_FIRST_EX_LARGE_FETCH));
  FileListData data;
  data.path = folder;
  if (!find.valid()) {
    // An empty drive root has no "." entry; anything else is unreadable.
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    const DWORD attributes = GetFileAttributesW(shred::VerbatimPath(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return false;
    }
  } else {
    do {
      // A name no path can reach (a volume written from another system:
      // "sub\\x.txt", "..\\x") would name another file once joined.
      if ((found.dwFileAttributes & kSkippedAttributes) || !shred::IsOneName(found.cFileName))
        continue;
      data.starts.push_back(uint32_t(data.pool.size()));
      const size_t length = wcslen(found.cFileName);
      data.pool.insert(data.pool.end(), found.cFileName, found.cFileName + length + 1);
    } while (FindNextFileW(find, &found));
  }
  const wchar_t* pool = data.pool.data();
  std::sort(data.starts.begin(), data.starts.end(), [pool](uint32_t a, uint32_t b) {
    return CompareStringOrdinal(pool + a, -1, pool + b, -1, TRUE) == CSTR_LESS_THAN;
  });
  out = std::move(data);
  return true;
}

HWND CreateFileList(HWND parent, int id, int x, int y, int width, int height) {
  return CreateWindowExW(0, L"ListBox", nullptr,
                         WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_TABSTOP | WS_GROUP |
                             LBS_NOTIFY | LBS_NODATA | LBS_OWNERDRAWFIXED | LBS_NOINTEGRALHEIGHT,
                         x, y, width, height, parent, HMENU(INT_PTR(id)),
                         HINSTANCE(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
}

bool SetFileListPath(HWND list, FileListData& data, const std::wstring& folder) {
  FileListData loaded;
  if (!LoadFolderFiles(folder, loaded)) return false;
  data = std::move(loaded);
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LB_SETCOUNT, data.size(), 0);
  SendMessageW(list, LB_SETCURSEL, WPARAM(-1), 0);
  SendMessageW(list, LB_SETTOPINDEX, 0, 0);
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  return true;
}

std::wstring SelectedFileName(HWND list, const FileListData& data) {
  const LRESULT index = SendMessageW(list, LB_GETCURSEL, 0, 0);
  if (index < 0 || size_t(index) >= data.size()) return {};
  return data.name(size_t(index));
}

void DrawFileListItem(const DRAWITEMSTRUCT& item, const FileListData& data) {
  const bool selected = item.itemState & ODS_SELECTED;
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  if (item.itemID < data.size()) {
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    RECT text = item.rcItem;
    text.left += 2;
    DrawTextW(item.hDC, data.name(item.itemID), -1, &text,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  }
  if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
}

}  // namespace form1
