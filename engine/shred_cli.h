// The console companion's logic: its switches, what it prints, its exit
// status. Needs no Windows; app/cli_main.cpp runs it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/folder_walk.h"
#include "engine/recycle_bin.h"
#include "engine/shred_run.h"

namespace shred {

extern const wchar_t kCliUsage[];

struct CliOptions {
  bool recurse = false;       // /s: a folder stands for the files in it
  bool quiet = false;         // /q: no summary line
  bool help = false;          // /?
  bool verify = false;        // /verify: every overwritten range read back before the deletion
  bool keepTraces = false;    // /keeptraces: the Recent shortcuts of what it shreds stay
  bool preview = false;       // /l: lists what a shred would do, and does nothing
  std::wstring checkRecord;   // /checkrecord FILE [CERTIFICATE]: reads a record back and checks it
  std::wstring freeDrive;     // /free X: wipes the drive's free space instead
  bool recycle = false;       // /recycle [X:]: shreds the Recycle Bin instead
  std::wstring log;           // /log FILE: the record of what was done, written there
  std::wstring certificate;   // /certificate FILE: the same as a page to print and sign
  std::wstring recycleDrive;  // that drive's bin only ("X:\\"), or every drive's
  std::vector<std::wstring> paths;
  std::wstring error;  // a usage error, in words
};
// The arguments after the program's name. Switches are case-insensitive and
// may stand anywhere; "--" ends them.
CliOptions ParseCliArguments(const std::vector<std::wstring>& arguments);

// Why the record's file may not be written where it is, in words; empty
// when it may: it is one of the entries the run works on (one the run
// refuses too: its old contents would be freed under the record), or it
// lies inside a folder the run or the wipe removes. Every path full, as
// the platform completes it; `same` says whether two paths lead to one
// file (another spelling, a second name).
std::wstring RefuseRecordPlace(
    const std::wstring& record, const std::vector<std::wstring>& entries,
    const std::vector<std::wstring>& folders,
    const std::function<bool(const std::wstring&, const std::wstring&)>& same);

// What a preview (/l) found: each file a run would shred, by the path it
// resolved; each entry it would refuse, with why; each folder it would
// remove; then the totals (after a Ctrl+C, what it looked at, and how many
// it did not, without the folders). `PreviewStatus`: kCliAllShredded when every file
// would be shredded and every folder removed.
std::vector<std::wstring> PreviewLines(const ShredJob& job, const std::vector<WalkNote>& notes);
int PreviewStatus(const ShredJob& job, const std::vector<WalkNote>& notes);

enum CliStatus {
  kCliAllShredded = 0,
  kCliNotAllShredded = 1,  // a survivor, or a file deleted without its contents overwritten
  kCliUsageError = 2,
  kCliInterrupted = 3,  // Ctrl+C: stopped at the next buffer
};
// `notes`: the paths the walk turned down before the run.
int CliExitStatus(const ShredJob& job, const std::vector<WalkNote>& notes, bool interrupted);
// The Recycle Bin's run: 0 when every item was shredded (or the bin was
// empty), 1 when any survived or a bin was not looked into, 3 for Ctrl+C.
int CliBinStatus(const std::vector<BinOutcome>& outcomes, bool interrupted,
                 const std::vector<BinOutcome>& unread = {});
// One line per path the walk turned down and per entry that was not
// shredded, with its reason, then the summary (left out with /q).
std::vector<std::wstring> CliLines(const ShredJob& job, const std::vector<WalkNote>& notes,
                                   bool quiet);

}  // namespace shred
