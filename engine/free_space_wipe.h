// Wiping a drive's free space: files of random bytes in one folder of the
// wipe's own at the drive's root until the disk is full, then small files
// that take over the file records freed by earlier deletions, then all of it
// deleted again. The wipe marks the folder it makes (a marker file, written
// first and held open while it works) and names its files in its own
// pattern: it removes only such files, only from a folder with its marker,
// and every way a wipe ends removes what it made before it reports. Needs
// no Windows: the file operations come through WipeServices.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/reason.h"
#include "engine/shred_services.h"

namespace shred {

// The folder a wipe works in, at the drive's root; when a folder of that name
// is not the wipe's to use, the same name with " 2" ... " 9".
extern const wchar_t kWipeFolderName[];
inline constexpr int kWipeFolderNames = 9;
// Whether a file name is one a wipe gives its files.
bool IsWipeFileName(const std::wstring& name);

// What a folder of the wipe's name is.
enum class WipeFolder {
  Missing,
  NotOurs,  // no marker of the wipe's: the user's own, never touched
  Ours,     // marked by a wipe that is not running
  InUse,    // marked, and a wipe works in it now
};

// How the wipe writes: large unbuffered blocks while there is room, halved
// down to one page as the space runs out; a fill file is closed at
// kWipeFileBytes.
inline constexpr uint64_t kWipeBlockBytes = 4u << 20;
inline constexpr uint64_t kWipeFileBytes = 1ull << 30;
// The small files of the record step: their contents fit in an NTFS file
// record; at most this many, so that a wipe ends in bounded time.
inline constexpr uint64_t kWipeRecordBytes = 400;
inline constexpr int kWipeMaxRecords = 20000;
// The marker file in the wipe's folder, and what it holds: the text, then dots up to
// kWipeRecordBytes, so that the file record it takes first (a small deleted
// file's, perhaps) is written over as far as the record step's files go.
extern const wchar_t kWipeMarkerName[];
inline constexpr size_t kWipeMarkerBytes = kWipeRecordBytes;
inline constexpr char kWipeMarkerText[] =
    "Tarvello free-space wipe: the files named fill-*.bin and record-* in this folder hold only "
    "random bytes and are removed by the wipe.\r\n";
// A wipe that wrote less than this share of the free space it found (in
// hundredths) met a disk that others filled meanwhile.
inline constexpr uint64_t kWipeFilledPercent = 90;

class WipeServices {
 public:
  virtual ~WipeServices() = default;
  // The free bytes the caller may write (a disk quota may hold them below
  // the volume's), the volume's free bytes and its cluster size; false when
  // it cannot say.
  virtual bool FreeSpace(const std::wstring& root, uint64_t& freeBytes, uint64_t& volumeFreeBytes,
                         uint64_t& clusterBytes) = 0;
  // The wipe's folder is held while the wipe works in it (shared with no
  // deleter, so that no other program renames or removes it meanwhile) and
  // every file in it is made, listed and removed relative to it, by its
  // name, never by a path.
  // Opens the folder at `path` and holds it: only a real folder that is
  // where its path says, never a link or what one leads to; NotFound or
  // PathNotFound when nothing is there. On failure nothing is open.
  virtual Reason OpenFolder(const std::wstring& path, FolderId& folder) = 0;
  // Makes the folder at `path` new (never an existing one) and holds it.
  virtual Reason MakeFolder(const std::wstring& path, FolderId& folder) = 0;
  // Removes the held folder when nothing is in it; it stays held until
  // CloseFolder either way.
  virtual Reason RemoveFolder(FolderId folder) = 0;
  virtual void CloseFolder(FolderId folder) = 0;
  // The names of the regular files directly inside the held folder.
  virtual std::vector<std::wstring> FilesIn(FolderId folder) = 0;
  // Creates a new file `name` in the held folder (never opens an existing
  // one); `direct`: written to the disk without the cache, in whole pages.
  virtual Reason CreateFill(FolderId folder, const std::wstring& name, bool direct,
                            FileId& file) = 0;
  // Appends random bytes; `written` says how many reached the file.
  virtual Reason AppendRandom(FileId file, uint64_t length, uint64_t& written) = 0;
  virtual Reason Flush(FileId file) = 0;
  virtual void Close(FileId file) = 0;
  // Removes the regular file `name` of the held folder, never a link.
  virtual Reason RemoveFile(FolderId folder, const std::wstring& name) = 0;
  // What the held folder is, by the marker in it (never Missing).
  virtual WipeFolder CheckFolder(FolderId folder) = 0;
  // Creates the marker in the held new folder (never an existing file),
  // writes it and holds it open, shared with no one, until Close.
  virtual Reason PlaceMarker(FolderId folder, FileId& marker) = 0;
  // The platform's code for the last failure that came back as IoError.
  virtual uint32_t LastErrorCode() { return 0; }
};

class WipeMonitor {
 public:
  virtual ~WipeMonitor() = default;
  virtual bool CancelRequested() { return false; }
  // Bytes written so far of the free space there was.
  virtual void Written(uint64_t /*bytes*/, uint64_t /*freeBefore*/) {}
};

struct WipeResult {
  Reason reason = Reason::None;  // what stopped it, when not the full disk
  uint32_t error = 0;            // the platform's code behind an IoError
  bool busy = false;             // another wipe works on the drive: nothing was done
  bool cancelled = false;
  bool filled = false;          // the free space ran out: all of it was written
  bool recordsDone = false;     // the record step ran to its end
  bool takenElsewhere = false;  // the disk filled well before the free space it had was written
  uint64_t freeBefore = 0, written = 0;
  uint64_t volumeFree = 0;  // the volume's free bytes: more than freeBefore under a quota
  // The disk was full for the wipe, yet much of the volume's free space was
  // left unwritten (a disk quota, space the volume keeps for others).
  bool partial = false;
  bool Partial() const { return partial; }
  int records = 0;
  int fills = 0;          // fill files made
  std::wstring leftover;  // the wipe's folder, when it could not be removed
  // Folders of the wipe's with files it did not make, left where they are.
  std::vector<std::wstring> foreign;
  bool Complete() const {
    return reason == Reason::None && !busy && !cancelled && filled && !takenElsewhere &&
           !Partial() && recordsDone && leftover.empty();
  }
};

// What clearing a folder of the wipe's name left.
enum class Cleared {
  Gone,     // nothing is there any more, or nothing was
  NotOurs,  // not the wipe's folder: untouched
  Foreign,  // the wipe's files are gone; files it did not make stay, and the marker
  Stuck,    // the wipe's files are gone, the folder could not be removed
  InUse,    // a wipe works in it: untouched
};
// Removes what a wipe left in a folder of its name (a killed one): only the
// files of its pattern, only when the folder carries its marker; then the
// marker and the folder when nothing else is in it.
Cleared ClearWipeFolder(const std::wstring& folder, WipeServices& services);
// The wipe folder names of a drive ("X:\"), the first one first.
std::wstring WipeFolderName(const std::wstring& root, int index);

WipeResult WipeFreeSpace(const std::wstring& root, WipeServices& services, WipeMonitor& monitor);

// The drive a wipe may work on, as "X:\\"; why not, in words, otherwise.
struct DriveFacts {
  bool exists = false, network = false, readOnly = false;
};
std::wstring WipeRoot(const std::wstring& argument);
std::wstring RefuseWipe(const std::wstring& argument, const DriveFacts& facts);

// The closing words: how much was overwritten, whether the record step ran,
// and what no wipe from inside the file system reaches.
std::wstring WipeReport(const std::wstring& root, const WipeResult& result);
extern const wchar_t kWipeBusyText[];
extern const wchar_t kWipeLimitsText[];

}  // namespace shred
