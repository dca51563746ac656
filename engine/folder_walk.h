// Paths as a user hands them over (Explorer, the command line, a drop): a
// folder stands for the regular files inside it, recursively, in name order.
#pragma once

#include <string>
#include <vector>

namespace shred {

// Each path in order; a folder (when `recurse`) is replaced by the regular
// files in it and its subfolders, depth first, each folder's names in order.
// Links and junctions are neither followed nor listed, and nothing whose
// final path lies outside the folder is listed. A folder that cannot be read
// stays as it is, so that the run reports it.
std::vector<std::wstring> ExpandFolders(const std::vector<std::wstring>& paths, bool recurse);

}  // namespace shred
