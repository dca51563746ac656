// The ordered list of paths the user collected, on whatever list box or
// vector holds it.
#pragma once

#include <string>
#include <vector>

namespace shred {

// Indices run from 0 to Count() - 1; Selection() is -1 when nothing is
// selected.
class ShredList {
 public:
  virtual ~ShredList() = default;
  virtual int Count() const = 0;
  virtual std::wstring Item(int index) const = 0;
  virtual bool Add(const std::wstring& path) = 0;
  virtual bool RemoveAt(int index) = 0;
  virtual void Clear() = 0;
  virtual int Selection() const = 0;
  // Every entry in order; a list that can read them faster overrides it.
  virtual std::vector<std::wstring> Items() const;
  // The list as it should be after a run, when it differs from what it holds.
  virtual void Replace(const std::vector<std::wstring>& items);
};

// The list holds at most this many entries, as the list box that stores them
// counts them in 16 bits.
inline constexpr int kMaxEntries = 32767;
extern const wchar_t kListFullText[];

bool AddEntry(ShredList& list, const std::wstring& path);
// Removes the selected entry; false (and no change) when nothing is selected.
bool RemoveSelectedEntry(ShredList& list);

}  // namespace shred
