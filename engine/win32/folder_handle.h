// A folder as an open handle and the names in it: each entry is opened
// relative to the folder's handle by the one name its listing gave, never
// by a path built from that name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/win32/handle_owner.h"

namespace shred {

// What NtCreateFile is told (the values of the platform's FILE_ constants).
inline constexpr ULONG kDirectoryOnly = 0x1;     // FILE_DIRECTORY_FILE
inline constexpr ULONG kNonDirectory = 0x40;     // FILE_NON_DIRECTORY_FILE
inline constexpr ULONG kNoBuffering = 0x8;       // FILE_NO_INTERMEDIATE_BUFFERING
inline constexpr ULONG kDeleteOnClose = 0x1000;  // FILE_DELETE_ON_CLOSE

// Opens the entry `name` of the open folder relative to it (the name is
// never parsed into a path), the entry itself and never what a link at it
// leads to; the platform's error is the calling thread's last error when it
// fails. A name that is not one component is refused, ERROR_INVALID_NAME.
handles::File OpenInFolder(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share,
                           ULONG options);

// Makes the file `name` in the open folder, new (never an existing one),
// relative to it, and opens it shared with no one; as OpenInFolder fails.
handles::File MakeInFolder(HANDLE folder, const std::wstring& name, ACCESS_MASK access,
                           ULONG options);

// One entry of a folder as its listing gives it.
struct ListedEntry {
  std::wstring name;
  uint32_t attributes = 0;
  int64_t size = 0;  // its length as the folder records it
};

// Every entry of the open folder ("." and ".." left out), in the order the
// volume keeps them, read through the handle (opened with
// FILE_LIST_DIRECTORY). False, with the last error set, when it cannot be
// read.
bool ListFolder(HANDLE folder, std::vector<ListedEntry>& entries);

}  // namespace shred
