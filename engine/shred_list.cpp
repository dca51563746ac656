// The shred list's operations, on whatever list box or vector holds it.
#include "engine/shred_list.h"

namespace shred {

const wchar_t kListFullText[] = L"列表已满，最多 32767 项";

std::vector<std::wstring> ShredList::Items() const {
  std::vector<std::wstring> items;
  const int count = Count();
  items.reserve(size_t(count));
  for (int i = 0; i < count; ++i) items.push_back(Item(i));
  return items;
}

void ShredList::Replace(const std::vector<std::wstring>& items) {
  Clear();
  for (const auto& item : items) Add(item);
}

bool AddEntry(ShredList& list, const std::wstring& path) {
  if (list.Count() >= kMaxEntries) return false;
  return list.Add(path);
}

bool RemoveSelectedEntry(ShredList& list) {
  const int selection = list.Selection();
  if (selection < 0 || selection >= list.Count()) return false;
  return list.RemoveAt(selection);
}

}  // namespace shred
