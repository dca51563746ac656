// A small NTFS or ext4 volume in an image file, mapped as a drive letter of
// the Wine prefix (scripts/raw_disk.sh), so that a test can look at the disk
// itself afterwards: every byte of the image, not what the file system says.
#pragma once

#include <string>
#include <vector>

namespace testing_util {

class RawDisk {
 public:
  // kind: "ntfs" or "ext4".
  RawDisk(const std::string& kind, wchar_t letter, int sizeMiB = 64);
  ~RawDisk();
  RawDisk(const RawDisk&) = delete;
  RawDisk& operator=(const RawDisk&) = delete;

  // Empty when the disk is there; else what this machine lacks for it.
  const std::string& missing() const { return missing_; }
  std::wstring root() const { return std::wstring(1, letter_) + L":\\"; }
  // The folder the volume is mounted in, through drive Z: ("Z:\\tmp\\...\\mnt").
  std::wstring mountFolder() const;
  // Unmaps and unmounts, so that the image holds everything written.
  void Unmount();
  // How often the text occurs in the image: as UTF-8 (ASCII) bytes plus as
  // UTF-16LE.
  size_t Count(const std::wstring& text);
  // The same for each text, the image read once.
  std::vector<size_t> Count(const std::vector<std::wstring>& texts);

 private:
  std::string kind_, dir_;
  wchar_t letter_;
  std::string missing_;
  bool mounted_ = false;
};

}  // namespace testing_util
