// The shred run's services on Windows: message boxes, the file channel and
// file deletion, with the guards that keep the run on the user's regular files.
//
// Opening a file for the notice first destroys what it held: its length is
// overwritten in place with random bytes and flushed to the disk before the
// file is truncated, so that the freed clusters do not keep the old data.
// Deleting a file first renames it to a random name of the same length, so
// that the folder no longer holds its name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "shredder/shred_run.h"

namespace shred {

class Win32ShredServices : public ShredServices {
 public:
  explicit Win32ShredServices(HWND owner) : owner_(owner) {}
  ~Win32ShredServices() override { CloseChannel(); }
  Win32ShredServices(const Win32ShredServices&) = delete;
  Win32ShredServices& operator=(const Win32ShredServices&) = delete;

  bool ShowMessage(const std::wstring& text, const std::wstring& title, MessageKind kind) override;
  bool OpenChannel(const std::wstring& path) override;
  bool PrintLine(const std::wstring& text) override;
  void CloseChannel() override;
  bool RemoveFile(const std::wstring& path) override;
  bool PathExists(const std::wstring& path) override;

  // Called with the number of bytes of old contents overwritten so far.
  std::function<void(uint64_t)> onBytesOverwritten;

 protected:
  // Between the random pass and the truncation; tests look at the file here.
  virtual void BeforeTruncate(HANDLE /*file*/) {}

 private:
  void DestroyContents(HANDLE file, DWORD attributes);
  void Refresh(DWORD bytes);

  HWND owner_;
  HANDLE channel_ = INVALID_HANDLE_VALUE;
  std::string pending_;       // printed lines, written in one go when the channel closes
  std::vector<BYTE> random_;  // the overwrite buffer, allocated on first use
};

// The bytes of one printed line: the text in code page 936, then CR LF.
std::string EncodeLine(const std::wstring& text);
// The size of the overwrite buffer, whatever the file's size.
inline constexpr size_t kOverwriteBufferBytes = 4u << 20;

}  // namespace shred
