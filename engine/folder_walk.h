// Paths as a user hands them over (Explorer, the command line, a drop): a
// folder stands for the regular files inside it, recursively, in name order.
#pragma once

#include <string>
#include <vector>

#include "engine/folder_removal.h"
#include "engine/path_rules.h"

namespace shred {

// A path the walk turned down, and why, in the report's words.
struct WalkNote {
  std::wstring path;
  std::wstring reason;
  bool operator==(const WalkNote&) const = default;
};

// Each path in order; a folder (when `recurse`) is replaced by the regular
// files in it and its subfolders, depth first, each folder's names in order.
// Links and junctions are neither followed nor listed, and nothing whose
// final path lies outside the folder is listed. With `wildcards`, "*" and
// "?" in the last part of a path name the matching regular files of its
// folder (and, when `recurse`, of its subfolders). A drive's root and the
// system's own folders are never expanded, a folder that cannot be read is
// left out, and a pattern that matches nothing too: each gets a note.
// `system`: the folders never expanded, the platform's when none are given;
// `lookup`: how folders are known by identity, the platform's when none;
// `folders`: when given, receives every folder walked whole (not for a
// pattern), each before the folders inside it, to be removed after the run;
// `walked`: the folders a pattern's walk read. Either knows each folder by
// its identity, so that the run works a file found there only while it
// still lies there.
std::vector<std::wstring> ExpandFolders(const std::vector<std::wstring>& paths, bool recurse,
                                        std::vector<WalkNote>& notes, bool wildcards = false,
                                        const ProtectedFolders* system = nullptr,
                                        FolderLookup* lookup = nullptr,
                                        std::vector<WalkedFolder>* folders = nullptr,
                                        std::vector<WalkedFolder>* walked = nullptr);

// Folders as the platform knows them: opened with links followed.
class Win32FolderLookup : public FolderLookup {
 public:
  FolderFacts LookUpFolder(const std::wstring& path) override;
};

// The system's folders as the platform names them (known folders).
const ProtectedFolders& SystemFolders();

}  // namespace shred
