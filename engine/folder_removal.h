// Folders the user handed over whole: once their files are shredded, each is
// removed from the bottom up, renamed to a random name first so that its own
// name leaves its parent's index. A folder that still holds anything (a
// survivor, a link the walk left alone, a file that appeared since) stays
// under its own name. Needs no Windows: the work goes through ShredServices.
#pragma once

#include <string>
#include <vector>

#include "engine/file_identity.h"
#include "engine/reason.h"
#include "engine/shred_services.h"

namespace shred {

// A folder as the walk found it: its path, as the user's entries spell it,
// and its identity then.
struct WalkedFolder {
  std::wstring path;
  FileIdentity identity;
  bool operator==(const WalkedFolder&) const = default;
};

// What became of one: removed, or the reason it stays (and the name it has
// when it could not get its own back).
struct FolderResult {
  std::wstring path;
  bool removed = false;
  Reason reason = Reason::None;
  std::wstring renamed;
};

// The folders in the order the walk found them (each before the folders in
// it): removed deepest first.
std::vector<FolderResult> RemoveFolders(const std::vector<WalkedFolder>& folders,
                                        ShredServices& services);

}  // namespace shred
