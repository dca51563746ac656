// The skin manager's parts behind SkinWindow: classification of windows by
// class name, the form procedure and the probe for mouse-leave tracking.
#pragma once

#include <windows.h>

#include <string>

#include "skin/skin.h"

int SkinForm(HWND window);
int UnskinForm(HWND window);
LRESULT CALLBACK FormWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL CALLBACK SkinChildProc(HWND window, LPARAM lParam);
// The class name, empty when it cannot be read.
std::string GetWindowClassName(HWND window);
// -1 when the module exports the function, 0 otherwise.
int16_t ExportExists(const char* functionName, const char* moduleName);

namespace skin {

bool IsButtonClass(const std::string& lowerCaseName);
bool IsFormClass(const std::string& lowerCaseName);

}  // namespace skin
