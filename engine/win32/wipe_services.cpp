#include "engine/win32/wipe_services.h"

#include <bcrypt.h>

#include <algorithm>

#include <cstring>
#include <string>

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
                                  uint64_t& clusterBytes) {
  ULARGE_INTEGER available{}, total{}, free{};
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  if (!GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free) ||
      !GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                         &clusters)) {
    return false;
  }
  freeBytes = available.QuadPart;
  clusterBytes = uint64_t(sectorsPerCluster) * bytesPerSector;
  return true;
}

Reason Win32WipeServices::MakeFolder(const std::wstring& path) {
  return CreateDirectoryW(Verbatim(path).c_str(), nullptr) ? Reason::None
                                                           : ReasonFromError(GetLastError());
}

Reason Win32WipeServices::RemoveFolder(const std::wstring& path) {
  return RemoveDirectoryW(Verbatim(path).c_str()) ? Reason::None : ReasonFromError(GetLastError());
}

std::vector<std::wstring> Win32WipeServices::FilesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  // Never the files of another folder that the wipe's name leads to.
  if (!IsOwnFolder(folder)) return names;
  WIN32_FIND_DATAW found;
  const handles::Find find(FindFirstFileExW((Verbatim(folder) + L"\\*").c_str(), FindExInfoBasic,
                                            &found, FindExSearchNameMatch, nullptr, 0));
  if (!find.valid()) return names;
  do {
    // Only regular files; never a folder or a link.
    if (!(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
      names.push_back(found.cFileName);
  } while (FindNextFileW(find, &found));
  return names;
}

Reason Win32WipeServices::CreateFill(const std::wstring& path, bool direct, FileId& file) {
  // Unbuffered: the data goes to the disk without passing through (and
  // pushing everything else out of) the cache; one flush at the end.
  const DWORD flags = direct ? FILE_FLAG_NO_BUFFERING : 0;
  handles::File handle(CreateFileW(Verbatim(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL | flags, nullptr));
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

Reason Win32WipeServices::RemoveFile(const std::wstring& path) {
  return DeleteFileW(Verbatim(path).c_str()) ? Reason::None : ReasonFromError(GetLastError());
}

WipeFolder Win32WipeServices::CheckFolder(const std::wstring& folder) {
  const DWORD attributes = GetFileAttributesW(Verbatim(folder).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? WipeFolder::Missing
                                                                          : WipeFolder::NotOurs;
  }
  // A file, a link or a junction of that name, or a folder that is not where
  // its name is: not the wipe's.
  if (!IsOwnFolder(folder)) return WipeFolder::NotOurs;
  // The marker, opened alone: a wipe at work holds it.
  const handles::File marker(CreateFileW(Verbatim(folder + L"\\" + kWipeMarkerName).c_str(),
                                         GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
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

Reason Win32WipeServices::PlaceMarker(const std::wstring& folder, FileId& marker) {
  handles::File handle(CreateFileW(Verbatim(folder + L"\\" + kWipeMarkerName).c_str(),
                                   GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
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
    // Only the marker it just made: CREATE_NEW made sure of that.
    handle.reset();
    DeleteFileW(Verbatim(folder + L"\\" + kWipeMarkerName).c_str());
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
