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

// Where a path really leads, links followed ("\\?\" form); empty when it
// cannot be opened to ask.
std::wstring FinalPathOf(const std::wstring& path) {
  const ResolvedPath resolved = ResolveEntry(path);
  if (resolved.reason != Reason::None) return {};
  HANDLE handle = CreateFileW(resolved.path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {};
  std::wstring final(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(handle, final.data(), DWORD(final.size()), 0);
  if (n >= final.size()) {
    final.resize(n + 1);
    n = GetFinalPathNameByHandleW(handle, final.data(), DWORD(final.size()), 0);
  }
  CloseHandle(handle);
  final.resize(n < final.size() ? n : 0);
  return final;
}

// True when `final` lies inside the folder whose final path is `root`. A
// path the platform cannot follow is judged by the run itself.
bool LiesInside(const std::wstring& final, const std::wstring& root) {
  return final.empty() || root.empty() ||
         (final.size() > root.size() && final.compare(0, root.size(), root) == 0 &&
          final[root.size()] == L'\\');
}

// The folder's entries (names and whether each is a real folder), sorted by
// name as Explorer sorts them, ignoring case; false when it cannot be read.
// Links and junctions are left out: they are neither the files of the
// folder nor what the user chose.
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
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    entries.emplace_back(name, IsRealFolder(found.dwFileAttributes));
  } while (FindNextFileW(find, &found));
  FindClose(find);
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return CompareStringOrdinal(a.first.c_str(), int(a.first.size()), b.first.c_str(),
                                int(b.first.size()), TRUE) == CSTR_LESS_THAN;
  });
  return true;
}

// Adds the files of `folder`, whose final path lies inside `root`. Links
// the platform does not mark (Unix links under Wine look like plain files
// and folders) are seen by their final paths: what leads outside is left out.
void AddFolder(const std::wstring& folder, const std::wstring& root,
               std::vector<std::wstring>& out) {
  std::vector<std::pair<std::wstring, bool>> entries;
  if (!ReadFolder(folder, entries)) {
    out.push_back(folder);
    return;
  }
  const std::wstring prefix = folder.back() == L'\\' ? folder : folder + L"\\";
  for (const auto& [name, isFolder] : entries) {
    if (!LiesInside(FinalPathOf(prefix + name), root)) continue;
    if (isFolder) {
      AddFolder(prefix + name, root, out);
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
      AddFolder(path, FinalPathOf(path), out);
    } else {
      out.push_back(path);
    }
  }
  return out;
}

}  // namespace shred
