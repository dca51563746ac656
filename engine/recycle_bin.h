// The Recycle Bin as Windows keeps it since Vista: on each drive, for each
// user, X:\$Recycle.Bin\<SID>\ holds every deleted item as a pair, $R<id><ext>
// with the data (a whole folder for a deleted folder) and $I<id><ext> with
// where it was, its size and when it was deleted. Emptying the bin only
// deletes both; here every $R goes through the shred run, then its $I.
// Needs no Windows: the platform side lists the folder and reads the records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/folder_removal.h"
#include "engine/free_space_wipe.h"
#include "engine/shred_run.h"

namespace shred {

// What a $I record says. Version 1: version, size, time of deletion (8 bytes
// each), then the path in 260 UTF-16 units; version 2 (Windows 10 on): the
// same three, a 4-byte count of UTF-16 units (with the closing NUL), then the
// path. `known` is false for an unknown version, a record cut short or a
// length past its end, and an empty path.
struct RecycleRecord {
  bool known = false;
  std::wstring originalPath;
  int64_t size = 0;
  int64_t deletedAt = 0;  // FILETIME
};
RecycleRecord ParseRecycleRecord(const std::string& bytes);

// One name in a user's bin folder.
struct BinEntry {
  std::wstring name;
  bool folder = false;
  bool link = false;  // a reparse point: a link or junction, never followed
};

// One deleted item: its data and its record (either may be missing), and
// how the report names it.
struct BinItem {
  std::wstring data, record;  // full paths, empty when missing
  bool folder = false;        // the data is a folder
  std::wstring shown;         // the original path, or a name
  int64_t size = 0;           // as the record says
  // Filled by the platform side: the data's files, and its folders to
  // remove after them (a folder's as /s would take them).
  std::vector<std::wstring> files;
  std::vector<WalkedFolder> folders;
  // Why its data is not worked at all (a link; a folder not read whole): it
  // keeps its record, and the report says so.
  std::wstring refused;
};

// The items' sizes as their records say, added up for the confirmation: a
// size no file can have (a record made by hand, a negative one) counts as
// nothing, and the sum stops at the largest number rather than wrap.
uint64_t BinBytes(const std::vector<BinItem>& items);

// Whether any item is a deleted folder: the files that were in it are
// shown by nothing but the folder's original path.
bool HoldsFolder(const std::vector<BinItem>& items);

extern const wchar_t kUnknownPlaceText[];  // "原位置未知"
extern const wchar_t kEmptyBinText[];      // "回收站是空的"

// The items of one bin folder: $R and $I paired by what follows the two
// letters, in the order of their names; desktop.ini and any other name are
// not the bin's items and are left alone. A name that is not one name in
// the folder (a volume written from another system) is an item of its own,
// refused, shown by the folder: it is never joined to the folder's path. `records` gives the bytes
// of a $I by its full path.
std::vector<BinItem> PairBinItems(const std::wstring& folder, const std::vector<BinEntry>& entries,
                                  const std::vector<std::string>& records);

// What became of one item.
struct BinOutcome {
  std::wstring shown;
  bool shredded = false;
  std::wstring why;  // when it was not
};

// Shreds every item's data, then the records of the items whose data is
// gone (an item whose data survives keeps its record, so that it stays
// visible and restorable), and records without data. With `verify`, every
// overwritten range is read back first, as in a run.
std::vector<BinOutcome> ShredBinItems(const std::vector<BinItem>& items, ShredServices& services,
                                      ShredMonitor& monitor, bool verify = false);

// Why the bin of a drive cannot be shredded, in words; empty when it can.
// A read-only drive is refused only when its bin holds anything: a bin that
// was read and held nothing is empty there too.
std::wstring RefuseBinDrive(const DriveFacts& facts, bool holdsItems);

// A line for each bin that could not be looked into (`unread`: its drive
// or folder and why), one per item that was not shredded and per trace of
// one that stays, then the summary and how many Recent shortcuts went with
// the items. "回收站是空的" only when every bin was read and held nothing.
std::vector<std::wstring> BinLines(const std::vector<BinOutcome>& outcomes,
                                   const TracesResult& traces = {},
                                   const std::vector<BinOutcome>& unread = {});

}  // namespace shred
