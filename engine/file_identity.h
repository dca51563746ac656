// What a file or folder is, whatever names lead to it.
#pragma once

#include <cstdint>

namespace shred {

// Its volume's serial number and its ID there. Hard links share it; two
// spellings that differ in case share it on a case-insensitive folder and
// not on a case-sensitive one. A number can be given to a new file as soon
// as the old one is gone (ext4, FAT): an identity alone does not say that a
// file is still the one it was.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t high = 0, low = 0;
  bool operator==(const FileIdentity&) const = default;
  auto operator<=>(const FileIdentity&) const = default;
  bool Known() const { return volume || high || low; }
};

}  // namespace shred
