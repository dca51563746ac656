// The message boxes a run and a wipe show: the confirmation and the report.
// Apart from the file services, so that the work itself never needs a window.
#pragma once

#include <string>

namespace shred {

enum class MessageKind {
  Confirm,  // OK + Cancel, question icon
  Info,     // OK, no icon
  Warning,  // OK, warning icon
};

class Prompts {
 public:
  virtual ~Prompts() = default;
  // Modal message box; true when the user answered OK.
  virtual bool ShowMessage(const std::wstring& text, const std::wstring& title,
                           MessageKind kind) = 0;
};

}  // namespace shred
