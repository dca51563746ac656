// The shred list as the list box List1 holds it.
#pragma once

#include <windows.h>

#include "engine/shred_run.h"

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

 private:
  HWND listBox_;
};

}  // namespace shred
