#include "shredder/win32_shred_services.h"

#include <bcrypt.h>
#include <winioctl.h>

#include <algorithm>

namespace shred {

namespace {

// Shredded files always read in GBK, whatever the user's ANSI code page.
constexpr UINT kNoticeCodePage = 936;

constexpr size_t kRandomTileBytes = 256u << 10;

// Contents that cannot be overwritten in place: compressed and encrypted
// files store other bytes than they show, so they are only truncated.
constexpr DWORD kTruncateOnly = FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_ENCRYPTED;

struct Range {
  int64_t offset, length;
};

// The parts of the file that hold data on the disk: all of it, or for a
// sparse file only its allocated ranges (none when they cannot be asked for,
// and a sparse file that cannot say is only truncated, never filled up).
std::vector<Range> AllocatedRanges(HANDLE file, DWORD attributes, int64_t size) {
  if (!(attributes & FILE_ATTRIBUTE_SPARSE_FILE)) return {{0, size}};
  std::vector<Range> ranges;
  FILE_ALLOCATED_RANGE_BUFFER query{};
  query.Length.QuadPart = size;
  FILE_ALLOCATED_RANGE_BUFFER found[64];
  for (;;) {
    DWORD bytes = 0;
    const BOOL ok = DeviceIoControl(file, FSCTL_QUERY_ALLOCATED_RANGES, &query, sizeof query, found,
                                    sizeof found, &bytes, nullptr);
    if (!ok && GetLastError() != ERROR_MORE_DATA) return {};
    const size_t n = bytes / sizeof found[0];
    for (size_t i = 0; i < n; ++i) {
      ranges.push_back({found[i].FileOffset.QuadPart, found[i].Length.QuadPart});
    }
    if (ok || n == 0) return ranges;
    const int64_t next = found[n - 1].FileOffset.QuadPart + found[n - 1].Length.QuadPart;
    query.FileOffset.QuadPart = next;
    query.Length.QuadPart = size - next;
  }
}

// A random name as long as the file's own name, in the same folder, that
// nothing holds yet; empty when none was found.
std::wstring RandomSibling(const std::wstring& path) {
  const size_t nameStart = path.find_last_of(L"\\/:") + 1;  // npos + 1 == 0
  const size_t length = path.size() - nameStart;
  if (length == 0) return {};
  static const wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::vector<BYTE> noise(length);
    if (BCryptGenRandom(nullptr, noise.data(), ULONG(length), BCRYPT_USE_SYSTEM_PREFERRED_RNG)) {
      return {};
    }
    std::wstring candidate = path.substr(0, nameStart);
    for (BYTE b : noise) candidate += kLetters[b % 36];
    if (GetFileAttributesW(candidate.c_str()) == INVALID_FILE_ATTRIBUTES &&
        GetLastError() == ERROR_FILE_NOT_FOUND) {
      return candidate;
    }
  }
  return {};
}

}  // namespace

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

bool Win32ShredServices::ShowMessage(const std::wstring& text, const std::wstring& title,
                                     MessageKind kind) {
  UINT type = MB_OK;
  if (kind == MessageKind::Confirm) type = MB_OKCANCEL | MB_ICONQUESTION;
  if (kind == MessageKind::Warning) type = MB_OK | MB_ICONWARNING;
  return MessageBoxW(owner_, text.c_str(), title.c_str(), type) == IDOK;
}

bool Win32ShredServices::OpenChannel(const std::wstring& path) {
  CloseChannel();
  if (IsUnsafeShredPath(path)) return false;
  // Open the name itself, never what a link or junction points to, and do not
  // truncate before we know the handle is a regular file on a disk.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // (GetFileInformationByHandle would also answer, at ten times the cost
  // under Wine, where it asks for the volume too.)
  FILE_ATTRIBUTE_TAG_INFO info{};
  const bool regular =
      GetFileType(file) == FILE_TYPE_DISK &&
      GetFileInformationByHandleEx(file, FileAttributeTagInfo, &info, sizeof info) &&
      !(info.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
      // Windows refuses write access to a read-only file by itself; Wine run
      // by root does not, so the attribute is checked here as well.
      !(info.FileAttributes & FILE_ATTRIBUTE_READONLY);
  if (!regular) {
    CloseHandle(file);
    return false;
  }
  DestroyContents(file, info.FileAttributes);
  BeforeTruncate(file);
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN) || !SetEndOfFile(file)) {
    CloseHandle(file);
    return false;
  }
  channel_ = file;
  return true;
}

