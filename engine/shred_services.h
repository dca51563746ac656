// What the shred run needs from the platform: the file operations, each of
// which says why it failed. The run gets them through ShredServices, so that
// its order and its checks are exercised natively with fakes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/file_identity.h"
#include "engine/reason.h"

namespace shred {

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
inline constexpr uint32_t kIntegrityStream = 0x8000;  // ReFS: every write goes beside the old data
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

// What is at a path, without opening it. Every reparse point is a Link here;
// its tag says what kind.
enum class PathKind { Missing, File, Folder, Link };
struct PathInfo {
  PathKind kind = PathKind::Missing;
  uint32_t attributes = 0;
  Reason reason = Reason::None;  // why it is missing or could not be read
  uint32_t reparseTag = 0;
};

// What an open file holds now: its length and its times (the platform's
// 100-nanosecond counts; 0 where the volume keeps no such time).
struct FileState {
  int64_t size = 0;
  int64_t created = 0;
  int64_t written = 0;
  bool operator==(const FileState&) const = default;
};

// An open file or stream, and an open folder, as the services hand them out.
using FileId = std::intptr_t;
using FolderId = std::intptr_t;
struct FileFacts {
  bool diskFile = false;
  uint32_t attributes = 0;
  uint32_t reparseTag = 0;
  int64_t size = 0;
  int64_t allocation = 0;            // the bytes the disk holds for it, clusters rounded up
  int64_t created = 0, written = 0;  // as in FileState
  FileIdentity identity;
  uint32_t links = 1;      // its names (hard links) on the volume
  bool inRecord = true;    // its volume keeps small files inside their records (NTFS)
  std::wstring finalPath;  // where the handle really is, "\\?\" form; empty when unknown
  FileState State() const { return {size, created, written}; }
};
struct Range {
  int64_t offset, length;
  bool operator==(const Range&) const = default;
};

// One name of a file as its folder holds it: the folder (links followed,
// its identity asked of the volume in full; unknown where it cannot be
// opened) and the name stored there, whatever spelling reached it: a short
// name, another case, a share onto the folder, a drive mapped to it.
struct NameInFolder {
  FileIdentity folder;
  std::wstring name;
};

// How much the run asks the services to write at a time: a cancel is seen
// between two such writes.
inline constexpr int64_t kOverwriteChunk = 4 << 20;

class ShredServices {
 public:
  virtual ~ShredServices() = default;

  virtual PathInfo Probe(const std::wstring& path) = 0;
  // Opens the folder at `path` (resolved), links on the way followed as the
  // path gives them, and holds it: shared with readers and writers, not
  // with deleters, so that no other program renames or removes it while the
  // run works in it. Its identity is asked of the volume in full, as a walk
  // asks it. On failure nothing is open.
  virtual Reason OpenFolder(const std::wstring& path, FolderId& folder, FileIdentity& identity) = 0;
  virtual void CloseFolder(FolderId folder) = 0;
  // Opens the entry `name` of the held folder (a file's one name, or that
  // name and one of its streams, "name:s:$DATA"), relative to the folder
  // and never by a path, for writing, sharing it with readers only and never
  // following a link, and says what the handle is; the run judges that. On
  // failure nothing is open.
  virtual Reason OpenFileIn(FolderId folder, const std::wstring& name, FileId& file,
                            FileFacts& facts) = 0;
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
  // The folder at `path` (resolved), links followed, as a walk would find
  // it; unknown when it cannot be opened.
  virtual FileIdentity FolderIdentity(const std::wstring& /*path*/) { return {}; }
  // Writes fresh random bytes at the offset; length is at most kOverwriteChunk.
  virtual Reason WriteRandom(FileId file, int64_t offset, int64_t length) = 0;
  virtual Reason Flush(FileId file) = 0;
  // Reads a range written by WriteRandom back from the disk, past the cache,
  // once it is flushed, and compares it with what was written there, made
  // again from the run's key: VerifyFailed when any byte differs or the
  // range cannot be read. Length is at most kOverwriteChunk.
  virtual Reason ReadBack(FileId file, int64_t offset, int64_t length) = 0;
  virtual Reason Truncate(FileId file) = 0;
  // What the open file holds now.
  virtual Reason ReadState(FileId file, FileState& state) = 0;
  virtual void CloseFile(FileId file) = 0;

