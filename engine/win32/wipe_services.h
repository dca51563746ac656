// The free-space wipe's services on Windows: the drive's free space, the
// wipe's own folder and its files, written without the cache.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/free_space_wipe.h"

namespace shred {

class Win32WipeServices : public WipeServices {
 public:
  Win32WipeServices();  // allocates nothing until the first write
  ~Win32WipeServices() override;
  Win32WipeServices(const Win32WipeServices&) = delete;
  Win32WipeServices& operator=(const Win32WipeServices&) = delete;

  bool FreeSpace(const std::wstring& root, uint64_t& freeBytes, uint64_t& volumeFreeBytes,
                 uint64_t& clusterBytes) override;
  Reason OpenFolder(const std::wstring& path, FolderId& folder) override;
  Reason MakeFolder(const std::wstring& path, FolderId& folder) override;
  Reason RemoveFolder(FolderId folder) override;
  void CloseFolder(FolderId folder) override;
  std::vector<std::wstring> FilesIn(FolderId folder) override;
  Reason CreateFill(FolderId folder, const std::wstring& name, bool direct, FileId& file) override;
  Reason AppendRandom(FileId file, uint64_t length, uint64_t& written) override;
  Reason Flush(FileId file) override;
  void Close(FileId file) override;
  Reason RemoveFile(FolderId folder, const std::wstring& name) override;
  WipeFolder CheckFolder(FolderId folder) override;
  Reason PlaceMarker(FolderId folder, FileId& marker) override;
  uint32_t LastErrorCode() override;

 private:
  BYTE* buffer_ = nullptr;  // kWipeBlockBytes, page-aligned for unbuffered writes
  size_t filled_ = 0;       // how much of it holds random bytes
  uint64_t state_[4] = {};  // the generator's state, keyed by the system's generator
};

// What the platform says of a drive ("X:\\").
DriveFacts QueryDrive(const std::wstring& root);
// Removes what killed wipes left in their folders on the local drives: only
// their own files, only from folders with their marker, never from one a
// wipe is working in.
void RemoveWipeLeftovers();

}  // namespace shred
