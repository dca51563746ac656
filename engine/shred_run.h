// The shred list and the shred run. Nothing here touches Windows: the run gets
// its message box, its file operations and the list through the two
// interfaces below, so it is exercised natively with fakes.
//
// Each entry goes through the same steps: check the path, destroy the
// contents, write the notice, rename, delete, check. Only a file whose every
// stream was overwritten completely is deleted; every other entry stays in the
// list and the closing report says why.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace shred {

// The ordered list of paths the user collected. Indices run from 0 to
// Count() - 1; Selection() is -1 when nothing is selected.
class ShredList {
 public:
  virtual ~ShredList() = default;
  virtual int Count() const = 0;
  virtual std::wstring Item(int index) const = 0;
  virtual bool Add(const std::wstring& path) = 0;
  virtual bool RemoveAt(int index) = 0;
  virtual void Clear() = 0;
  virtual int Selection() const = 0;
  // Every entry in order; a list that can read them faster overrides it.
  virtual std::vector<std::wstring> Items() const;
  // The list as it should be after a run, when it differs from what it holds.
  virtual void Replace(const std::vector<std::wstring>& items);
};

// The list holds at most this many entries, as the list box that stores them
// counts them in 16 bits.
inline constexpr int kMaxEntries = 32767;
extern const wchar_t kListFullText[];

bool AddEntry(ShredList& list, const std::wstring& path);
// Removes the selected entry; false (and no change) when nothing is selected.
bool RemoveSelectedEntry(ShredList& list);

enum class MessageKind {
  Confirm,  // OK + Cancel, question icon
  Info,     // OK, no icon
  Warning,  // OK, warning icon
};

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
  IoError,
  Cancelled,  // the overwrite was stopped in the middle
  Changed,    // what was opened is not what the path showed
  NotDeleted,
  NotDeletedRenamed,  // and it could not get its own name back
  Link,               // a link the platform does not mark: its target is not the user's pick
  OnlineOnly,         // a cloud file whose contents are not on this disk
  SpecialFile,        // a reparse point of a kind the run does not know
};

// A short Chinese phrase for the report.
const wchar_t* ReasonText(Reason reason);

// What the file attributes of a path or handle say (the values are the
// platform's FILE_ATTRIBUTE_ bits).
namespace attr {
inline constexpr uint32_t kReadOnly = 0x1;
inline constexpr uint32_t kDirectory = 0x10;
inline constexpr uint32_t kSparse = 0x200;
inline constexpr uint32_t kReparsePoint = 0x400;
inline constexpr uint32_t kCompressed = 0x800;
inline constexpr uint32_t kOffline = 0x1000;
inline constexpr uint32_t kEncrypted = 0x4000;
inline constexpr uint32_t kRecallOnOpen = 0x40000;
inline constexpr uint32_t kRecallOnDataAccess = 0x400000;
}  // namespace attr

// The platform's reparse tags the run tells apart.
namespace tag {
inline constexpr uint32_t kMountPoint = 0xA0000003;  // a junction
inline constexpr uint32_t kSymlink = 0xA000000C;
inline constexpr uint32_t kDedup = 0x80000013;
inline constexpr uint32_t kOverlay = 0x80000017;  // compressed by the overlay filter
inline constexpr uint32_t kCloud = 0x9000001A;    // and 0x9000101A ... 0x9000F01A
inline constexpr uint32_t kCloudMask = 0xFFFF0FFF;
}  // namespace tag

// What a reparse point is to the run.
enum class ReparseKind {
  Link,         // removed itself, its target untouched
  CloudLocal,   // a cloud file whose data is on the disk: overwritten like a file
  CloudOnline,  // a cloud file whose data is not: never downloaded
  AsIs,         // stored elsewhere (deduplicated, overlay-compressed): deleted as it is
  Other,        // unknown: left alone
};
ReparseKind ClassifyReparse(uint32_t reparseTag, uint32_t attributes);

// An entry turned into the one absolute path it denotes, in the "\\?\" form
// that no platform rule rewrites, or the reason it denotes none.
struct ResolvedPath {
  std::wstring path;
  Reason reason = Reason::None;
};
ResolvedPath ResolveEntry(const std::wstring& entry);

// A full path ("C:\\..." or "\\\\server\\share\\...") in the "\\?\\" form that
// reaches beyond 260 characters; anything else unchanged. No rewriting: the
// path must already be canonical.
std::wstring VerbatimPath(const std::wstring& fullPath);

