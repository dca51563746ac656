// Shredding from where the files are: paths handed over by other processes,
// the Explorer entries, folders, the console companion and long paths, with
// the real programs under Wine.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/explorer_entries.h"
#include "engine/folder_walk.h"
#include "engine/free_space_wipe.h"
#include "engine/shred_record.h"
#include "engine/win32/recent_traces.h"
#include "engine/win32/record.h"
#include "engine/win32/recycle_bin.h"
#include "engine/win32/shred_services.h"
#include "tests/box_answerer.h"
#include "tests/list_items.h"
#include "tests/raw_disk.h"
#include "tests/recent_docs_value.h"
#include "tests/screenshot.h"
#include "tests/temp_folder.h"
#include "window/file_list.h"
#include "window/folder_list.h"
#include "window/main_window.h"

namespace {

using testing_util::Exists;
using testing_util::ListItems;
using testing_util::ReadBytes;
using testing_util::RemoveTree;
using testing_util::TempFolder;
using testing_util::WriteBytes;

std::wstring ExeFolder() {
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring path = exe;
  return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

struct Finished {
  DWORD status = 0;
  std::wstring output;  // what it printed, decoded from the OEM code page
};

// Starts a program with its standard output and error going to a file.
PROCESS_INFORMATION Start(const std::wstring& program, const std::vector<std::wstring>& arguments,
                          HANDLE output) {
  std::wstring commandLine = Quoted(ExeFolder() + L"\\" + program);
  for (const auto& a : arguments) commandLine += L" " + Quoted(a);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = output;
  PROCESS_INFORMATION process{};
  EXPECT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                             nullptr, nullptr, &startup, &process));
  return process;
}

Finished RunProgram(const std::wstring& program, const std::vector<std::wstring>& arguments) {
  TempFolder scratch;
  const std::wstring log = scratch / L"output.txt";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE output =
      CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  PROCESS_INFORMATION process = Start(program, arguments, output);
  CloseHandle(output);
  Finished done;
  if (!process.hProcess) return done;
  WaitForSingleObject(process.hProcess, 120000);
  GetExitCodeProcess(process.hProcess, &done.status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  const std::string bytes = ReadBytes(log);
  done.output.resize(bytes.size());
  // Redirected output comes in the console's code page, the OEM one here.
  done.output.resize(size_t(MultiByteToWideChar(GetOEMCP(), 0, bytes.data(), int(bytes.size()),
                                                done.output.data(), int(done.output.size()))));
  return done;
}

bool Contains(const std::wstring& text, const std::wstring& part) {
  return text.find(part) != std::wstring::npos;
}

// A path of about `length` characters in `dir`, its folders made.
std::wstring LongPath(const TempFolder& dir, size_t length) {
  std::wstring path = dir.path();
  while (path.size() + 60 < length) {
    path += L"\\" + std::wstring(50, L'd');
    CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr);
  }
  return path + L"\\" + std::wstring(length - path.size() - 1, L'f');
}

class OpenWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GetCurrentDirectoryW(MAX_PATH, previous_);
    SetCurrentDirectoryW(dir.path().c_str());
    form = form1::CreateForm1(GetModuleHandleW(nullptr));
    ASSERT_NE(form, nullptr);
    form1::ShowForm1(form);
  }
  void TearDown() override {
    DestroyWindow(form);
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    SetCurrentDirectoryW(previous_);
  }
  TempFolder dir;
  HWND form = nullptr;
  wchar_t previous_[MAX_PATH] = {};
};

TEST_F(OpenWindowTest, FiftyPathsFromFiveProcessesStartedTogetherArriveOnceEach) {
  std::set<std::wstring> expected;
  std::vector<HANDLE> processes;
  HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  for (int p = 0; p < 5; ++p) {
    std::vector<std::wstring> paths;
    for (int i = 0; i < 10; ++i) {
      paths.push_back(dir / (L"f" + std::to_wstring(p) + L"-" + std::to_wstring(i) + L".txt"));
      ASSERT_TRUE(WriteBytes(paths.back(), "x"));
      expected.insert(paths.back());
    }
    PROCESS_INFORMATION started = Start(L"tarvello.exe", paths, nul);
    ASSERT_NE(started.hProcess, nullptr);
    CloseHandle(started.hThread);
    processes.push_back(started.hProcess);
  }
  // This window takes the paths while the five wait on it.
  for (size_t left = processes.size(); left > 0;) {
    const DWORD woke = MsgWaitForMultipleObjects(DWORD(processes.size()), processes.data(), FALSE,
                                                 60000, QS_ALLINPUT);
    ASSERT_NE(woke, WAIT_TIMEOUT);
    if (woke < WAIT_OBJECT_0 + processes.size()) {
      HANDLE done = processes[woke - WAIT_OBJECT_0];
      DWORD status = 99;
      GetExitCodeProcess(done, &status);
      EXPECT_EQ(status, 0u) << "the window took the paths";
      CloseHandle(done);
      processes.erase(processes.begin() + (woke - WAIT_OBJECT_0));
      --left;
    }
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  }
  CloseHandle(nul);
  const auto items = ListItems(form1::Form1Control(form, L"List1"));
  EXPECT_EQ(items.size(), 50u);
  EXPECT_EQ(std::set<std::wstring>(items.begin(), items.end()), expected);
}

TEST_F(OpenWindowTest, HandedFoldersBringTheirFilesAndALongPathIsShredded) {
  const std::wstring folder = dir / L"tree";
  CreateDirectoryW(folder.c_str(), nullptr);
  CreateDirectoryW((folder + L"\\sub").c_str(), nullptr);
  for (const wchar_t* name : {L"b.txt", L"A.txt", L"sub\\c.txt"}) {
    ASSERT_TRUE(WriteBytes(folder + L"\\" + name, "x"));
  }
  const std::wstring longPath = LongPath(dir, 300);
  ASSERT_TRUE(WriteBytes(L"\\\\?\\" + longPath, "long"));
  form1::AddPathsToForm1(form, {folder, longPath});
  EXPECT_EQ(ListItems(form1::Form1Control(form, L"List1")),
            (std::vector<std::wstring>{folder + L"\\A.txt", folder + L"\\b.txt",
                                       folder + L"\\sub\\c.txt", longPath}));
  testing_util::BoxAnswerer boxes({{L"警告", IDOK}, {L"提示", IDOK}});
  SendMessageW(form1::Form1Control(form, L"Command2"), BM_CLICK, 0, 0);
  const auto& seen = boxes.Finish();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].text, L"已选文件粉碎完成！");
  EXPECT_FALSE(Exists(L"\\\\?\\" + longPath));
  EXPECT_FALSE(Exists(folder)) << "a folder handed over whole goes too, with its subfolders";
  EXPECT_TRUE(Exists(dir.path()));
}

