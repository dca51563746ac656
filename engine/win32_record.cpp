#include "engine/win32_record.h"

#include <bcrypt.h>
#include <winioctl.h>

#include <set>

#include "engine/handle_owner.h"
#include "engine/win32_shred_services.h"

namespace shred {

uint64_t RecordClock() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

namespace {

// "\\?\C:\x" or "C:\x" to "C:\"; empty for anything else (a share).
std::wstring DriveRootOf(const std::wstring& path) {
  const std::wstring plain = path.rfind(L"\\\\?\\", 0) == 0 ? path.substr(4) : path;
  if (plain.size() >= 2 && plain[1] == L':') return plain.substr(0, 2) + L"\\";
  return {};
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

// The drive an entry's file was on, where the run found it.
std::wstring DriveRootOf(const EntryResult& r) {
  return DriveRootOf(r.finalPath.empty() ? r.path : r.finalPath);
}

}  // namespace

std::vector<std::wstring> RootsOf(const ShredJob& job) {
  std::set<std::wstring> roots;
  for (const EntryResult& r : job.results) {
    const std::wstring root = DriveRootOf(r);
    if (!root.empty()) roots.insert(root);
  }
  return {roots.begin(), roots.end()};
}

std::wstring MediaNoteFor(const ShredJob& job, const std::vector<VolumeFacts>& volumes) {
  std::set<std::wstring> shredded;
  for (const EntryResult& r : job.results) {
    if (r.fate == Fate::Shredded || r.fate == Fate::ShreddedCloud) shredded.insert(DriveRootOf(r));
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
    const std::wstring root = DriveRootOf(item.data.empty() ? item.record : item.data);
    if (!root.empty()) roots.insert(root);
  }
  return {roots.begin(), roots.end()};
}

VolumeFacts QueryVolume(const std::wstring& root) {
  VolumeFacts facts;
  facts.root = root;
  wchar_t fileSystem[MAX_PATH + 1] = {};
  DWORD serial = 0;
  if (GetVolumeInformationW(root.c_str(), nullptr, 0, &serial, nullptr, nullptr, fileSystem,
                            MAX_PATH + 1)) {
    facts.fileSystem = fileSystem;
    facts.serial = serial;
  }
  const std::wstring device = L"\\\\.\\" + root.substr(0, 2);
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

}  // namespace shred
