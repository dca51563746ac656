// The current user's Recycle Bin on Windows: the folder of the process's
// user on each drive, read without following any link out of it, and the
// shell told afterwards so that Explorer shows the bin as it is.
#pragma once

#include <string>
#include <vector>

#include "engine/recycle_bin.h"

namespace shred {

// The process's user, as a SID in text ("S-1-5-21-..."); empty when the
// platform cannot say.
std::wstring CurrentUserSid();
// The user's bin folder on the drive at `root` ("X:\\").
std::wstring UserBinFolder(const std::wstring& root, const std::wstring& sid);
// The items in the bins of the given drives ("X:\\"), or of every fixed and
// removable drive when none is given; a network drive has no bin. Only the
// user's own folder, only when it and "$Recycle.Bin" are real folders; a
// link inside is no item. `unread`, when given, receives each bin that
// could not be looked into and why: a drive that does not exist or is on
// the network, a bin folder that is a link or cannot be opened.
std::vector<BinItem> ReadRecycleBins(const std::vector<std::wstring>& roots,
                                     const std::wstring& sid,
                                     std::vector<BinOutcome>* unread = nullptr);
// Tells the shell the bins changed (the folders and the bin's icon).
void NotifyRecycleBinChanged(const std::vector<BinItem>& items);

}  // namespace shred