TEST_F(OpenWindowTest, PathsArrivingDuringARunWaitForItsEnd) {
  const std::wstring listed = dir / L"listed.txt", late = dir / L"late.txt";
  ASSERT_TRUE(WriteBytes(listed, "x"));
  ASSERT_TRUE(WriteBytes(late, "late"));
  form1::AddPathsToForm1(form, {listed});
  // Another start hands a path over while the confirmation is open.
  std::thread user([&] {
    for (int i = 0; i < 3000; ++i) {
      if (HWND box = testing_util::FindDialogBox(GetCurrentProcessId(), L"警告")) {
        EXPECT_TRUE(form1::SendPathsToForm1(form, {late}));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return;
      }
      Sleep(5);
    }
    ADD_FAILURE() << "no confirmation";
  });
  testing_util::BoxAnswerer done({{L"提示", IDOK}});
  SendMessageW(form1::Form1Control(form, L"Command2"), BM_CLICK, 0, 0);
  user.join();
  EXPECT_EQ(done.Finish().size(), 1u);
  EXPECT_FALSE(Exists(listed));
  EXPECT_EQ(ReadBytes(late), "late") << "not part of what the user confirmed";
  EXPECT_EQ(ListItems(form1::Form1Control(form, L"List1")), std::vector<std::wstring>{late});
}

TEST(FolderWalk, FilesInNameOrderDepthFirstAndFoldersOnlyWhenAsked) {
  TempFolder dir;
  for (const wchar_t* sub : {L"z", L"M", L"M\\inner"})
    CreateDirectoryW((dir / sub).c_str(), nullptr);
  for (const wchar_t* name : {L"b.txt", L"A.txt", L"c.log", L"M\\x.txt", L"M\\inner\\y.txt",
                              L"M\\inner\\q.log", L"z\\w.txt"}) {
    ASSERT_TRUE(WriteBytes(dir / name, "x"));
  }
  const std::wstring file = dir / L"b.txt";
  TempFolder other;   // stand-ins for the system's folders
  TempFolder quirks;  // names whose short names a pattern would match
  CreateDirectoryW((quirks / L"sub").c_str(), nullptr);
  for (const wchar_t* name : {L"report.docx", L"index.html", L"notes.txt1", L"b.txtx", L"f.txt~",
                              L"n.txt", L"sub\\s.txt", L"sub\\s.txt1"}) {
    ASSERT_TRUE(WriteBytes(quirks / name, "x"));
  }
  // Names made on the Linux side that no Windows path reaches: joined to
  // their folder they would name other files ("sub\\secret.txt" the
  // subfolder's, "..\\up.txt" the parent's), past 260 characters too, where
  // Wine gives no final path to check.
  TempFolder odd, distant;
  const std::wstring longFile = LongPath(distant, 330),
                     deep = longFile.substr(0, longFile.rfind(L'\\'));
  CreateDirectoryW((odd / L"sub").c_str(), nullptr);
  for (const wchar_t* name : {L"n.txt", L"sub\\secret.txt", L"up.txt"})
    ASSERT_TRUE(WriteBytes(odd / name, "x"));
  for (const char* name : {"..\\up.txt", "sub\\secret.txt", "x\\notes.doc"})
    ASSERT_TRUE(testing_util::WriteUnixName(odd.path(), name, "odd")) << name;
  ASSERT_TRUE(testing_util::WriteUnixName(deep, "..\\up.txt", "odd"));
  ASSERT_TRUE(WriteBytes(L"\\\\?\\" + deep.substr(0, deep.rfind(L'\\')) + L"\\up.txt", "x"));
  const auto invalid = [](const std::wstring& folder, const wchar_t* name) {
    return shred::WalkNote{folder, std::wstring(L"文件名无效（") + name + L"）"};
  };
  using Paths = std::vector<std::wstring>;
  using Notes = std::vector<shred::WalkNote>;
  const struct {
    const char* name;
    Paths given;
    bool recurse, wildcards;
    Paths expected;
    Notes notes;
  } rows[] = {
      {"a folder, depth first in name order",
       {file, dir.path()},
       true,
       false,
       {file, dir / L"A.txt", dir / L"b.txt", dir / L"c.log", dir / L"M\\inner\\q.log",
        dir / L"M\\inner\\y.txt", dir / L"M\\x.txt", dir / L"z\\w.txt"},
       {}},
      {"not without /s", {dir.path()}, false, false, {dir.path()}, {}},
      {"with its trailing backslash", {dir.path() + L"\\"}, false, true, {dir.path() + L"\\"}, {}},
      {"a pattern in one folder", {dir / L"*.log"}, false, true, {dir / L"c.log"}, {}},
      {"a pattern with /s: its files, then the subfolders'",
       {dir / L"*.log"},
       true,
       true,
       {dir / L"c.log", dir / L"M\\inner\\q.log"},
       {}},
      {"a pattern the window does not take", {dir / L"*.log"}, false, false, {dir / L"*.log"}, {}},
      {"a pattern takes long names only, never by a short name (REPORT~1.DOC)",
       {quirks / L"*.doc", quirks / L"*.htm", quirks / L"*.txt"},
       true,
       true,
       {quirks / L"n.txt", quirks / L"sub\\s.txt"},
       {{quirks / L"*.doc", L"找不到文件"}, {quirks / L"*.htm", L"找不到文件"}}},
      {"a pattern that matches nothing",
       {dir / L"*.doc"},
       true,
       true,
       {},
       {{dir / L"*.doc", L"找不到文件"}}},
      {"a pattern in a missing folder",
       {dir / L"no\\*.log"},
       false,
       true,
       {},
       {{dir / L"no\\*.log", L"找不到文件所在的文件夹"}}},
      {"the system's folders and a profile itself, never walked",
       {other / L"sys", other / L"sys\\", other / L"Users", other / L"Users\\ann",
        other / L"sys\\*.txt"},
       true,
       true,
       {},
       {{other / L"sys", shred::kProtectedFolderText},
        {other / L"sys\\", shred::kProtectedFolderText},
        {other / L"Users", shred::kProtectedFolderText},
        {other / L"Users\\ann", shred::kProtectedFolderText},
        {other / L"sys\\*.txt", shred::kProtectedFolderText}}},
      {"a name that is not one name is never joined, and said with its folder",
       {odd.path()},
       true,
       false,
       {odd / L"n.txt", odd / L"sub\\secret.txt", odd / L"up.txt"},
       {invalid(odd.path(), L"..\\up.txt"), invalid(odd.path(), L"sub\\secret.txt"),
        invalid(odd.path(), L"x\\notes.doc")}},
      {"nor by a pattern that matches it",
       {odd / L"*.txt", odd / L"x*"},
       false,
       true,
       {odd / L"n.txt", odd / L"up.txt"},
       {invalid(odd.path(), L"..\\up.txt"), invalid(odd.path(), L"sub\\secret.txt"),
        invalid(odd.path(), L"x\\notes.doc")}},
      {"nor past 260 characters", {deep}, true, false, {}, {invalid(deep, L"..\\up.txt")}},
      {"what is inside a profile is the user's",
       {other / L"Users\\ann\\docs"},
       true,
       false,
       {other / L"Users\\ann\\docs\\d.txt"},
       {}},
  };
  // Stand-ins for the system's folders, inside the test's own folder.
  for (const wchar_t* sub : {L"sys", L"Users", L"Users\\ann", L"Users\\ann\\docs"})
    CreateDirectoryW((other / sub).c_str(), nullptr);
  ASSERT_TRUE(WriteBytes(other / L"sys\\s.txt", "x"));
  ASSERT_TRUE(WriteBytes(other / L"Users\\ann\\docs\\d.txt", "x"));
  const shred::ProtectedFolders system{{other / L"sys"}, other / L"Users"};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Notes notes;
    EXPECT_EQ(shred::ExpandFolders(row.given, row.recurse, notes, row.wildcards, &system),
              row.expected);
    EXPECT_EQ(notes, row.notes);
  }
}

