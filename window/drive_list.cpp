#include "window/drive_list.h"

#include <cwctype>
#include <vector>

namespace form1 {

namespace {

constexpr int kDropDownRows = 8;
constexpr int kFieldRowHeight = 14;

std::wstring DriveText(const wchar_t* root) {
  std::wstring text{wchar_t(std::towupper(root[0])), L':'};
  // Only drives that hold a medium are asked for a label: asking an empty
  // floppy or CD drive would wait for it.
  const UINT type = GetDriveTypeW(root);
  if (type == DRIVE_FIXED || type == DRIVE_RAMDISK || type == DRIVE_REMOTE) {
    wchar_t label[MAX_PATH + 1] = {};
    if (GetVolumeInformationW(root, label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0) &&
        label[0]) {
      text += L" [";
      text += label;
      text += L"]";
    }
  }
  return text;
}

}  // namespace

HWND CreateDriveList(HWND parent, int id, int x, int y, int width, int height) {
  HWND list = CreateWindowExW(0, L"ComboBox", nullptr,
                              WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | WS_GROUP |
                                  CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS,
                              x, y, width, height + kDropDownRows * kFieldRowHeight, parent,
                              HMENU(INT_PTR(id)),
                              HINSTANCE(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
  return list;
}

void FitDriveListHeight(HWND list, int height) {
  // The edge around the field differs between systems, and so does what
  // CB_GETITEMHEIGHT reports: set a row height, measure, correct once.
  int row = kFieldRowHeight;
  SendMessageW(list, CB_SETITEMHEIGHT, WPARAM(-1), row);
  RECT closed;
  GetWindowRect(list, &closed);
  row += height - (closed.bottom - closed.top);
  if (row > 0) SendMessageW(list, CB_SETITEMHEIGHT, WPARAM(-1), row);
}

void FillDriveList(HWND list, wchar_t current) {
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  std::vector<wchar_t> roots(GetLogicalDriveStringsW(0, nullptr) + 1);
  GetLogicalDriveStringsW(DWORD(roots.size()), roots.data());
  for (const wchar_t* root = roots.data(); *root; root += wcslen(root) + 1) {
    SendMessageW(list, CB_ADDSTRING, 0, LPARAM(DriveText(root).c_str()));
  }
  SelectDriveLetter(list, current);
}

std::wstring SelectedDrive(HWND list) {
  const LRESULT index = SendMessageW(list, CB_GETCURSEL, 0, 0);
  if (index < 0) return {};
  std::wstring text(size_t(SendMessageW(list, CB_GETLBTEXTLEN, index, 0)), L'\0');
  SendMessageW(list, CB_GETLBTEXT, index, LPARAM(text.data()));
  return text;
}

void DrawDriveListItem(const DRAWITEMSTRUCT& item) {
  const bool selected = item.itemState & ODS_SELECTED;
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  if (item.itemID != UINT(-1)) {
    std::wstring text(size_t(SendMessageW(item.hwndItem, CB_GETLBTEXTLEN, item.itemID, 0)), L'\0');
    SendMessageW(item.hwndItem, CB_GETLBTEXT, item.itemID, LPARAM(text.data()));
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    RECT inner = item.rcItem;
    inner.left += 2;
    DrawTextW(item.hDC, text.c_str(), int(text.size()), &inner,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  }
  if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
}

bool SelectDriveLetter(HWND list, wchar_t letter) {
  const wchar_t prefix[] = {wchar_t(std::towupper(letter)), L':', 0};
  const LRESULT index = SendMessageW(list, CB_FINDSTRING, WPARAM(-1), LPARAM(prefix));
  if (index < 0) return false;
  SendMessageW(list, CB_SETCURSEL, index, 0);
  return true;
}

}  // namespace form1
