#include "engine/folder_removal.h"

#include "engine/path_rules.h"
#include "engine/shred_run.h"

namespace shred {

namespace {

// Whether the folder open for removal is the one the walk found, a real
// folder where its name is (not a link, a junction or something put there
// since).
Reason CheckFolder(const std::wstring& path, const FileFacts& facts, const WalkedFolder& walked,
                   ShredServices& services) {
  if (!(facts.attributes & attr::kDirectory) || (facts.attributes & attr::kReparsePoint))
    return Reason::Changed;
  if (walked.identity.Known() && facts.identity != walked.identity) return Reason::Changed;
  // A link the platform does not mark leads elsewhere; a short name or
  // another case leads here.
  if (!facts.finalPath.empty() && ComparePaths(path, facts.finalPath) == PathMatch::Different &&
      !services.IsSameEntry(path, facts.finalPath, facts.identity))
    return Reason::Changed;
  return Reason::None;
}

FolderResult RemoveFolder(const WalkedFolder& walked, ShredServices& services) {
  FolderResult result;
  result.path = walked.path;
  const ResolvedPath resolved = ResolveEntry(walked.path);
  if (resolved.reason != Reason::None) {
    result.reason = resolved.reason;
    return result;
  }
  const std::wstring& path = resolved.path;
  if (!services.IsEmptyFolder(path)) {
    // Gone from its path: moved, renamed or removed by someone else.
    result.reason = services.PathExists(path) ? Reason::FolderNotEmpty : Reason::FolderChanged;
    return result;
  }
  FileId folder = 0;
  FileFacts facts;
  if (Reason r = services.OpenFolderToRemove(path, folder, facts); r != Reason::None) {
    result.reason = r;
    return result;
  }
  OpenFileGuard guard(services, folder);
  if (Reason r = CheckFolder(path, facts, walked, services); r != Reason::None) {
    result.reason = r;
    return result;
  }
  const std::wstring hidden = RenameToRandom(path, folder, services);
  if (services.DeleteOpenFile(folder) != Reason::None) {
    // Something came in between the look and the removal: it keeps its name.
    result.reason = Reason::FolderNotEmpty;
    if (!hidden.empty() && services.RenameOpenFile(folder, path) != Reason::None)
      result.renamed = hidden;
    return result;
  }
  guard.Close();
  result.removed = !services.PathExists(hidden.empty() ? path : hidden);
  if (!result.removed) {
    result.reason = Reason::FolderNotEmpty;
    result.renamed = hidden;
  }
  return result;
}

}  // namespace

std::vector<FolderResult> RemoveFolders(const std::vector<WalkedFolder>& folders,
                                        ShredServices& services) {
  std::vector<FolderResult> results(folders.size());
  // A folder's subfolders come after it in the walk's order: from the end,
  // every folder is tried after all of those inside it. A folder given
  // before the one that holds it ("A\sub A") comes before it: while a pass
  // removes anything, those that still held something are tried again.
  for (size_t i = folders.size(); i-- > 0;) results[i] = RemoveFolder(folders[i], services);
  for (bool removed = true; removed;) {
    removed = false;
    for (size_t i = folders.size(); i-- > 0;) {
      if (results[i].removed || results[i].reason != Reason::FolderNotEmpty ||
          !results[i].renamed.empty())
        continue;
      results[i] = RemoveFolder(folders[i], services);
      removed = removed || results[i].removed;
    }
  }
  return results;
}

}  // namespace shred
