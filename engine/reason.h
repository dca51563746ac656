// Why a step of a run or a wipe failed, and the short phrase the reports
// show for it.
#pragma once

#include <cstdint>
#include <string>

namespace shred {

// Why a step failed; None when it did not.
enum class Reason {
  None,
  NotFullPath,   // a relative entry, never guessed
  InvalidName,   // empty, blanks, quotes, wildcards, control characters
  Device,        // a device, pipe, raw volume or other special path
  NotFound,      // no file of that name
  PathNotFound,  // a folder on the way is missing
  NetworkPath,   // the share does not answer
  NotAFile,      // a folder or another object that is not a regular file
  ReadOnly,      // the file or its drive is read-only
  AccessDenied,
  InUse,  // another program holds it
  DiskFull,
  IoError,    // any other error: the platform's code goes with it
  Cancelled,  // the overwrite was stopped in the middle
  Changed,    // what was opened is not what the path showed
  NotDeleted,
  NotDeletedRenamed,  // and it could not get its own name back
  MovedAway,          // overwritten, then no longer at its path: moved, not missing
  FolderNotEmpty,     // a folder handed over whole that still holds something
  Link,               // a link the platform does not mark: its target is not the user's pick
  OnlineOnly,         // a cloud file whose contents are not on this disk
  SpecialFile,        // a reparse point of a kind the run does not know
  VerifyFailed,       // read back after the overwrite, it did not hold what was written
  VerifyCancelled,    // overwritten, then cancelled while it was read back
  OtherNames,         // a hard link: the file has names the user did not choose
  FolderChanged,      // no longer in the folder the walk found it in
  FolderKept,         // a folder handed over whole, kept because the run was cancelled
};

// A short Chinese phrase for the report.
const wchar_t* ReasonText(Reason reason);
// The phrase with the platform's error code where the run has no words of
// its own for the error: "读写错误（错误代码 1117）".
std::wstring ReasonText(Reason reason, uint32_t errorCode);

}  // namespace shred
