#include "engine/win32/record.h"

#include <bcrypt.h>
#include <winioctl.h>

#include <map>
#include <set>

#include "engine/win32/handle_owner.h"
#include "engine/win32/shred_services.h"

namespace shred {

uint64_t RecordClock() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

namespace {

std::wstring WithoutVerbatim(const std::wstring& path) {
  return path.rfind(L"\\\\?\\", 0) == 0 ? path.substr(4) : path;
}

// The root of the volume that holds `path`: "C:\", or the folder a volume is
// mounted in ("C:\mnt\ssd\"); empty for anything else (a share). The file
// may be gone: the platform follows the path's folders as they are.
std::wstring VolumeRootOf(const std::wstring& path) {
  const std::wstring plain = WithoutVerbatim(path);
  if (plain.size() < 2 || plain[1] != L':') return {};
  std::wstring root(path.size() + 2, L'\0');
  if (GetVolumePathNameW(path.c_str(), root.data(), DWORD(root.size()))) {
    root = WithoutVerbatim(root.c_str());
    if (root.size() >= 3 && root[1] == L':') return root;
  }
  return plain.substr(0, 2) + L"\\";
}

// Asks the device behind the volume one property; false when it cannot say.
template <typename Descriptor>
bool QueryDevice(HANDLE volume, STORAGE_PROPERTY_ID property, Descriptor& out) {
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = property;
  query.QueryType = PropertyStandardQuery;
  DWORD bytes = 0;
  return DeviceIoControl(volume, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &out,
                         sizeof out, &bytes, nullptr) &&
         bytes >= sizeof out;
}

// The volume each entry's file was on, where the run found it; asked once a
// folder.
std::vector<std::wstring> VolumeRootsOf(const ShredJob& job) {
  std::map<std::wstring, std::wstring> byFolder;
  std::vector<std::wstring> roots;
  for (const EntryResult& r : job.results) {
    const std::wstring& path = r.finalPath.empty() ? r.path : r.finalPath;
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\') + 1);
    auto known = byFolder.find(folder);
    if (known == byFolder.end()) known = byFolder.emplace(folder, VolumeRootOf(path)).first;
    roots.push_back(known->second);
  }
  return roots;
}

}  // namespace

std::vector<std::wstring> RootsOf(const ShredJob& job) {
  std::set<std::wstring> roots;
  for (const std::wstring& root : VolumeRootsOf(job)) {
    if (!root.empty()) roots.insert(root);
  }
  return {roots.begin(), roots.end()};
}

std::wstring MediaNoteFor(const ShredJob& job, const std::vector<VolumeFacts>& volumes) {
  std::set<std::wstring> shredded;
  const std::vector<std::wstring> roots = VolumeRootsOf(job);
  for (size_t i = 0; i < roots.size(); ++i) {
    const Fate fate = job.results[i].fate;
    if (fate == Fate::Shredded || fate == Fate::ShreddedCloud) shredded.insert(roots[i]);
  }
  std::vector<VolumeFacts> holding;
  for (const VolumeFacts& v : volumes) {
    if (shredded.count(v.root)) holding.push_back(v);
  }
  return MediaNote(holding);
}

std::vector<std::wstring> RootsOf(const std::vector<BinItem>& items) {
  std::set<std::wstring> roots;
  for (const BinItem& item : items) {
    const std::wstring root = VolumeRootOf(item.data.empty() ? item.record : item.data);
    if (!root.empty()) roots.insert(root);
  }
  return {roots.begin(), roots.end()};
}

VolumeFacts QueryVolume(const std::wstring& root) {
  VolumeFacts facts;
  facts.root = root;
  wchar_t fileSystem[MAX_PATH + 1] = {};
  DWORD serial = 0;
  // Asked through a handle of the root folder, as the entries' identities
  // are asked through their files' handles, so both tell one serial number
  // (Wine answers GetVolumeInformationW for an ext4 drive with nothing).
  const handles::File folder(
      CreateFileW(root.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if ((folder.valid() && GetVolumeInformationByHandleW(folder, nullptr, 0, &serial, nullptr,
                                                       nullptr, fileSystem, MAX_PATH + 1)) ||
      GetVolumeInformationW(root.c_str(), nullptr, 0, &serial, nullptr, nullptr, fileSystem,
                            MAX_PATH + 1)) {
    facts.fileSystem = fileSystem;
    facts.serial = serial;
  }
  // The serial number in the form the files' identities carry it: NTFS and
  // ReFS give a 64-bit one there, which the 32-bit one above is only part of.
  if (folder.valid()) {
    if (const FileIdentity identity = ReadFileIdentity(folder); identity.Known())
      facts.serial = identity.volume;
  }
  // The device behind this volume, not behind the drive letter it is
  // mounted under.
  wchar_t name[MAX_PATH + 1] = {};
  std::wstring device = L"\\\\.\\" + root.substr(0, 2);
  if (GetVolumeNameForVolumeMountPointW(root.c_str(), name, MAX_PATH + 1)) {
    device = name;
    if (!device.empty() && device.back() == L'\\') device.pop_back();
  }
  const handles::File volume(CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
  if (!volume.valid()) return facts;
  DEVICE_SEEK_PENALTY_DESCRIPTOR seek{};
  if (QueryDevice(volume, StorageDeviceSeekPenaltyProperty, seek))
    facts.media = seek.IncursSeekPenalty ? L"hard disk" : L"solid-state";
  DEVICE_TRIM_DESCRIPTOR trim{};
  if (QueryDevice(volume, StorageDeviceTrimProperty, trim))
    facts.trim = trim.TrimEnabled ? L"on" : L"off";
  return facts;
}

RecordContext GatherRecordContext(uint64_t start, const std::vector<std::wstring>& roots) {
  RecordContext context;
  uint8_t random[16] = {};
  BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  context.recordId = UuidText(random);
  context.version = L"1.0";
  context.start = IsoTime(start);
  context.end = IsoTime(RecordClock());
  wchar_t name[256] = {};
  DWORD size = 256;
  if (GetComputerNameExW(ComputerNameDnsHostname, name, &size)) context.computer = name;
  size = 256;
  if (GetUserNameW(name, &size)) context.user = name;
  for (const std::wstring& root : roots) context.volumes.push_back(QueryVolume(root));
  return context;
}

Reason WriteRecordFile(const std::wstring& path, const std::string& bytes) {
  BYTE noise[6] = {};
  BCryptGenRandom(nullptr, noise, sizeof noise, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  std::wstring temporary = path + L".";
  for (BYTE b : noise) temporary += L"0123456789abcdef"[b % 16];
  temporary += L".tmp";
  const std::wstring target = VerbatimPath(path), scratch = VerbatimPath(temporary);
  {
    handles::File file(CreateFileW(scratch.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return ReasonFromError(GetLastError());
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
                    written == bytes.size() && FlushFileBuffers(file);
    const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    if (!ok) {
      file.reset();
      DeleteFileW(scratch.c_str());  // the one it made: CREATE_NEW saw to that
      return error == ERROR_SUCCESS ? Reason::DiskFull : ReasonFromError(error);
    }
  }
  if (!MoveFileExW(scratch.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    DeleteFileW(scratch.c_str());
    return ReasonFromError(error);
  }
  return Reason::None;
}

Reason ReadWholeFile(const std::wstring& path, std::string& bytes) {
  const handles::File file(CreateFileW(VerbatimPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size{};
  if (!file.valid() || !GetFileSizeEx(file, &size)) return ReasonFromError(GetLastError());
  if (size.QuadPart > (1 << 30)) return Reason::NotAFile;
  bytes.resize(size_t(size.QuadPart));
  DWORD read = 0;
  if (!bytes.empty() &&
      (!ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr) || read != bytes.size()))
    return ReasonFromError(GetLastError());
  return Reason::None;
}

std::string Sha256Hex(const std::string& bytes) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return {};
  UCHAR digest[32] = {};
  const bool made =
      BCryptHash(algorithm, nullptr, 0, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                 ULONG(bytes.size()), digest, sizeof digest) == 0;
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return made ? HexOfBytes(digest, sizeof digest) : std::string();
}

}  // namespace shred
