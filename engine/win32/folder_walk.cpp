#include "engine/folder_walk.h"

#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <set>

#include "engine/shred_report.h"
#include "engine/win32/handle_owner.h"
#include "engine/win32/shred_services.h"

namespace shred {

namespace {

bool IsRealFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Where a path really leads, links followed ("\\?\" form; empty when it
// cannot be opened to ask) and, for a folder, what it is: one open for both.
struct Followed {
  std::wstring finalPath;
  FileIdentity identity;
};
Followed Follow(const std::wstring& path, bool folder) {
  const ResolvedPath resolved = ResolveEntry(path);
  if (resolved.reason != Reason::None) return {};
  const handles::File handle = OpenToAsk(resolved.path);
  if (!handle.valid()) return {};
  // A file's identity would cost a query of its volume: only folders need one.
  return {ReadFinalPath(handle), folder ? ReadFileIdentity(handle) : FileIdentity{}};
}

// True when `final` lies inside the folder whose final path is `root`. A
// path the platform cannot follow is judged by the run itself.
bool LiesInside(const std::wstring& final, const std::wstring& root) {
  return final.empty() || root.empty() ||
         (final.size() > root.size() && final.compare(0, root.size(), root) == 0 &&
          final[root.size()] == L'\\');
}

// The folder's entries (names and whether each is a real folder), sorted by
// name as Explorer sorts them, ignoring case; `pattern` picks the names by
// their long names only (the platform's own search would match short names
// too: "*.doc" would take "report.docx" by its REPORT~1.DOC).
// Links and junctions are left out: they are neither the files of the
// folder nor what the user chose. A name that is not one name in the folder
// ("sub\\x", "..\\x": a volume written from another system) is never joined
// to the folder's path: it goes into `invalid`. The reason when it cannot
// be read.
Reason ReadFolder(const std::wstring& folder, const std::wstring& pattern,
                  std::vector<std::pair<std::wstring, bool>>& entries,
                  std::map<std::wstring, bool>& invalid) {
  // The verbatim form reaches long paths and names Win32 would rewrite.
  const ResolvedPath resolved = ResolveEntry(folder);
  if (resolved.reason != Reason::None) return resolved.reason;
  WIN32_FIND_DATAW found;
  const handles::Find find(FindFirstFileExW((resolved.path + L"\\*").c_str(), FindExInfoBasic,
                                            &found, FindExSearchNameMatch, nullptr,
                                            FIND_FIRST_EX_LARGE_FETCH));
  if (!find.valid()) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES ? Reason::None
                                                                         : ReasonFromError(error);
  }
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    if (!MatchesPattern(name, pattern)) continue;
    if (!IsOneName(name)) {
      invalid.emplace(name, IsRealFolder(found.dwFileAttributes));
      continue;
    }
    entries.emplace_back(name, IsRealFolder(found.dwFileAttributes));
  } while (FindNextFileW(find, &found));
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return CompareStringOrdinal(a.first.c_str(), int(a.first.size()), b.first.c_str(),
                                int(b.first.size()), TRUE) == CSTR_LESS_THAN;
  });
  return Reason::None;
}

struct Walk {
  std::wstring root;     // the final path of the folder walked
  std::wstring pattern;  // the names of files to list
  bool recurse;
  std::vector<std::wstring>& out;
  std::vector<WalkNote>& notes;
  std::vector<WalkedFolder>* folders;  // the folders walked whole, when asked
  std::vector<WalkedFolder>* walked;   // the folders a pattern read, when asked
  std::set<FileIdentity>& whole;       // the folders walked whole so far, by identity
};

// Adds the files of `folder`, whose final path lies inside the walk's root.
// Links the platform does not mark (Unix links under Wine look like plain
// files and folders) are seen by their final paths: what leads outside is
// left out. Without a pattern every name goes in order, folders opened where
// they stand; with one, its files come first, then the subfolders, as
// "del /s" goes.
void AddFolder(const std::wstring& folder, const FileIdentity& identity, Walk& walk) {
  const std::wstring prefix = folder.back() == L'\\' ? folder : folder + L"\\";
  const bool all = walk.pattern == L"*";
  // One folder reached twice (given twice, inside another given folder, by
  // two drive letters) is walked, and so removed and reported, once.
  if (all && identity.Known() && !walk.whole.insert(identity).second) return;
  std::vector<std::pair<std::wstring, bool>> matching, subfolders;
  std::map<std::wstring, bool> invalid, invalidFolders;  // names, and whether each is a folder
  Reason reason = ReadFolder(folder, walk.pattern, matching, invalid);
  if (reason == Reason::None && !all && walk.recurse)
    reason = ReadFolder(folder, L"*", subfolders, invalidFolders);
  if (reason != Reason::None) {
    walk.notes.push_back({folder, ReasonText(reason)});
    return;
  }
  // What the walk would have taken, each once, with its folder; the folder
  // keeps it, and so stays.
  for (const auto& [name, isFolder] : invalidFolders) {
    if (isFolder) invalid.emplace(name, true);
  }
  for (const auto& [name, isFolder] : invalid) {
    if (isFolder && !walk.recurse) continue;
    walk.notes.push_back(
        {folder, std::wstring(ReasonText(Reason::InvalidName)) + L"（" + name + L"）"});
  }
  // Each folder before those inside it; known by its identity now, so that
  // its removal later takes this folder and no other.
  if (std::vector<WalkedFolder>* into = all ? walk.folders : walk.walked)
    into->push_back({folder, identity});
  for (const auto& [name, isFolder] : matching) {
    if (isFolder && !(all && walk.recurse)) continue;
    const Followed child = Follow(prefix + name, isFolder);
    if (!LiesInside(child.finalPath, walk.root)) continue;
    if (isFolder) {
      AddFolder(prefix + name, child.identity, walk);
    } else {
      walk.out.push_back(prefix + name);
    }
  }
  for (const auto& [name, isFolder] : subfolders) {
    if (!isFolder) continue;
    const Followed child = Follow(prefix + name, true);
    if (LiesInside(child.finalPath, walk.root)) AddFolder(prefix + name, child.identity, walk);
  }
}