  // Writes the lines at the start of the open (overwritten, truncated) file
  // in code page 936, each with CR LF, and gives the file a fixed old date,
  // so that the rename and the deletion do not carry its own times.
  virtual Reason WriteLines(FileId file, const std::vector<std::wstring>& lines) = 0;
  // Whether two paths lead to one file, asked of the volume in full; the
  // identity the run records may stand for the volume by the drive.
  virtual bool IsSameFile(const std::wstring& a, const std::wstring& b) = 0;

  // Opens the entry `name` of the held folder for renaming and deletion,
  // relative to the folder, sharing it with no one: while another handle
  // holds it this fails with InUse, and once it is open nothing can be left
  // pending deletion behind another program. Says what the handle is, its
  // identity, state and final path too.
  virtual Reason OpenToDeleteIn(FolderId folder, const std::wstring& name, FileId& file,
                                FileFacts& facts) = 0;
  // Whether a rename into the held folder by its path reaches it: true
  // where renames go relative to the folder, else whether the folder its
  // path names is still the held one (under Wine a folder moved from the
  // Linux side takes its handles' files with it, renames go by the path,
  // and the old path would reach the new folder's file).
  virtual bool IsFolderAtPath(FolderId folder) = 0;
  // True when anything (file, folder, link, a file pending deletion) has
  // the name in the held folder; true too when the folder cannot say.
  virtual bool ExistsIn(FolderId folder, const std::wstring& name) = 0;
  // ExistsIn for each of the names, in order, asked together: a platform
  // that looks a missing name up by reading its whole folder (Wine) lists
  // it once.
  virtual std::vector<bool> StillIn(FolderId folder, const std::vector<std::wstring>& names) {
    std::vector<bool> there;
    for (const std::wstring& name : names) there.push_back(ExistsIn(folder, name));
    return there;
  }
  // A free random name in the file's folder; empty when none. The first is
  // as long as the volume allows up to eight more than the file's own and
  // sorts after its siblings (so that the folder's index writes it over the
  // place the old name held); a `shorter` one, for a volume that refused
  // the first, is plain letters as long as the file's own name.
  virtual std::wstring RandomSibling(const std::wstring& path, bool shorter) = 0;
  // Opens a folder for renaming and deletion, never following a link, and
  // says what it is (its identity asked of the volume in full).
  virtual Reason OpenFolderToRemove(const std::wstring& path, FileId& folder, FileFacts& facts) = 0;
  // True when the folder holds nothing at all.
  virtual bool IsEmptyFolder(const std::wstring& path) = 0;
  // Renames the open file or folder (never replacing another), and marks it
  // for deletion.
  virtual Reason RenameOpenFile(FileId file, const std::wstring& to) = 0;
  virtual Reason DeleteOpenFile(FileId file) = 0;
  // Waits before a step is tried again.
  virtual void Wait(int milliseconds) = 0;
  // The programs that hold the file, as the platform names them; empty when
  // it cannot say.
  virtual std::wstring HolderOf(const std::wstring& path) = 0;
  // Removes a link itself, after checking that it still is one.
  virtual Reason RemoveLink(const std::wstring& path) = 0;
  // Every name (hard link) of the file at `path`, as full paths on the
  // same drive; empty when the volume cannot say.
  virtual std::vector<std::wstring> NamesOf(const std::wstring& /*path*/) { return {}; }
  // The name the path reaches, as its folder holds it.
  virtual NameInFolder NameOf(const std::wstring& path) = 0;
  // True when anything (file, folder, link, a file pending deletion) is there.
  virtual bool PathExists(const std::wstring& path) = 0;
  // The platform's code for the last failure that came back as IoError.
  virtual uint32_t LastErrorCode() { return 0; }
};

// Closes an open file of a services object when the scope ends, whatever
// ends it.
template <typename Services, void (Services::*CloseIt)(FileId)>
class OpenGuard {
 public:
  OpenGuard(Services& services, FileId file) : services_(services), file_(file) {}
  OpenGuard(const OpenGuard&) = delete;
  OpenGuard& operator=(const OpenGuard&) = delete;
  ~OpenGuard() { Close(); }
  void Close() {
    if (open_) (services_.*CloseIt)(file_);
    open_ = false;
  }
  // The file stays open for the caller.
  void Release() { open_ = false; }

 private:
  Services& services_;
  FileId file_;
  bool open_ = true;
};
using OpenFileGuard = OpenGuard<ShredServices, &ShredServices::CloseFile>;
using OpenFolderGuard = OpenGuard<ShredServices, &ShredServices::CloseFolder>;

}  // namespace shred
