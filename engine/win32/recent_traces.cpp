#include "engine/win32/recent_traces.h"

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include "engine/path_rules.h"
#include "engine/win32/folder_handle.h"
#include "engine/win32/handle_owner.h"
#include "engine/win32/shred_services.h"

namespace shred {

const wchar_t kRecentDocsKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs";

namespace {

// A shortcut larger than this is not one Windows wrote.
constexpr DWORD kShortcutLimit = 1 << 20;

template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  Interface** Out() { return &p_; }
  Interface* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  Interface* p_ = nullptr;
};

// The bytes of the shortcut `name` of the open Recent folder, as long as
// the listing showed it, opened relative to the folder and as itself, never
// what a link the platform marks leads to (one put there since the listing
// holds no shortcut); false otherwise. Nothing else is asked of the handle:
// asking for its information costs half a millisecond under Wine, five
// times the read.
// The shortcut's bytes, and the creation time of the file they came from.
bool ReadShortcutBytes(HANDLE folder, const std::wstring& name, DWORD listedSize,
                       std::string& bytes, int64_t& created) {
  const handles::File file =
      OpenInFolder(folder, name, GENERIC_READ,
                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kNonDirectory);
  if (!file.valid()) return false;
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic)) return false;
  created = basic.CreationTime.QuadPart;
  bytes.resize(listedSize);
  DWORD read = 0;
  if (!ReadFile(file.get(), bytes.data(), listedSize, &read, nullptr)) return false;
  bytes.resize(read);
  return true;
}

Reason ReasonOfStatus(LSTATUS status) {
  if (status == ERROR_SUCCESS) return Reason::None;
  if (status == ERROR_FILE_NOT_FOUND) return Reason::NotFound;
  return ReasonFromError(DWORD(status));
}

class RegistryKey {
 public:
  RegistryKey(const std::wstring& subkey, REGSAM access) {
    const std::wstring path =
        subkey.empty() ? std::wstring(kRecentDocsKey) : kRecentDocsKey + (L"\\" + subkey);
    // A registry link is opened as itself, and then holds no values.
    status_ = RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), REG_OPTION_OPEN_LINK, access, &key_);
  }
  ~RegistryKey() {
    if (status_ == ERROR_SUCCESS) RegCloseKey(key_);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  HKEY get() const { return key_; }
  LSTATUS status() const { return status_; }

 private:
  HKEY key_ = nullptr;
  LSTATUS status_;
};

}  // namespace

std::wstring ShortcutTarget(const std::string& bytes) {
  // A new object for each: nothing of the last shortcut stays in it.
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistStream> persist;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(link.Out()))) ||
      FAILED(link->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(persist.Out()))))
    return {};
  IStream* stream =
      SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), UINT(bytes.size()));
  if (!stream) return {};
  const HRESULT loaded = persist->Load(stream);
  stream->Release();
  if (FAILED(loaded)) return {};
  std::wstring target(32768, L'\0');
  if (link->GetPath(target.data(), int(target.size()), nullptr, SLGP_RAWPATH) != S_OK) return {};
  target.resize(wcsnlen(target.c_str(), target.size()));
  return target;
}

bool Win32TraceServices::IsPlainEntry(const std::wstring& path) {
  // A link the platform does not mark leads elsewhere: its final path is
  // the target's. (Asked only of a shortcut that names a shredded place: it
  // costs a millisecond under Wine.)
  const handles::File file(CreateFileW(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return file.valid() && ComparablePath(ReadFinalPath(file.get())) == ComparablePath(path);
}

Reason Win32TraceServices::RecentFolder(std::wstring& folder) {
  folder.clear();
  PWSTR path = nullptr;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_Recent, KF_FLAG_DONT_VERIFY, nullptr, &path))) {
    CoTaskMemFree(path);
    return Reason::None;
  }
  folder = path;
  CoTaskMemFree(path);
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    folder.clear();  // none yet: nothing was ever listed
    return Reason::None;
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Reason::Link;
  // A folder on its way that is a link leads the path elsewhere.
  const handles::File handle = OpenToAsk(folder);
  if (!handle.valid()) return ReasonFromError(GetLastError());
  if (ComparablePath(ReadFinalPath(handle.get())) != ComparablePath(folder)) return Reason::Link;
  return Reason::None;
}

