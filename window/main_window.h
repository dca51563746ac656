// The main window (Form1): the shred list, the drive, folder and file lists,
// the path box and the buttons, with one handler per control event.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace form1 {

// One of the window classes the skin engine treats as a form.
inline constexpr wchar_t kClassName[] = L"Form";

// "TarvelloV1.0 正式版" and the maker's web address.
std::wstring Caption();
// The command line of the web-page button.
std::wstring WebPageCommandLine();

// Declares the process aware of each monitor's dots per inch (version 2,
// with the older forms as fallbacks), as the programs' manifest does.
void DeclareDpiAwareness();
// Registers the class and creates the window with its controls, on the
// process's current drive and folder, then runs Form_Load. Not shown yet.
HWND CreateForm1(HINSTANCE instance);
// Centres the window on the screen, shows it and puts the focus on List1.
void ShowForm1(HWND form);
// Adds paths to the shred list as the Add button would, in order, a folder
// standing for the regular files in it; during a run they wait for its end.
void AddPathsToForm1(HWND form, const std::vector<std::wstring>& paths);
// The Tarvello window already open on this desktop (its class and caption),
// or nullptr.
HWND FindOpenForm1();
// Hands paths to that window, which may belong to another process, and
// brings it to the front; false when it did not take them.
bool SendPathsToForm1(HWND form, const std::vector<std::wstring>& paths);
// The system menu's "清除磁盘剩余空间…" (WM_SYSCOMMAND): wipes the free space of
// the drive selected in the drive list, after a confirmation.
inline constexpr UINT kWipeFreeSpaceCommand = 0x0110;
// The system menu's "粉碎回收站…": the current user's Recycle Bin on every
// fixed and removable drive, after a confirmation that names its items.
inline constexpr UINT kShredRecycleBinCommand = 0x0120;
// The system menu's "保存粉碎记录…": the record of this window's last run,
// wipe or Recycle Bin run, saved through the standard Save dialog; greyed
// while there is none.
inline constexpr UINT kSaveRecordCommand = 0x0130;
// The system menu's "粉碎后校验": a check mark, off at every start; while on,
// runs read every overwritten range back and keep a file that differs.
inline constexpr UINT kVerifyCommand = 0x0140;
// The system menu's "保留最近使用记录": a check mark, off at every start; while
// on, runs leave the Recent shortcuts and Explorer's list of what they shred.
inline constexpr UINT kKeepTracesCommand = 0x0150;
// The system menu's "保存粉碎证书…": the same record as a page to print and
// sign (naming the SHA-256 of the record when it was saved), greyed alike.
inline constexpr UINT kSaveCertificateCommand = 0x0160;
// Saves that record to `path` without the dialog; false when there is none
// or it could not be written.
bool SaveRecordFromForm1(HWND form, const std::wstring& path);
// The same for its certificate.
bool SaveCertificateFromForm1(HWND form, const std::wstring& path);
// What that command does, for the drive at `root` ("X:\\").
void WipeFreeSpaceFromForm1(HWND form, const std::wstring& root);
// What "粉碎回收站…" does, for the bins of the given drives ("X:\\"), or of
// every fixed and removable drive when none is given.
void ShredRecycleBinFromForm1(HWND form, const std::vector<std::wstring>& roots);

// WM_COPYDATA's dwData for a list of paths, each ended by a NUL.
inline constexpr ULONG_PTR kCopyDataPaths = 0x50565254;  // "TRVP"

// The dialog-style keyboard handling of the message loop (tab order, Enter).
bool IsForm1DialogMessage(HWND form, MSG& message);

// A control window by its name ("List1", "Drive1", ...); labels have none.
HWND Form1Control(HWND form, const wchar_t* name);
// A label's rectangle in client pixels, and its border style (0 or 1).
RECT Form1LabelRect(HWND form, const wchar_t* name);
int Form1LabelBorderStyle(HWND form, const wchar_t* name);
// Dir1.Path and File1.Path.
std::wstring Form1FolderPath(HWND form);
std::wstring Form1FilePath(HWND form);

}  // namespace form1