// A protected folder is refused whatever spelling reaches it: its short
// name, the root drive (whose volume tells no serial number), a Unix link on
// the way, a drive letter mapped to the folder above it. Stand-ins for the
// system's folders, in the test's own folder.
TEST(FolderWalk, TheSystemFoldersAreKnownHoweverTheyAreSpelt) {
  TempFolder other;
  const std::wstring programs = other / L"Program Files";
  for (const std::wstring& sub : {programs, other / L"Users", other / L"Users\\ann"})
    CreateDirectoryW(sub.c_str(), nullptr);
  ASSERT_TRUE(WriteBytes(programs + L"\\app.exe", "x"));
  ASSERT_TRUE(WriteBytes(other / L"Users\\ann\\d.txt", "x"));
  const shred::ProtectedFolders system{{programs}, other / L"Users"};
  std::vector<std::wstring> spellings;
  wchar_t shortName[MAX_PATH] = {};
  ASSERT_GT(GetShortPathNameW(programs.c_str(), shortName, MAX_PATH), 0u);
  ASSERT_NE(std::wstring(shortName), programs);
  spellings.push_back(shortName);
  const std::string unix = testing_util::UnixPath(other.path());
  const std::string drive = testing_util::UnixPath(L"C:\\") + "/../dosdevices/y:";
  if (!unix.empty() &&
      testing_util::RunUnixShell("ln -s '" + unix + "' '" + unix + "/link' && ln -sfn '" + unix +
                                 "' '" + drive + "'")) {
    spellings.push_back(testing_util::ThroughRootDrive(programs));
    spellings.push_back(other / L"link\\Program Files");
    spellings.push_back(other / L"link\\Users\\ann");
    spellings.push_back(L"Y:\\Program Files");
    spellings.push_back(L"Y:\\users");
    spellings.push_back(L"Y:\\");
  }
  for (const std::wstring& spelt : spellings) {
    SCOPED_TRACE(testing::PrintToString(spelt));
    std::vector<shred::WalkNote> notes;
    EXPECT_EQ(shred::ExpandFolders({spelt}, true, notes, true, &system),
              std::vector<std::wstring>{});
    EXPECT_EQ(notes, (std::vector<shred::WalkNote>{{spelt, shred::kProtectedFolderText}}));
  }
  EXPECT_TRUE(Exists(programs + L"\\app.exe"));
  std::vector<shred::WalkNote> notes;
  EXPECT_EQ(
      shred::ExpandFolders({other / L"Users\\ann"}, true, notes, true, &shred::SystemFolders()),
      std::vector<std::wstring>{other / L"Users\\ann\\d.txt"})
      << "another folder of the same names is the user's";
  if (!unix.empty()) testing_util::RunUnixShell("rm -f '" + unix + "/link' '" + drive + "'");
}

// The guard's folders come from the platform: checked by name, never walked.
TEST(FolderWalk, TheSystemFoldersAreThePlatforms) {
  wchar_t windows[MAX_PATH] = {}, profile[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH);
  const shred::ProtectedFolders& system = shred::SystemFolders();
  EXPECT_TRUE(shred::IsProtectedFolder(windows, system))
      << testing::PrintToString(std::wstring(windows));
  EXPECT_TRUE(shred::IsProtectedFolder(profile, system))
      << testing::PrintToString(std::wstring(profile));
  EXPECT_FALSE(shred::IsProtectedFolder(std::wstring(profile) + L"\\Documents", system));
  EXPECT_FALSE(shred::IsProtectedFolder(TempFolder().path(), system));
}

TEST(LongPaths, TheFolderAndFileListsReachBeyond260Characters) {
  TempFolder dir;
  const std::wstring file = LongPath(dir, 400);
  const std::wstring folder = file.substr(0, file.find_last_of(L'\\'));
  ASSERT_GT(folder.size(), 300u);
  ASSERT_TRUE(WriteBytes(L"\\\\?\\" + file, "x"));
  form1::FolderListData folders;
  ASSERT_TRUE(form1::LoadFolderChain(folder, folders));
  EXPECT_EQ(folders.path, folder);
  form1::FileListData files;
  ASSERT_TRUE(form1::LoadFolderFiles(folder, files));
  ASSERT_EQ(files.starts.size(), 1u);
  EXPECT_EQ(folder + L"\\" + &files.pool[files.starts[0]], file);
}

// What the registry and the Send To folder hold where install writes.
std::vector<std::wstring> ExplorerState() {
  std::vector<std::wstring> state;
  for (const wchar_t* key :
       {L"Software\\Classes\\*", L"Software\\Classes\\*\\shell", L"Software\\Classes\\Directory",
        L"Software\\Classes\\Directory\\shell", app::kVerbKeys[0], app::kVerbKeys[1],
        L"Software\\Classes\\CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}", app::kBinVerbKey}) {
    HKEY k = nullptr;
    const bool there = RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &k) == ERROR_SUCCESS;
    DWORD subkeys = 0, values = 0;
    if (there) {
      RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                       nullptr, nullptr, nullptr);
      RegCloseKey(k);
    }
    state.push_back(
        std::wstring(key) +
        (there ? L" " + std::to_wstring(subkeys) + L"/" + std::to_wstring(values) : L" -"));
  }
  wchar_t sendTo[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_SENDTO, nullptr, SHGFP_TYPE_CURRENT, sendTo);
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((std::wstring(sendTo) + L"\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do state.push_back(found.cFileName);
    while (FindNextFileW(find, &found));
    FindClose(find);
  }
  return state;
}

// A parent key that holds a value of someone else's is left where it is.
TEST(ExplorerEntries, UninstallKeepsAParentKeyThatHoldsAValue) {
  const auto before = ExplorerState();
  const wchar_t* parent = L"Software\\Classes\\Directory\\shell";
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, parent, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                            nullptr),
            ERROR_SUCCESS);
  const wchar_t data[] = L"kept";
  RegSetValueExW(k, L"tarvello-test", 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof data);
  bool ok = false;
  app::InstallExplorerEntries(ExeFolder() + L"\\tarvello.exe", ok);
  app::UninstallExplorerEntries(ok);
  EXPECT_TRUE(ok);
  wchar_t value[16] = {};
  DWORD size = sizeof value;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, parent, L"tarvello-test", RRF_RT_REG_SZ, nullptr, value,
                         &size),
            ERROR_SUCCESS);
  RegDeleteValueW(k, L"tarvello-test");
  RegCloseKey(k);
  // Whatever the test made goes again.
  for (const wchar_t* key : {parent, L"Software\\Classes\\Directory"}) {
    if (ExplorerState() != before) RegDeleteKeyW(HKEY_CURRENT_USER, key);
  }
  EXPECT_EQ(ExplorerState(), before);
}

