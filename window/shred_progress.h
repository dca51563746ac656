// Runs the file work of a shred run on a worker thread while the window
// stays responsive: the owner is disabled for the run, and once the run has
// taken longer than a moment a small dialog shows the file being shredded,
// files and bytes done of their totals, and a Cancel button.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine/free_space_wipe.h"
#include "engine/recycle_bin.h"
#include "engine/shred_run.h"

namespace form1 {

inline constexpr wchar_t kProgressTitle[] = L"正在粉碎";
inline constexpr wchar_t kWipeProgressTitle[] = L"正在清除剩余空间";
inline constexpr int kProgressFileText = 101;
inline constexpr int kProgressCountText = 102;
inline constexpr int kProgressBar = 103;

// How long a run goes before its dialog shows: half a second, so that a
// quick run shows none (tests shorten it).
extern DWORD ProgressDialogDelayMs;

// Returns when the files are done or the user cancelled; `job` then says how
// far the run got. False when the work could not be started or ran out of
// memory on the way (the job still says how far it got).
bool RunShredWithProgress(HWND owner, shred::ShredJob& job, DWORD dialogDelayMs);
// The same for a free-space wipe of the drive at `root` ("X:\\"): the
// dialog shows the drive, bytes written of its free space, the speed and
// the time left.
bool RunWipeWithProgress(HWND owner, const std::wstring& root, shred::WipeResult& result,
                         DWORD dialogDelayMs);
// The same for the Recycle Bin's items: the dialog shows the item's file
// being shredded and the files done. `verify`: each range is read back.
// With `traces`, the Recent shortcuts of the shredded items go after them.
bool RunBinWithProgress(HWND owner, const std::vector<shred::BinItem>& items,
                        std::vector<shred::BinOutcome>& outcomes, bool verify,
                        shred::TracesResult* traces, DWORD dialogDelayMs);
// Asks the run in progress, if any, to stop at the next buffer.
void CancelShredInProgress();
bool ShredInProgress();

}  // namespace form1
