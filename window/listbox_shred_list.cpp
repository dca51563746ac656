#include "window/listbox_shred_list.h"

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

}  // namespace shred
