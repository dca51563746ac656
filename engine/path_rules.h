// Path rules: an entry as the user typed or picked it, turned into the one
// file path it denotes, or the reason it denotes none; and the folders that
// are never expanded into their files, however they are spelt.
#pragma once

#include <string>
#include <vector>

#include "engine/file_identity.h"
#include "engine/reason.h"

namespace shred {

// An entry turned into the one absolute path it denotes, in the "\\?\" form
// that no platform rule rewrites, or the reason it denotes none.
struct ResolvedPath {
  std::wstring path;
  Reason reason = Reason::None;
};
ResolvedPath ResolveEntry(const std::wstring& entry);

// A full path ("C:\\..." or "\\\\server\\share\\...") in the "\\?\\" form that
// reaches beyond 260 characters; anything else unchanged. No rewriting: the
// path must already be canonical.
std::wstring VerbatimPath(const std::wstring& fullPath);
// The other way: "\\?\C:\x" as "C:\x", "\\?\UNC\s\x" as "\\s\x";
// anything else unchanged.
std::wstring WithoutVerbatimPrefix(const std::wstring& path);

// True for a path the run must never open for writing nor delete: devices,
// pipes and mailslots, raw volumes and disks, and paths with wildcards.
bool IsUnsafeShredPath(const std::wstring& path);

// Whether a file's long name matches a pattern of "*" (any run of
// characters, none included) and "?" (exactly one), ignoring case as folder
// names are compared. "*.*" is every name, and a pattern that ends in a dot
// takes the names without one, as the command prompt reads them. Short
// (8.3) names never count: "*.doc" does not take "report.docx".
bool MatchesPattern(const std::wstring& name, const std::wstring& pattern);

// Whether a name a folder's listing gave is one name in that folder, that
// can be joined to the folder's path and reach this entry and no other: not
// empty, not "." or "..", no "\\" or "/", none of the characters Windows
// forbids in a name. A volume written from another system (ext4; NTFS by
// ntfs-3g) may hold names that are none of this: "sub\\x.txt" joined to its
// folder names a file of a subfolder, "..\\x" one above.
bool IsOneName(const std::wstring& name);

extern const wchar_t kProtectedFolderText[];

// The folders a walk must never expand into their files, as the platform
// names them: the Windows and program folders, ProgramData, the users'
// folder and profiles; and the folder that holds the profiles, any of whose
// direct subfolders is a user's profile.
struct ProtectedFolders {
  std::vector<std::wstring> folders;
  std::wstring profiles;
};

// What a folder is, asked of the volume with links followed: its identity,
// its parent's, and whether it is a volume's root. Unknown identities when
// it cannot be opened.
struct FolderFacts {
  FileIdentity identity, parent;
  bool root = false;
};
class FolderLookup {
 public:
  virtual ~FolderLookup() = default;
  virtual FolderFacts LookUpFolder(const std::wstring& path) = 0;
};

// The root a verbatim path is on: "\\?\C:", "\\?\UNC\server\share",
// "\\?\Volume{...}".
std::wstring RootOfFinalPath(const std::wstring& finalPath);
// The folder a verbatim path lies in, as a path that opens the folder: a
// root keeps its separator ("\\?\C:" alone names the volume device);
// empty when the path has no separator.
std::wstring FolderOfPath(const std::wstring& path);
// The last name of a path: the one name its folder holds it by.
std::wstring NameOfPath(const std::wstring& path);
// A name the volume gives from its own root ("\\dir\\name", as the names of
// a hard-linked file come) as a verbatim path through `mountPoint`, the
// folder or drive the volume is mounted at ("C:\\", "C:\\mnt\\vol\\", in
// either form). Empty when the mount point is.
std::wstring PathOnVolume(const std::wstring& mountPoint, const std::wstring& fromRoot);

// "X:", "X:\", "\\server\share" and their verbatim forms, or a path that
// ".." takes up to one of them.
bool IsDriveOrShareRoot(const std::wstring& entry);
// A drive's or share's root, one of `system.folders`, or a user's profile
// folder itself (not what is inside it), by its text (compared as Windows
// compares folder names, ignoring case) or, when `lookup` is given, by
// identity: whatever spelling reaches it (a short name, another drive
// letter, a substituted or mapped drive, a link or junction on the way, a
// volume mounted in a folder).
bool IsProtectedFolder(const std::wstring& entry, const ProtectedFolders& system,
                       FolderLookup* lookup = nullptr);

}  // namespace shred
