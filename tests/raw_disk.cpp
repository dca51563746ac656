#include "tests/raw_disk.h"

#include <algorithm>

#include <windows.h>

#include "tests/temp_folder.h"

namespace testing_util {

namespace {

std::string Script() { return std::string(TARVELLO_SOURCE_DIR) + "/scripts/raw_disk.sh"; }

std::string Narrow(wchar_t c) { return std::string(1, char(c)); }

size_t Occurrences(const std::string& haystack, const std::string& needle) {
  size_t n = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos;
       at = haystack.find(needle, at + 1))
    ++n;
  return n;
}

}  // namespace

RawDisk::RawDisk(const std::string& kind, wchar_t letter, int sizeMiB)
    : kind_(kind), letter_(letter) {
  // Wine reuses process IDs: the tick count keeps two runs apart.
  dir_ = "/tmp/tarvello-rawdisk-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(GetTickCount()) + "-" + kind;
  std::string output;
  const int status = RunUnixCommand("bash '" + Script() + "' make " + kind + " '" + dir_ + "' " +
                                        Narrow(letter) + " " + std::to_string(sizeMiB),
                                    output);
  if (status != 0) {
    missing_ = status < 0 ? "no Linux side to make a disk from" : output;
    if (missing_.empty()) missing_ = "the " + kind + " image could not be made";
    return;
  }
  mounted_ = true;
  // Wine keeps its list of drives for a second: until it is read again, a
  // path on the new drive maps back to Z:. Wait until the drive is its own.
  const std::wstring probe = L"\\\\?\\" + root() + L"tarvello-probe";
  for (int i = 0; i < 40; ++i) {
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    wchar_t final[MAX_PATH] = {};
    if (file != INVALID_HANDLE_VALUE) {
      GetFinalPathNameByHandleW(file, final, MAX_PATH, 0);
      CloseHandle(file);
    }
    if (probe == final) return;
    Sleep(100);
  }
  missing_ = "the drive letter did not appear";
}

RawDisk::~RawDisk() {
  std::string output;
  RunUnixCommand("bash '" + Script() + "' remove '" + dir_ + "' " + Narrow(letter_), output);
}

void RawDisk::Unmount() {
  if (!mounted_) return;
  std::string output;
  RunUnixCommand("bash '" + Script() + "' unmount '" + dir_ + "' " + Narrow(letter_), output);
  mounted_ = false;
}

std::wstring RawDisk::mountFolder() const {
  std::wstring folder = L"Z:" + std::wstring(dir_.begin(), dir_.end()) + L"/mnt";
  std::replace(folder.begin(), folder.end(), L'/', L'\\');
  return folder;
}

size_t RawDisk::Count(const std::wstring& text) { return Count(std::vector{text})[0]; }

std::vector<size_t> RawDisk::Count(const std::vector<std::wstring>& texts) {
  const std::string image =
      ReadBytes(L"Z:" + std::wstring(dir_.begin(), dir_.end()) + L"\\disk.img");
  std::vector<size_t> counts;
  for (const std::wstring& text : texts) {
    std::string ascii, utf16;
    for (wchar_t c : text) {
      ascii += char(c);
      utf16 += char(c & 0xFF);
      utf16 += char(c >> 8);
    }
    counts.push_back(Occurrences(image, ascii) + Occurrences(image, utf16));
  }
  return counts;
}

}  // namespace testing_util
