#include "engine/win32/prompts.h"

#include "engine/shred_report.h"

namespace shred {

bool Win32Prompts::ShowMessage(const std::wstring& text, const std::wstring& title,
                               MessageKind kind) {
  UINT type = MB_OK;
  if (kind == MessageKind::Confirm) type = MB_OKCANCEL | MB_ICONQUESTION;
  if (kind == MessageKind::Warning) type = MB_OK | MB_ICONWARNING;
  // Long paths and long reports are shortened so that the box, and its OK
  // button, stay on the screen; the list keeps every path whole.
  return MessageBoxW(owner_, FitForMessageBox(text).c_str(), title.c_str(), type) == IDOK;
}

}  // namespace shred
