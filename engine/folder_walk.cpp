#include "engine/folder_walk.h"

#include <windows.h>

#include <algorithm>

#include "engine/shred_run.h"

namespace shred {

namespace {

bool IsRealFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The folder's entries (names and whether each is a real folder), sorted by
// name as Explorer sorts them, ignoring case; false when it cannot be read.
bool ReadFolder(const std::wstring& folder, std::vector<std::pair<std::wstring, bool>>& entries) {
  // The verbatim form reaches long paths and names Win32 would rewrite.
  const ResolvedPath resolved = ResolveEntry(folder);
  if (resolved.reason != Reason::None) return false;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileExW((resolved.path + L"\\*").c_str(), FindExInfoBasic, &found,
                                 FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    entries.emplace_back(name, IsRealFolder(found.dwFileAttributes));
  } while (FindNextFileW(find, &found));
  FindClose(find);
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return CompareStringOrdinal(a.first.c_str(), int(a.first.size()), b.first.c_str(),
                                int(b.first.size()), TRUE) == CSTR_LESS_THAN;
  });
  return true;
}

void AddFolder(const std::wstring& folder, std::vector<std::wstring>& out) {
  std::vector<std::pair<std::wstring, bool>> entries;
  if (!ReadFolder(folder, entries)) {
    out.push_back(folder);
    return;
  }
  const std::wstring prefix = folder.back() == L'\\' ? folder : folder + L"\\";
  for (const auto& [name, isFolder] : entries) {
    if (isFolder) {
      AddFolder(prefix + name, out);
    } else {
      out.push_back(prefix + name);
    }
  }
}

}  // namespace

std::vector<std::wstring> ExpandFolders(const std::vector<std::wstring>& paths, bool recurse) {
  std::vector<std::wstring> out;
  for (const std::wstring& path : paths) {
    const ResolvedPath resolved = ResolveEntry(path);
    const DWORD attributes = resolved.reason == Reason::None
                                 ? GetFileAttributesW(resolved.path.c_str())
                                 : INVALID_FILE_ATTRIBUTES;
    if (recurse && IsRealFolder(attributes)) {
      AddFolder(path, out);
    } else {
      out.push_back(path);
    }
  }
  return out;
}

}  // namespace shred
