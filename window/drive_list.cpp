#include "window/drive_list.h"

#include <cwctype>
#include <memory>
#include <thread>
#include <vector>

#include "skin/gdi_guards.h"

namespace form1 {

namespace {

constexpr int kDropDownRows = 8;
constexpr int kFieldRowHeight = 14;

// Posted to the list by the thread that asks network drives for their
// labels: wParam the letter, lParam a std::wstring* label the list frees.
constexpr UINT kDriveLabelMessage = WM_APP + 0x44;

std::wstring DriveText(wchar_t letter, const std::wstring& label) {
  std::wstring text{wchar_t(std::towupper(letter)), L':'};
  if (!label.empty()) text += L" [" + label + L"]";
  return text;
}

std::wstring VolumeLabel(const wchar_t* root) {
  wchar_t label[MAX_PATH + 1] = {};
  if (!GetVolumeInformationW(root, label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0)) {
    return {};
  }
  return label;
}

// A flat field: a one-pixel frame in the window-frame colour around the
// window colour, and a flat drop button with its arrow, drawn over what the
// combo box painted with its sunken edge and raised button.
void DrawFlatField(HWND list) {
  RECT r;
  GetClientRect(list, &r);
  const gdi::WindowDC dc = gdi::WindowDC::Client(list);
  const int button = GetSystemMetrics(SM_CXVSCROLL);
  FrameRect(dc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
  RECT ring{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
  FrameRect(dc, &ring, GetSysColorBrush(COLOR_WINDOW));
  RECT drop{r.right - 1 - button, r.top + 1, r.right - 1, r.bottom - 1};
  FillRect(dc, &drop, GetSysColorBrush(COLOR_BTNFACE));
  RECT line{drop.left, drop.top, drop.left + 1, drop.bottom};
  FillRect(dc, &line, GetSysColorBrush(COLOR_WINDOWFRAME));
  // The arrow: rows of 7, 5, 3 and 1 pixels.
  const int cx = (drop.left + 1 + drop.right) / 2, cy = (drop.top + drop.bottom) / 2 - 2;
  for (int row = 0; row < 4; ++row) {
    RECT bar{cx - 3 + row, cy + row, cx + 4 - row, cy + row + 1};
    FillRect(dc, &bar, GetSysColorBrush(COLOR_BTNTEXT));
  }
}

// The row of the drive with this letter, or a negative number.
LRESULT FindDrive(HWND list, wchar_t letter) {
  const wchar_t prefix[] = {wchar_t(std::towupper(letter)), L':', 0};
  return SendMessageW(list, CB_FINDSTRING, WPARAM(-1), LPARAM(prefix));
}

void SetDriveLabel(HWND list, wchar_t letter, const std::wstring& label) {
  const LRESULT index = FindDrive(list, letter);
  if (index < 0) return;
  const LRESULT selected = SendMessageW(list, CB_GETCURSEL, 0, 0);
  SendMessageW(list, CB_DELETESTRING, index, 0);
  SendMessageW(list, CB_INSERTSTRING, index, LPARAM(DriveText(letter, label).c_str()));
  if (selected == index) SendMessageW(list, CB_SETCURSEL, index, 0);
}

LRESULT CALLBACK DriveListWndProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(list, GWLP_USERDATA));
  if (message == kDriveLabelMessage) {
    std::unique_ptr<std::wstring> label(reinterpret_cast<std::wstring*>(lParam));
    SetDriveLabel(list, wchar_t(wParam), *label);
    return 0;
  }
  const LRESULT result = CallWindowProcW(previous, list, message, wParam, lParam);
  if (message == WM_PAINT) DrawFlatField(list);
  return result;
}

// Network drives answer late or not at all (a disconnected share waits for
// the network to time out): their labels are asked for on a thread of their
// own and come to the list when they come.
void AskNetworkLabels(HWND list, std::vector<std::wstring> roots) {
  std::thread([list, roots = std::move(roots)] {
    for (const std::wstring& root : roots) {
      auto label = std::make_unique<std::wstring>(VolumeLabel(root.c_str()));
      if (label->empty()) continue;
      if (PostMessageW(list, kDriveLabelMessage, WPARAM(root[0]), LPARAM(label.get()))) {
        label.release();  // the list frees it
      }
    }
  }).detach();
}

}  // namespace

HWND CreateDriveList(HWND parent, int id, int x, int y, int width, int height) {
  HWND list = CreateWindowExW(0, L"ComboBox", nullptr,
                              WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | WS_GROUP |
                                  CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS,
                              x, y, width, height + kDropDownRows * kFieldRowHeight, parent,
                              HMENU(INT_PTR(id)),
                              HINSTANCE(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
  if (list) {
    SetWindowLongPtrW(list, GWLP_USERDATA,
                      SetWindowLongPtrW(list, GWLP_WNDPROC, LONG_PTR(DriveListWndProc)));
  }
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
  std::vector<std::wstring> network;
  for (const wchar_t* root = roots.data(); *root; root += wcslen(root) + 1) {
    // Only local drives that hold a medium are asked for a label here: an
    // empty floppy or CD drive would wait for one, a network drive for the
    // network.
    const UINT type = GetDriveTypeW(root);
    if (type == DRIVE_REMOTE) network.push_back(root);
    const bool local = type == DRIVE_FIXED || type == DRIVE_RAMDISK;
    SendMessageW(list, CB_ADDSTRING, 0,
                 LPARAM(DriveText(root[0], local ? VolumeLabel(root) : L"").c_str()));
  }
  SelectDriveLetter(list, current);
  if (!network.empty()) AskNetworkLabels(list, std::move(network));
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
  const LRESULT index = FindDrive(list, letter);
  if (index < 0) return false;
  SendMessageW(list, CB_SETCURSEL, index, 0);
  return true;
}

}  // namespace form1
