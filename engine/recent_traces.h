// What Windows keeps of a file after it was opened: a shortcut in the
// user's Recent folder (its path, size, times and the volume's serial) and
// Explorer's RecentDocs values in the registry, which name that shortcut.
// After a run, the ones that name what the run shredded go too. Needs no
// Windows: the platform side reads the folder and the key.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/file_identity.h"
#include "engine/reason.h"

namespace shred {

struct ShredJob;
struct BinOutcome;
class ShredServices;

// A path as Windows compares names: without the "\\?\" prefix, with
// backslashes, no trailing one (but a drive's root), case folded.
std::wstring ComparablePath(const std::wstring& path);

// The paths a run or a bin run made disappear: every file it reports
// shredded (by its resolved and its final path), every folder it removed,
// every bin item shredded whose record named where it was; comparable, each
// with the path as the report shows it.
using Places = std::map<std::wstring, std::wstring>;
Places ShreddedPlaces(const ShredJob& job);
Places ShreddedPlaces(const std::vector<BinOutcome>& outcomes);

// The place `target` is, or lies in, among `places`, as the report shows
// it; empty when none.
std::wstring ShreddedPlaceOf(const std::wstring& target, const Places& places);

// The names a shortcut's target must hold for it to name one of `places`:
// the last part of each, case folded. Empty when a name is not plain ASCII
// (a code page's bytes cannot be told from its text), and every shortcut is
// read then.
std::set<std::wstring> PlaceNames(const Places& places);
// Whether the bytes of a shortcut hold one of `names` as a part of a path,
// in ASCII or UTF-16, in any case: a shortcut that does not cannot name the
// place, and the shell need not read it.
bool MayName(const std::string& bytes, const std::set<std::wstring>& names);

// The name a Recent shortcut has for its target: Windows names it after the
// file or folder ("Tax 2025.xlsx.lnk"), Wine adds " (2)" to a second one of
// a name. Its file name without those, case folded.
std::wstring ShortcutStem(const std::wstring& fileName);
// The stems a shortcut of one of `places` has: each place's last part.
std::set<std::wstring> PlaceStems(const Places& places);

// A registry value of a RecentDocs key, its data as stored.
struct RegistryValue {
  std::wstring name;
  uint32_t type = 0;  // REG_BINARY is 3
  std::string data;
};
inline constexpr uint32_t kRegBinary = 3;

// The shortcut a RecentDocs value names, as Windows writes it: the target's
// name in UTF-16 with its NUL, then a shell item of the shortcut (its short
// name, then an extension block 0xBEEF0004 with its long name). Empty when
// the value is not in that form.
std::wstring RecentDocsShortcut(const std::string& data);

// What to do with one RecentDocs key: the values to delete and, when any
// goes, MRUListEx again without them, in the same order, ending 0xFFFFFFFF.
// `shortcuts` are file names, case folded. A list that cannot be read is
// not written (`rewriteList` false).
struct RecentDocsEdit {
  std::vector<std::wstring> remove;
  bool rewriteList = false;
  std::string list;
};
RecentDocsEdit PlanRecentDocsEdit(const std::vector<RegistryValue>& values,
                                  const std::set<std::wstring>& shortcuts);

// One trace: a shortcut, or a RecentDocs value ("RecentDocs\.txt\3"), the
// place it named, and whether it is gone.
struct TraceOutcome {
  bool shortcut = true;  // or a RecentDocs value
  std::wstring trace;
  std::wstring names;
  bool removed = false;
  std::wstring why;  // when it is not
};
struct TracesResult {
  std::vector<TraceOutcome> outcomes;
  int ShortcutsRemoved() const;
};

// What the step needs of the platform besides the file operations.
class TraceServices {
 public:
  virtual ~TraceServices() = default;
  // The Recent folder; empty when there is none. Reason Link when it, or a
  // folder on its way, is a link (never followed).
  virtual Reason RecentFolder(std::wstring& folder) = 0;
  // Its shortcuts (*.lnk) as full paths, links among them left out.
  virtual std::vector<std::wstring> ListShortcuts(const std::wstring& folder) = 0;
  // The path a shortcut holds, unresolved; empty when it cannot be read,
  // or when its bytes do not MayName `names`. `created` is the creation
  // time of the file that was read, from the handle that read it (0 where
  // the volume keeps none): only that file is shredded.
  virtual std::wstring ReadTarget(const std::wstring& path, const std::set<std::wstring>& names,
                                  int64_t& created) = 0;
  // Whether the shortcut is the entry it seems, not a link the platform
  // does not mark; asked of the ones that name a shredded place.
  virtual bool IsPlainEntry(const std::wstring& /*path*/) { return true; }
  // The RecentDocs key ("") and its subkeys (".txt", "Folder"): their names.
  virtual std::vector<std::wstring> RecentDocsKeys() = 0;
  virtual std::vector<RegistryValue> ReadValues(const std::wstring& key) = 0;
  virtual Reason DeleteValue(const std::wstring& key, const std::wstring& name) = 0;
  virtual Reason WriteBinary(const std::wstring& key, const std::wstring& name,
                             const std::string& data) = 0;
};

// The texts of the step.
extern const wchar_t kTracesFailedText[];   // "最近使用记录未能清除："
std::wstring TracesClearedLine(int count);  // "已同时清除 N 个最近使用记录", empty for 0
// One line per trace that stays.
std::vector<std::wstring> TraceFailureLines(const TracesResult& result);

// Shreds the shortcuts in the Recent folder whose target is, or lies in, one
// of `places`, then removes the RecentDocs values naming them. Anything it
// cannot read is left alone; a trace it found and could not remove is an
// outcome with its reason. Only a shortcut named as Windows names one of a
// place (its stem) is read, unless `everyShortcut`: for places whose
// insides are not places themselves (a folder shredded from the bin). A
// shortcut renamed by hand is found only then.
TracesResult ClearRecentTraces(const Places& places, ShredServices& files, TraceServices& traces,
                               bool everyShortcut = false);

}  // namespace shred
