// The entries of a list box, in order.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_util {

inline std::vector<std::wstring> ListItems(HWND list) {
  std::vector<std::wstring> items;
  const int count = int(SendMessageW(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::wstring item(size_t(SendMessageW(list, LB_GETTEXTLEN, i, 0)), L'\0');
    SendMessageW(list, LB_GETTEXT, i, LPARAM(item.data()));
    items.push_back(item);
  }
  return items;
}

}  // namespace testing_util
