#include "engine/win32/folder_handle.h"

namespace shred {

namespace {

// The native calls' own structures, as ntdll takes them.
struct Text {
  USHORT length, capacity;
  const wchar_t* buffer;
};
struct Attributes {
  ULONG length;
  HANDLE root;
  Text* name;
  ULONG attributes;
  void* security;
  void* quality;
};
struct IoStatus {
  void* status;
  ULONG_PTR information;
};
// FILE_DIRECTORY_INFORMATION.
struct DirectoryEntry {
  ULONG next;
  ULONG index;
  LARGE_INTEGER created, accessed, written, changed, size, allocation;
  ULONG attributes;
  ULONG nameBytes;
  WCHAR name[1];
};

constexpr ULONG kFileOpen = 1;
constexpr ULONG kFileCreate = 2;
constexpr ULONG kSynchronousIo = 0x20;         // FILE_SYNCHRONOUS_IO_NONALERT
constexpr ULONG kOpenReparsePoint = 0x200000;  // FILE_OPEN_REPARSE_POINT
constexpr ULONG kCaseInsensitive = 0x40;       // OBJ_CASE_INSENSITIVE, as CreateFileW asks
constexpr int kDirectoryInformation = 1;       // FileDirectoryInformation
constexpr LONG kNoMoreFiles = LONG(0x80000006);

using CreateFileCall = LONG(WINAPI*)(HANDLE*, ACCESS_MASK, Attributes*, IoStatus*, LARGE_INTEGER*,
                                     ULONG, ULONG, ULONG, ULONG, void*, ULONG);
using QueryDirectoryCall = LONG(WINAPI*)(HANDLE, HANDLE, void*, void*, IoStatus*, void*, ULONG, int,
                                         BOOLEAN, Text*, BOOLEAN);
using ToErrorCall = ULONG(WINAPI*)(LONG);

template <typename Call>
Call FromNtdll(const char* name) {
  static const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(ntdll, name)));
}

// Sets the last error from a native status; false for a failure.
bool Succeeded(LONG status) {
  if (status >= 0) return true;
  static const auto toError = FromNtdll<ToErrorCall>("RtlNtStatusToDosError");
  SetLastError(toError ? toError(status) : ERROR_GEN_FAILURE);
  return false;
}

}  // namespace

namespace {

// The one way an entry of an open folder is reached: relative to it, by a
// name of one component.
handles::File CreateInFolder(HANDLE folder, const std::wstring& name, ACCESS_MASK access,
                             ULONG share, ULONG disposition, ULONG options, ULONG attributes) {
  static const auto create = FromNtdll<CreateFileCall>("NtCreateFile");
  if (!create) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return {};
  }
  if (name.empty() || name.size() > 32767 || name.find_first_of(L"\\/") != std::wstring::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return {};
  }
  Text text{USHORT(name.size() * sizeof(wchar_t)), USHORT(name.size() * sizeof(wchar_t)),
            name.c_str()};
  Attributes objectAttributes{sizeof(Attributes), folder,  &text,
                              kCaseInsensitive,   nullptr, nullptr};
  IoStatus io{};
  HANDLE handle = nullptr;
  const LONG status = create(&handle, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES,
                             &objectAttributes, &io, nullptr, attributes, share, disposition,
                             options | kSynchronousIo | kOpenReparsePoint, nullptr, 0);
  if (!Succeeded(status)) return {};
  return handles::File(handle);
}

}  // namespace

handles::File OpenInFolder(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share,
                           ULONG options) {
  return CreateInFolder(folder, name, access, share, kFileOpen, options, 0);
}

handles::File MakeInFolder(HANDLE folder, const std::wstring& name, ACCESS_MASK access,
                           ULONG options) {
  return CreateInFolder(folder, name, access, 0, kFileCreate, options | kNonDirectory,
                        FILE_ATTRIBUTE_NORMAL);
}

bool ListFolder(HANDLE folder, std::vector<ListedEntry>& entries) {
  static const auto query = FromNtdll<QueryDirectoryCall>("NtQueryDirectoryFile");
  if (!query) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return false;
  }
  // Aligned for the entries' 8-byte fields; a few hundred entries a call.
  static thread_local std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));
  const ULONG bytes = ULONG(buffer.size() * sizeof(LONGLONG));
  for (bool first = true;; first = false) {
    IoStatus io{};
    const LONG status = query(folder, nullptr, nullptr, nullptr, &io, buffer.data(), bytes,
                              kDirectoryInformation, FALSE, nullptr, first);
    if (status == kNoMoreFiles) return true;
    if (!Succeeded(status)) return false;
    if (io.information == 0) return true;
    const BYTE* at = reinterpret_cast<const BYTE*>(buffer.data());
    for (;;) {
      const auto* entry = reinterpret_cast<const DirectoryEntry*>(at);
      std::wstring name(entry->name, entry->nameBytes / sizeof(WCHAR));
      if (name != L"." && name != L"..")
        entries.push_back({std::move(name), entry->attributes, entry->size.QuadPart});
      if (entry->next == 0) break;
      at += entry->next;
    }
  }
}

}  // namespace shred
