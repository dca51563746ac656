#include "app/console_print.h"

namespace app {

bool PrintLine(DWORD stream, const std::wstring& line) {
  HANDLE out = GetStdHandle(stream);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return false;
  const std::wstring text = line + L"\r\n";
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(out, &mode)) {
    return WriteConsoleW(out, text.c_str(), DWORD(text.size()), &written, nullptr) != 0;
  }
  // Redirected: the bytes that type, findstr and PowerShell in this console
  // read back, in its output code page (936 on a Chinese system, UTF-8
  // after "chcp 65001"); without a console, the system's OEM code page.
  UINT codePage = GetConsoleOutputCP();
  if (codePage == 0) codePage = GetOEMCP();
  const int n = WideCharToMultiByte(codePage, 0, text.c_str(), int(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string bytes(size_t(n > 0 ? n : 0), '\0');
  WideCharToMultiByte(codePage, 0, text.c_str(), int(text.size()), bytes.data(), n, nullptr,
                      nullptr);
  return WriteFile(out, bytes.data(), DWORD(bytes.size()), &written, nullptr) != 0;
}

bool IsConsole(DWORD stream) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(stream), &mode) != 0;
}

void RewriteConsoleLine(DWORD stream, const std::wstring& line, size_t& shownLength) {
  std::wstring text = L"\r" + line;
  if (shownLength > line.size()) text += std::wstring(shownLength - line.size(), L' ') + L"\r";
  if (line.empty()) text += L"\r";
  DWORD written = 0;
  WriteConsoleW(GetStdHandle(stream), text.c_str(), DWORD(text.size()), &written, nullptr);
  shownLength = line.size();
}

}  // namespace app