TEST(ExplorerEntries, InstallTwiceThenUninstallTwiceLeavesEverythingAsItWas) {
  const auto before = ExplorerState();
  for (int round = 0; round < 2; ++round) {
    const Finished installed = RunProgram(L"tarvello.exe", {L"/install"});
    EXPECT_EQ(installed.status, 0u) << testing::PrintToString(installed.output);
    EXPECT_TRUE(Contains(installed.output,
                         L"已写入 HKEY_CURRENT_USER\\Software\\Classes\\*\\shell\\Tarvello"));
  }
  wchar_t value[512] = {};
  DWORD size = sizeof value;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, app::kVerbKeys[1], nullptr, RRF_RT_REG_SZ, nullptr,
                         value, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(value), L"使用 Tarvello 粉碎");
  size = sizeof value;
  ASSERT_EQ(
      RegGetValueW(HKEY_CURRENT_USER, (std::wstring(app::kVerbKeys[0]) + L"\\command").c_str(),
                   nullptr, RRF_RT_REG_SZ, nullptr, value, &size),
      ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(value), Quoted(ExeFolder() + L"\\tarvello.exe") + L" \"%1\"");
  size = sizeof value;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, (std::wstring(app::kBinVerbKey) + L"\\command").c_str(),
                         nullptr, RRF_RT_REG_SZ, nullptr, value, &size),
            ERROR_SUCCESS)
      << "the entry on the Recycle Bin's own menu";
  EXPECT_EQ(std::wstring(value), Quoted(ExeFolder() + L"\\tarvello.exe") + L" /recycle");
  const auto installed = ExplorerState();
  EXPECT_NE(std::find(installed.begin(), installed.end(), app::kSendToName), installed.end());

  for (int round = 0; round < 2; ++round) {
    const Finished removed = RunProgram(L"tarvello.exe", {L"/uninstall"});
    EXPECT_EQ(removed.status, 0u) << testing::PrintToString(removed.output);
  }
  EXPECT_EQ(ExplorerState(), before);
}

// /log: the record of a run with a survivor, read back field by field, with
// /verify; one that cannot be written is a line and status 1, and the run
// stands.
TEST(ConsoleCompanion, TheRecordSaysWhatWasDestroyed) {
  TempFolder dir;
  const std::wstring gone = dir / L"gone.txt", held = dir / L"held.txt", log = dir / L"run.json";
  const size_t size = shred::kOverwriteBufferBytes + 5000;  // two buffers, read back
  ASSERT_TRUE(WriteBytes(gone, std::string(size, 's')));
  ASSERT_TRUE(WriteBytes(held, "secret"));
  HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  const Finished run = RunProgram(L"tarvello-cli.exe", {L"/verify", L"/log", log, gone, held});
  CloseHandle(holder);
  EXPECT_EQ(run.status, 1u);
  const auto record = nlohmann::json::parse(ReadBytes(log));
  EXPECT_EQ(record["tool"]["name"], "Tarvello");
  EXPECT_EQ(record["action"], "shred");
  EXPECT_EQ(record["verification"].get<std::string>().rfind("read-back:", 0), 0u);
  EXPECT_EQ(record["start"].get<std::string>().size(), 20u);
  EXPECT_EQ(record["end"].get<std::string>().back(), 'Z');
  EXPECT_FALSE(record["computer"].get<std::string>().empty());
  EXPECT_FALSE(record["user"].get<std::string>().empty());
  ASSERT_EQ(record["volumes"].size(), 1u);
  EXPECT_EQ(record["volumes"][0]["root"], "C:\\");
  ASSERT_EQ(record["entries"].size(), 2u);
  const auto& first = record["entries"][0];
  EXPECT_EQ(first["entry"], shred::Utf8(gone));
  EXPECT_EQ(first["outcome"], "shredded");
  EXPECT_EQ(first["size"], size);
  EXPECT_GE(first["bytes_overwritten"].get<uint64_t>(), size);
  EXPECT_EQ(first["verified"], true);
  EXPECT_EQ(first["streams"], 1);
  EXPECT_EQ(first["file_id"].get<std::string>().size(), 32u);
  EXPECT_EQ(record["entries"][1]["outcome"], "not shredded");
  EXPECT_EQ(record["entries"][1]["reason"], "正在被其他程序使用");
  EXPECT_EQ(record["entries"][1]["verified"], false);
  EXPECT_EQ(record["totals"]["shredded"], 1);
  std::vector<std::wstring> left;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((dir / L"*").c_str(), &found);
  do {
    left.push_back(found.cFileName);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::wstring>{L".", L"..", L"held.txt", L"run.json"}))
      << "no temporary file beside the record";

  const std::wstring nowhere = dir / L"missing\\run.json", other = dir / L"other.txt";
  ASSERT_TRUE(WriteBytes(other, "secret"));
  const Finished unwritten = RunProgram(L"tarvello-cli.exe", {L"/q", L"/log", nowhere, other});
  EXPECT_EQ(unwritten.status, 1u);
  EXPECT_EQ(unwritten.output, L"粉碎记录未能写入：" + nowhere + L"（找不到文件所在的文件夹）\r\n");
  EXPECT_FALSE(Exists(other)) << "the run's own results stand";
  // A certificate that cannot be written is the same: a line, status 1, and
  // the record beside it stands.
  const std::wstring page = dir / L"missing\\run.html", third = dir / L"third.txt";
  ASSERT_TRUE(WriteBytes(third, "secret"));
  const Finished uncertified =
      RunProgram(L"tarvello-cli.exe", {L"/q", L"/log", log, L"/certificate", page, third});
  EXPECT_EQ(uncertified.status, 1u);
  EXPECT_EQ(uncertified.output, L"粉碎证书未能写入：" + page + L"（找不到文件所在的文件夹）\r\n");
  EXPECT_FALSE(Exists(third));
  EXPECT_EQ(RunProgram(L"tarvello-cli.exe", {L"/checkrecord", log}).status, 0u);
  // A record or certificate that cannot be read is a line with why, status 1.
  for (const std::vector<std::wstring>& unreadable :
       {std::vector<std::wstring>{page}, std::vector<std::wstring>{log, page}}) {
    std::vector<std::wstring> arguments = {L"/checkrecord"};
    arguments.insert(arguments.end(), unreadable.begin(), unreadable.end());
    const Finished check = RunProgram(L"tarvello-cli.exe", arguments);
    EXPECT_EQ(check.status, 1u);
    EXPECT_EQ(check.output, page + L"：找不到文件所在的文件夹\r\n");
  }
  EXPECT_EQ(RunProgram(L"tarvello-cli.exe", {L"/log"}).status, 2u);
}