void Win32ShredServices::DestroyContents(HANDLE file, DWORD attributes) {
  LARGE_INTEGER size{};
  if ((attributes & kTruncateOnly) || !GetFileSizeEx(file, &size) || size.QuadPart == 0) return;
  // A generator-filled tile repeated through the buffer; Refresh makes every
  // 4 KiB block of every pass unique.
  const size_t fill = size_t(std::min<int64_t>(size.QuadPart, int64_t(kRandomTileBytes)));
  random_.resize(kOverwriteBufferBytes);
  BCryptGenRandom(nullptr, random_.data(), ULONG(fill), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  for (size_t at = kRandomTileBytes; at < random_.size(); at += kRandomTileBytes) {
    memcpy(random_.data() + at, random_.data(), kRandomTileBytes);
  }
  uint64_t done = 0;
  for (const Range& range : AllocatedRanges(file, attributes, size.QuadPart)) {
    LARGE_INTEGER at;
    at.QuadPart = range.offset;
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) return;
    for (int64_t left = range.length; left > 0;) {
      const DWORD chunk = DWORD(std::min<int64_t>(left, int64_t(random_.size())));
      // The generator can be slow (about 30 MiB/s under Wine): each pass
      // takes fresh bytes only at the head of each 4 KiB block, enough that
      // no two blocks on the disk are alike and a deduplicating drive must
      // store every one.
      Refresh(chunk);
      DWORD written = 0;
      if (!WriteFile(file, random_.data(), chunk, &written, nullptr) || written != chunk) return;
      left -= chunk;
      done += chunk;
      if (onBytesOverwritten) onBytesOverwritten(done);
    }
  }
  // The random bytes reach the disk before truncation frees the clusters.
  FlushFileBuffers(file);
}

void Win32ShredServices::Refresh(DWORD bytes) {
  constexpr size_t kBlock = 4096, kFresh = 16;
  const size_t blocks = (bytes + kBlock - 1) / kBlock;
  BYTE fresh[kOverwriteBufferBytes / kBlock * kFresh];
  BCryptGenRandom(nullptr, fresh, ULONG(blocks * kFresh), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  for (size_t b = 0; b < blocks; ++b) {
    memcpy(random_.data() + b * kBlock, fresh + b * kFresh,
           std::min(kFresh, size_t(bytes) - b * kBlock));
  }
}

bool Win32ShredServices::PrintLine(const std::wstring& text) {
  if (channel_ == INVALID_HANDLE_VALUE) return false;
  pending_ += EncodeLine(text);
  return true;
}

void Win32ShredServices::CloseChannel() {
  if (channel_ == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  if (!pending_.empty())
    WriteFile(channel_, pending_.data(), DWORD(pending_.size()), &written, nullptr);
  pending_.clear();
  FlushFileBuffers(channel_);
  CloseHandle(channel_);
  channel_ = INVALID_HANDLE_VALUE;
}

bool Win32ShredServices::RemoveFile(const std::wstring& path) {
  if (IsUnsafeShredPath(path)) return false;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  const bool folder = attributes & FILE_ATTRIBUTE_DIRECTORY;
  const bool link = attributes & FILE_ATTRIBUTE_REPARSE_POINT;
  if (folder && !link) return false;  // a real folder is neither renamed nor removed

  // Under a random name the folder no longer shows the file's; a file that
  // then cannot be deleted goes back to its own name, where the user finds it.
  const std::wstring hidden = RandomSibling(path);
  const bool renamed = !hidden.empty() && MoveFileExW(path.c_str(), hidden.c_str(), 0);
  const std::wstring& current = renamed ? hidden : path;
  // DeleteFileW removes a file or a link to a file and refuses read-only
  // files; a junction or a link to a folder goes with RemoveDirectoryW.
  if (folder ? RemoveDirectoryW(current.c_str()) : DeleteFileW(current.c_str())) return true;
  if (renamed) MoveFileExW(hidden.c_str(), path.c_str(), 0);
  return false;
}

bool Win32ShredServices::PathExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace shred
