#include "engine/folder_walk.h"

#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <set>

#include "engine/shred_report.h"
#include "engine/win32/folder_handle.h"
#include "engine/win32/handle_owner.h"
#include "engine/win32/shred_services.h"

namespace shred {

namespace {

bool IsRealFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A folder of the walk: open, listable, and what it is (its final path,
// "\\?\" form, empty where the platform gives none; its identity asked of
// the volume in full).
struct HeldFolder {
  handles::File handle;
  std::wstring finalPath;
  FileIdentity identity;
};
constexpr ACCESS_MASK kListAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

void ReadWhatItIs(HeldFolder& folder) {
  folder.finalPath = ReadFinalPath(folder.handle);
  folder.identity = ReadFileIdentity(folder.handle);
}

// A folder the user named: by its path, links on the way followed as the
// path gives them.
HeldFolder OpenTopFolder(const std::wstring& path, Reason& reason) {
  HeldFolder folder;
  const ResolvedPath resolved = ResolveEntry(path);
  reason = resolved.reason;
  if (reason != Reason::None) return folder;
  folder.handle.reset(CreateFileW(resolved.path.c_str(), kListAccess | SYNCHRONIZE, kShareAll,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!folder.handle.valid()) {
    reason = ReasonFromError(GetLastError());
    return folder;
  }
  ReadWhatItIs(folder);
  return folder;
}

// True when `final` lies inside the folder whose final path is `root`. A
// path the platform cannot follow is judged by the run itself.
bool LiesInside(const std::wstring& final, const std::wstring& root) {
  return final.empty() || root.empty() ||
         (final.size() > root.size() && final.compare(0, root.size(), root) == 0 &&
          final[root.size()] == L'\\');
}

// The folder's entries (names and whether each is a real folder), sorted by
// name as Explorer sorts them, ignoring case, read through its handle.
// Links and junctions are left out: they are neither the files of the
// folder nor what the user chose. A name that is not one name in the folder
// ("sub\\x", "..\\x": a volume written from another system) goes into
// `invalid`, with whether it is a folder. The reason when it cannot be read.
Reason ReadFolder(HANDLE folder, std::vector<std::pair<std::wstring, bool>>& entries,
                  std::map<std::wstring, bool>& invalid) {
  std::vector<ListedEntry> listed;
  if (!ListFolder(folder, listed)) return ReasonFromError(GetLastError());
  for (ListedEntry& entry : listed) {
    if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    const bool isFolder = IsRealFolder(entry.attributes);
    if (!IsOneName(entry.name)) {
      invalid.emplace(std::move(entry.name), isFolder);
      continue;
    }
    entries.emplace_back(std::move(entry.name), isFolder);
  }
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

// Adds the files of the held `folder` (at `path`, as the user's path and the
// listed names spell it), whose final path lies inside the walk's root. Each
// entry is opened relative to the folder by its listed name; the folders
// above stay open while the walk is below them. Links the platform does not
// mark (Unix links under Wine look like plain files and folders, and a
// relative open follows them) are seen by the final path of what was
// opened: what leads outside is left out. Without a pattern every name goes
// in order, folders opened where they stand; with one, its files come
// first, then the subfolders, as "del /s" goes. A pattern picks files by
// their long names only (the platform's own search would match short names
// too: "*.doc" would take "report.docx" by its REPORT~1.DOC). The handles
// open at a time are one for each level of the folder walked now.
void AddFolder(const HeldFolder& folder, const std::wstring& path, Walk& walk) {
  const std::wstring prefix = path.back() == L'\\' ? path : path + L"\\";
  const bool all = walk.pattern == L"*";
  // One folder reached twice (given twice, inside another given folder, by
  // two drive letters) is walked, and so removed and reported, once.
  if (all && folder.identity.Known() && !walk.whole.insert(folder.identity).second) return;
  std::vector<std::pair<std::wstring, bool>> entries;
  std::map<std::wstring, bool> invalid;  // names, and whether each is a folder
  if (const Reason reason = ReadFolder(folder.handle, entries, invalid); reason != Reason::None) {
    walk.notes.push_back({path, ReasonText(reason)});
    return;
  }
  // What the walk would have taken, each once, with its folder; the folder
  // keeps it, and so stays.
  for (const auto& [name, isFolder] : invalid) {
    if (isFolder ? !walk.recurse : !MatchesPattern(name, walk.pattern)) continue;
    walk.notes.push_back(
        {path, std::wstring(ReasonText(Reason::InvalidName)) + L"（" + name + L"）"});
  }
  // Each folder before those inside it; known by its identity now, so that
  // its removal later takes this folder and no other.
  if (std::vector<WalkedFolder>* into = all ? walk.folders : walk.walked)
    into->push_back({path, folder.identity});
  auto descend = [&](const std::wstring& name) {
    HeldFolder child;
    child.handle = OpenInFolder(folder.handle, name, kListAccess, kShareAll, kDirectoryOnly);
    if (!child.handle.valid()) {
      walk.notes.push_back({prefix + name, ReasonText(ReasonFromError(GetLastError()))});
      return;
    }
    ReadWhatItIs(child);
    if (!LiesInside(child.finalPath, walk.root)) return;
    AddFolder(child, prefix + name, walk);
  };
  for (const auto& [name, isFolder] : entries) {
    if (isFolder) {
      if (all && walk.recurse) descend(name);
      continue;
    }
    if (!MatchesPattern(name, walk.pattern)) continue;
    const handles::File file = OpenInFolder(folder.handle, name, 0, kShareAll, kNonDirectory);
    if (file.valid() && !LiesInside(ReadFinalPath(file), walk.root)) continue;
    walk.out.push_back(prefix + name);
  }
  if (all || !walk.recurse) return;
  for (const auto& [name, isFolder] : entries) {
    if (isFolder) descend(name);
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
    Reason reason = Reason::None;
    const HeldFolder top = OpenTopFolder(folder, reason);
    if (reason != Reason::None) {
      notes.push_back({folder, ReasonText(reason)});
      continue;
    }
    Walk walk{top.finalPath, pattern ? path.substr(nameStart) : L"*",
              recurse,       out,
              notes,         pattern ? nullptr : folders,
              walked,        whole};
    AddFolder(top, folder, walk);
    if (pattern && out.size() == before && notes.size() == notesBefore)
      notes.push_back({path, ReasonText(Reason::NotFound)});
  }
  return out;
}

}  // namespace shred
