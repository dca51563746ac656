#include "engine/win32/shred_services.h"

#include <bcrypt.h>
#include <restartmanager.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "engine/win32/folder_handle.h"
#include "engine/win32/handle_owner.h"

namespace shred {

namespace {

// Shredded files always read in GBK, whatever the user's ANSI code page.
constexpr UINT kNoticeCodePage = 936;

constexpr size_t kRandomTileBytes = 256u << 10;

// What an unbuffered read's offset, length and buffer are multiples of: the
// sectors of every disk in use are 512 or 4,096 bytes.
constexpr size_t kSectorBytes = 4096;

HANDLE AsHandle(FileId file) { return reinterpret_cast<HANDLE>(file); }

Reason LastReason() { return ReasonFromError(GetLastError()); }

}  // namespace

// The 128-bit ID where the volume has one, else the 64-bit index every
// volume gives.
FileIdentity ReadFileIdentity(HANDLE file) {
  FileIdentity identity;
  FILE_ID_INFO id{};
  if (GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof id)) {
    identity.volume = id.VolumeSerialNumber;
    memcpy(&identity.low, id.FileId.Identifier, 8);
    memcpy(&identity.high, id.FileId.Identifier + 8, 8);
    if (identity.Known()) return identity;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(file, &info)) {
    identity.volume = info.dwVolumeSerialNumber;
    identity.high = 0;
    identity.low = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  }
  return identity;
}

namespace {

// The file's 64-bit index on its volume (the NT file system's internal
// information), without asking the volume itself; 0 when it cannot say.
uint64_t ReadFileIndex(HANDLE file) {
  struct IoStatus {
    void* status;
    ULONG_PTR information;
  };
  using QueryFile = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, int);
  static const auto query = reinterpret_cast<QueryFile>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
  constexpr int kFileInternalInformation = 6;
  IoStatus io{};
  LARGE_INTEGER index{};
  if (!query || query(file, &io, &index, sizeof index, kFileInternalInformation) < 0) return 0;
  return uint64_t(index.QuadPart);
}

}  // namespace

// Which file the handle holds. Asking the volume for its serial number costs
// half a millisecond a file under Wine: it is asked once for each root the
// final paths are on, and the file's own index comes from the handle. A
// volume mounted in a folder shares its host's root here; the run asks
// IsSameFile before it takes two paths for one file.
FileIdentity Win32ShredServices::ReadIdentity(HANDLE file, const std::wstring& finalPath) {
  const uint64_t index = ReadFileIndex(file);
  const std::wstring root = RootOfFinalPath(finalPath);
  if (index == 0 || root.empty()) return ReadFileIdentity(file);
  auto found = volumes_.find(root);
  if (found == volumes_.end()) {
    const FileIdentity full = ReadFileIdentity(file);
    if (!full.Known()) return full;
    found = volumes_.emplace(root, full.volume).first;
  }
  return FileIdentity{found->second, 0, index};
}

// What the open handle is: a disk file or not, its attributes, reparse
// tag, sizes, final path and identity.
Reason Win32ShredServices::ReadFacts(HANDLE file, FileFacts& facts) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  FILE_STANDARD_INFO standard{};
  FILE_BASIC_INFO basic{};
  facts.diskFile = GetFileType(file) == FILE_TYPE_DISK;
  if (!facts.diskFile) return Reason::None;
  if (!GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) ||
      !GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) ||
      !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
    return LastReason();
  }
  facts.created = basic.CreationTime.QuadPart;
  facts.written = basic.LastWriteTime.QuadPart;
  facts.attributes = tag.FileAttributes;
  facts.reparseTag = (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? tag.ReparseTag : 0;
  facts.size = standard.EndOfFile.QuadPart;
  facts.allocation = standard.AllocationSize.QuadPart;
  facts.links = standard.NumberOfLinks ? standard.NumberOfLinks : 1;
  facts.finalPath = ReadFinalPath(file);
  facts.identity = ReadIdentity(file, facts.finalPath);
  facts.inRecord = KeepsFilesInRecords(facts.finalPath);
  return Reason::None;
}

