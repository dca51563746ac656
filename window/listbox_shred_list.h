// The shred list as the list box List1 holds it.
#pragma once

#include <windows.h>

#include "engine/shred_list.h"

namespace shred {

class ListBoxShredList : public ShredList {
 public:
  explicit ListBoxShredList(HWND listBox) : listBox_(listBox) {}

  int Count() const override;
  std::wstring Item(int index) const override;
  bool Add(const std::wstring& path) override;
  bool RemoveAt(int index) override;
  void Clear() override;
  int Selection() const override;
  std::vector<std::wstring> Items() const override;
  void Replace(const std::vector<std::wstring>& items) override;

 private:
  // The list box's own procedure, for reading and refilling all entries at
  // once: the skin's border procedure has nothing to do with those messages,
  // and its property look-ups would cost more than the list box itself.
  LRESULT Direct(UINT message, WPARAM wParam, LPARAM lParam) const;

  HWND listBox_;
};

}  // namespace shred
