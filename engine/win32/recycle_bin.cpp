#include "engine/win32/recycle_bin.h"

#include <windows.h>

#include <sddl.h>
#include <shlobj.h>

#include <set>

#include "engine/folder_walk.h"
#include "engine/win32/folder_handle.h"
#include "engine/win32/handle_owner.h"
#include "engine/win32/shred_services.h"
#include "engine/win32/wipe_services.h"

namespace shred {

namespace {

// A record is a few hundred bytes; anything far larger is not one.
constexpr DWORD kLargestRecord = 64 << 10;

// The record `name` of the open bin folder, read relative to it.
std::string ReadRecord(HANDLE folder, const std::wstring& name) {
  const handles::File file =
      OpenInFolder(folder, name, GENERIC_READ,
                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kNonDirectory);
  if (!file.valid()) return {};
  std::string bytes(kLargestRecord, '\0');
  DWORD read = 0;
  if (!ReadFile(file, bytes.data(), kLargestRecord, &read, nullptr)) return {};
  bytes.resize(read);
  return bytes;
}

// The names in the open folder: files and real folders, never a reparse
// point.
std::vector<BinEntry> ListBin(HANDLE folder) {
  std::vector<BinEntry> entries;
  std::vector<ListedEntry> listed;
  if (!ListFolder(folder, listed)) return entries;
  for (ListedEntry& entry : listed) {
    // Links are listed as links: never followed, and their items keep
    // their records.
    entries.push_back({std::move(entry.name), (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                       (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
  }
  return entries;
}

// The user's bin folder of a drive, open for listing: only a real folder
// where its path says, in a real $Recycle.Bin. NotFound when the drive has
// none (nothing was ever deleted there): an empty bin.
handles::File OpenBin(const std::wstring& root, const std::wstring& folder, Reason& reason) {
  const auto open = [&](const std::wstring& path) {
    handles::File handle(
        CreateFileW(VerbatimPath(path).c_str(),
                    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle.valid()) {
      const DWORD error = GetLastError();
      reason = error == ERROR_PATH_NOT_FOUND ? Reason::NotFound : ReasonFromError(error);
    } else if (!IsFolderAt(handle, path)) {
      reason = Reason::Link;
      handle.reset();
    }
    return handle;
  };
  if (!open(root + L"$Recycle.Bin").valid()) return {};
  return open(folder);
}

}  // namespace

std::wstring CurrentUserSid() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
  const handles::Kernel token(raw);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 || !GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return {};
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text))
    return {};
  std::wstring sid = text;
  LocalFree(text);
  return sid;
}

std::wstring UserBinFolder(const std::wstring& root, const std::wstring& sid) {
  return root + L"$Recycle.Bin\\" + sid;
}

std::vector<BinItem> ReadRecycleBins(const std::vector<std::wstring>& roots,
                                     const std::wstring& sid, std::vector<BinOutcome>* unread) {
  const auto cannotRead = [&](const std::wstring& where, const std::wstring& why) {
    if (unread) unread->push_back({where, false, why});
  };
  std::vector<std::wstring> drives = roots;
  if (drives.empty()) {
    const DWORD present = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
      const std::wstring root = std::wstring(1, wchar_t(L'A' + i)) + L":\\";
      const UINT type = (present & (1u << i)) ? GetDriveTypeW(root.c_str()) : DRIVE_NO_ROOT_DIR;
      if (type == DRIVE_FIXED || type == DRIVE_REMOVABLE) drives.push_back(root);
    }
  }
  std::vector<BinItem> items;
  if (sid.empty()) return items;
  for (const std::wstring& root : drives) {
    // A drive the user named is answered for; of all drives, only the
    // fixed and removable ones are asked.
    const DriveFacts drive = QueryDrive(root);
    if (const std::wstring why = RefuseBinDrive(drive, false); !why.empty()) {
      cannotRead(root.substr(0, 2), why);
      continue;
    }
    const std::wstring folder = UserBinFolder(root, sid);
    Reason reason = Reason::None;
    const handles::File bin = OpenBin(root, folder, reason);
    if (!bin.valid()) {
      if (reason != Reason::NotFound) cannotRead(folder, ReasonText(reason));
      continue;
    }
    const std::vector<BinEntry> entries = ListBin(bin);
    std::vector<std::string> records;
    for (const BinEntry& entry : entries) {
      const bool record = !entry.folder && entry.name.size() > 2 && entry.name[0] == L'$' &&
                          (entry.name[1] == L'I' || entry.name[1] == L'i') && IsOneName(entry.name);
      records.push_back(record ? ReadRecord(bin, entry.name) : std::string());
    }
    std::vector<BinItem> paired = PairBinItems(folder, entries, records);
    if (const std::wstring why = RefuseBinDrive(drive, !paired.empty()); !why.empty()) {
      cannotRead(root.substr(0, 2), why);
      continue;
    }
    for (BinItem& item : paired) {
      if (item.folder && item.refused.empty() && !IsOwnFolder(item.data)) {
        // A link the platform does not mark (a Unix link under Wine).
        item.refused = ReasonText(Reason::Link);
      } else if (item.folder && item.refused.empty()) {
        // A deleted folder as /s takes it: its files, then itself. One not
        // read whole keeps its record.
        std::vector<WalkNote> notes;
        item.files =
            ExpandFolders({item.data}, true, notes, false, nullptr, nullptr, &item.folders);
        if (!notes.empty()) {
          item.refused = notes.front().path + L"：" + notes.front().reason;
          item.files.clear();
          item.folders.clear();
        }
      }
      items.push_back(std::move(item));
    }
  }
  return items;
}

void NotifyRecycleBinChanged(const std::vector<BinItem>& items) {
  std::set<std::wstring> folders;
  for (const BinItem& item : items) {
    const std::wstring& any = item.data.empty() ? item.record : item.data;
    if (!any.empty()) folders.insert(any.substr(0, any.find_last_of(L'\\')));
  }
  for (const std::wstring& folder : folders)
    SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHW, folder.c_str(), nullptr);
  using UpdateIcon = void(WINAPI*)();
  if (const auto update = reinterpret_cast<UpdateIcon>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"shell32.dll"), "SHUpdateRecycleBinIcon"))))
    update();
}

}  // namespace shred