// The record's volume is asked through a handle, as its entries' identities
// are (a record's id comes fresh each time, and the certificate beside it
// names it and its hash): on an ext4 drive (where Wine's GetVolumeInformationW
// says nothing) both tell the same serial number. (A drive mapped while the wineserver runs tells
// none at all, by either way.)
TEST(ConsoleCompanion, TheRecordsVolumeAndEntriesAgree) {
  std::vector<std::string> ids;
  for (const char* kind : {"ext4", "ntfs"}) {
    testing_util::RawDisk disk(kind, L'S');
    if (!disk.missing().empty()) GTEST_SKIP() << kind << ": " << disk.missing();
    const std::wstring file = disk.root() + L"secret.txt", log = disk.root() + L"run.json",
                       certificate = disk.root() + L"run.html";
    ASSERT_TRUE(WriteBytes(file, "secret"));
    ASSERT_EQ(
        RunProgram(L"tarvello-cli.exe", {L"/q", L"/log", log, L"/certificate", certificate, file})
            .status,
        0u);
    const auto record = nlohmann::json::parse(ReadBytes(log));
    ASSERT_EQ(record["volumes"].size(), 1u);
    EXPECT_EQ(record["volumes"][0]["root"], "S:\\");
    EXPECT_EQ(record["volumes"][0]["serial"], record["entries"][0]["volume_serial"]) << kind;
    // Named by a fresh random UUID, and summed up in one word.
    const std::string id = record["record_id"];
    EXPECT_EQ(id.size(), 36u);
    EXPECT_EQ(id[14], '4') << id;
    EXPECT_NE(id, ids.empty() ? "" : ids.back());
    ids.push_back(id);
    EXPECT_EQ(record["status"], "erased");
    // Read back, it holds together; edited, it does not.
    const Finished check = RunProgram(L"tarvello-cli.exe", {L"/checkrecord", log, certificate});
    EXPECT_EQ(check.status, 0u) << check.output;
    EXPECT_TRUE(Contains(check.output, L"记录完好")) << check.output;
    std::string bytes = ReadBytes(log);
    const std::string total = "\"shredded\": 1";
    bytes.replace(bytes.find(total), total.size(), "\"shredded\": 0");
    ASSERT_TRUE(WriteBytes(log, bytes));
    const Finished edited = RunProgram(L"tarvello-cli.exe", {L"/checkrecord", log, certificate});
    EXPECT_EQ(edited.status, 1u) << edited.output;
    EXPECT_TRUE(Contains(edited.output, L"totals.shredded 为 0，按条目应为 1")) << edited.output;
    EXPECT_TRUE(Contains(edited.output, L"记录的 SHA-256 与证书所记的不符")) << edited.output;
    EXPECT_NE(ReadBytes(certificate).find(id), std::string::npos) << "the page names its record";
  }
}

