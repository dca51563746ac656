// The file list (File1): the files of one folder, hidden and system files left
// out, sorted by name. The list box holds no strings of its own (LBS_NODATA);
// its rows are drawn from the names kept here, so a folder of 100,000 files
// fills it at about the cost of enumerating the folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace form1 {

struct FileListData {
  std::wstring path;             // ends in a backslash at a drive's root only
  std::vector<wchar_t> pool;     // every name, each ended by a NUL
  std::vector<uint32_t> starts;  // where each name begins in the pool, in list order

  size_t size() const { return starts.size(); }
  const wchar_t* name(size_t i) const { return pool.data() + starts[i]; }
};

// Reads the folder's files into `out`; false when the folder cannot be read.
bool LoadFolderFiles(const std::wstring& folder, FileListData& out);

HWND CreateFileList(HWND parent, int id, int x, int y, int width, int height);
// Lists the folder's files; on failure the list stays as it was.
bool SetFileListPath(HWND list, FileListData& data, const std::wstring& folder);
// The name of the selected file, empty when none is selected.
std::wstring SelectedFileName(HWND list, const FileListData& data);
void DrawFileListItem(const DRAWITEMSTRUCT& item, const FileListData& data);

}  // namespace form1