handles::File OpenToAsk(const std::wstring& path) {
  return handles::File(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

namespace {

FileIdentity IdentityAt(const std::wstring& path) {
  const handles::File handle = OpenToAsk(path);
  return handle.valid() ? ReadFileIdentity(handle) : FileIdentity{};
}

// Where a folder really is, links followed; empty when it cannot be opened.
std::wstring FinalPathAt(const std::wstring& path) {
  const handles::File handle = OpenToAsk(path);
  return handle.valid() ? ReadFinalPath(handle) : std::wstring();
}

// A folder's final path without the separator a root ends in.
std::wstring WithoutSeparator(std::wstring path) {
  if (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

std::wstring FolderPart(const std::wstring& path) {
  const size_t separator = path.find_last_of(L'\\');
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

}  // namespace

namespace {
thread_local DWORD lastUnmapped = 0;
}  // namespace

DWORD LastUnmappedError() { return lastUnmapped; }

bool IsFolderAt(HANDLE folder, const std::wstring& path) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(folder, FileAttributeTagInfo, &tag, sizeof tag) ||
      !(tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  const std::wstring final = ReadFinalPath(folder);
  return !final.empty() && ComparePaths(VerbatimPath(path), final) != PathMatch::Different;
}

bool IsOwnFolder(const std::wstring& folder) {
  const handles::File handle = OpenToAsk(VerbatimPath(folder));
  return handle.valid() && IsFolderAt(handle, folder);
}

Reason ReasonFromError(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS:
      return Reason::None;
    case ERROR_FILE_NOT_FOUND:
      return Reason::NotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:
      return Reason::PathNotFound;
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_NETNAME_DELETED:
    case ERROR_NETWORK_UNREACHABLE:
    case ERROR_HOST_UNREACHABLE:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_SEM_TIMEOUT:
      return Reason::NetworkPath;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY:
      return Reason::InvalidName;
    case ERROR_WRITE_PROTECT:
      return Reason::ReadOnly;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
      return Reason::AccessDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return Reason::InUse;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_NOT_ENOUGH_QUOTA:
      return Reason::DiskFull;
    default:
      lastUnmapped = error;
      return Reason::IoError;
  }
}

std::wstring ReadFinalPath(HANDLE file) {
  std::wstring path(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(file, path.data(), DWORD(path.size()), FILE_NAME_NORMALIZED);
  if (n >= path.size()) {
    path.resize(n + 1);
    n = GetFinalPathNameByHandleW(file, path.data(), DWORD(path.size()), FILE_NAME_NORMALIZED);
  }
  path.resize(n < path.size() ? n : 0);
  return path;
}

std::vector<uint64_t> EntrySizes(const std::vector<std::wstring>& entries) {
  std::vector<uint64_t> sizes;
  sizes.reserve(entries.size());
  for (const std::wstring& entry : entries) {
    const ResolvedPath resolved = ResolveEntry(entry);
    WIN32_FILE_ATTRIBUTE_DATA data;
    const bool file = resolved.reason == Reason::None &&
                      GetFileAttributesExW(resolved.path.c_str(), GetFileExInfoStandard, &data) &&
                      !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    sizes.push_back(file ? (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow : 0);
  }
  return sizes;
}

std::string EncodeLine(const std::wstring& text) {
  std::string bytes;
  if (!text.empty()) {
    const int n = WideCharToMultiByte(kNoticeCodePage, 0, text.data(), int(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    bytes.resize(n > 0 ? n : 0);
    if (n > 0) {
      WideCharToMultiByte(kNoticeCodePage, 0, text.data(), int(text.size()), bytes.data(), n,
                          nullptr, nullptr);
    }
  }
  bytes += "\r\n";
  return bytes;
}

PathInfo Win32ShredServices::Probe(const std::wstring& path) {
  PathInfo info;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    // Wine answers "invalid parameter" for a pipe or a device that a Unix
    // link leads to: something is there, and it is not a file.
    const DWORD error = GetLastError();
    info.reason = error == ERROR_INVALID_PARAMETER ? Reason::NotAFile : ReasonFromError(error);
    return info;
  }
  info.attributes = attributes;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    // The folder entry carries the tag: what kind of reparse point it is.
    WIN32_FIND_DATAW found;
    const handles::Find find(
        FindFirstFileExW(path.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
    if (find.valid()) info.reparseTag = found.dwReserved0;
  }
  info.kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? PathKind::Link
              : (attributes & FILE_ATTRIBUTE_DIRECTORY)   ? PathKind::Folder
                                                          : PathKind::File;
  return info;
}

Reason Win32ShredServices::OpenFolder(const std::wstring& path, FolderId& folder,
                                      FileIdentity& identity) {
  if (IsUnsafeShredPath(path)) return Reason::Device;
  // Links on the way followed, as the path leads; no delete sharing, so
  // that the folder cannot be renamed or removed while it is held.
  handles::File handle(CreateFileW(
      path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
      nullptr));
  if (!handle.valid()) return LastReason();
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag))
    return LastReason();
  if (!(tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return Reason::PathNotFound;
  identity = ReadFileIdentity(handle);
  const FileIdentity quick = ReadIdentity(handle, path);
  folder = reinterpret_cast<FolderId>(handle.release());
  held_[folder] = {path, quick};
  heldByPath_[path] = folder;
  return Reason::None;
}

void Win32ShredServices::CloseFolder(FolderId folder) {
  if (const auto held = held_.find(folder); held != held_.end()) {
    if (const auto by = heldByPath_.find(held->second.path);
        by != heldByPath_.end() && by->second == folder)
      heldByPath_.erase(by);
    held_.erase(held);
  }
  CloseHandle(AsHandle(folder));
}

Reason Win32ShredServices::OpenFileIn(FolderId folder, const std::wstring& name, FileId& file,
                                      FileFacts& facts) {
  // Readers may share it, writers and deleters may not.
  handles::File handle =
      OpenInFolder(AsHandle(folder), name, GENERIC_WRITE, FILE_SHARE_READ, kNonDirectory);
  if (!handle.valid()) return LastReason();
  // What the handle is, the run judges; a handle that cannot say is closed
  // here, so that a failed open never leaves the file held.
  if (const Reason reason = ReadFacts(handle, facts); reason != Reason::None) return reason;
  file = reinterpret_cast<FileId>(handle.release());
  // The tile for this file: as many generator bytes as it can use.
  tileFill_ = size_t(
      std::clamp<int64_t>(std::max(facts.size, facts.allocation), 1, int64_t(kRandomTileBytes)));
  ++stream_;
  patternOf_ = file;
  return Reason::None;
}

bool Win32ShredServices::IsSameEntry(const std::wstring& path, const std::wstring& finalPath,
                                     const FileIdentity& identity) {
  const std::wstring folder = FolderOfPath(path);
  // The entry's folder is where the file is: the same place once links and
  // drive mappings are followed (the root drive under Wine tells no serial
  // number, so there the identities of one folder differ), or the same
  // folder by an identity the volume gives in full. A link to a file of the
  // same name in another folder fails both.
  const std::wstring finalFolder = FolderOfPath(finalPath);
  const bool samePlace = WithoutSeparator(FinalPathAt(folder)) == WithoutSeparator(finalFolder);
  if (!samePlace) {
    const FileIdentity folderIdentity = IdentityAt(folder);
    if (!folderIdentity.volume || folderIdentity != IdentityAt(finalFolder)) return false;
  }
  // The name as the folder stores it, whatever spelling found it (case, a
  // short name); a link keeps its own name, its target another.
  WIN32_FIND_DATAW found;
  if (!handles::Find(FindFirstFileExW(path.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                      nullptr, 0))
           .valid())
    return false;
  const std::wstring stored = found.cFileName, finalName = NameOfPath(finalPath);
  if (stored == finalName) return true;
  // Wine drops trailing dots and blanks from final paths: "dot." comes back
  // as "dot". It is this file unless "dot" is a file of its own that the
  // handle holds, that is, unless "dot." leads to its sibling.
  const size_t kept = stored.find_last_not_of(L". ");
  if (kept == std::wstring::npos || stored.substr(0, kept + 1) != finalName) return false;
  const handles::File sibling(
      CreateFileW((FolderPart(path) + L"\\" + finalName).c_str(), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!sibling.valid()) return true;
  return ReadIdentity(sibling, ReadFinalPath(sibling)) != identity;
}

std::vector<std::wstring> Win32ShredServices::AlternateStreams(const std::wstring& path) {
  std::vector<std::wstring> streams;
  WIN32_FIND_STREAM_DATA found;
  const handles::Find find(FindFirstStreamW(path.c_str(), FindStreamInfoStandard, &found, 0));
  if (!find.valid()) return streams;
  do {
    // "::$DATA" is the file's own contents; the others are ":name:$DATA".
    if (_wcsicmp(found.cStreamName, L"::$DATA") != 0) streams.push_back(found.cStreamName);
  } while (FindNextStreamW(find, &found));
  return streams;
}

bool Win32ShredServices::AllocatedRanges(FileId file, int64_t size, std::vector<Range>& ranges) {
  ranges.clear();
  FILE_ALLOCATED_RANGE_BUFFER query{};
  query.Length.QuadPart = size;
  FILE_ALLOCATED_RANGE_BUFFER found[64];
  for (;;) {
    DWORD bytes = 0;
    const BOOL ok = DeviceIoControl(AsHandle(file), FSCTL_QUERY_ALLOCATED_RANGES, &query,
                                    sizeof query, found, sizeof found, &bytes, nullptr);
    if (!ok && GetLastError() != ERROR_MORE_DATA) return false;
    const size_t n = bytes / sizeof found[0];
    for (size_t i = 0; i < n; ++i) {
      ranges.push_back({found[i].FileOffset.QuadPart, found[i].Length.QuadPart});
    }
    if (ok || n == 0) return true;
    const int64_t next = found[n - 1].FileOffset.QuadPart + found[n - 1].Length.QuadPart;
    query.FileOffset.QuadPart = next;
    query.Length.QuadPart = size - next;
  }
}

FileIdentity Win32ShredServices::FolderIdentity(const std::wstring& path) {
  return IdentityAt(path);
}

Reason Win32ShredServices::WriteRandom(FileId file, int64_t offset, int64_t length) {
  const size_t bytes = size_t(std::clamp<int64_t>(length, 0, int64_t(kOverwriteBufferBytes)));
  if (random_.empty()) random_.resize(kOverwriteBufferBytes);
  if (!keyed_) {
    if (BCryptGenRandom(nullptr, reinterpret_cast<BYTE*>(key_.words), sizeof key_.words,
                        BCRYPT_USE_SYSTEM_PREFERRED_RNG))
      return Reason::IoError;
    keyed_ = true;
  }
  if (tileFill_) {
    // A new file: a new tile. The generator can be slow (about 30 MiB/s under
    // Wine), so the tile is only as long as the file can use.
    if (BCryptGenRandom(nullptr, random_.data(), ULONG(tileFill_), BCRYPT_USE_SYSTEM_PREFERRED_RNG))
      return Reason::IoError;
    replicated_ = tileFill_;
    tileFill_ = 0;
  }
  // Only what lies past the copied part changes: the bytes earlier writes of
  // this file took from the buffer stay as they were, stamps apart.
  while (replicated_ < bytes) {
    const size_t n = std::min(replicated_, bytes - replicated_);
    memcpy(random_.data() + replicated_, random_.data(), n);
    replicated_ += n;
  }
  // The stamps: asking the generator itself for them cost a tenth of a 1 GiB
  // shred under Wine, and they only need to differ, the tile being the
  // generator's own.
  StampBlocks(random_.data(), bytes, key_, stream_, offset);
  LARGE_INTEGER at;
  at.QuadPart = offset;
  DWORD written = 0;
  if (!SetFilePointerEx(AsHandle(file), at, nullptr, FILE_BEGIN) ||
      !WriteFile(AsHandle(file), random_.data(), DWORD(bytes), &written, nullptr)) {
    return LastReason();
  }
  return written == bytes ? Reason::None : Reason::DiskFull;
}

Reason Win32ShredServices::Flush(FileId file) {
  return FlushFileBuffers(AsHandle(file)) ? Reason::None : LastReason();
}

Reason Win32ShredServices::ReadBack(FileId file, int64_t offset, int64_t length) {
  // The buffer holds the tile of the stream opened last; another's bytes
  // cannot be told, and so are never taken as good.
  if (file != patternOf_ || offset < 0 || length < 0 || length > int64_t(kOverwriteBufferBytes))
    return Reason::VerifyFailed;
  if (readerOf_ != file) {
    // The same open stream once more (no name is looked up again), read
    // past the cache so that what comes back is what the disk holds.
    reader_.reset(ReOpenFile(AsHandle(file), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             FILE_FLAG_NO_BUFFERING | FILE_FLAG_OPEN_REPARSE_POINT));
    readerOf_ = reader_.valid() ? file : 0;
    if (!reader_.valid()) return Reason::VerifyFailed;
  }
  if (readBack_.empty()) readBack_.resize(kOverwriteBufferBytes + 3 * kSectorBytes);
  BYTE* const buffer =
      readBack_.data() + (kSectorBytes - uintptr_t(readBack_.data()) % kSectorBytes);
  // Unbuffered: from the sector the range starts in to the end of the one
  // it ends in. Past the end of the file the read comes back short.
  const int64_t start = offset - offset % int64_t(kSectorBytes);
  const size_t skip = size_t(offset - start);
  const size_t span = (skip + size_t(length) + kSectorBytes - 1) / kSectorBytes * kSectorBytes;
  LARGE_INTEGER at;
  at.QuadPart = start;
  DWORD read = 0;
  if (!SetFilePointerEx(reader_, at, nullptr, FILE_BEGIN) ||
      !ReadFile(reader_, buffer, DWORD(span), &read, nullptr) || read < skip + size_t(length)) {
    return Reason::VerifyFailed;
  }
  return MatchesWritten(buffer + skip, random_.data(), size_t(length), key_, stream_, offset)
             ? Reason::None
             : Reason::VerifyFailed;
}

Reason Win32ShredServices::Truncate(FileId file) {
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(AsHandle(file), start, nullptr, FILE_BEGIN) ||
      !SetEndOfFile(AsHandle(file))) {
    return LastReason();
  }
  return Reason::None;
}

Reason Win32ShredServices::ReadState(FileId file, FileState& state) {
  FILE_STANDARD_INFO standard{};
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandleEx(AsHandle(file), FileStandardInfo, &standard, sizeof standard) ||
      !GetFileInformationByHandleEx(AsHandle(file), FileBasicInfo, &basic, sizeof basic)) {
    return LastReason();
  }
  state = {standard.EndOfFile.QuadPart, basic.CreationTime.QuadPart, basic.LastWriteTime.QuadPart};
  return Reason::None;
}

void Win32ShredServices::CloseFile(FileId file) {
  if (file == readerOf_) {
    reader_.reset();
    readerOf_ = 0;
  }
  if (file == patternOf_) patternOf_ = 0;
  CloseHandle(AsHandle(file));
}

Reason Win32ShredServices::WriteLines(FileId file, const std::vector<std::wstring>& lines) {
  std::string bytes;
  for (const std::wstring& line : lines) bytes += EncodeLine(line);
  LARGE_INTEGER start{};
  DWORD written = 0;
  if (!SetFilePointerEx(AsHandle(file), start, nullptr, FILE_BEGIN) ||
      !WriteFile(AsHandle(file), bytes.data(), DWORD(bytes.size()), &written, nullptr)) {
    return LastReason();
  }
  // The notice needs no flush of its own: the random bytes are on the disk.
  // Times set on the handle are kept when it closes.
  FILETIME old;
  old.dwLowDateTime = DWORD(kShreddedFileTime);
  old.dwHighDateTime = DWORD(kShreddedFileTime >> 32);
  SetFileTime(AsHandle(file), &old, &old, &old);
  return written == bytes.size() ? Reason::None : Reason::DiskFull;
}

bool Win32ShredServices::IsSameFile(const std::wstring& a, const std::wstring& b) {
  const FileIdentity first = IdentityAt(a);
  return first.Known() && first == IdentityAt(b);
}

// The longest name the file's volume takes, asked once per root; 255 when
// it cannot say. It counts UTF-16 units where the volume may count bytes
// (ext4 under Wine): the rename falls back when refused.
bool Win32ShredServices::KeepsFilesInRecords(const std::wstring& finalPath) {
  const std::wstring root = RootOfFinalPath(finalPath) + L"\\";
  auto found = inRecords_.find(root);
  if (found == inRecords_.end()) {
    wchar_t name[MAX_PATH + 1] = {};
    // A volume that cannot say is taken for one that may.
    const bool asked = GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr,
                                             name, MAX_PATH + 1);
    found = inRecords_.emplace(root, !asked || _wcsicmp(name, L"NTFS") == 0).first;
  }
  return found->second;
}

size_t Win32ShredServices::LongestName(const std::wstring& path) {
  const std::wstring root = RootOfFinalPath(path) + L"\\";
  auto found = longestNames_.find(root);
  if (found == longestNames_.end()) {
    DWORD longest = 0;
    if (!GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, &longest, nullptr, nullptr, 0) ||
        longest == 0) {
      longest = 255;
    }
    found = longestNames_.emplace(root, size_t(longest)).first;
  }
  return found->second;
}

std::wstring Win32ShredServices::RandomSibling(const std::wstring& path, bool shorter) {
  const size_t nameStart = path.find_last_of(L'\\') + 1;  // npos + 1 == 0
  const size_t length = path.size() - nameStart;
  if (length == 0) return {};
  // NTFS leaves a removed name in its folder index's slack when the name was
  // the last in its index node. The first name is longer and sorts after
  // every sibling (the folder compares names upper-cased, and U+FF5E comes
  // after letters, digits and CJK), so that writing it covers the old one.
  const size_t total = shorter ? length : std::min(LongestName(path), length + 8);
  const size_t letters = shorter ? length : total - 1;
  static const wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
  std::vector<BYTE> noise(letters);
  if (BCryptGenRandom(nullptr, noise.data(), ULONG(letters), BCRYPT_USE_SYSTEM_PREFERRED_RNG))
    return {};
  // Eight random letters and more (2.8e12 names): a taken name is too
  // unlikely to ask the folder, which costs a search of it under Wine; the
  // rename never replaces a file anyway, it fails and the next name is tried.
  std::wstring candidate = path.substr(0, nameStart) + (shorter ? L"" : L"\uFF5E");
  for (BYTE b : noise) candidate += kLetters[b % 36];
  return candidate;
}

Reason Win32ShredServices::OpenToDeleteIn(FolderId folder, const std::wstring& name, FileId& file,
                                          FileFacts& facts) {
  // Alone with the file (no sharing at all): when this handle closes with
  // the file marked for deletion, it is gone, not pending behind another
  // program's handle.
  handles::File handle = OpenInFolder(AsHandle(folder), name, DELETE, 0, kNonDirectory);
  if (!handle.valid()) return LastReason();
  if (const Reason reason = ReadFacts(handle, facts); reason != Reason::None) return reason;
  file = reinterpret_cast<FileId>(handle.release());
  return Reason::None;
}

bool Win32ShredServices::IsFolderAtPath(FolderId folder) {
  const auto held = held_.find(folder);
  if (held == held_.end()) return false;
  // Renames go relative to the held folder: its path is not asked.
  if (held->second.renamesInIt == Answer::Yes) return true;
  // By the folder's index on the volume its path's root names (asked once):
  // asking the volume in full costs half a millisecond a file under Wine,
  // where alone a held folder can be moved (Windows keeps a folder with
  // open handles inside it where it is).
  const handles::File now = OpenToAsk(held->second.path);
  return now.valid() && ReadIdentity(now, held->second.path) == held->second.identity;
}

bool Win32ShredServices::ExistsIn(FolderId folder, const std::wstring& name) {
  const handles::File entry = OpenInFolder(
      AsHandle(folder), name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
  if (entry.valid()) return true;
  // A file pending deletion answers "access denied": it is still there.
  const DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

std::vector<bool> Win32ShredServices::StillIn(FolderId folder,
                                              const std::vector<std::wstring>& names) {
  // One listing of the folder, names as the folder compares them (without
  // case); a file pending deletion is listed too.
  std::vector<ListedEntry> entries;
  if (!ListFolder(AsHandle(folder), entries)) return ShredServices::StillIn(folder, names);
  std::set<std::wstring> listed;
  for (ListedEntry& entry : entries) {
    CharUpperBuffW(entry.name.data(), DWORD(entry.name.size()));
    listed.insert(std::move(entry.name));
  }
  std::vector<bool> there;
  for (std::wstring name : names) {
    CharUpperBuffW(name.data(), DWORD(name.size()));
    there.push_back(listed.count(name) > 0);
  }
  return there;
}

Reason Win32ShredServices::OpenFolderToRemove(const std::wstring& path, FileId& folder,
                                              FileFacts& facts) {
  if (IsUnsafeShredPath(path)) return Reason::Device;
  // The folder itself, never a link's target; others (Explorer) may look
  // at it meanwhile, as they may at any folder.
  handles::File handle(
      CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle.valid()) return LastReason();
  if (const Reason reason = ReadFacts(handle, facts); reason != Reason::None) return reason;
  // As the walk knew it: asked of the volume in full.
  facts.identity = ReadFileIdentity(handle);
  folder = reinterpret_cast<FileId>(handle.release());
  return Reason::None;
}

bool Win32ShredServices::IsEmptyFolder(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  const handles::Find find(FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &found,
                                            FindExSearchNameMatch, nullptr, 0));
  if (!find.valid()) return false;
  do {
    if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0) return false;
  } while (FindNextFileW(find, &found));
  return true;
}

namespace {

// Renames the open file to `to`: a name in the folder `root`, or a full
// path when `root` is null. Never replaces another.
bool RenameTo(HANDLE file, HANDLE root, const std::wstring& to) {
  // FILE_RENAME_INFO ends in the name; the platform reads FileNameLength bytes of it.
  std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + to.size() * sizeof(wchar_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = FALSE;
  rename->RootDirectory = root;
  rename->FileNameLength = DWORD(to.size() * sizeof(wchar_t));
  memcpy(rename->FileName, to.c_str(), (to.size() + 1) * sizeof(wchar_t));
  return SetFileInformationByHandle(file, FileRenameInfo, rename, DWORD(buffer.size()));
}

}  // namespace

Reason Win32ShredServices::RenameOpenFile(FileId file, const std::wstring& to) {
  // Into a held folder, relative to it where the platform takes that: what
  // the folder's path names then does not matter. Wine refuses it (error
  // 87); there the rename goes by the path, which the run checks names the
  // held folder first.
  const auto by = heldByPath_.find(FolderOfPath(to));
  HeldFolder* held = by == heldByPath_.end() ? nullptr : &held_.at(by->second);
  if (held && held->renamesInIt != Answer::No) {
    const std::wstring name = NameOfPath(to);
    if (RenameTo(AsHandle(file), AsHandle(by->second), name)) {
      held->renamesInIt = Answer::Yes;
      return Reason::None;
    }
    // Anything but a refusal of the form is the rename's own failure; a
    // refusal is known only where the run has just checked the path.
    if (GetLastError() != ERROR_INVALID_PARAMETER || held->renamesInIt == Answer::Yes)
      return LastReason();
    held->renamesInIt = Answer::No;
  }
  return RenameTo(AsHandle(file), nullptr, to) ? Reason::None : LastReason();
}

Reason Win32ShredServices::DeleteOpenFile(FileId file) {
  // POSIX semantics (Windows 10 1709 on): the name goes when this handle
  // closes, even while another program holds the file to read its
  // attributes. Where the platform refuses them (older systems, Wine: error
  // 87), the plain disposition; the run then looks whether the name went.
  struct DispositionEx {
    ULONG flags;
  };
  constexpr auto kFileDispositionInfoEx = FILE_INFO_BY_HANDLE_CLASS(21);
  constexpr ULONG kDelete = 0x1, kPosixSemantics = 0x2;
  DispositionEx posix{kDelete | kPosixSemantics};
  if (SetFileInformationByHandle(AsHandle(file), kFileDispositionInfoEx, &posix, sizeof posix))
    return Reason::None;
  FILE_DISPOSITION_INFO dispose{TRUE};
  return SetFileInformationByHandle(AsHandle(file), FileDispositionInfo, &dispose, sizeof dispose)
             ? Reason::None
             : LastReason();
}

void Win32ShredServices::Wait(int milliseconds) { Sleep(DWORD(milliseconds)); }

std::wstring Win32ShredServices::HolderOf(const std::wstring& path) {
  DWORD session = 0;
  wchar_t key[CCH_RM_SESSION_KEY + 1] = {};
  if (RmStartSession(&session, 0, key) != ERROR_SUCCESS) return {};
  std::wstring names;
  LPCWSTR files[] = {path.c_str()};
  UINT needed = 0, count = 8;
  RM_PROCESS_INFO found[8];
  DWORD reasons = 0;
  if (RmRegisterResources(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS &&
      RmGetList(session, &needed, &count, found, &reasons) == ERROR_SUCCESS) {
    for (UINT i = 0; i < count; ++i) {
      if (!names.empty()) names += L"、";
      names += found[i].strAppName;
    }
  }
  RmEndSession(session);
  return names;
}

Reason Win32ShredServices::RemoveLink(const std::wstring& path) {
  if (IsUnsafeShredPath(path)) return Reason::Device;
  // The link itself (never its target), checked and deleted through one
  // handle: whatever takes the name between the check and the deletion is
  // not touched. A link to a folder or a junction opens as a folder.
  const handles::File link(
      CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!link.valid()) return LastReason();
  FILE_ATTRIBUTE_TAG_INFO tag{};
  Reason reason = Reason::None;
  if (!GetFileInformationByHandleEx(link, FileAttributeTagInfo, &tag, sizeof tag)) {
    reason = LastReason();
  } else if (!(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
             ClassifyReparse(tag.ReparseTag, tag.FileAttributes) != ReparseKind::Link) {
    reason = Reason::Changed;
  } else {
    FILE_DISPOSITION_INFO dispose{TRUE};
    if (!SetFileInformationByHandle(link, FileDispositionInfo, &dispose, sizeof dispose))
      reason = LastReason();
  }
  return reason;
}

std::vector<std::wstring> Win32ShredServices::NamesOf(const std::wstring& path) {
  std::vector<std::wstring> names;
  // Wine exports it as a stub that ends the process when called.
  static const bool stub = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version");
  if (stub) return names;
  // The names come from the root of the volume the file is on, which may be
  // mounted in a folder or reached through a substituted drive: they are
  // joined to where that volume is mounted, as the file's final path (the
  // drive a substitution stands for) says.
  const handles::File file(CreateFileW(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  const std::wstring final = file.valid() ? ReadFinalPath(file) : std::wstring();
  std::wstring mountPoint(MAX_PATH + 1, L'\0');
  if (final.empty() ||
      !GetVolumePathNameW(WithoutVerbatimPrefix(final).c_str(), mountPoint.data(), MAX_PATH + 1))
    return names;
  mountPoint.resize(wcsnlen(mountPoint.c_str(), mountPoint.size()));
  std::wstring name(MAX_PATH, L'\0');
  DWORD length = DWORD(name.size());
  const handles::Find find(FindFirstFileNameW(final.c_str(), 0, &length, name.data()));
  if (!find.valid()) return names;
  do {
    names.push_back(PathOnVolume(mountPoint, name.substr(0, wcsnlen(name.c_str(), name.size()))));
    length = DWORD(name.size());
  } while (FindNextFileNameW(find, &length, name.data()));
  return names;
}

NameInFolder Win32ShredServices::NameOf(const std::wstring& path) {
  NameInFolder name;
  // The stored long name, whatever spelling the path has; the folder
  // opened with links followed, as the file's own open followed them.
  WIN32_FIND_DATAW found;
  const handles::Find find(
      FindFirstFileExW(path.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
  name.name = find.valid() ? std::wstring(found.cFileName) : NameOfPath(path);
  const std::wstring folder = FolderOfPath(path);
  if (!folder.empty()) name.folder = IdentityAt(folder);
  return name;
}

uint32_t Win32ShredServices::LastErrorCode() { return LastUnmappedError(); }

bool Win32ShredServices::PathExists(const std::wstring& path) {
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  // A file pending deletion answers "access denied": it is still there.
  const DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

}  // namespace shred