// The folders a walk must never expand into their files, as the platform
// names them: the Windows and program folders, ProgramData, the users'
// folder and profiles; and the folder that holds the profiles, any of whose
// direct subfolders is a user's profile.
struct ProtectedFolders {
  std::vector<std::wstring> folders;
  std::wstring profiles;
};
// "X:", "X:\", "\\server\share" and their verbatim forms, or a path that
// ".." takes up to one of them.
bool IsDriveOrShareRoot(const std::wstring& entry);
// A drive's or share's root, one of `system.folders`, or a user's profile
// folder itself (not what is inside it). Compared as Windows compares
// folder names, ignoring case.
bool IsProtectedFolder(const std::wstring& entry, const ProtectedFolders& system);

// True for a path the run must never open for writing nor delete: devices,
// pipes and mailslots, raw volumes and disks, and paths with wildcards.
bool IsUnsafeShredPath(const std::wstring& path);

// Whether an opened handle is a regular file that the run may overwrite; a
// reparse point only when it carries the tag the path showed.
Reason CheckOverwritable(bool diskFile, uint32_t attributes, uint32_t reparseTag = 0,
                         uint32_t expectedTag = 0);
// Whether a handle's final path is the path it was opened by, as the texts
// show without asking the volume: equal, or equal but for case.
enum class PathMatch { Same, CaseOnly, Different };
PathMatch ComparePaths(const std::wstring& path, const std::wstring& finalPath);
// Compressed and encrypted files store other bytes than they show: writing
// through the file system cannot reach the old ones.
bool CanOverwriteInPlace(uint32_t attributes);

// What is at a path, without opening it. Every reparse point is a Link here;
// its tag says what kind.
enum class PathKind { Missing, File, Folder, Link };
struct PathInfo {
  PathKind kind = PathKind::Missing;
  uint32_t attributes = 0;
  Reason reason = Reason::None;  // why it is missing or could not be read
  uint32_t reparseTag = 0;
};

// What a file is, whatever names lead to it: its volume's serial number and
// its ID there. Hard links share it; two spellings that differ in case share
// it on a case-insensitive folder and not on a case-sensitive one.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t high = 0, low = 0;
  bool operator==(const FileIdentity&) const = default;
  auto operator<=>(const FileIdentity&) const = default;
  bool Known() const { return volume || high || low; }
};

// An open file or stream, as the services hand it out.
using FileId = std::intptr_t;
struct FileFacts {
  bool diskFile = false;
  uint32_t attributes = 0;
  uint32_t reparseTag = 0;
  int64_t size = 0;
  int64_t allocation = 0;  // the bytes the disk holds for it, clusters rounded up
  FileIdentity identity;
  std::wstring finalPath;  // where the handle really is, "\\?\" form; empty when unknown
};
struct Range {
  int64_t offset, length;
  bool operator==(const Range&) const = default;
};

// How much the run asks the services to write at a time: a cancel is seen
// between two such writes.
inline constexpr int64_t kOverwriteChunk = 4 << 20;

class ShredServices {
 public:
  virtual ~ShredServices() = default;
  // Modal message box; true when the user answered OK.
  virtual bool ShowMessage(const std::wstring& text, const std::wstring& title,
                           MessageKind kind) = 0;

  virtual PathInfo Probe(const std::wstring& path) = 0;
  // Opens an existing file, or one of its streams ("path:name:$DATA"), for
  // writing, sharing it with readers only and never following a link, and
  // says what the handle is; the run judges that. On failure nothing is open.
  virtual Reason OpenFile(const std::wstring& path, FileId& file, FileFacts& facts) = 0;
  // Whether the folder entry `path` is the file at `finalPath` though the
  // texts differ: the same folder, and the entry's stored name is the final
  // name (short names, case, a drive mapped to a folder); false for a link.
  // `identity` is the file the handle holds.
  virtual bool IsSameEntry(const std::wstring& path, const std::wstring& finalPath,
                           const FileIdentity& identity) = 0;
  // The alternate data streams of the file, as names to append to its path.
  virtual std::vector<std::wstring> AlternateStreams(const std::wstring& path) = 0;
  // The ranges of a sparse file that hold data; false when it cannot say.
  virtual bool AllocatedRanges(FileId file, int64_t size, std::vector<Range>& ranges) = 0;
  // Writes fresh random bytes at the offset; length is at most kOverwriteChunk.
  virtual Reason WriteRandom(FileId file, int64_t offset, int64_t length) = 0;
  virtual Reason Flush(FileId file) = 0;
  virtual Reason Truncate(FileId file) = 0;
  virtual void CloseFile(FileId file) = 0;

  // Writes the lines at the start of the open (overwritten, truncated) file
  // in code page 936, each with CR LF, and gives the file a fixed old date,
  // so that the rename and the deletion do not carry its own times.
  virtual Reason WriteLines(FileId file, const std::vector<std::wstring>& lines) = 0;
  // Whether two paths lead to one file, asked of the volume in full; the
  // identity the run records may stand for the volume by the drive.
  virtual bool IsSameFile(const std::wstring& a, const std::wstring& b) = 0;

