// A fresh folder under the temporary folder, removed with its contents at the
// end of the test. Files are written and read as raw bytes.
#pragma once

#include <windows.h>

#include <string>

namespace testing_util {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

bool WriteBytes(const std::wstring& path, const std::string& bytes);
// The file's bytes, or "<missing>" when it cannot be read.
std::string ReadBytes(const std::wstring& path);
bool Exists(const std::wstring& path);
void RemoveTree(const std::wstring& path);

// Under Wine: the Linux path of a Windows path, empty elsewhere.
std::string UnixPath(const std::wstring& path);
// Under Wine: the path through the root drive Z:, links resolved (the
// prefix's drive C: is itself a link); empty elsewhere.
std::wstring ThroughRootDrive(const std::wstring& path);
// Under Wine: runs a command in the Linux shell, as another program on the
// machine would act, and waits up to five seconds for it; false when no
// Linux shell can be reached (not Wine) or it did not finish.
bool RunUnixShell(const std::string& command);
// The same, with the command's exit status (-1 when it did not run) and what
// it printed.
int RunUnixCommand(const std::string& command, std::string& output);
// Under Wine: writes a file from the Linux side into the folder, under a
// name that Windows cannot make ("sub\\x.txt", "..\\x": each backslash is a
// character of the one name); false when it could not.
bool WriteUnixName(const std::wstring& folder, const std::string& name, const std::string& bytes);

}  // namespace testing_util
