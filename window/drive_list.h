// The drive list (Drive1): a drop-down list of every drive as its letter and
// colon, with the volume label in brackets where there is one. Its rows are
// drawn here so that the closed list can be as low as the layout wants it.
#pragma once

#include <windows.h>

#include <string>

namespace form1 {

HWND CreateDriveList(HWND parent, int id, int x, int y, int width, int height);
// Sizes the closed drop-down to `height` pixels, edge included. A new font
// resets that height, so this comes after WM_SETFONT.
void FitDriveListHeight(HWND list, int height);
// Fills the list with the system's drives and selects `current` (a letter).
void FillDriveList(HWND list, wchar_t current);
// The selected drive's text, beginning with its letter and colon.
std::wstring SelectedDrive(HWND list);
void DrawDriveListItem(const DRAWITEMSTRUCT& item);
// Selects the drive with this letter; false when the list does not hold it.
bool SelectDriveLetter(HWND list, wchar_t letter);

}  // namespace form1