// A preview goes through the walk and every check of a run and leaves each
// file byte for byte, with its times; what it lists a run then shreds.
TEST(ConsoleCompanion, APreviewListsAndTouchesNothing) {
  TempFolder dir;
  const std::wstring tree = dir / L"tree", ro = tree + L"\\sub\\ro.txt";
  CreateDirectoryW(tree.c_str(), nullptr);
  CreateDirectoryW((tree + L"\\sub").c_str(), nullptr);
  const std::wstring files[] = {tree + L"\\a.txt", tree + L"\\sub\\b.txt", ro};
  for (const std::wstring& file : files) ASSERT_TRUE(WriteBytes(file, "secret"));
  SetFileAttributesW(ro.c_str(), FILE_ATTRIBUTE_READONLY);
  const auto times = [](const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return std::make_pair(data.ftLastWriteTime.dwLowDateTime, data.ftCreationTime.dwLowDateTime);
  };
  std::vector<std::pair<DWORD, DWORD>> before;
  for (const std::wstring& file : files) before.push_back(times(file));
  const Finished preview = RunProgram(L"tarvello-cli.exe", {L"/l", L"/s", tree});
  EXPECT_EQ(preview.status, 1u) << preview.output;
  EXPECT_TRUE(Contains(preview.output, L"将粉碎：" + tree + L"\\a.txt")) << preview.output;
  EXPECT_TRUE(Contains(preview.output, ro + L"：文件或磁盘只读")) << preview.output;
  EXPECT_TRUE(Contains(preview.output, L"将粉碎 2 个，不予粉碎 1 个")) << preview.output;
  for (size_t i = 0; i < std::size(files); ++i) {
    EXPECT_EQ(ReadBytes(files[i]), "secret") << files[i];
    EXPECT_EQ(times(files[i]), before[i]) << files[i];
  }
  SetFileAttributesW(ro.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(RunProgram(L"tarvello-cli.exe", {L"/l", L"/s", tree}).status, 0u);
  EXPECT_EQ(RunProgram(L"tarvello-cli.exe", {L"/q", L"/s", tree}).status, 0u);
  EXPECT_EQ(GetFileAttributesW(tree.c_str()), INVALID_FILE_ATTRIBUTES) << "the run took it all";
  EXPECT_EQ(RunProgram(L"tarvello-cli.exe", {L"/l", L"/log", dir / L"r.json", tree}).status, 2u);
}

// The certificate of a real run with exceptions, as a browser prints it: the
// page read back from the PDF says what the record says, names its hash,
// and shows a name with markup, "&" and U+202E as text. Its first page is
// saved for a person to look at. Then a bin run's and a wipe's.
TEST(ConsoleCompanion, TheCertificateReadsInABrowserAsTheRecordSays) {
  TempFolder dir;
  const std::string unix = testing_util::UnixPath(dir.path());
  if (unix.empty() || !testing_util::RunUnixShell("command -v chromium && command -v pdftotext"))
    GTEST_SKIP() << "no chromium or pdftotext on the Linux side (scripts/deps.sh installs them)";
  const std::wstring tree = dir / L"tree";
  CreateDirectoryW(tree.c_str(), nullptr);
  ASSERT_TRUE(WriteBytes(tree + L"\\gone.txt", "secret"));
  ASSERT_TRUE(WriteBytes(tree + L"\\a&b\u202Egpj.exe", "secret"));
  ASSERT_TRUE(WriteBytes(tree + L"\\ro.txt", "secret"));
  SetFileAttributesW((tree + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(testing_util::WriteUnixName(tree, "<script>x.txt", "odd"));
  const std::wstring log = dir / L"run.json", page = dir / L"run.html";
  EXPECT_EQ(
      RunProgram(L"tarvello-cli.exe", {L"/q", L"/s", L"/log", log, L"/certificate", page, tree})
          .status,
      1u);
  const std::string record = ReadBytes(log);
  const std::string id = nlohmann::json::parse(record)["record_id"];
  // The page as Chromium prints it, read back from the PDF.
  const auto printed = [&](const std::wstring& html) {
    const std::string from = testing_util::UnixPath(html);
    EXPECT_TRUE(testing_util::RunUnixShell(
        "cd '" + unix +
        "' && timeout 60 chromium --headless --no-sandbox --disable-gpu "
        "--no-pdf-header-footer --print-to-pdf=page.pdf 'file://" +
        from + "' >/dev/null 2>&1 && pdftotext -layout page.pdf page.txt"));
    return ReadBytes(dir / L"page.txt");
  };
  const std::string text = printed(page);
  // The hash it names is SHA-256's own (FIPS 180-2's example).
  EXPECT_EQ(shred::Sha256Hex("abc"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  for (const std::string& part :
       {id, std::string("已销毁，有例外"), shred::Sha256Hex(record), std::string("<script>x.txt"),
        std::string("a&b[U+202E]gpj.exe"), std::string("文件或磁盘只读"), std::string("执行人"),
        std::string("核查人"), std::string("签名")})
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  const std::string shots = testing_util::UnixPath(testing_util::ScreenshotFolder());
  testing_util::RunUnixShell("cd '" + unix +
                             "' && timeout 60 chromium --headless --no-sandbox "
                             "--disable-gpu --window-size=794,1123 --screenshot='" +
                             shots + "/certificate.png' file://$PWD/run.html >/dev/null 2>&1");
  SetFileAttributesW((tree + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  // A bin run's and a wipe's, on an image drive of the test's own.
  testing_util::RawDisk disk("ext4", L'S', 32);
  if (!disk.missing().empty()) GTEST_SKIP() << "ext4: " << disk.missing();
  const std::wstring bins = disk.root() + L"$Recycle.Bin",
                     mine = bins + L"\\" + shred::CurrentUserSid();
  ASSERT_TRUE(CreateDirectoryW(bins.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(mine.c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(mine + L"\\$RAB.txt", "binned"));
  std::string binRecord(24, '\0');
  binRecord[0] = 2;
  const std::u16string where = u"C:\\Users\\ann\\BinCertQ7.txt";
  binRecord += {char(where.size() + 1), 0, 0, 0};
  for (const char16_t c : where + u'\0') binRecord += {char(c & 0xFF), char(c >> 8)};
  ASSERT_TRUE(WriteBytes(mine + L"\\$IAB.txt", binRecord));
  const std::wstring binPage = dir / L"bin.html", wipePage = dir / L"wipe.html";
  EXPECT_EQ(RunProgram(L"tarvello-cli.exe", {L"/recycle", L"S:", L"/certificate", binPage}).status,
            0u);
  const std::string binText = printed(binPage);
  for (const char* part : {"粉碎回收站", "C:\\Users\\ann\\BinCertQ7.txt", "已销毁："})
    EXPECT_NE(binText.find(part), std::string::npos) << part << "\n" << binText;
  RunProgram(L"tarvello-cli.exe", {L"/free", L"S:", L"/certificate", wipePage});
  const std::string wipeText = printed(wipePage);
  for (const char* part : {"清除驱动器剩余空间（S:\\）", "写入字节数", "签名"})
    EXPECT_NE(wipeText.find(part), std::string::npos) << part << "\n" << wipeText;
}

// In a console of its own the companion shows its progress line on
// standard error while it works: read from the console's screen while the
// deletion waits for a file another program holds (two seconds).
// Redirected output never has it: the other tests compare that whole.
TEST(ConsoleCompanion, AConsoleShowsTheProgressLineWhileItWorks) {
  TempFolder dir;
  const std::wstring big = dir / L"big.bin", held = dir / L"held.bin";
  ASSERT_TRUE(WriteBytes(big, std::string(8 << 20, 'b')));
  ASSERT_TRUE(WriteBytes(held, "secret"));
  // Shared with writers: the overwrite gets in, the deletion does not.
  HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE) << GetLastError();
  std::wstring commandLine =
      Quoted(ExeFolder() + L"\\tarvello-cli.exe") + L" " + Quoted(big) + L" " + Quoted(held);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                             CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &process));
  // The screen's first rows, read through the child's console.
  const auto screen = [&] {
    std::wstring rows;
    FreeConsole();
    if (!AttachConsole(process.dwProcessId)) return rows;
    HANDLE out =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    wchar_t row[121];
    for (SHORT y = 0; y < 4; ++y) {
      DWORD read = 0;
      if (ReadConsoleOutputCharacterW(out, row, 120, {0, y}, &read)) rows += {row, read};
      rows += L"\n";
    }
    CloseHandle(out);
    FreeConsole();
    return rows;
  };
  std::wstring during;
  for (int i = 0; i < 100 && !Contains(during, L"已完成"); ++i) {
    if (WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0) break;
    during = screen();
  }
  WaitForSingleObject(process.hProcess, 20000);
  CloseHandle(holder);
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_TRUE(Contains(during, L"已完成 ")) << testing::PrintToString(during);
  EXPECT_TRUE(Contains(during, L" / 2 个文件，")) << testing::PrintToString(during);
  EXPECT_TRUE(Contains(during, L"8.0 MB")) << testing::PrintToString(during);
  EXPECT_EQ(status, 1u) << "the held file survives";
  EXPECT_FALSE(Exists(big));
  EXPECT_TRUE(Exists(held));
}

TEST(ConsoleCompanion, ExitStatusesAndLinesOnRealFiles) {
  TempFolder dir;
  EXPECT_EQ(RunProgram(L"tarvello-cli.exe", {}).status, 2u);
  const Finished unknown = RunProgram(L"tarvello-cli.exe", {L"/x", dir / L"a"});
  EXPECT_EQ(unknown.status, 2u);
  EXPECT_TRUE(Contains(unknown.output, L"未知的开关：/x"));
  const Finished help = RunProgram(L"tarvello-cli.exe", {L"/?"});
  EXPECT_EQ(help.status, 0u);
  EXPECT_TRUE(Contains(help.output, L"用法：tarvello-cli"));

  const std::wstring plain = dir / L"plain.txt", longPath = LongPath(dir, 300);
  ASSERT_TRUE(WriteBytes(plain, "secret"));
  ASSERT_TRUE(WriteBytes(L"\\\\?\\" + longPath, "secret"));
  const Finished shredded = RunProgram(L"tarvello-cli.exe", {plain, longPath});
  EXPECT_EQ(shredded.status, 0u) << testing::PrintToString(shredded.output);
  EXPECT_FALSE(Exists(plain));
  EXPECT_FALSE(Exists(L"\\\\?\\" + longPath));
  EXPECT_EQ(shredded.output, L"共 2 个文件：已粉碎 2 个，未能粉碎 0 个。\r\n");

  const std::wstring held = dir / L"held.txt", folder = dir / L"folder";
  ASSERT_TRUE(WriteBytes(held, "secret"));
  CreateDirectoryW(folder.c_str(), nullptr);
  ASSERT_TRUE(WriteBytes(folder + L"\\inside.txt", "secret"));
  HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  const Finished survived = RunProgram(L"tarvello-cli.exe", {held, folder});
  CloseHandle(holder);
  EXPECT_EQ(survived.status, 1u);
  EXPECT_EQ(survived.output, held + L"：正在被其他程序使用\r\n" + folder +
                                 L"：不是文件\r\n共 2 个文件：已粉碎 0 个，未能粉碎 2 个。\r\n");
  EXPECT_EQ(ReadBytes(held), "secret");

  // A killed wipe's folder (with its marker) goes at the next start, and
  // nothing beside it; a folder of that name without the marker stays whole.
  const std::wstring leftover = std::wstring(L"C:\\") + shred::kWipeFolderName;
  CreateDirectoryW(leftover.c_str(), nullptr);
  std::string marker = shred::kWipeMarkerText;
  marker.resize(shred::kWipeMarkerBytes, '.');
  ASSERT_TRUE(WriteBytes(leftover + L"\\" + shred::kWipeMarkerName, marker));
  ASSERT_TRUE(WriteBytes(leftover + L"\\fill-00000.bin", "random"));
  const std::wstring users = shred::WipeFolderName(L"C:\\", 1);
  CreateDirectoryW(users.c_str(), nullptr);
  ASSERT_TRUE(WriteBytes(users + L"\\fill-00000.bin", "the user's"));
  EXPECT_EQ(RunProgram(L"tarvello-cli.exe", {L"/?"}).status, 0u);
  EXPECT_TRUE(Exists(leftover + L"\\fill-00000.bin")) << "/? does nothing else";
  const Finished missingDrive = RunProgram(L"tarvello-cli.exe", {L"/free", L"Q:"});
  EXPECT_EQ(missingDrive.status, 1u);
  EXPECT_EQ(missingDrive.output, L"Q:：驱动器不存在\r\n");
  EXPECT_FALSE(Exists(leftover));
  EXPECT_EQ(ReadBytes(users + L"\\fill-00000.bin"), "the user's");
  DeleteFileW((users + L"\\fill-00000.bin").c_str());
  RemoveDirectoryW(users.c_str());
  const Finished notRoot = RunProgram(L"tarvello-cli.exe", {L"/free", dir.path()});
  EXPECT_EQ(notRoot.status, 1u);
  EXPECT_EQ(notRoot.output, dir.path() + L"：不是驱动器的根目录（例如 D: 或 D:\\）\r\n");
  EXPECT_EQ(RunProgram(L"tarvello-cli.exe", {L"/free"}).status, 2u);
  const Finished noBin = RunProgram(L"tarvello-cli.exe", {L"/recycle", L"Q:"});
  EXPECT_EQ(noBin.status, 1u) << "a bin not looked into is no empty bin";
  EXPECT_EQ(noBin.output, L"Q:：驱动器不存在\r\n");
  EXPECT_EQ(RunProgram(L"tarvello-cli.exe", {L"/recycle", dir / L"x.txt"}).status, 2u);
  // The record over a listed file the run cannot shred (read-only), or in a
  // folder handed over whole: a usage error, and nothing is touched.
  const std::wstring ro = dir / L"ro.txt";
  ASSERT_TRUE(WriteBytes(ro, "read-only"));
  SetFileAttributesW(ro.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(RunProgram(L"tarvello-cli.exe", {L"/log", ro, ro}).status, 2u);
  EXPECT_EQ(ReadBytes(ro), "read-only");
  EXPECT_EQ(RunProgram(L"tarvello-cli.exe", {L"/s", L"/log", dir / L"new.json", dir.path()}).status,
            2u);
  EXPECT_EQ(ReadBytes(ro), "read-only");
  EXPECT_FALSE(Exists(dir / L"new.json"));
  SetFileAttributesW(ro.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(ro.c_str());

  const Finished nothing = RunProgram(L"tarvello-cli.exe", {dir / L"*.none"});
  EXPECT_EQ(nothing.status, 1u);
  EXPECT_EQ(nothing.output,
            dir / L"*.none" + L"：找不到文件\r\n共 0 个文件：已粉碎 0 个，未能粉碎 0 个。\r\n");
  const Finished pattern = RunProgram(L"tarvello-cli.exe", {L"/q", folder + L"\\*.txt"});
  EXPECT_EQ(pattern.status, 0u) << testing::PrintToString(pattern.output);
  EXPECT_FALSE(Exists(folder + L"\\inside.txt")) << "a pattern names the matching files";
  EXPECT_TRUE(Exists(folder)) << "and no folder";
  ASSERT_TRUE(WriteBytes(folder + L"\\inside.txt", "secret"));
  CreateDirectoryW((folder + L"\\sub").c_str(), nullptr);
  ASSERT_TRUE(WriteBytes(folder + L"\\sub\\held.txt", "secret"));
  HANDLE holding = CreateFileW((folder + L"\\sub\\held.txt").c_str(), GENERIC_READ, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  const Finished kept = RunProgram(L"tarvello-cli.exe", {L"/s", L"/q", folder});
  CloseHandle(holding);
  EXPECT_EQ(kept.status, 1u);
  EXPECT_EQ(kept.output, folder + L"\\sub\\held.txt：正在被其他程序使用\r\n" + folder +
                             L"：文件夹中仍有内容，未删除\r\n" + folder +
                             L"\\sub：文件夹中仍有内容，未删除\r\n");
  EXPECT_FALSE(Exists(folder + L"\\inside.txt"));
  EXPECT_EQ(ReadBytes(folder + L"\\sub\\held.txt"), "secret");

  const Finished recursed = RunProgram(L"tarvello-cli.exe", {L"/S", L"/q", folder});
  EXPECT_EQ(recursed.status, 0u);
  EXPECT_EQ(recursed.output, L"") << "/q leaves the summary out";
  EXPECT_FALSE(Exists(folder)) << "the folder goes with its files";

  // One folder reached twice is walked, removed and counted once.
  for (const auto& given : std::vector<std::vector<std::wstring>>{
           {folder, folder}, {folder, folder + L"\\sub"}, {folder + L"\\sub", folder}}) {
    SCOPED_TRACE(testing::PrintToString(given));
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW((folder + L"\\sub").c_str(), nullptr);
    ASSERT_TRUE(WriteBytes(folder + L"\\a.txt", "secret"));
    ASSERT_TRUE(WriteBytes(folder + L"\\sub\\b.txt", "secret"));
    std::vector<std::wstring> arguments{L"/s"};
    arguments.insert(arguments.end(), given.begin(), given.end());
    const Finished twice = RunProgram(L"tarvello-cli.exe", arguments);
    EXPECT_EQ(twice.status, 0u);
    EXPECT_EQ(twice.output, L"共 2 个文件：已粉碎 2 个，未能粉碎 0 个。\r\n");
    EXPECT_FALSE(Exists(folder));
  }
  const std::vector<std::wstring> misuses[] = {
      {L"/log", dir / L"a.json", L"/log", dir / L"b.json", plain},
      {L"/free", L"Q:", L"/s"},
      {L"/recycle", L"/s"}};
  for (const auto& misuse : misuses) {
    EXPECT_EQ(RunProgram(L"tarvello-cli.exe", misuse).status, 2u) << testing::PrintToString(misuse);
  }
  EXPECT_FALSE(Exists(dir / L"a.json"));
}

}  // namespace

// What Windows keeps of an opened file: a shortcut in the Recent folder
// (written here by the shell itself) and Explorer's RecentDocs values in
// Windows' own form (laid out by hand: Wine writes an older one). A run takes
// the ones of what it shredded, on a folder of the prefix and on an image
// drive, and leaves the others and those of a run told to keep them.
std::wstring RecentFolder() {
  PWSTR path = nullptr;
  std::wstring folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Recent, 0, nullptr, &path))) folder = path;
  CoTaskMemFree(path);
  return folder;
}

void SetBinary(const std::wstring& key, const std::wstring& name, const std::string& data) {
  HKEY opened = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (shred::kRecentDocsKey + key).c_str(), 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, &opened, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(opened, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                 DWORD(data.size()));
  RegCloseKey(opened);
}

// The key's values by name, and its MRUListEx.
std::vector<std::wstring> ValueNames(const std::wstring& key, std::string& list) {
  std::vector<std::wstring> names;
  for (const shred::RegistryValue& value : shred::Win32TraceServices().ReadValues(key)) {
    names.push_back(value.name);
    if (value.name == L"MRUListEx") list = value.data;
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ConsoleCompanion, TheRecentShortcutsOfShreddedFilesGoAndNoOthers) {
  using shred::testing::MruListEx;
  using shred::testing::RecentDocsValue;
  const std::wstring recent = RecentFolder();
  ASSERT_FALSE(recent.empty());
  ASSERT_NE(recent.find(L"\\AppData\\"), std::wstring::npos) << "the prefix's own, never a link";
  TempFolder dir;
  // Only what ends in ".lnk" is a shortcut; the platform's "*.lnk" also
  // takes the short names of these.
  for (const wchar_t* name : {L"a.lnk", L"b.lnkx", L"c.lnk1"}) WriteBytes(dir / name, "L");
  EXPECT_EQ(shred::Win32TraceServices().ListShortcuts(dir.path()),
            std::vector<std::wstring>{dir / L"a.lnk"});
  testing_util::RawDisk disk("ntfs", L'R');
  std::vector<std::wstring> places{dir / L"docs"};
  if (disk.missing().empty()) places.push_back(disk.root() + L"docs");
  for (const std::wstring& place : places) {
    SCOPED_TRACE(place);
    CreateDirectoryW(place.c_str(), nullptr);
    CreateDirectoryW((place + L"\\sub").c_str(), nullptr);
    const std::wstring a = place + L"\\tv28a.txt", b = place + L"\\tv28b.txt",
                       c = place + L"\\sub\\tv28c.txt", keep = place + L"\\tv28keep.txt",
                       log = dir / L"run.json";
    for (const std::wstring& file : {a, b, c, keep}) {
      ASSERT_TRUE(WriteBytes(file, "secret"));
      // Wine 8 takes the target of SHARD_PATHW for an ANSI text: the paths
      // here are ASCII.
      const std::string ansi(file.begin(), file.end());
      SHAddToRecentDocs(SHARD_PATHA, ansi.c_str());
    }
    for (const wchar_t* name : {L"tv28a.txt.lnk", L"tv28b.txt.lnk", L"tv28c.txt.lnk"}) {
      if (!Exists(recent + L"\\" + name)) GTEST_SKIP() << "the shell wrote no shortcut";
    }
    // A shortcut of a shredded file reached through a link in the Recent
    // folder (named as a second shortcut of the file, so that it is read) is
    // not the Recent folder's: neither goes.
    const std::wstring outside = dir / L"outside.lnk", link = recent + L"\\tv28a.txt (9).lnk";
    ASSERT_TRUE(CopyFileW((recent + L"\\tv28a.txt.lnk").c_str(), outside.c_str(), FALSE));
    const bool linked = testing_util::RunUnixShell("ln -sf '" + testing_util::UnixPath(outside) +
                                                   "' '" + testing_util::UnixPath(link) + "'");
    RegDeleteTreeW(HKEY_CURRENT_USER, shred::kRecentDocsKey);
    SetBinary(L"", L"0", RecentDocsValue(L"tv28a.txt", L"tv28a.txt.lnk"));
    SetBinary(L"", L"1", RecentDocsValue(L"tv28keep.txt", L"tv28keep.txt.lnk"));
    SetBinary(L"", L"2", RecentDocsValue(L"tv28c.txt", L"TV28C.TXT.lnk"));
    SetBinary(L"", L"MRUListEx", MruListEx({2, 0, 1}));
    SetBinary(L"\\.txt", L"0", RecentDocsValue(L"tv28a.txt", L"tv28a.txt.lnk"));
    SetBinary(L"\\.txt", L"1", RecentDocsValue(L"tv28keep.txt", L"tv28keep.txt.lnk"));
    SetBinary(L"\\.txt", L"7", "\x01");  // any length, parsed or not, stays
    SetBinary(L"\\.txt", L"MRUListEx", MruListEx({1, 7, 0}));

    const Finished run =
        RunProgram(L"tarvello-cli.exe", {L"/s", L"/log", log, a, place + L"\\sub"});
    EXPECT_EQ(run.status, 0u) << std::string(run.output.begin(), run.output.end());
    EXPECT_TRUE(Contains(run.output, L"已同时清除 2 个最近使用记录"));
    EXPECT_FALSE(Contains(run.output, L"最近使用记录未能清除")) << "the link was never read";
    EXPECT_FALSE(Exists(recent + L"\\tv28a.txt.lnk"));
    EXPECT_FALSE(Exists(recent + L"\\tv28c.txt.lnk")) << "in a folder removed whole";
    EXPECT_TRUE(Exists(recent + L"\\tv28b.txt.lnk"));
    EXPECT_TRUE(Exists(recent + L"\\tv28keep.txt.lnk"));
    EXPECT_TRUE(Exists(outside));
    if (linked) {
      EXPECT_TRUE(Exists(link));
    }
    testing_util::RunUnixShell("rm -f '" + testing_util::UnixPath(link) + "'");
    std::string list;
    EXPECT_EQ(ValueNames(L"", list), (std::vector<std::wstring>{L"1", L"MRUListEx"}));
    EXPECT_EQ(list, MruListEx({1}));
    EXPECT_EQ(ValueNames(L".txt", list), (std::vector<std::wstring>{L"1", L"7", L"MRUListEx"}));
    EXPECT_EQ(list, MruListEx({1, 7}));
    const auto record = nlohmann::json::parse(ReadBytes(log));
    EXPECT_EQ(record["entries"][0]["traces"].size(), 3u) << "its shortcut and two values";
    EXPECT_EQ(record["recent_traces"]["shortcuts_removed"], 2);

    const Finished kept = RunProgram(L"tarvello-cli.exe", {L"/keeptraces", b});
    EXPECT_EQ(kept.status, 0u);
    EXPECT_FALSE(Contains(kept.output, L"最近使用记录"));
    EXPECT_FALSE(Exists(b));
    EXPECT_TRUE(Exists(recent + L"\\tv28b.txt.lnk"));
    // Only what this test made.
    for (const wchar_t* name : {L"tv28b.txt.lnk", L"tv28keep.txt.lnk"})
      DeleteFileW((recent + L"\\" + name).c_str());
    RemoveTree(place);
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, shred::kRecentDocsKey);
}
