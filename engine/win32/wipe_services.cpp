#include "engine/win32/wipe_services.h"

#include <bcrypt.h>

#include <algorithm>

#include <cstring>
#include <string>

#include "engine/path_rules.h"
#include "engine/win32/folder_handle.h"
#include "engine/win32/handle_owner.h"
#include "engine/win32/shred_services.h"
#include "engine/xoshiro.h"

namespace shred {

namespace {

HANDLE AsHandle(FileId file) { return reinterpret_cast<HANDLE>(file); }

std::wstring Verbatim(const std::wstring& path) { return VerbatimPath(path); }

}  // namespace

Win32WipeServices::Win32WipeServices() = default;

Win32WipeServices::~Win32WipeServices() {
  if (buffer_) VirtualFree(buffer_, 0, MEM_RELEASE);
}

bool Win32WipeServices::FreeSpace(const std::wstring& root, uint64_t& freeBytes,
                                  uint64_t& volumeFreeBytes, uint64_t& clusterBytes) {
  ULARGE_INTEGER available{}, total{}, free{};
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  if (!GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free) ||
      !GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                         &clusters)) {
    return false;
  }
  freeBytes = available.QuadPart;
  volumeFreeBytes = free.QuadPart;
  clusterBytes = uint64_t(sectorsPerCluster) * bytesPerSector;
  return true;
}

namespace {

HANDLE AsFolder(FolderId folder) { return reinterpret_cast<HANDLE>(folder); }

// The held folder's access: listed, entries made and removed in it, and
// itself removed at the end; shared with readers and writers, never with a
// deleter, so that no other program renames it while the wipe works in it.
constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_TRAVERSE |
                                      FILE_READ_ATTRIBUTES | DELETE | SYNCHRONIZE;
constexpr DWORD kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

}  // namespace

