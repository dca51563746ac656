// The shred run. Nothing here touches Windows: the run gets its file
// operations through ShredServices and its message boxes through Prompts,
// so it is exercised natively with fakes.
//
// Each entry goes through the same steps: check the path, destroy the
// contents, write the notice, rename, delete, check. Only a file whose every
// stream was overwritten completely, and that is still in the state the
// overwrite left it, is deleted; every other entry stays in the list and the
// closing report says why.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/folder_removal.h"
#include "engine/path_rules.h"
#include "engine/prompts.h"
#include "engine/recent_traces.h"
#include "engine/shred_list.h"
#include "engine/shred_services.h"

namespace shred {

// What a reparse point is to the run.
enum class ReparseKind {
  Link,         // removed itself, its target untouched
  CloudLocal,   // a cloud file whose data is on the disk: overwritten like a file
  CloudOnline,  // a cloud file whose data is not: never downloaded
  AsIs,         // stored elsewhere (deduplicated, overlay-compressed): deleted as it is
  Other,        // unknown: left alone
};
ReparseKind ClassifyReparse(uint32_t reparseTag, uint32_t attributes);

// Whether an opened handle is a regular file that the run may overwrite; a
// reparse point only when it carries the tag the path showed.
Reason CheckOverwritable(bool diskFile, uint32_t attributes, uint32_t reparseTag = 0,
                         uint32_t expectedTag = 0);
// Whether a handle's final path is the path it was opened by, as the texts
// show without asking the volume: equal, or equal but for case.
enum class PathMatch { Same, CaseOnly, Different };
PathMatch ComparePaths(const std::wstring& path, const std::wstring& finalPath);
// Compressed and encrypted files store other bytes than they show, and a
// file with an integrity stream (ReFS) is written copy-on-write, beside its
// old clusters: writing through the file system cannot reach the old ones.
bool CanOverwriteInPlace(uint32_t attributes);

// How long a file that another program holds at the delete step is tried
// again: scanners and indexers open a freshly written file for a moment.
inline constexpr int kDeleteRetryMs = 2000;
inline constexpr int kDeleteRetryStepMs = 100;

// The texts of the run, exactly as the user sees them.
extern const wchar_t kConfirmText[];
extern const wchar_t kConfirmTitle[];
extern const wchar_t kEmptyListText[];
extern const wchar_t kInfoTitle[];
extern const wchar_t kDoneText[];
// Said of a file whose deletion the platform took and whose name stayed.
extern const wchar_t kStillOpenText[];

// The two lines written into every file before it is deleted.
std::wstring BannerLine();
std::wstring NoticeLine();

// What became of one entry.
enum class Fate {
  NotReached,     // a cancel came first: untouched (reason Cancelled when it was this file's turn)
  Survived,       // still there, for `reason`
  Shredded,       // overwritten completely and gone
  DeletedAsIs,    // gone, but its old contents could not be overwritten
  LinkRemoved,    // a link: the link is gone, its target untouched
  ShreddedCloud,  // a cloud file overwritten and gone here; the cloud may keep versions
  Overwritten,    // (during the run) waiting for the delete pass
  OverwriteAsIs,  // (during the run) waiting, cannot be overwritten in place
  LinkToRemove,   // (during the run) waiting, a link
  SameFile,       // (during the run) an earlier entry names this file
};

// Whether the entry's name is gone from the disk (shredded, deleted as it
// was, or a link removed).
bool IsGone(Fate fate);

struct EntryResult {
  Fate fate = Fate::NotReached;
  Reason reason = Reason::None;
  uint32_t error = 0;        // the platform's code behind an IoError
  std::wstring path;         // the resolved path, empty when the entry named none
  std::wstring renamed;      // the entry text for the name a survivor now has
  FileIdentity identity;     // the file that was opened, when it was
  FileState state;           // what the overwrite left in it
  std::wstring finalPath;    // where the file was when it was opened
  uint32_t reparseTag = 0;   // the tag a reparse point the run works on carries
  int sameAs = -1;           // the earlier entry naming the same file: it shares that fate
  std::wstring detail;       // what the report adds in brackets: who holds it, its other names
  uint32_t names = 1;        // the names (hard links) the file had when it was opened
  int64_t size = 0;          // its length when it was opened
  uint64_t overwritten = 0;  // bytes written over, every stream's
  int streams = 0;           // streams overwritten: its contents and each alternate one
  bool verified = false;     // every overwritten range read back and found as written
};

// One shred run: the entries as the run found them and what became of each.
struct ShredJob {
  std::vector<std::wstring> entries;
  std::vector<EntryResult> results;
  int processed = 0;  // entries the overwrite pass has finished
  // The folders handed over whole, removed after a run that went through.
  std::vector<WalkedFolder> folders;
  // Every other folder a walk read (a pattern's): a file found in one is
  // worked only when the folder at its path is still the one the walk read,
  // as are the files of `folders`.
  std::vector<WalkedFolder> walked;
  // Where known, the creation time each entry's file had when it was chosen
  // (0: not known): a file there now with another one is not it.
  std::vector<int64_t> created;
  std::vector<FolderResult> folderResults;
  bool cancelled = false;
  bool verify = false;  // every overwritten range is read back before the file is deleted
  // Every check of a run made and nothing done: no write, rename or
  // deletion; each entry's fate is what the run would do with it
  // (Overwritten: shredded; OverwriteAsIs: deleted as it is; LinkToRemove).
  bool preview = false;
  bool closing = false;     // the window closes after the report: nothing stays listed
  std::wstring mediaNote;   // what the drives the files were on mean for them, when anything
  bool keepTraces = false;  // the shortcuts and lists Windows keeps of the files stay
  TracesResult traces;      // what became of them
};

// Watches a run from the thread that does the work: asked between two
// buffers whether to stop, told which file is being worked on and how far.
class ShredMonitor {
 public:
  virtual ~ShredMonitor() = default;
  virtual bool CancelRequested() { return false; }
  virtual void Overwriting(int /*index*/, const std::wstring& /*path*/) {}
  virtual void Overwritten(uint64_t /*bytesOfThisFile*/) {}
  // With the read-back: how much of this file's overwritten bytes it has
  // read again.
  virtual void ReadBack(uint64_t /*bytesOfThisFile*/) {}
  virtual void Deleting(int /*index*/, const std::wstring& /*path*/) {}
};

// The files an overwrite pass has opened so far, by identity and by where
// they were, with the first entry that named each and its path.
struct SeenFile {
  int index;
  std::wstring path;
};
struct SeenFiles {
  std::map<FileIdentity, SeenFile> byIdentity;
  std::map<std::wstring, FileIdentity> byFinalPath;
  void Add(const FileIdentity& identity, const std::wstring& finalPath, const SeenFile& file);
};

// What DestroyContents is to expect of the file, and how far to go.
struct DestroyOptions {
  uint32_t expectedTag = 0;         // a reparse point is worked on only with this tag
  const SeenFiles* seen = nullptr;  // a file already in it is left alone: Fate::SameFile
  bool verify = false;              // every range is read back after the flush
  uint32_t namesChosen = 1;         // how many of its names (hard links) are listed
  // When known, the file an earlier look at the path found (its identity,
  // its creation time, or both): another file at the path now is left alone.
  FileIdentity identity = {};
  int64_t created = 0;
  // The held folder the file lies in, opened for the run before anything
  // was done; 0: the folder of `path` is opened for this call.
  FolderId folder = 0;
  // Every check made, nothing written: the fate says what would be done.
  bool preview = false;
};

// Overwrites every stream of the file at `path` (resolved) to its allocation
// size, flushes and truncates each, and writes the notice into the main
// stream through the handle that overwrote it; the file's fate and, when it
// survives, the reason. With `verify`, a stream that does not hold what was
// written leaves the file a survivor, VerifyFailed. A file with more names
// than `namesChosen` is not touched: its other names are not the user's
// pick (Reason::OtherNames). Every stream is opened relative to the held
// folder, by the path's last name: what the path's text leads to now does
// not matter.
EntryResult DestroyContents(const std::wstring& path, ShredServices& services,
                            ShredMonitor& monitor, const DestroyOptions& options = {});

// Renames the open file or folder at `path` to a random name in its folder,
// so that the folder no longer shows its own: the new name, empty when it
// took none. A volume that refuses the long name (a limit in bytes, not
// characters) gets a plain one as long as the old; a file that takes
// neither is deleted under its own name (its contents are gone; the name may
// stay in the folder's metadata). A name in `taken` (folded) is passed over.
std::wstring RenameToRandom(const std::wstring& path, FileId file, ShredServices& services,
                            const std::set<std::wstring>* taken = nullptr);

// The Shred button's run in three steps, so that the middle one can run on a
// worker thread while the window stays responsive:
// the confirmation and the empty-list message; false when the run stops there.
bool PrepareShred(ShredList& list, Prompts& prompts, ShredJob& job);
// The overwrite pass over every entry, then the delete pass, then, when no
// cancel came, the folders handed over whole.
void ShredFiles(ShredJob& job, ShredServices& services, ShredMonitor& monitor);
// The list keeps the survivors and the untouched entries; the closing message.
void FinishShred(ShredList& list, Prompts& prompts, const ShredJob& job);
// All three on the calling thread.
void RunShred(ShredList& list, Prompts& prompts, ShredServices& services);

}  // namespace shred
