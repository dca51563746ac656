// Text to the standard output or error: a console gets it as text, a file or
// a pipe as UTF-8.
#pragma once

#include <windows.h>

#include <string>

namespace app {

// False when there is no such stream to write to (a program started from
// Explorer has none).
bool PrintLine(DWORD stream, const std::wstring& line);
// True when the stream is a console (not a file or a pipe).
bool IsConsole(DWORD stream);
// Writes the line over the one before it on the console, blanks where the
// last was longer; an empty line clears it.
void RewriteConsoleLine(DWORD stream, const std::wstring& line, size_t& shownLength);

}  // namespace app
