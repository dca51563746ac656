// The shred run's services on Windows: message boxes, the file channel and
// file deletion, with the guards that keep the run on the user's regular files.
#pragma once

#include <windows.h>

#include <string>

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

 private:
  HWND owner_;
  HANDLE channel_ = INVALID_HANDLE_VALUE;
  std::string pending_;  // printed lines, written in one go when the channel closes
};

// The bytes of one printed line: the text in code page 936, then CR LF.
std::string EncodeLine(const std::wstring& text);

}  // namespace shred