  // Opens an existing file for renaming and deletion, sharing it with no
  // one: while another handle holds it this fails with InUse, and once it
  // is open nothing can be left pending deletion behind another program.
  // Says what the handle is, its identity and final path too.
  virtual Reason OpenToDelete(const std::wstring& path, FileId& file, FileFacts& facts) = 0;
  // A free random name in the file's folder, longer than its own and sorted
  // after its siblings' (so that the folder's index writes it over the
  // place the old name held); empty when none.
  virtual std::wstring RandomSibling(const std::wstring& path) = 0;
  // Renames the open file (never replacing another), and marks it for deletion.
  virtual Reason RenameOpenFile(FileId file, const std::wstring& to) = 0;
  virtual Reason DeleteOpenFile(FileId file) = 0;
  // Waits before a step is tried again.
  virtual void Wait(int milliseconds) = 0;
  // The programs that hold the file, as the platform names them; empty when
  // it cannot say.
  virtual std::wstring HolderOf(const std::wstring& path) = 0;
  // Removes a link itself, after checking that it still is one.
  virtual Reason RemoveLink(const std::wstring& path) = 0;
  // True when anything (file, folder, link, a file pending deletion) is there.
  virtual bool PathExists(const std::wstring& path) = 0;
};

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
  std::wstring path;        // the resolved path, empty when the entry named none
  std::wstring renamed;     // the entry text for the name a survivor now has
  FileIdentity identity;    // the file that was opened, when it was
  uint32_t reparseTag = 0;  // the tag a reparse point the run works on carries
  int sameAs = -1;          // the earlier entry naming the same file: it shares that fate
  std::wstring holder;      // the programs that held a file in use, when known
};

// One shred run: the entries as the run found them and what became of each.
struct ShredJob {
  std::vector<std::wstring> entries;
  std::vector<EntryResult> results;
  int processed = 0;  // entries the overwrite pass has finished
  bool cancelled = false;
  bool closing = false;  // the window closes after the report: nothing stays listed
};

// Watches a run from the thread that does the work: asked between two
// buffers whether to stop, told which file is being worked on and how far.
class ShredMonitor {
 public:
  virtual ~ShredMonitor() = default;
  virtual bool CancelRequested() { return false; }
  virtual void Overwriting(int /*index*/, const std::wstring& /*path*/) {}
  virtual void Overwritten(uint64_t /*bytesOfThisFile*/) {}
  virtual void Deleting(int /*index*/, const std::wstring& /*path*/) {}
};

// The files an overwrite pass has opened so far, by identity, with the
// first entry that named each and its path.
struct SeenFile {
  int index;
  std::wstring path;
};
using SeenFiles = std::map<FileIdentity, SeenFile>;

// Overwrites every stream of the file at `path` (resolved) to its allocation
// size, flushes and truncates each, and writes the notice into the main
// stream through the handle that overwrote it; the file's fate and, when it
// survives, the reason. A reparse point is worked on only when it carries
// `expectedTag`. A file already in `seen` is left alone: Fate::SameFile.
EntryResult DestroyContents(const std::wstring& path, ShredServices& services,
                            ShredMonitor& monitor, uint32_t expectedTag = 0,
                            const SeenFiles* seen = nullptr);

// A message as a message box can show it on any screen: a line longer than
// kBoxLineChars keeps its start and end around "…" in the middle, and past
// kBoxLines lines the rest is left out with a last "…".
inline constexpr size_t kBoxLineChars = 120;
inline constexpr size_t kBoxLines = 40;
std::wstring FitForMessageBox(const std::wstring& text);

// How a path stands in a report: "（空）" for an empty entry.
std::wstring ShownPath(const std::wstring& path);

// The closing report: survivors grouped by reason, then the files deleted
// without overwriting and the links removed. Each group names its first ten
// paths, then "…".
std::wstring ShredReport(const ShredJob& job);

// The Shred button's run in three steps, so that the middle one can run on a
// worker thread while the window stays responsive:
// the confirmation and the empty-list message; false when the run stops there.
bool PrepareShred(ShredList& list, ShredServices& services, ShredJob& job);
// The overwrite pass over every entry, then the delete pass. Touches files only.
void ShredFiles(ShredJob& job, ShredServices& services, ShredMonitor& monitor);
// The list keeps the survivors and the untouched entries; the closing message.
void FinishShred(ShredList& list, ShredServices& services, const ShredJob& job);
// All three on the calling thread.
void RunShred(ShredList& list, ShredServices& services);

}  // namespace shred
