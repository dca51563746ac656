#include "engine/shred_run.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "engine/maker.h"
#include "engine/shred_report.h"

namespace shred {

const wchar_t kConfirmText[] = L"您确认粉碎已选文件吗？";
const wchar_t kConfirmTitle[] = L"警告";
const wchar_t kEmptyListText[] = L"请选择文件！";
const wchar_t kInfoTitle[] = L"提示";
const wchar_t kDoneText[] = L"已选文件粉碎完成！";
const wchar_t kStillOpenText[] = L"其他程序仍打开着它";

std::wstring BannerLine() {
  return std::wstring(L"本文件已由 Tarvello 文件粉碎机处理  ") + maker::kName + L"  " +
         maker::kWebAddress;
}

std::wstring NoticeLine() {
  return std::wstring(L"此文件已被粉碎！  By:") + maker::kAuthor + L" QQ：" + maker::kContactNumber;
}

Reason CheckOverwritable(bool diskFile, uint32_t attributes, uint32_t reparseTag,
                         uint32_t expectedTag) {
  if (!diskFile) return Reason::NotAFile;  // a pipe or a device, reached through a link
  if (attributes & attr::kDirectory) return Reason::NotAFile;
  // A reparse point where the path showed another kind, or none: it changed since.
  if ((attributes & attr::kReparsePoint) && (expectedTag == 0 || reparseTag != expectedTag))
    return Reason::Changed;
  // Windows refuses write access to a read-only file by itself; Wine run by
  // root does not, so the attribute is checked here as well.
  if (attributes & attr::kReadOnly) return Reason::ReadOnly;
  return Reason::None;
}

bool IsGone(Fate fate) {
  return fate == Fate::Shredded || fate == Fate::DeletedAsIs || fate == Fate::LinkRemoved ||
         fate == Fate::ShreddedCloud;
}

bool CanOverwriteInPlace(uint32_t attributes) {
  return !(attributes & (attr::kCompressed | attr::kEncrypted | attr::kIntegrityStream));
}

ReparseKind ClassifyReparse(uint32_t reparseTag, uint32_t attributes) {
  if (reparseTag == tag::kSymlink || reparseTag == tag::kMountPoint) return ReparseKind::Link;
  if (reparseTag == tag::kDedup || reparseTag == tag::kOverlay) return ReparseKind::AsIs;
  if ((reparseTag & tag::kCloudMask) == tag::kCloud) {
    const uint32_t away = attr::kOffline | attr::kRecallOnOpen | attr::kRecallOnDataAccess;
    return (attributes & away) ? ReparseKind::CloudOnline : ReparseKind::CloudLocal;
  }
  return ReparseKind::Other;
}

PathMatch ComparePaths(const std::wstring& path, const std::wstring& finalPath) {
  if (path == finalPath) return PathMatch::Same;
  if (path.size() != finalPath.size()) return PathMatch::Different;
  for (size_t i = 0; i < path.size(); ++i) {
    if (std::towupper(path[i]) != std::towupper(finalPath[i])) return PathMatch::Different;
  }
  return PathMatch::CaseOnly;
}

namespace {

bool IsStoredElsewhere(const FileFacts& facts) {
  return (facts.attributes & attr::kReparsePoint) &&
         ClassifyReparse(facts.reparseTag, facts.attributes) == ReparseKind::AsIs;
}

// The largest file record a volume keeps (NTFS: 1 KiB, 4 KiB on disks of
// 4 KiB sectors): a file no larger may live inside its own.
constexpr int64_t kRecordBytes = 4096;

struct StreamResult {
  Reason reason = Reason::None;
  bool overwritten = true;  // false: truncated only, its old bytes could not be reached
  bool verified = false;    // every range read back and found as written
};

// What the run has done to one file so far, over all its streams.
struct FileWork {
  bool verify = false;    // every range is read back after the flush
  uint64_t written = 0;   // bytes written over, as the progress counts them
  uint64_t flushed = 0;   // of those, the bytes the disk took: the record's count
  uint64_t readBack = 0;  // bytes read back
};

// Each range in the chunks the services take at a time, in order, until a
// step fails or a cancel comes between two of them.
template <typename Step>
Reason EachChunk(const std::vector<Range>& ranges, ShredMonitor& monitor, Step step) {
  for (const Range& range : ranges) {
    for (int64_t at = range.offset, end = range.offset + range.length; at < end;) {
      if (monitor.CancelRequested()) return Reason::Cancelled;
      const int64_t length = std::min(kOverwriteChunk, end - at);
      if (Reason r = step(at, length); r != Reason::None) return r;
      at += length;
    }
  }
  return Reason::None;
}

// Random bytes over every range of one open stream that holds data on the
// disk, up to its allocation size, flushed to the disk before the truncation
// and, with `verify`, read back. A file stored elsewhere (deduplicated,
// overlay-compressed) is not written at all: the bytes behind its reparse
// point are not its own.
// The ranges of one open stream to write over, in order; false when its
// old bytes cannot be reached where they lie (none are then written).
// `inPlaceFirst`: ranges[0] is written and flushed before ranges[1].
bool PlanRanges(FileId file, const FileFacts& facts, ShredServices& services,
                std::vector<Range>& ranges, bool& inPlaceFirst) {
  inPlaceFirst = false;
  if (IsStoredElsewhere(facts) || !CanOverwriteInPlace(facts.attributes)) return false;
  // Only the allocated ranges: filling the holes would grow the file on the disk.
  if (facts.attributes & attr::kSparse) return services.AllocatedRanges(file, facts.size, ranges);
  if (facts.inRecord && facts.size > 0 && facts.size < facts.allocation &&
      facts.size <= kRecordBytes) {
    // A small file may hold its bytes inside its file record (NTFS): a
    // write past its length moves them out to a cluster and leaves the old
    // ones in the record. Its own length is written in place and flushed
    // first, then the rest of what the disk holds for it.
    ranges = {{0, facts.size}, {facts.size, facts.allocation - facts.size}};
    inPlaceFirst = true;
  } else {
    ranges.push_back({0, std::max(facts.size, facts.allocation)});
  }
  return true;
}

StreamResult OverwriteStream(FileId file, const FileFacts& facts, ShredServices& services,
                             ShredMonitor& monitor, FileWork& work) {
  StreamResult result;
  std::vector<Range> ranges;
  bool inPlaceFirst = false;
  if (IsStoredElsewhere(facts)) return {Reason::None, false};
  result.overwritten = PlanRanges(file, facts, services, ranges, inPlaceFirst);
  const auto write = [&](int64_t at, int64_t length) {
    const Reason r = services.WriteRandom(file, at, length);
    if (r == Reason::None) monitor.Overwritten(work.written += uint64_t(length));
    return r;
  };
  // Bytes count as written over once the disk took them.
  const auto flush = [&] {
    const Reason r = services.Flush(file);
    if (r == Reason::None) work.flushed = work.written;
    return r;
  };
  Reason written = EachChunk(inPlaceFirst ? std::vector<Range>{ranges[0]} : ranges, monitor, write);
  if (written == Reason::None && inPlaceFirst) {
    written = flush();
    if (written == Reason::None) written = EachChunk({ranges[1]}, monitor, write);
  }
  if (written != Reason::None) return {written, false};
  if (!ranges.empty()) {
    if (Reason r = flush(); r != Reason::None) return {r, false};
  }
  if (work.verify && !ranges.empty()) {
    // Every byte is overwritten now: a cancel here leaves a file whose old
    // contents are gone but whose new ones nobody checked.
    const Reason read = EachChunk(ranges, monitor, [&](int64_t at, int64_t length) {
      const Reason r = services.ReadBack(file, at, length);
      if (r == Reason::None) monitor.ReadBack(work.readBack += uint64_t(length));
      return r;
    });
    if (read != Reason::None)
      return {read == Reason::Cancelled ? Reason::VerifyCancelled : read, false};
    result.verified = result.overwritten;
  }
  // A writer from outside (one the platform does not hold off, as Linux
  // processes under Wine) appended while it was overwritten: the truncation
  // would free its new bytes unoverwritten. Left as it is, and reported.
  FileState now;
  if (Reason r = services.ReadState(file, now); r != Reason::None) return {r, false};
  if (now.size > std::max(facts.size, facts.allocation)) return {Reason::Changed, false};
  if (Reason r = services.Truncate(file); r != Reason::None) return {r, false};
  return result;
}

// A file the run worked on that stays, for `reason`: what was measured of
// it (its identity, size, the bytes written over, its streams) stays in the
// result, for the report and the record.
void KeepAs(EntryResult& result, Reason reason, uint32_t error = 0) {
  result.fate = Fate::Survived;
  result.reason = reason;
  result.error = error;
}

// The platform's code for a failure the run has words for, so that the
// record carries it too (32 for a file in use).
uint32_t ErrorCodeOf(Reason reason, ShredServices& services) {
  switch (reason) {
    case Reason::InUse:
      return 32;  // ERROR_SHARING_VIOLATION
    case Reason::AccessDenied:
      return 5;  // ERROR_ACCESS_DENIED
    case Reason::ReadOnly:
      return 19;  // ERROR_WRITE_PROTECT
    case Reason::DiskFull:
      return 112;  // ERROR_DISK_FULL
    case Reason::IoError:
      return services.LastErrorCode();
    default:
      return 0;
  }
}

EntryResult Survivor(Reason reason, const std::wstring& path = {},
                     const FileIdentity& identity = {}) {
  EntryResult result;
  result.fate = Fate::Survived;
  result.reason = reason;
  result.path = path;
  result.identity = identity;
  return result;
}

// A survivor of a failed file operation, with the platform's code when the
// run has no words of its own for it.
EntryResult Failed(ShredServices& services, Reason reason, const std::wstring& path,
                   const FileIdentity& identity = {}) {
  EntryResult result = Survivor(reason, path, identity);
  result.error = ErrorCodeOf(reason, services);
  return result;
}

// Whether the handle opened by `path` is the file the path names, and not
// what a link the platform does not mark points to.
bool IsNamedBy(const std::wstring& path, const FileFacts& facts, ShredServices& services) {
  if (facts.finalPath.empty()) return true;  // the platform cannot say; the path is all there is
  if (ComparePaths(path, facts.finalPath) == PathMatch::Same) return true;
  return services.IsSameEntry(path, facts.finalPath, facts.identity);
}

// Opens the main stream, relative to its held folder, and decides whether
// it is the one to overwrite.
Reason OpenMainStream(FolderId folder, const std::wstring& path, uint32_t expectedTag,
                      ShredServices& services, FileId& file, FileFacts& facts) {
  if (Reason reason = services.OpenFileIn(folder, NameOfPath(path), file, facts);
      reason != Reason::None)
    return reason;
  OpenFileGuard guard(services, file);
  Reason reason =
      CheckOverwritable(facts.diskFile, facts.attributes, facts.reparseTag, expectedTag);
  if (reason == Reason::None && !IsNamedBy(path, facts, services)) reason = Reason::Link;
  if (reason == Reason::None) guard.Release();
  return reason;
}

// The earlier entry that opened this same file: the same identity, asked
// again of the volume in full; or the same place and file number, for a
// file reached through a drive whose volume tells no serial number (Wine's
// root drive) and so carries another identity.
const SeenFile* FindSeen(const SeenFiles& seen, const std::wstring& path, const FileFacts& facts,
                         ShredServices& services) {
  if (!facts.identity.Known()) return nullptr;
  const auto earlier = seen.byIdentity.find(facts.identity);
  if (earlier != seen.byIdentity.end() && services.IsSameFile(earlier->second.path, path))
    return &earlier->second;
  const auto there =
      facts.finalPath.empty() ? seen.byFinalPath.end() : seen.byFinalPath.find(facts.finalPath);
  if (there == seen.byFinalPath.end() || there->second.high != facts.identity.high ||
      there->second.low != facts.identity.low) {
    return nullptr;
  }
  return &seen.byIdentity.at(there->second);
}

}  // namespace

namespace {

// A name as the folder compares it: case folded.
std::wstring FoldedName(std::wstring name) {
  std::transform(name.begin(), name.end(), name.begin(),
                 [](wchar_t c) { return wchar_t(std::towupper(c)); });
  return name;
}

}  // namespace

std::wstring RenameToRandom(const std::wstring& path, FileId file, ShredServices& services,
                            const std::set<std::wstring>* taken) {
  for (const bool shorter : {false, true}) {
    const std::wstring hidden = services.RandomSibling(path, shorter);
    if (hidden.empty() || (taken && taken->count(FoldedName(NameOfPath(hidden))))) continue;
    if (services.RenameOpenFile(file, hidden) == Reason::None) return hidden;
  }
  return {};
}

void SeenFiles::Add(const FileIdentity& identity, const std::wstring& finalPath,
                    const SeenFile& file) {
  byIdentity.emplace(identity, file);
  if (!finalPath.empty()) byFinalPath.emplace(finalPath, identity);
}

namespace {

// Overwrites one alternate data stream ("name:s:$DATA" in the held folder)
// of the file `identity` names.
StreamResult OverwriteAlternate(FolderId folder, const std::wstring& stream,
                                const FileIdentity& identity, uint32_t expectedTag,
                                ShredServices& services, ShredMonitor& monitor, FileWork& work) {
  FileId file = 0;
  FileFacts facts;
  if (Reason reason = services.OpenFileIn(folder, stream, file, facts); reason != Reason::None)
    return {reason, false};
  OpenFileGuard guard(services, file);
  Reason reason =
      CheckOverwritable(facts.diskFile, facts.attributes, facts.reparseTag, expectedTag);
  // A stream of another file: the name was given to another one meanwhile.
  if (reason == Reason::None && facts.identity != identity) reason = Reason::Changed;
  if (reason != Reason::None) return {reason, false};
  return OverwriteStream(file, facts, services, monitor, work);
}

}  // namespace

namespace {

// Whether the open file is the one known by its identity, where known, and,
// where the volume keeps one, its creation time.
bool IsKnownFile(const FileFacts& facts, const FileIdentity& identity, int64_t created) {
  return (!identity.Known() || facts.identity == identity) &&
         (!created || facts.created == created);
}

}  // namespace

EntryResult DestroyContents(const std::wstring& path, ShredServices& services,
                            ShredMonitor& monitor, const DestroyOptions& options) {
  const uint32_t expectedTag = options.expectedTag;
  const SeenFiles* seen = options.seen;
  FolderId folder = options.folder;
  std::optional<OpenFolderGuard> ownFolder;
  if (!folder) {
    FileIdentity identity;
    if (Reason r = services.OpenFolder(FolderOfPath(path), folder, identity); r != Reason::None)
      return Failed(services, r, path);
    ownFolder.emplace(services, folder);
  }
  const std::vector<std::wstring> alternates = services.AlternateStreams(path);
  FileId file = 0;
  FileFacts facts;
  if (Reason r = OpenMainStream(folder, path, expectedTag, services, file, facts);
      r != Reason::None)
    return Failed(services, r, path);
  OpenFileGuard guard(services, file);
  if (!IsKnownFile(facts, options.identity, options.created))
    return Survivor(Reason::Changed, path);
  EntryResult result;
  result.path = path;
  result.identity = facts.identity;
  result.finalPath = facts.finalPath;
  result.reparseTag = expectedTag;
  if (const SeenFile* earlier = seen ? FindSeen(*seen, path, facts, services) : nullptr) {
    result.fate = Fate::SameFile;
    result.sameAs = earlier->index;
    return result;
  }
  result.names = facts.links;
  if (facts.links > options.namesChosen) {
    // Writing through one name changes what every other name shows.
    result.fate = Fate::Survived;
    result.reason = Reason::OtherNames;
    result.state.created = facts.created;  // to know it again when every name is listed
    return result;
  }
  if (options.preview) {
    // What the overwrite would be, found out and not done.
    std::vector<Range> ranges;
    bool inPlaceFirst = false;
    result.size = facts.size;
    result.fate = PlanRanges(file, facts, services, ranges, inPlaceFirst) ? Fate::Overwritten
                                                                          : Fate::OverwriteAsIs;
    return result;
  }
  FileWork work;
  work.verify = options.verify;
  StreamResult main = OverwriteStream(file, facts, services, monitor, work);
  // Streams count when every byte of theirs was written over and flushed.
  const auto overwritten = [](const StreamResult& stream) {
    return stream.reason == Reason::None && stream.overwritten;
  };
  result.streams = overwritten(main) ? 1 : 0;
  // The notice goes into the file that was overwritten, through the same
  // handle: nothing that takes the name meanwhile can receive it. Once the
  // contents are gone a failed notice changes nothing.
  if (main.reason == Reason::None && !IsStoredElsewhere(facts))
    services.WriteLines(file, {BannerLine(), NoticeLine()});
  // What the delete step must find again: the notice's length and the date
  // it carries (or, for a file stored elsewhere, what it held untouched).
  if (main.reason == Reason::None) main.reason = services.ReadState(file, result.state);
  guard.Close();
  if (main.reason == Reason::Cancelled && work.written == 0) {
    // The cancel came before the first byte: the file is untouched.
    EntryResult untouched;
    untouched.reason = Reason::Cancelled;
    untouched.path = path;
    return untouched;
  }
  result.size = facts.size;
  Reason failed = main.reason;
  for (size_t i = 0; failed == Reason::None && i < alternates.size(); ++i) {
    const StreamResult alternate =
        OverwriteAlternate(folder, NameOfPath(path) + alternates[i], facts.identity, expectedTag,
                           services, monitor, work);
    failed = alternate.reason;
    result.streams += overwritten(alternate) ? 1 : 0;
    main.overwritten = main.overwritten && alternate.overwritten;
    main.verified = main.verified && alternate.verified;
  }
  result.overwritten = work.flushed;
  if (failed != Reason::None) {
    // What was written over so far stays in the record.
    KeepAs(result, failed, ErrorCodeOf(failed, services));
    return result;
  }
  // Writing a stream gives the file a new time of its own: with streams,
  // the delete step goes by the length and the creation time.
  if (!alternates.empty()) result.state.written = 0;
  result.verified = main.verified;
  result.fate = main.overwritten ? Fate::Overwritten : Fate::OverwriteAsIs;
  return result;
}

namespace {

// Where an entry's file is to be found: the held folder and the one name in
// it; no folder when it could not be held, for `reason`.
struct Place {
  FolderId folder = 0;
  Reason reason = Reason::None;
  std::wstring name;
};

// The folders the run works in, each opened once, before the first file
// is, and held until the last file is deleted: every step for a file goes
// relative to the folder it was found in.
class HeldFolders {
 public:
  explicit HeldFolders(ShredServices& services) : services_(services) {}
  HeldFolders(const HeldFolders&) = delete;
  HeldFolders& operator=(const HeldFolders&) = delete;
  ~HeldFolders() { CloseAll(); }
  // The folder at `path`, held; FolderChanged when a walk found its files
  // in another folder (`walked`) than the one at the path now.
  Place Hold(const std::wstring& path, const FileIdentity& walked) {
    auto [held, added] = folders_.try_emplace(path);
    if (added)
      held->second.reason = services_.OpenFolder(path, held->second.id, held->second.identity);
    if (held->second.reason != Reason::None) return {0, held->second.reason, {}};
    if (walked.Known() && walked != held->second.identity) return {0, Reason::FolderChanged, {}};
    return {held->second.id, Reason::None, {}};
  }
  void CloseAll() {
    for (auto& [path, held] : folders_) {
      if (held.reason == Reason::None) services_.CloseFolder(held.id);
    }
    folders_.clear();
  }

