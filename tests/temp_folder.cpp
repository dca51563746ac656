#include "tests/temp_folder.h"

#include <cstdlib>

namespace testing_util {

TempFolder::TempFolder() {
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  static unsigned counter = 0;
  for (;;) {
    path_ = std::wstring(base) + L"tarvello-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter);
    if (CreateDirectoryW(path_.c_str(), nullptr)) break;
  }
}

TempFolder::~TempFolder() { RemoveTree(path_); }

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(f, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(f);
  return ok && written == bytes.size();
}

std::string ReadBytes(const std::wstring& path) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(f);
  return bytes;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      // The verbatim form reaches names Win32 would rewrite ("dot.", "sp ").
      const std::wstring child =
          (path.rfind(L"\\\\", 0) == 0 ? L"" : L"\\\\?\\") + path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        RemoveTree(child);
      } else if (!DeleteFileW(child.c_str())) {
        RemoveDirectoryW(child.c_str());
      }
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

std::string UnixPath(const std::wstring& path) {
  using ToUnix = char*(CDECL*)(const wchar_t*);
  const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
  if (!toUnix) return {};
  char* unix = toUnix(path.c_str());
  if (!unix) return {};
  std::string out = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return out;
}

namespace {

// A fresh name in the temporary folder: "tarvello-KIND-process-count".
std::wstring TempName(const wchar_t* kind) {
  static unsigned counter = 0;
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  return std::wstring(base) + L"tarvello-" + kind + L"-" + std::to_wstring(GetCurrentProcessId()) +
         L"-" + std::to_wstring(++counter);
}

}  // namespace

bool RunUnixShell(const std::string& command) {
  // Wine starts a Linux program it is given, but hands back no handle to
  // wait on: the command leaves a mark when it is done.
  const std::wstring mark = TempName(L"shell");
  const std::string unixMark = UnixPath(mark);
  if (unixMark.empty() || GetFileAttributesW(L"Z:\\bin\\sh") == INVALID_FILE_ATTRIBUTES)
    return false;
  std::string script = command + "; touch '" + unixMark + "'";
  std::wstring line = L"Z:\\bin\\sh -c \"";
  for (char c : script) {
    if (c == '"' || c == '\\') line += L'\\';
    line += wchar_t(static_cast<unsigned char>(c));
  }
  line += L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &process)) {
    return false;
  }
  if (process.hProcess) CloseHandle(process.hProcess);
  if (process.hThread) CloseHandle(process.hThread);
  for (int i = 0; i < 500; ++i) {
    if (GetFileAttributesW(mark.c_str()) != INVALID_FILE_ATTRIBUTES) {
      DeleteFileW(mark.c_str());
      return true;
    }
    Sleep(10);
  }
  return false;
}

int RunUnixCommand(const std::string& command, std::string& output) {
  const std::wstring out = TempName(L"out");
  const std::string unixOut = UnixPath(out);
  if (unixOut.empty() || !RunUnixShell("(" + command + ") > '" + unixOut + "' 2>&1; echo $? > '" +
                                       unixOut + ".status'"))
    return -1;
  output = ReadBytes(out);
  const std::string status = ReadBytes(out + L".status");
  DeleteFileW(out.c_str());
  DeleteFileW((out + L".status").c_str());
  return status == "<missing>" ? -1 : atoi(status.c_str());
}

bool WriteUnixName(const std::wstring& folder, const std::string& name, const std::string& bytes) {
  const std::string unix = UnixPath(folder);
  if (unix.empty()) return false;
  // The command line Wine hands over doubles backslashes: the shell makes
  // them itself, from their code. Each part of the name is quoted as it is.
  std::string word = "'" + unix + "/'";
  size_t at = 0;
  for (size_t end; (end = name.find('\\', at)) != name.npos; at = end + 1)
    word += "'" + name.substr(at, end - at) + "'\"$b\"";
  word += "'" + name.substr(at) + "'";
  std::string output;
  return RunUnixCommand(
             "b=$(awk 'BEGIN{printf \"%c\", 92}'); printf '%s' '" + bytes + "' > " + word,
             output) == 0;
}

std::wstring ThroughRootDrive(const std::wstring& path) {
  const std::string unix = UnixPath(path);
  std::string real;
  if (unix.empty() || RunUnixCommand("readlink -f '" + unix + "'", real) != 0) return {};
  while (!real.empty() && (real.back() == '\n' || real.back() == '\r')) real.pop_back();
  std::wstring out = L"Z:";
  for (char c : real) out += c == '/' ? L'\\' : wchar_t(static_cast<unsigned char>(c));
  return out;
}

}  // namespace testing_util