Win32TraceServices::~Win32TraceServices() {
  if (comStarted_) CoUninitialize();
}

std::vector<std::wstring> Win32TraceServices::ListShortcuts(const std::wstring& folder) {
  std::vector<std::wstring> shortcuts;
  listed_.clear();
  // The folder is held while its shortcuts are read: each is opened
  // relative to it, by the name the listing gave.
  recent_.reset(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  std::vector<ListedEntry> entries;
  if (!recent_.valid() || !ListFolder(recent_, entries)) return shortcuts;
  for (ListedEntry& entry : entries) {
    // Long names only ("a.lnkx" is not one, whatever its short name); a
    // name that is not one name in the folder leads elsewhere when joined.
    if ((entry.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        !MatchesPattern(entry.name, L"*.lnk") || !IsOneName(entry.name))
      continue;
    shortcuts.push_back(folder + L"\\" + entry.name);
    // A size past the limit is kept as past it.
    listed_[shortcuts.back()] = {std::move(entry.name), uint64_t(entry.size) > kShortcutLimit
                                                            ? kShortcutLimit + 1
                                                            : DWORD(entry.size)};
  }
  return shortcuts;
}

std::wstring Win32TraceServices::ReadTarget(const std::wstring& path,
                                            const std::set<std::wstring>& names, int64_t& created) {
  const auto listed = listed_.find(path);
  if (listed == listed_.end() || listed->second.size > kShortcutLimit) return {};
  std::string bytes;
  if (!ReadShortcutBytes(recent_, listed->second.name, DWORD(listed->second.size), bytes,
                         created) ||
      !MayName(bytes, names))
    return {};
  // COM starts once, at the first shortcut the shell must read: starting it
  // costs more than reading one.
  if (!comStarted_) comStarted_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  return ShortcutTarget(bytes);
}

std::vector<std::wstring> Win32TraceServices::RecentDocsKeys() {
  const RegistryKey key(L"", KEY_READ);
  if (key.status() != ERROR_SUCCESS) return {};
  std::vector<std::wstring> keys{L""};
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD length = DWORD(std::size(name));
    const LSTATUS status =
        RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status == ERROR_SUCCESS) keys.emplace_back(name, length);
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) break;
  }
  return keys;
}

std::vector<RegistryValue> Win32TraceServices::ReadValues(const std::wstring& subkey) {
  std::vector<RegistryValue> values;
  const RegistryKey key(subkey, KEY_READ);
  if (key.status() != ERROR_SUCCESS) return values;
  DWORD nameLength = 0, dataLength = 0;
  if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &nameLength, &dataLength, nullptr, nullptr) != ERROR_SUCCESS)
    return values;
  std::wstring name(nameLength + 1, L'\0');
  std::string data(dataLength, '\0');
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = DWORD(name.size()), dataSize = DWORD(data.size()), type = 0;
    const LSTATUS status = RegEnumValueW(key.get(), i, name.data(), &nameSize, nullptr, &type,
                                         reinterpret_cast<BYTE*>(data.data()), &dataSize);
    if (status != ERROR_SUCCESS) break;
    values.push_back({name.substr(0, nameSize), type, data.substr(0, dataSize)});
  }
  return values;
}

Reason Win32TraceServices::DeleteValue(const std::wstring& subkey, const std::wstring& name) {
  const RegistryKey key(subkey, KEY_SET_VALUE);
  if (key.status() != ERROR_SUCCESS) return ReasonOfStatus(key.status());
  return ReasonOfStatus(RegDeleteValueW(key.get(), name.c_str()));
}

Reason Win32TraceServices::WriteBinary(const std::wstring& subkey, const std::wstring& name,
                                       const std::string& data) {
  const RegistryKey key(subkey, KEY_SET_VALUE);
  if (key.status() != ERROR_SUCCESS) return ReasonOfStatus(key.status());
  return ReasonOfStatus(RegSetValueExW(key.get(), name.c_str(), 0, REG_BINARY,
                                       reinterpret_cast<const BYTE*>(data.data()),
                                       DWORD(data.size())));
}

}  // namespace shred