 private:
  struct Held {
    FolderId id = 0;
    Reason reason = Reason::None;
    FileIdentity identity;
  };
  ShredServices& services_;
  std::map<std::wstring, Held> folders_;
};

// Check the path, then destroy the contents and write the notice.
EntryResult OverwriteEntry(const ResolvedPath& resolved, const Place& place, int64_t created,
                           ShredServices& services, ShredMonitor& monitor, const SeenFiles& seen,
                           bool verify, bool preview) {
  if (resolved.reason != Reason::None) return Survivor(resolved.reason);
  const std::wstring& path = resolved.path;
  if (place.reason == Reason::FolderChanged) return Survivor(place.reason, path);
  const PathInfo info = services.Probe(path);
  uint32_t expectedTag = 0;
  switch (info.kind) {
    case PathKind::Missing:
      return Failed(services, info.reason == Reason::None ? Reason::NotFound : info.reason, path);
    case PathKind::Folder:
      return Survivor(Reason::NotAFile, path);
    case PathKind::Link:
      switch (ClassifyReparse(info.reparseTag, info.attributes)) {
        case ReparseKind::Link: {
          EntryResult link;
          link.fate =
              Fate::LinkToRemove;  // the link goes; what it points to is not the user's pick
          link.path = path;
          return link;
        }
        case ReparseKind::CloudOnline:
          return Survivor(Reason::OnlineOnly, path);
        case ReparseKind::Other:
          return Survivor(Reason::SpecialFile, path);
        case ReparseKind::CloudLocal:
        case ReparseKind::AsIs:
          if (info.attributes & attr::kDirectory) return Survivor(Reason::NotAFile, path);
          expectedTag = info.reparseTag;
          break;
      }
      break;
    case PathKind::File:
      break;
  }
  if (info.attributes & attr::kReadOnly) return Survivor(Reason::ReadOnly, path);
  if (!place.folder) return Failed(services, place.reason, path);
  return DestroyContents(path, services, monitor,
                         {expectedTag, &seen, verify, 1, {}, created, place.folder, preview});
}

// The entry text for the random name a survivor is left with: the entry's
// own folder part and the new name.
std::wstring RenamedEntry(const std::wstring& entry, const std::wstring& hidden) {
  const size_t folder = entry.find_last_of(L"\\/") + 1;
  return entry.substr(0, folder) + NameOfPath(hidden);
}

// Opens the file for deletion, giving a program that holds it for a moment
// (a scanner, an indexer) time to let go.
Reason OpenToDeleteWithRetry(const Place& place, ShredServices& services, FileId& file,
                             FileFacts& facts) {
  Reason reason = services.OpenToDeleteIn(place.folder, place.name, file, facts);
  for (int waited = 0; reason == Reason::InUse && waited < kDeleteRetryMs;
       waited += kDeleteRetryStepMs) {
    services.Wait(kDeleteRetryStepMs);
    reason = services.OpenToDeleteIn(place.folder, place.name, file, facts);
  }
  return reason;
}

// Whether the file open for deletion is the one the overwrite left, each
// check for what could have taken its place or changed it since:
Reason CheckUnchanged(const FileFacts& facts, const EntryResult& overwritten) {
  // a folder, a link, or a reparse point of another kind at the name;
  // read-only now;
  Reason reason =
      CheckOverwritable(facts.diskFile, facts.attributes, facts.reparseTag, overwritten.reparseTag);
  if (reason == Reason::NotAFile) return Reason::Changed;
  if (reason != Reason::None) return reason;
  // another file at the name (saved again, a hard link to another file, a
  // new file given the number the old one freed, where the volume keeps a
  // creation time);
  if (!IsKnownFile(facts, overwritten.identity, overwritten.state.created)) return Reason::Changed;
  // written to, appended to, or truncated since: not the notice's length;
  if (facts.size != overwritten.state.size) return Reason::Changed;
  // rewritten in place, or a new file given the number the old one just
  // freed (ext4 does so at once; FAT's IDs come from the folder entry's
  // place): not the old date the overwrite gave it.
  if (overwritten.state.written && facts.written != overwritten.state.written)
    return Reason::Changed;
  return Reason::None;
}

// A file deleted whose name is still there: pending behind another
// program's handle that reads only attributes (Explorer, an indexer), or,
// under Wine, a file whose folder was moved since. No shredded file.
void KeepStillThere(const std::wstring& entry, const std::wstring& hidden, EntryResult& result) {
  KeepAs(result, Reason::NotDeleted);
  result.detail = kStillOpenText;
  if (!hidden.empty()) result.renamed = RenamedEntry(entry, hidden);
}

// Check again, rename, delete, all through one handle that is still the
// file that was overwritten: whatever holds the name now is left alone.
// `hiddenAs`: the random name a file deleted under one had, to be looked up
// once the pass is done (no one else makes such a name meanwhile).
void DeleteEntry(const std::wstring& entry, const Place& place, EntryResult& result,
                 ShredServices& services, std::set<std::wstring>& hiddenInFolder,
                 std::wstring& hiddenAs) {
  const std::wstring path = result.path;
  Fate done = result.fate == Fate::Overwritten ? Fate::Shredded : Fate::DeletedAsIs;
  if (done == Fate::Shredded && result.reparseTag) done = Fate::ShreddedCloud;
  FileId file = 0;
  FileFacts facts;
  Reason reason = OpenToDeleteWithRetry(place, services, file, facts);
  if (reason == Reason::NotFound || reason == Reason::PathNotFound) {
    // Its contents are gone already; the file itself was moved away (or its
    // folder renamed), it is not missing.
    KeepAs(result, Reason::MovedAway);
    return;
  }
  if (reason != Reason::None) {
    // Its contents are gone, the file is not: in use, access denied, ... ,
    // said in brackets, with the platform's code in the record.
    KeepAs(result, Reason::NotDeleted, ErrorCodeOf(reason, services));
    result.detail =
        reason == Reason::InUse ? services.HolderOf(path) : ReasonText(reason, result.error);
    return;
  }
  OpenFileGuard guard(services, file);
  // The rename may go by the folder's path: the folder there must be the
  // one held, else the file was moved away with its folder.
  if (!services.IsFolderAtPath(place.folder)) {
    KeepAs(result, Reason::MovedAway);
    return;
  }
  if (reason = CheckUnchanged(facts, result); reason != Reason::None) {
    KeepAs(result, reason);
    return;
  }
  // Never a name another file of this pass was hidden under: that name is
  // looked up when the pass is done.
  const std::wstring hidden = RenameToRandom(path, file, services, &hiddenInFolder);
  if (services.DeleteOpenFile(file) == Reason::None) {
    guard.Close();
    // Done, the platform says; the name may stay all the same (see
    // KeepWhatIsStillThere). Its own name is asked at once: another file
    // may take it later.
    result.fate = done;
    if (!hidden.empty()) {
      hiddenAs = hidden;
      hiddenInFolder.insert(FoldedName(NameOfPath(hidden)));
    } else if (services.ExistsIn(place.folder, place.name)) {
      KeepStillThere(entry, hidden, result);
    }
    return;
  }
  // A file that then cannot be deleted goes back to its own name, where the
  // user finds it.
  KeepAs(result, Reason::NotDeleted);
  if (!hidden.empty() && services.RenameOpenFile(file, path) != Reason::None) {
    result.reason = Reason::NotDeletedRenamed;
    result.renamed = RenamedEntry(entry, hidden);
  }
}

// A file with several names (hard links), put off until the pass has seen
// every entry: it is overwritten only when the selection holds all of them.
struct NameGroup {
  std::vector<int> entries;         // one entry for each of its names, the first first
  std::vector<std::wstring> paths;  // their resolved paths
  std::set<std::wstring> names;     // its names listed, as NameKey counts them
};
using NameGroups = std::map<int, NameGroup>;

// One name of a file as the run counts them: the folder that holds it, by
// its number alone (the root drive under Wine tells no serial number: one
// folder there has two identities), and its stored name, case folded. Two
// spellings of one name (a share and a drive, a short name and a long one)
// are one; names that only might differ count as one too, and a file then
// seems to have more names than are listed, and stays.
std::wstring NameKey(const std::wstring& path, ShredServices& services) {
  const NameInFolder name = services.NameOf(path);
  return std::to_wstring(name.folder.high) + L":" + std::to_wstring(name.folder.low) + L"\\" +
         FoldedName(name.name);
}

// The folder of every entry, held before anything is done: a folder a walk
// read by the identity it knew (a folder swapped for another since leads
// its entries nowhere the user chose), the folder of a typed entry as its
// path leads now. Each is opened once, however many entries lie in it.
std::vector<Place> HoldFolders(const ShredJob& job, HeldFolders& held) {
  std::map<std::wstring, FileIdentity> walked;  // by their text as the entries spell them
  for (const auto* folders : {&job.folders, &job.walked}) {
    for (const WalkedFolder& folder : *folders) walked.emplace(folder.path, folder.identity);
  }
  std::vector<Place> places(job.entries.size());
  for (size_t i = 0; i < job.entries.size(); ++i) {
    const std::wstring& entry = job.entries[i];
    const ResolvedPath resolved = ResolveEntry(entry);
    if (resolved.reason != Reason::None) continue;
    const size_t separator = entry.find_last_of(L"\\/");
    const auto in =
        separator == entry.npos ? walked.end() : walked.find(entry.substr(0, separator));
    places[i] =
        held.Hold(FolderOfPath(resolved.path), in == walked.end() ? FileIdentity{} : in->second);
    places[i].name = NameOfPath(resolved.path);
  }
  return places;
}

// Every entry in order until a cancel: each file is worked once however many
// entries name it, the same text or another text that opens the same file
// (case, a short name); `sameAs` says which entry worked it. Another name of
// a file with several goes into its group instead.
void OverwritePass(ShredJob& job, ShredServices& services, ShredMonitor& monitor,
                   const std::vector<Place>& places, std::vector<int>& sameAs, NameGroups& groups) {
  std::unordered_map<std::wstring, int> firstText;
  SeenFiles firstFile;
  for (int i = 0; i < int(job.entries.size()); ++i) {
    if (monitor.CancelRequested()) {
      job.cancelled = true;
      return;
    }
    monitor.Overwriting(i, job.entries[i]);
    const ResolvedPath resolved = ResolveEntry(job.entries[i]);
    const auto seen = resolved.path.empty() ? firstText.end() : firstText.find(resolved.path);
    if (seen != firstText.end()) {
      sameAs[i] = seen->second;
    } else {
      EntryResult& result = job.results[i];
      result = OverwriteEntry(resolved, places[i],
                              size_t(i) < job.created.size() ? job.created[size_t(i)] : 0, services,
                              monitor, firstFile, job.verify, job.preview);
      const auto group = groups.find(result.sameAs);
      if (result.fate == Fate::SameFile && group != groups.end() &&
          group->second.names.insert(NameKey(resolved.path, services)).second) {
        group->second.entries.push_back(i);
        group->second.paths.push_back(resolved.path);
      } else if (result.fate == Fate::SameFile) {
        sameAs[i] = result.sameAs;
      } else if (result.identity.Known()) {
        if (result.reason == Reason::OtherNames)
          groups[i] = {{i}, {resolved.path}, {NameKey(resolved.path, services)}};
        firstFile.Add(result.identity, result.finalPath, SeenFile{i, resolved.path});
      }
      if (!resolved.path.empty()) firstText.emplace(resolved.path, i);
    }
    job.processed = i + 1;
    const Reason reason = job.results[i].reason;
    if (reason == Reason::Cancelled ||
        reason == Reason::VerifyCancelled) {  // cut short, or never begun
      job.cancelled = true;
      return;
    }
  }
}

// The names of the file that the selection does not hold, for the report.
std::wstring OtherNamesText(const std::vector<std::wstring>& names, const NameGroup& group,
                            ShredServices& services) {
  std::wstring text;
  for (const std::wstring& name : names) {
    if (group.names.count(NameKey(name, services))) continue;
    text += (text.empty() ? L"其他名称：" : L"、") + ShownPath(name);
  }
  return text;
}

// The files with several names, once the pass has seen every entry: one
// whose every name is listed is overwritten now, through its first, and
// each name is deleted by the delete pass (`nameOf` gives the first entry);
// the others stay untouched, every entry sharing the first's outcome.
void OverwriteNamedFiles(ShredJob& job, NameGroups& groups, const std::vector<Place>& places,
                         ShredServices& services, ShredMonitor& monitor, std::vector<int>& sameAs,
                         std::vector<int>& nameOf) {
  for (auto& [lead, group] : groups) {
    EntryResult& first = job.results[lead];
    const bool complete = group.names.size() >= first.names;
    if (complete && !job.cancelled && monitor.CancelRequested()) job.cancelled = true;
    if (job.cancelled) {
      first = EntryResult{};  // untouched: the cancel came before its turn
    } else if (!complete) {
      first.detail = OtherNamesText(services.NamesOf(group.paths[0]), group, services);
    } else {
      monitor.Overwriting(lead, job.entries[lead]);
      // The file the pass found at that name, and no other saved there since.
      first =
          DestroyContents(group.paths[0], services, monitor,
                          {first.reparseTag, nullptr, job.verify, uint32_t(group.names.size()),
                           first.identity, first.state.created, places[lead].folder, job.preview});
      if (first.reason == Reason::Cancelled || first.reason == Reason::VerifyCancelled)
        job.cancelled = true;
    }
    const bool overwritten = first.fate == Fate::Overwritten || first.fate == Fate::OverwriteAsIs;
    for (size_t k = 1; k < group.entries.size(); ++k) {
      const int other = group.entries[k];
      if (!overwritten) {
        sameAs[other] = lead;
        continue;
      }
      // Each name is deleted through the folder its own entry was found in.
      job.results[other] = first;
      job.results[other].path = group.paths[k];
      nameOf[other] = lead;
    }
  }
}

// A file with several names is gone only when every name is: while one
// stays, every entry for it is that survivor, listed under the name it has.
void JoinNames(ShredJob& job, const std::vector<int>& nameOf) {
  for (int i = 0; i < job.processed; ++i) {
    const int lead = nameOf[i];
    if (lead < 0) continue;
    if (!IsGone(job.results[i].fate) && IsGone(job.results[lead].fate)) {
      const EntryResult kept = job.results[i];
      const std::wstring own = job.results[lead].path;
      job.results[lead] = kept;
      job.results[lead].path = own;
      if (kept.renamed.empty()) job.results[lead].renamed = job.entries[i];
    }
  }
  for (int i = 0; i < job.processed; ++i) {
    if (nameOf[i] < 0) continue;
    const std::wstring own = job.results[i].path;  // each name is reported by its own path
    job.results[i] = job.results[nameOf[i]];
    job.results[i].path = own;
    job.results[i].sameAs = nameOf[i];
    if (!IsGone(job.results[i].fate) && job.results[i].renamed.empty())
      job.results[i].renamed = job.entries[nameOf[i]];
  }
}

// The random names the deleted files had, looked up in each held folder
// once: a platform that reads a whole folder for a name it lacks (Wine)
// reads each folder once, not once a file.
void KeepWhatIsStillThere(ShredJob& job, const std::vector<Place>& places,
                          const std::vector<std::pair<int, std::wstring>>& hidden,
                          ShredServices& services) {
  std::map<FolderId, std::vector<const std::pair<int, std::wstring>*>> byFolder;
  for (const auto& file : hidden) byFolder[places[file.first].folder].push_back(&file);
  for (const auto& [folder, files] : byFolder) {
    std::vector<std::wstring> names;
    for (const auto* file : files) names.push_back(NameOfPath(file->second));
    const std::vector<bool> there = services.StillIn(folder, names);
    for (size_t k = 0; k < files.size(); ++k) {
      if (k < there.size() && !there[k]) continue;
      KeepStillThere(job.entries[files[k]->first], files[k]->second, job.results[files[k]->first]);
    }
  }
}

// Links removed, overwritten files checked, renamed and deleted.
void DeletePass(ShredJob& job, const std::vector<Place>& places, ShredServices& services,
                ShredMonitor& monitor) {
  std::vector<std::pair<int, std::wstring>> hidden;     // each entry's random name
  std::map<FolderId, std::set<std::wstring>> hiddenIn;  // those names, folded, by folder
  for (int i = 0; i < job.processed; ++i) {
    EntryResult& result = job.results[i];
    if (result.fate == Fate::LinkToRemove) {
      monitor.Deleting(i, job.entries[i]);
      const Reason reason = services.RemoveLink(result.path);
      if (reason == Reason::None && !services.PathExists(result.path)) {
        result.fate = Fate::LinkRemoved;
      } else {
        result =
            Failed(services, reason == Reason::None ? Reason::NotDeleted : reason, result.path);
      }
    } else if (result.fate == Fate::Overwritten || result.fate == Fate::OverwriteAsIs) {
      monitor.Deleting(i, job.entries[i]);
      std::wstring hiddenAs;
      DeleteEntry(job.entries[i], places[i], result, services, hiddenIn[places[i].folder],
                  hiddenAs);
      if (!hiddenAs.empty()) hidden.emplace_back(i, std::move(hiddenAs));
    }
  }
  KeepWhatIsStillThere(job, places, hidden, services);
}

// Every later entry for a file shares the outcome of the first.
void ShareOutcomes(ShredJob& job, const std::vector<int>& sameAs) {
  for (int i = 0; i < job.processed; ++i) {
    if (sameAs[i] < 0) continue;
    job.results[i] = job.results[sameAs[i]];
    job.results[i].path = ResolveEntry(job.entries[i]).path;  // each by its own path
    job.results[i].sameAs = sameAs[i];
  }
}

}  // namespace

bool PrepareShred(ShredList& list, Prompts& prompts, ShredJob& job) {
  if (!prompts.ShowMessage(kConfirmText, kConfirmTitle, MessageKind::Confirm)) return false;
  job = ShredJob{};
  job.entries = list.Items();
  if (job.entries.empty()) {
    prompts.ShowMessage(kEmptyListText, kInfoTitle, MessageKind::Info);
    return false;
  }
  return true;
}

void ShredFiles(ShredJob& job, ShredServices& services, ShredMonitor& monitor) {
  // Every file is overwritten before any is deleted. A cancel stops the
  // overwrite pass at the next buffer; the files it already overwrote
  // completely are deleted all the same, the others are left in the list.
  job.results.assign(job.entries.size(), EntryResult{});
  std::vector<int> sameAs(job.entries.size(), -1), nameOf(job.entries.size(), -1);
  NameGroups groups;
  HeldFolders held(services);
  const std::vector<Place> places = HoldFolders(job, held);
  OverwritePass(job, services, monitor, places, sameAs, groups);
  OverwriteNamedFiles(job, groups, places, services, monitor, sameAs, nameOf);
  if (job.preview) {
    held.CloseAll();
    JoinNames(job, nameOf);
    ShareOutcomes(job, sameAs);
    return;
  }
  DeletePass(job, places, services, monitor);
  // A folder is removed through a handle of its own, which the held ones
  // would refuse.
  held.CloseAll();
  JoinNames(job, nameOf);
  ShareOutcomes(job, sameAs);
  if (!job.cancelled && job.processed == int(job.entries.size())) {
    job.folderResults = RemoveFolders(job.folders, services);
  } else if (job.cancelled) {
    // Every folder stays, and the report and the record say so.
    for (const WalkedFolder& folder : job.folders)
      job.folderResults.push_back({folder.path, false, Reason::FolderKept, {}});
  }
}

void FinishShred(ShredList& list, Prompts& prompts, const ShredJob& job) {
  // Survivors stay, in order, for a retry (under the name they now have), and
  // so do the entries a cancel left untouched.
  std::vector<std::wstring> kept;
  int shredded = 0, untouched = 0;
  for (size_t i = 0; i < job.entries.size(); ++i) {
    const Fate fate = i < job.results.size() ? job.results[i].fate : Fate::NotReached;
    const bool counted = i >= job.results.size() || job.results[i].sameAs < 0;
    if (fate == Fate::NotReached) ++untouched;
    if ((fate == Fate::Shredded || fate == Fate::ShreddedCloud) && counted) ++shredded;
    // A name that stays of a file with several is listed once.
    const std::wstring& renamed = i < job.results.size() ? job.results[i].renamed : std::wstring();
    if (!renamed.empty() && std::find(kept.begin(), kept.end(), renamed) != kept.end()) continue;
    if (!IsGone(fate)) {
      kept.push_back(job.results.size() > i && !job.results[i].renamed.empty()
                         ? job.results[i].renamed
                         : job.entries[i]);
    }
  }
  const std::wstring report = ShredReport(job);
  const std::wstring traces = TracesClearedLine(job.traces.ShortcutsRemoved());
  if (report.empty() && !job.cancelled && untouched == 0) {
    list.Clear();
    std::wstring text = kDoneText;
    for (const std::wstring* line : {&traces, &job.mediaNote}) {
      if (!line->empty()) text += L"\r\n" + *line;
    }
    prompts.ShowMessage(text, kInfoTitle, MessageKind::Info);
    return;
  }
  list.Replace(kept);
  std::wstring text = report;
  if (job.cancelled || untouched > 0) {
    // Cancelled by the user, or stopped short by a failure of the run itself.
    text = std::wstring(job.cancelled ? L"粉碎已取消" : L"粉碎未能进行到底") + L"：已粉碎 " +
           std::to_wstring(shredded) + L" 个文件，" + std::to_wstring(untouched) +
           L" 个文件未处理" + (job.closing ? L"。" : L"，仍保留在列表中。");
    if (!report.empty()) text += L"\r\n" + report;
  }
  if (!traces.empty()) text += L"\r\n" + traces;
  if (!job.mediaNote.empty()) text += L"\r\n" + job.mediaNote;
  if (job.closing) text += L"\r\n窗口将关闭，列表不会保留。";
  prompts.ShowMessage(text, kInfoTitle, report.empty() ? MessageKind::Info : MessageKind::Warning);
}

void RunShred(ShredList& list, Prompts& prompts, ShredServices& services) {
  ShredJob job;
  if (!PrepareShred(list, prompts, job)) return;
  ShredMonitor unattended;
  ShredFiles(job, services, unattended);
  FinishShred(list, prompts, job);
}

}  // namespace shred
