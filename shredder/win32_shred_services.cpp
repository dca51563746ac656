#include "shredder/win32_shred_services.h"

namespace shred {

namespace {

// Shredded files always read in GBK, whatever the user's ANSI code page.
constexpr UINT kNoticeCodePage = 936;

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
  if (!regular || !SetEndOfFile(file)) {
    CloseHandle(file);
    return false;
  }
  channel_ = file;
  return true;
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
  CloseHandle(channel_);
  channel_ = INVALID_HANDLE_VALUE;
}

bool Win32ShredServices::RemoveFile(const std::wstring& path) {
  if (IsUnsafeShredPath(path)) return false;
  // DeleteFileW removes a file or a link to a file and refuses read-only
  // files and folders. A junction or a link to a folder goes too; a real
  // folder stays.
  if (DeleteFileW(path.c_str())) return true;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && RemoveDirectoryW(path.c_str());
}

bool Win32ShredServices::PathExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace shred
