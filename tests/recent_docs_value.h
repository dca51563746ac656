// A RecentDocs value as Windows writes it, for tests that lay the key out by
// hand: the target's name in UTF-16 with its NUL, a file-entry shell item of
// the shortcut (its short name in ASCII, then an extension block 0xBEEF0004
// of `version` with the long name, whose last two bytes give the block's
// offset in the item), the list's closing 0, and the shortcut's short name.
#pragma once

#include <cstdint>
#include <string>

namespace shred::testing {

inline void PutLittle(std::string& data, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) data.push_back(char((value >> (8 * i)) & 0xFF));
}

inline void PutUtf16(std::string& data, const std::wstring& text) {
  for (wchar_t c : text) PutLittle(data, uint32_t(c), 2);
  PutLittle(data, 0, 2);
}

inline std::string RecentDocsValue(const std::wstring& target, const std::wstring& shortcut,
                                   const std::string& shortName = "SHORTC~1.LNK",
                                   uint32_t version = 9) {
  std::string item;
  PutLittle(item, 0, 2);  // size, filled in below
  item.push_back(char(0x32));
  item.push_back(0);
  PutLittle(item, 1234, 4);        // the shortcut's size
  PutLittle(item, 0x5A215A21, 4);  // modified, FAT
  PutLittle(item, 0x20, 2);        // attributes
  item += shortName;
  item.push_back(0);
  if (item.size() % 2) item.push_back(0);
  const size_t block = item.size();
  std::string ext;
  PutLittle(ext, 0, 2);  // size, filled in below
  PutLittle(ext, version, 2);
  PutLittle(ext, 0xBEEF0004, 4);
  PutLittle(ext, 0x5A215A21, 4);  // created
  PutLittle(ext, 0x5A215A21, 4);  // accessed
  PutLittle(ext, version >= 7 ? 0x2E : 0x14, 2);
  if (version >= 7) {
    PutLittle(ext, 0, 2);
    PutLittle(ext, 0x1234, 4);  // file reference
    PutLittle(ext, 0x10000, 4);
    PutLittle(ext, 0, 4);
    PutLittle(ext, 0, 4);
  }
  PutLittle(ext, 0, 2);  // long string size
  if (version >= 9) PutLittle(ext, 0, 4);
  if (version >= 8) PutLittle(ext, 0, 4);
  PutUtf16(ext, shortcut);
  PutLittle(ext, uint32_t(block), 2);
  ext[0] = char(ext.size() & 0xFF);
  ext[1] = char(ext.size() >> 8);
  item += ext;
  item[0] = char(item.size() & 0xFF);
  item[1] = char(item.size() >> 8);
  std::string value;
  PutUtf16(value, target);
  value += item;
  PutLittle(value, 0, 2);
  value += shortName;
  value.push_back(0);
  return value;
}

// MRUListEx of the given value numbers, closed by 0xFFFFFFFF.
inline std::string MruListEx(std::initializer_list<uint32_t> numbers) {
  std::string list;
  for (uint32_t n : numbers) PutLittle(list, n, 4);
  PutLittle(list, 0xFFFFFFFF, 4);
  return list;
}

}  // namespace shred::testing
