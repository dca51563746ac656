#include "window/listbox_shred_list.h"

#include <algorithm>

namespace shred {

int ListBoxShredList::Count() const {
  const LRESULT count = SendMessageW(listBox_, LB_GETCOUNT, 0, 0);
  return count < 0 ? 0 : int(count);
}

std::wstring ListBoxShredList::Item(int index) const {
  const LRESULT length = SendMessageW(listBox_, LB_GETTEXTLEN, index, 0);
  if (length < 0) return {};
  std::wstring text(size_t(length), L'\0');
  SendMessageW(listBox_, LB_GETTEXT, index, LPARAM(text.data()));
  text.resize(wcsnlen(text.c_str(), text.size()));
  return text;
}

bool ListBoxShredList::Add(const std::wstring& path) {
  const LRESULT index = SendMessageW(listBox_, LB_ADDSTRING, 0, LPARAM(path.c_str()));
  return index >= 0;
}

bool ListBoxShredList::RemoveAt(int index) {
  return SendMessageW(listBox_, LB_DELETESTRING, index, 0) != LB_ERR;
}

void ListBoxShredList::Clear() { SendMessageW(listBox_, LB_RESETCONTENT, 0, 0); }

int ListBoxShredList::Selection() const { return int(SendMessageW(listBox_, LB_GETCURSEL, 0, 0)); }

LRESULT ListBoxShredList::Direct(UINT message, WPARAM wParam, LPARAM lParam) const {
  const auto procedure = reinterpret_cast<WNDPROC>(GetClassLongPtrW(listBox_, GCLP_WNDPROC));
  return CallWindowProcW(procedure, listBox_, message, wParam, lParam);
}

std::vector<std::wstring> ListBoxShredList::Items() const {
  std::vector<std::wstring> items(size_t(std::max<LRESULT>(Direct(LB_GETCOUNT, 0, 0), 0)));
  for (size_t i = 0; i < items.size(); ++i) {
    const LRESULT length = Direct(LB_GETTEXTLEN, i, 0);
    if (length <= 0) continue;
    items[i].resize(size_t(length));
    Direct(LB_GETTEXT, i, LPARAM(items[i].data()));
  }
  return items;
}

void ListBoxShredList::Replace(const std::vector<std::wstring>& items) {
  Direct(WM_SETREDRAW, FALSE, 0);
  Direct(LB_RESETCONTENT, 0, 0);
  for (const auto& item : items) Direct(LB_ADDSTRING, 0, LPARAM(item.c_str()));
  Direct(WM_SETREDRAW, TRUE, 0);
  InvalidateRect(listBox_, nullptr, TRUE);
}

}  // namespace shred
