// Text to the standard output or error: a console gets it as text, a file or
// a pipe as UTF-8.
#pragma once

#include <windows.h>

#include <string>

namespace app {

// False when there is no such stream to write to (a program started from
// Explorer has none).
bool PrintLine(DWORD stream, const std::wstring& line);

}  // namespace app
