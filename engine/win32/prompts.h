// The run's and the wipe's message boxes on Windows, owned by a window (or
// none), with long paths and long reports shortened to fit the screen.
#pragma once

#include <windows.h>

#include "engine/prompts.h"

namespace shred {

class Win32Prompts : public Prompts {
 public:
  explicit Win32Prompts(HWND owner) : owner_(owner) {}
  bool ShowMessage(const std::wstring& text, const std::wstring& title, MessageKind kind) override;

 private:
  HWND owner_;
};

}  // namespace shred