Reason Win32WipeServices::OpenFolder(const std::wstring& path, FolderId& folder) {
  handles::File handle(
      CreateFileW(Verbatim(path).c_str(), kFolderAccess, kFolderShare, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle.valid()) return ReasonFromError(GetLastError());
  // A file, a link or a junction of that name: not the wipe's.
  if (!IsFolderAt(handle, path)) return Reason::AccessDenied;
  folder = reinterpret_cast<FolderId>(handle.release());
  return Reason::None;
}

Reason Win32WipeServices::MakeFolder(const std::wstring& path, FolderId& folder) {
  if (!CreateDirectoryW(Verbatim(path).c_str(), nullptr)) return ReasonFromError(GetLastError());
  const Reason opened = OpenFolder(path, folder);
  // Made a moment ago and not what the path holds now: it is left alone.
  return opened == Reason::None ? Reason::None : Reason::AccessDenied;
}

Reason Win32WipeServices::RemoveFolder(FolderId folder) {
  FILE_DISPOSITION_INFO gone{TRUE};
  return SetFileInformationByHandle(AsFolder(folder), FileDispositionInfo, &gone, sizeof gone)
             ? Reason::None
             : ReasonFromError(GetLastError());
}

void Win32WipeServices::CloseFolder(FolderId folder) { CloseHandle(AsFolder(folder)); }

std::vector<std::wstring> Win32WipeServices::FilesIn(FolderId folder) {
  std::vector<std::wstring> names;
  std::vector<ListedEntry> entries;
  if (!ListFolder(AsFolder(folder), entries)) return names;
  for (ListedEntry& entry : entries) {
    // Only regular files, each one name in the folder; never a folder or a
    // link.
    if (!(entry.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
        IsOneName(entry.name))
      names.push_back(std::move(entry.name));
  }
  return names;
}

Reason Win32WipeServices::CreateFill(FolderId folder, const std::wstring& name, bool direct,
                                     FileId& file) {
  // Unbuffered: the data goes to the disk without passing through (and
  // pushing everything else out of) the cache; one flush at the end.
  handles::File handle =
      MakeInFolder(AsFolder(folder), name, GENERIC_WRITE, direct ? kNoBuffering : 0);
  if (!handle.valid()) return ReasonFromError(GetLastError());
  file = reinterpret_cast<FileId>(handle.release());
  return Reason::None;
}

// The buffer is random once, from xoshiro256** keyed by the system's
// generator (whose own bytes come at about 30 MiB/s under Wine, far below a
// disk's speed); before every write, fresh 16-byte stamps at the head of
// each 4 KiB block make every block on the disk unlike every other.
Reason Win32WipeServices::AppendRandom(FileId file, uint64_t length, uint64_t& written) {
  written = 0;
  if (!buffer_) {
    // The buffer and the generator's key on the first write only: the
    // services are also made to clear a leftover folder at start-up.
    buffer_ = static_cast<BYTE*>(
        VirtualAlloc(nullptr, kWipeBlockBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    BCryptGenRandom(nullptr, reinterpret_cast<BYTE*>(state_), sizeof state_,
                    BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    state_[0] |= 1;  // never the all-zero state
  }
  // No memory is no full disk: the wipe must not take it for the end.
  if (!buffer_) return Reason::IoError;
  const size_t bytes = size_t(length < kWipeBlockBytes ? length : kWipeBlockBytes);
  constexpr size_t kStampEvery = 4096;
  for (size_t at = filled_; at < bytes; at += 8) {
    const uint64_t value = NextXoshiro(state_);
    memcpy(buffer_ + at, &value, bytes - at < 8 ? bytes - at : 8);
  }
  filled_ = std::max(filled_, bytes);
  for (size_t at = 0; at < bytes; at += kStampEvery) {
    const uint64_t stamp[2] = {NextXoshiro(state_), NextXoshiro(state_)};
    memcpy(buffer_ + at, stamp, std::min(sizeof stamp, bytes - at));
  }
  DWORD done = 0;
  const BOOL ok = WriteFile(AsHandle(file), buffer_, DWORD(bytes), &done, nullptr);
  written = done;
  if (!ok) return ReasonFromError(GetLastError());
  return done == bytes ? Reason::None : Reason::DiskFull;
}

Reason Win32WipeServices::Flush(FileId file) {
  return FlushFileBuffers(AsHandle(file)) ? Reason::None : ReasonFromError(GetLastError());
}

void Win32WipeServices::Close(FileId file) { CloseHandle(AsHandle(file)); }

Reason Win32WipeServices::RemoveFile(FolderId folder, const std::wstring& name) {
  // The entry itself, never where a link of that name leads, deleted as its
  // handle closes: on a full ntfs-3g volume under Wine a deletion marked on
  // an open handle afterwards leaves the file where it is.
  const handles::File file = OpenInFolder(AsFolder(folder), name, DELETE, FILE_SHARE_DELETE,
                                          kNonDirectory | kDeleteOnClose);
  return file.valid() ? Reason::None : ReasonFromError(GetLastError());
}

WipeFolder Win32WipeServices::CheckFolder(FolderId folder) {
  // The marker, opened alone: a wipe at work holds it.
  const handles::File marker =
      OpenInFolder(AsFolder(folder), kWipeMarkerName, GENERIC_READ, 0, kNonDirectory);
  if (!marker.valid()) {
    return GetLastError() == ERROR_SHARING_VIOLATION ? WipeFolder::InUse : WipeFolder::NotOurs;
  }
  char bytes[kWipeMarkerBytes + 1] = {};
  DWORD read = 0;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(marker, FileAttributeTagInfo, &tag, sizeof tag) ||
      (tag.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
      !ReadFile(marker, bytes, DWORD(sizeof bytes), &read, nullptr) || read != kWipeMarkerBytes ||
      memcmp(bytes, kWipeMarkerText, sizeof kWipeMarkerText - 1) != 0) {
    return WipeFolder::NotOurs;
  }
  return WipeFolder::Ours;
}

Reason Win32WipeServices::PlaceMarker(FolderId folder, FileId& marker) {
  handles::File handle = MakeInFolder(AsFolder(folder), kWipeMarkerName, GENERIC_WRITE | DELETE, 0);
  if (!handle.valid()) return ReasonFromError(GetLastError());
  std::string bytes(kWipeMarkerText);
  bytes.resize(kWipeMarkerBytes, '.');
  const DWORD length = DWORD(bytes.size());
  DWORD written = 0;
  const BOOL ok = WriteFile(handle, bytes.data(), length, &written, nullptr);
  const Reason reason = !ok                 ? ReasonFromError(GetLastError())
                        : written != length ? Reason::DiskFull
                                            : Reason::None;
  if (reason != Reason::None) {
    // Only the marker it just made, through its own handle.
    FILE_DISPOSITION_INFO gone{TRUE};
    SetFileInformationByHandle(handle, FileDispositionInfo, &gone, sizeof gone);
    return reason;
  }
  marker = reinterpret_cast<FileId>(handle.release());
  return Reason::None;
}

uint32_t Win32WipeServices::LastErrorCode() { return LastUnmappedError(); }

DriveFacts QueryDrive(const std::wstring& root) {
  DriveFacts facts;
  const UINT type = GetDriveTypeW(root.c_str());
  facts.exists = type != DRIVE_NO_ROOT_DIR && type != DRIVE_UNKNOWN;
  facts.network = type == DRIVE_REMOTE;
  DWORD flags = 0;
  if (facts.exists &&
      GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
    facts.readOnly = (flags & FILE_READ_ONLY_VOLUME) != 0;
  }
  if (type == DRIVE_CDROM) facts.readOnly = true;
  return facts;
}

void RemoveWipeLeftovers() {
  const DWORD drives = GetLogicalDrives();
  Win32WipeServices services;
  for (int i = 0; i < 26; ++i) {
    if (!(drives & (1u << i))) continue;
    const std::wstring root = std::wstring(1, wchar_t(L'A' + i)) + L":\\";
    const UINT type = GetDriveTypeW(root.c_str());
    if (type != DRIVE_FIXED && type != DRIVE_REMOVABLE) continue;
    for (int n = 0; n < kWipeFolderNames; ++n) ClearWipeFolder(WipeFolderName(root, n), services);
  }
}

}  // namespace shred