bool HasWildcard(const std::wstring& text) { return text.find_first_of(L"*?") != text.npos; }

}  // namespace

FolderFacts Win32FolderLookup::LookUpFolder(const std::wstring& path) {
  FolderFacts facts;
  const ResolvedPath resolved = ResolveEntry(path);
  if (resolved.reason != Reason::None) return facts;
  // Links, junctions, mapped and substituted drives followed, as a walk
  // would follow them into the folder.
  const handles::File folder = OpenToAsk(resolved.path);
  if (!folder.valid()) return facts;
  facts.identity = ReadFileIdentity(folder);
  std::wstring final = ReadFinalPath(folder);
  while (!final.empty() && final.back() == L'\\') final.pop_back();
  const size_t parent = final.find_last_of(L'\\');
  if (parent == std::wstring::npos) return facts;
  // A volume's root, reached through a folder (a link to it, a volume
  // mounted there): the folder is the root of the volume it is on.
  const handles::File root = OpenToAsk(RootOfFinalPath(final) + L"\\");
  facts.root = root.valid() && ReadFileIdentity(root) == facts.identity;
  const handles::File above = OpenToAsk(final.substr(0, parent));
  if (above.valid()) facts.parent = ReadFileIdentity(above);
  return facts;
}

const ProtectedFolders& SystemFolders() {
  static const ProtectedFolders folders = [] {
    ProtectedFolders out;
    auto known = [](REFKNOWNFOLDERID id) {
      PWSTR path = nullptr;
      std::wstring text;
      if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path))) text = path;
      CoTaskMemFree(path);
      return text;
    };
    for (REFKNOWNFOLDERID id : {FOLDERID_Windows, FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86,
                                FOLDERID_ProgramFilesX64, FOLDERID_ProgramData, FOLDERID_Profile,
                                FOLDERID_UserProfiles, FOLDERID_Public}) {
      if (std::wstring path = known(id); !path.empty()) out.folders.push_back(path);
    }
    out.profiles = known(FOLDERID_UserProfiles);
    return out;
  }();
  return folders;
}

std::vector<std::wstring> ExpandFolders(const std::vector<std::wstring>& paths, bool recurse,
                                        std::vector<WalkNote>& notes, bool wildcards,
                                        const ProtectedFolders* system, FolderLookup* lookup,
                                        std::vector<WalkedFolder>* folders,
                                        std::vector<WalkedFolder>* walked) {
  std::vector<std::wstring> out;
  std::set<FileIdentity> whole;
  if (folders) {
    for (const WalkedFolder& folder : *folders) whole.insert(folder.identity);
  }
  Win32FolderLookup platform;
  FolderLookup& folderLookup = lookup ? *lookup : platform;
  for (const std::wstring& path : paths) {
    const size_t nameStart = path.find_last_of(L"\\/") + 1;  // npos + 1 == 0
    const bool pattern = wildcards && nameStart > 0 && HasWildcard(path.substr(nameStart)) &&
                         !HasWildcard(path.substr(0, nameStart));
    // A folder may be given with its trailing backslash.
    std::wstring folder = pattern ? path.substr(0, nameStart) : path;
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/'))
      folder.pop_back();
    const ResolvedPath resolved = ResolveEntry(folder);
    const DWORD attributes = resolved.reason == Reason::None
                                 ? GetFileAttributesW(resolved.path.c_str())
                                 : INVALID_FILE_ATTRIBUTES;
    const bool expand =
        pattern || (recurse && (IsRealFolder(attributes) || IsDriveOrShareRoot(folder)));
    if (!expand) {
      out.push_back(path);
      continue;
    }
    if (IsProtectedFolder(folder, system ? *system : SystemFolders(), &folderLookup)) {
      notes.push_back({path, kProtectedFolderText});
      continue;
    }
    if (pattern && !IsRealFolder(attributes)) {
      notes.push_back({path, ReasonText(resolved.reason == Reason::None ? Reason::PathNotFound
                                                                        : resolved.reason)});
      continue;
    }
    const size_t before = out.size(), notesBefore = notes.size();
    // Wildcards name files, not folders: nothing is removed for them.
    const Followed top = Follow(folder, true);
    Walk walk{top.finalPath, pattern ? path.substr(nameStart) : L"*",
              recurse,       out,
              notes,         pattern ? nullptr : folders,
              walked,        whole};
    AddFolder(folder, top.identity, walk);
    if (pattern && out.size() == before && notes.size() == notesBefore)
      notes.push_back({path, ReasonText(Reason::NotFound)});
  }
  return out;
}

}  // namespace shred
