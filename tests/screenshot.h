// Saves what the screen shows in a rectangle as a 24-bit BMP file; the test
// script turns these into PNG files.
#pragma once

#include <windows.h>

#include <string>

namespace testing_util {

bool SaveScreenRect(const RECT& rect, const std::wstring& path);
// The folder for screenshots: "screenshots" beside the test executable.
std::wstring ScreenshotFolder();

}  // namespace testing_util
