// The shred run's services on Windows: the file operations,
// each of which says why it failed. Every path the run hands in is a "\\?\"
// path; links are never followed, and a file is written only through a handle
// that was checked to be a regular file on a disk.
//
// The overwrite buffer is a tile from the system's generator repeated through
// a fixed 4 MiB buffer, with a stamp keyed by the run at the head of every
// 4 KiB block of every write, so that no two blocks on the disk are alike.
// A read-back compares with the buffer's tile and the stamps made again:
// it needs one more fixed buffer, for the bytes read, and nothing per file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/overwrite_pattern.h"
#include "engine/shred_run.h"
#include "engine/shred_services.h"
#include "engine/win32/handle_owner.h"

namespace shred {

class Win32ShredServices : public ShredServices {
 public:
  Win32ShredServices() = default;
  Win32ShredServices(const Win32ShredServices&) = delete;
  Win32ShredServices& operator=(const Win32ShredServices&) = delete;

  PathInfo Probe(const std::wstring& path) override;
  Reason OpenFolder(const std::wstring& path, FolderId& folder, FileIdentity& identity) override;
  void CloseFolder(FolderId folder) override;
  Reason OpenFileIn(FolderId folder, const std::wstring& name, FileId& file,
                    FileFacts& facts) override;
  bool IsSameEntry(const std::wstring& path, const std::wstring& finalPath,
                   const FileIdentity& identity) override;
  std::vector<std::wstring> AlternateStreams(const std::wstring& path) override;
  bool AllocatedRanges(FileId file, int64_t size, std::vector<Range>& ranges) override;
  Reason WriteRandom(FileId file, int64_t offset, int64_t length) override;
  Reason Flush(FileId file) override;
  Reason ReadBack(FileId file, int64_t offset, int64_t length) override;
  Reason Truncate(FileId file) override;
  Reason ReadState(FileId file, FileState& state) override;
  void CloseFile(FileId file) override;
  Reason WriteLines(FileId file, const std::vector<std::wstring>& lines) override;
  bool IsSameFile(const std::wstring& a, const std::wstring& b) override;
  std::wstring RandomSibling(const std::wstring& path, bool shorter) override;
  Reason OpenToDeleteIn(FolderId folder, const std::wstring& name, FileId& file,
                        FileFacts& facts) override;
  bool IsFolderAtPath(FolderId folder) override;
  bool ExistsIn(FolderId folder, const std::wstring& name) override;
  std::vector<bool> StillIn(FolderId folder, const std::vector<std::wstring>& names) override;
  Reason OpenFolderToRemove(const std::wstring& path, FileId& folder, FileFacts& facts) override;
  bool IsEmptyFolder(const std::wstring& path) override;
  Reason RenameOpenFile(FileId file, const std::wstring& to) override;
  Reason DeleteOpenFile(FileId file) override;
  void Wait(int milliseconds) override;
  std::wstring HolderOf(const std::wstring& path) override;
  Reason RemoveLink(const std::wstring& path) override;
  bool PathExists(const std::wstring& path) override;
  std::vector<std::wstring> NamesOf(const std::wstring& path) override;
  NameInFolder NameOf(const std::wstring& path) override;
  FileIdentity FolderIdentity(const std::wstring& path) override;
  uint32_t LastErrorCode() override;

 private:
  Reason ReadFacts(HANDLE file, FileFacts& facts);
  FileIdentity ReadIdentity(HANDLE file, const std::wstring& finalPath);

  size_t LongestName(const std::wstring& path);
  // Whether the volume the final path is on keeps small files inside their
  // file records (NTFS, as the volume names itself); asked once per root.
  bool KeepsFilesInRecords(const std::wstring& finalPath);

  // The folders held, each with the path it was opened by and its identity
  // as ReadIdentity tells it.
  // Whether the platform renames relative to the folder (Wine does not, nor
  // may a network share); unknown until the first rename into it.
  enum class Answer { Unknown, Yes, No };
  struct HeldFolder {
    std::wstring path;
    FileIdentity identity;
    Answer renamesInIt = Answer::Unknown;
  };
  std::map<FolderId, HeldFolder> held_;
  std::map<std::wstring, FolderId> heldByPath_;
  std::map<std::wstring, uint64_t> volumes_;     // the serial number of each root seen
  std::map<std::wstring, size_t> longestNames_;  // the longest name of each root's volume
  std::map<std::wstring, bool> inRecords_;       // each root's: NTFS or not
  std::vector<BYTE> random_;                     // the overwrite buffer, allocated on first use
  size_t tileFill_ = 0;                          // generator bytes the next file's tile needs
  size_t replicated_ = 0;  // how far the current tile is copied through the buffer
  StampKey key_;           // the block stamps' key, from the system's generator
  bool keyed_ = false;
  uint64_t stream_ = 0;   // how many streams were opened to be overwritten
  FileId patternOf_ = 0;  // the open stream whose tile the buffer holds
  handles::File reader_;  // that stream again, for reading past the cache
  FileId readerOf_ = 0;
  std::vector<BYTE> readBack_;  // the bytes read back, allocated on first use
};

// The reason for a platform error. An error it has no reason for is IoError,
// and its code is kept for the calling thread's LastUnmappedError.
Reason ReasonFromError(DWORD error);
DWORD LastUnmappedError();
// Opens a file or folder, following links as a path does, only to ask what
// it is: it takes no access to the contents and shares everything.
handles::File OpenToAsk(const std::wstring& path);
// Where an open handle really is, links followed, in the "\\?\" form; empty
// when the platform cannot say.
std::wstring ReadFinalPath(HANDLE file);
// Which file or folder the handle holds, asked of the volume in full.
FileIdentity ReadFileIdentity(HANDLE file);
// True when the folder ("X:\\..." or verbatim) is itself, not a link or
// junction that leads away: a real folder whose final path is its own path
// (Unix links under Wine carry no mark).
bool IsOwnFolder(const std::wstring& folder);
// The same for an open handle: a real folder, where `path` says it is.
bool IsFolderAt(HANDLE folder, const std::wstring& path);
// Each entry's length as its folder says, for a progress display; 0 for one
// that names no file.
std::vector<uint64_t> EntrySizes(const std::vector<std::wstring>& entries);
// The bytes of one printed line: the text in code page 936, then CR LF.
std::string EncodeLine(const std::wstring& text);
// The size of the overwrite buffer, whatever the file's size.
inline constexpr size_t kOverwriteBufferBytes = size_t(kOverwriteChunk);
// The date a shredded file carries before it is renamed and deleted:
// 1 January 1980, 00:00 UTC.
inline constexpr ULONGLONG kShreddedFileTime = 119600064000000000ull;

}  // namespace shred
