// The folder list (Dir1): the chain of folders from the drive's root to the
// current folder, then the current folder's subfolders, indented, each with a
// folder glyph. Rows are drawn from the entries kept here (LBS_NODATA).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace form1 {

struct FolderEntry {
  std::wstring name;  // the root's entry holds the root itself, e.g. "C:\"
  int level;          // indentation: 0 for the root
  bool open;          // part of the chain to the current folder
};

struct FolderListData {
  std::wstring path;  // ends in a backslash at a drive's root only
  std::vector<FolderEntry> entries;
  int current = -1;  // index of the current folder's entry
  UINT dpi = 96;     // the list's dots per inch: its indent and glyphs follow
};

// The full path that `folder` names ("C:", "c:\a\", "..\x"), with a trailing
// backslash at a root only; empty when it cannot be resolved.
std::wstring CanonicalFolderPath(const std::wstring& folder);
// Reads the chain and the subfolders of `folder`; false when it cannot be read.
bool LoadFolderChain(const std::wstring& folder, FolderListData& out);
// The full path of the entry at `index`.
std::wstring FolderEntryPath(const FolderListData& data, int index);

HWND CreateFolderList(HWND parent, int id, int x, int y, int width, int height);
// Shows `folder`; on failure the list stays as it was.
bool SetFolderListPath(HWND list, FolderListData& data, const std::wstring& folder);
void DrawFolderListItem(const DRAWITEMSTRUCT& item, const FolderListData& data);

}  // namespace form1
