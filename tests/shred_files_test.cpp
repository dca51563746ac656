// The shred run with the real Win32 services, on real files in a temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "engine/folder_walk.h"
#include "engine/shred_cli.h"
#include "engine/win32/prompts.h"
#include "engine/win32/shred_services.h"
#include "tests/box_answerer.h"
#include "tests/fake_shred.h"
#include "tests/temp_folder.h"

namespace shred {
namespace {

using testing_util::Exists;
using testing_util::ReadBytes;
using testing_util::RemoveTree;
using testing_util::TempFolder;
using testing_util::WriteBytes;

const std::string kSecret = "the user's secret contents, which must not survive";

std::string NoticeBytes() { return EncodeLine(BannerLine()) + EncodeLine(NoticeLine()); }

class ShredFilesTest : public ::testing::Test {
 protected:
  std::wstring Make(const std::wstring& name, const std::string& bytes = kSecret) {
    const std::wstring path = dir / name;
    EXPECT_TRUE(WriteBytes(path, bytes));
    return path;
  }
  void Run(std::initializer_list<std::wstring> paths) {
    for (const auto& p : paths) list.items.push_back(p);
    RunShred(list, prompts, services);
  }
  bool Succeeded() const {
    return !prompts.messages.empty() && prompts.messages.back() == L"已选文件粉碎完成！";
  }

  TempFolder dir;
  testing::CallLog log;
  testing::FakeList list{log};
  Win32ShredServices services;
  testing::RecordingPrompts prompts;  // the boxes, answered OK
};

TEST_F(ShredFilesTest, NoticeIsGbkWithCrLf) {
  const std::string notice = EncodeLine(NoticeLine());
  const std::string expected =
      "\xB4\xCB\xCE\xC4\xBC\xFE\xD2\xD1\xB1\xBB\xB7\xDB\xCB\xE9\xA3\xA1  By:";
  EXPECT_EQ(notice.substr(0, expected.size()), expected);
  EXPECT_EQ(notice.substr(notice.size() - 2), "\r\n");
  EXPECT_EQ(notice.find('?'), std::string::npos) << "every character has a GBK code";
  EXPECT_EQ(EncodeLine(BannerLine()).find('?'), std::string::npos);
}

TEST_F(ShredFilesTest, ListedFilesAreGoneAndTheListEmpty) {
  const auto a = Make(L"a.txt");
  const auto korean = Make(L"한국어 파일.txt");
  const auto emoji = Make(L"\U0001F600 photo.jpg");
  Run({a, korean, emoji, a});
  EXPECT_TRUE(Succeeded());
  EXPECT_EQ(prompts.kinds.back(), MessageKind::Info);
  EXPECT_TRUE(list.items.empty());
  for (const auto& p : {a, korean, emoji}) EXPECT_FALSE(Exists(p));
}

TEST_F(ShredFilesTest, ReadOnlyFileIsUntouchedAndReported) {
  const auto ro = Make(L"readonly.txt");
  const auto other = Make(L"other.txt");
  ASSERT_TRUE(SetFileAttributesW(ro.c_str(), FILE_ATTRIBUTE_READONLY));
  Run({ro, other});
  EXPECT_EQ(ReadBytes(ro), kSecret);
  EXPECT_FALSE(Exists(other));
  EXPECT_EQ(list.items, std::vector<std::wstring>{ro});
  EXPECT_EQ(prompts.kinds.back(), MessageKind::Warning);
  EXPECT_NE(prompts.messages.back().find(ro), std::wstring::npos);
}

TEST_F(ShredFilesTest, LockedFileIsUntouchedAndReported) {
  const auto locked = Make(L"locked.txt");
  HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  Run({locked});
  CloseHandle(holder);
  EXPECT_EQ(ReadBytes(locked), kSecret);
  EXPECT_EQ(list.items, std::vector<std::wstring>{locked});
  EXPECT_EQ(prompts.messages.back(),
            L"共 1 个文件，其中 1 个未能粉碎：\r\n正在被其他程序使用（1 个）：\r\n" + locked);
}

TEST_F(ShredFilesTest, FileThatCannotBeDeletedHoldsOnlyTheNotice) {
  const auto kept = Make(L"kept.txt", kSecret + kSecret + kSecret);
  // A reader that allows writing but not deletion.
  HANDLE reader = CreateFileW(kept.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  Run({kept});
  CloseHandle(reader);
  EXPECT_EQ(ReadBytes(kept), NoticeBytes());
  EXPECT_EQ(list.items, std::vector<std::wstring>{kept});
  EXPECT_EQ(prompts.kinds.back(), MessageKind::Warning);
}

TEST_F(ShredFilesTest, FolderIsNeitherWrittenNorRemoved) {
  const auto folder = dir / L"sub";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  WriteBytes(folder + L"\\inside.txt", kSecret);
  Run({folder});
  EXPECT_TRUE(Exists(folder));
  EXPECT_EQ(ReadBytes(folder + L"\\inside.txt"), kSecret);
  EXPECT_EQ(list.items, std::vector<std::wstring>{folder});
}

TEST_F(ShredFilesTest, EntriesThatNameNothingAreReportedAndNothingIsCreated) {
  const auto missing = dir / L"never-existed.txt";
  const auto nowhere = dir / L"no-such-folder\\f.txt";
  // A relative entry would name a file in the folder the program started in.
  const auto here = Make(L"rel.txt");
  ASSERT_TRUE(SetCurrentDirectoryW(dir.path().c_str()));
  const auto quoted = Make(L"quoted.txt");
  Run({missing, nowhere, L"rel.txt", L"\"" + quoted + L"\""});
  SetCurrentDirectoryW(L"C:\\");
  EXPECT_FALSE(Exists(missing)) << "never created";
  EXPECT_FALSE(Exists(nowhere));
  EXPECT_EQ(ReadBytes(here), kSecret);
  EXPECT_EQ(ReadBytes(quoted), kSecret);
  EXPECT_EQ(list.items.size(), 4u);
  EXPECT_EQ(prompts.messages.back(),
            L"共 4 个文件，其中 4 个未能粉碎：\r\n"
            L"不是完整路径（1 个）：\r\nrel.txt\r\n"
            L"文件名无效（1 个）：\r\n\"" +
                quoted +
                L"\"\r\n"
                L"找不到文件（1 个）：\r\n" +
                missing +
                L"\r\n"
                L"找不到文件所在的文件夹（1 个）：\r\n" +
                nowhere);
}

TEST_F(ShredFilesTest, DeviceNamesAreNeverOpened) {
  const auto nulInFolder = dir / L"nul.txt";
  Run({L"NUL", L"CON", L"COM1", L"LPT1", nulInFolder, L"\\\\.\\NUL",
       L"\\\\?\\GLOBALROOT\\Device\\Null"});
  EXPECT_EQ(list.items.size(), 7u);
  EXPECT_EQ(prompts.kinds.back(), MessageKind::Warning);
  EXPECT_NE(prompts.messages.back().find(L"共 7 个文件，其中 7 个未能粉碎"), std::wstring::npos);
}

TEST_F(ShredFilesTest, WildcardsDeleteNothingElse) {
  const auto a = Make(L"a1.txt");
  const auto b = Make(L"a2.txt");
  Run({dir / L"a*.txt", dir / L"a?.txt"});
  EXPECT_EQ(ReadBytes(a), kSecret);
  EXPECT_EQ(ReadBytes(b), kSecret);
  EXPECT_EQ(list.items.size(), 2u);
}

TEST_F(ShredFilesTest, SymbolicLinkGoesAndItsTargetStays) {
  TempFolder outside;
  const auto target = outside / L"target.txt";
  ASSERT_TRUE(WriteBytes(target, kSecret));
  const auto link = dir / L"link.txt";
  // Wine 8 answers TRUE and makes nothing: only a real link is tested.
  if (!CreateSymbolicLinkW(link.c_str(), target.c_str(), 0) ||
      !(GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) ||
      GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "this system cannot create symbolic links";
  }
  Run({link});
  EXPECT_EQ(ReadBytes(target), kSecret);
  EXPECT_FALSE(Exists(link));
  EXPECT_EQ(prompts.messages.back(),
            L"是链接：已删除链接本身，其指向的文件未粉碎（1 个）：\r\n" + link);
}

// What the Linux side makes under Wine: a Unix link looks like a plain file
// or folder, and names that differ in case are two files.
TEST_F(ShredFilesTest, UnixLinksAndCaseTwinsFromTheLinuxSide) {
  TempFolder outside;
  const auto target = outside / L"target.txt";
  ASSERT_TRUE(WriteBytes(target, kSecret));
  ASSERT_TRUE(WriteBytes(outside / L"inner.txt", kSecret));
  ASSERT_TRUE(WriteBytes(outside / L"same.txt", kSecret));
  const std::string d = testing_util::UnixPath(dir.path()),
                    o = testing_util::UnixPath(outside.path());
  if (d.empty() ||
      !testing_util::RunUnixShell("printf lone > '" + d + "/Lone.txt' && printf twin1 > '" + d +
                                  "/Case.txt' && printf twin2 > '" + d + "/case.txt' && ln -s '" +
                                  o + "/target.txt' '" + d + "/sl.txt' && ln -s '" + o +
                                  "/same.txt' '" + d + "/same.txt' && ln -s '" + o + "' '" + d +
                                  "/linkdir' && ln -s /dev/null '" + d + "/devnull' && mkfifo '" +
                                  o + "/fifo' && ln -s '" + o + "/fifo' '" + d + "/fifo'") ||
      !Exists(dir / L"sl.txt")) {
    GTEST_SKIP() << "no Linux side to make links and case twins from";
  }
  std::vector<WalkNote> notes;
  std::vector<std::wstring> walked = ExpandFolders({dir.path()}, true, notes);
  std::sort(walked.begin(), walked.end());
  EXPECT_EQ(walked,
            (std::vector<std::wstring>{dir / L"Case.txt", dir / L"Lone.txt", dir / L"case.txt"}))
      << "no link, and nothing outside the folder";
  walked.erase(walked.begin() + 1);
  walked.push_back(dir / L"LONE.txt");  // another case of the file's only name: the file
  walked.push_back(dir / L"sl.txt");
  walked.push_back(dir / L"same.txt");  // a link to a file of its name in another folder
  walked.push_back(dir / L"devnull");
  walked.push_back(dir / L"fifo");
  for (const auto& p : walked) list.items.push_back(p);
  RunShred(list, prompts, services);
  EXPECT_FALSE(Exists(dir / L"Case.txt"));
  EXPECT_FALSE(Exists(dir / L"case.txt")) << "a case twin is a file of its own";
  EXPECT_FALSE(Exists(dir / L"Lone.txt")) << "a name in another case, with no twin, is the file";
  EXPECT_EQ(ReadBytes(target), kSecret) << "a link is never written through";
  EXPECT_EQ(ReadBytes(outside / L"inner.txt"), kSecret);
  EXPECT_EQ(ReadBytes(outside / L"same.txt"), kSecret);
  EXPECT_EQ(list.items, (std::vector<std::wstring>{dir / L"sl.txt", dir / L"same.txt",
                                                   dir / L"devnull", dir / L"fifo"}));
  EXPECT_EQ(prompts.messages.back(), L"共 7 个文件，其中 4 个未能粉碎：\r\n不是文件（2 个）：\r\n" +
                                         dir / L"devnull" + L"\r\n" + dir / L"fifo" +
                                         L"\r\n是链接，其指向的文件不予粉碎（2 个）：\r\n" +
                                         dir / L"sl.txt" + L"\r\n" + dir / L"same.txt");
  testing_util::RunUnixShell("rm -f '" + d + "/sl.txt' '" + d + "/same.txt' '" + d + "/linkdir' '" +
                             d + "/devnull' '" + d + "/fifo' '" + o + "/fifo'");
}

// "/s tree": while the large file is written, "sub" is swapped for a link to
// a folder holding files of the same names. None of those is touched: the
// run holds "sub" and opens its files relative to it.
TEST_F(ShredFilesTest, ASubfolderSwappedForALinkDuringTheRunLeavesItsTargetAlone) {
  const std::wstring tree = dir / L"tree";
  for (const std::wstring& f : {tree, tree + L"\\sub", dir / L"other"})
    CreateDirectoryW(f.c_str(), nullptr);
  const std::string unixTree = testing_util::UnixPath(tree);
  if (unixTree.empty() || !testing_util::RunUnixShell("true")) GTEST_SKIP() << "no Linux side";
  Make(L"tree\\big.bin", std::string(3 * kOverwriteBufferBytes, 'x'));
  for (const wchar_t* name : {L"a.txt", L"b.txt"}) {
    Make(std::wstring(L"tree\\sub\\") + name);
    Make(std::wstring(L"other\\") + name, "other");
  }
  std::vector<WalkNote> notes;
  ShredJob job;
  job.entries = ExpandFolders({tree}, true, notes, true, nullptr, nullptr, &job.folders);
  ASSERT_EQ(job.entries.size(), 3u);
  struct Meanwhile : ShredMonitor {
    void Overwritten(uint64_t) override {
      if (!done) done = testing_util::RunUnixShell(command);
    }
    std::string command;
    bool done = false;
  } monitor;
  monitor.command = "mv '" + unixTree + "/sub' '" + unixTree + "/sub.old' && ln -s '" +
                    testing_util::UnixPath(dir / L"other") + "' '" + unixTree + "/sub'";
  ShredFiles(job, services, monitor);
  ASSERT_TRUE(monitor.done);
  for (const wchar_t* name : {L"a.txt", L"b.txt"})
    EXPECT_EQ(ReadBytes(dir / (std::wstring(L"other\\") + name)), "other") << "never chosen";
  EXPECT_EQ(job.results[0].fate, Fate::Shredded);
  // The held folder went with the move: its files were overwritten there,
  // and stay, moved away.
  for (int i : {1, 2}) EXPECT_EQ(job.results[size_t(i)].reason, Reason::MovedAway);
  for (const wchar_t* name : {L"a.txt", L"b.txt"})
    EXPECT_EQ(ReadBytes(tree + L"\\sub.old\\" + name), NoticeBytes());
  EXPECT_EQ(CliExitStatus(job, notes, false), kCliNotAllShredded);
  testing_util::RunUnixShell("rm -f '" + unixTree + "/sub'");
}

// While a large file is overwritten, another program changes B, whose
// contents are already gone (an editor that saves a new file under the old
// name, one that saves in place, a logger that appends, a new file given
// the number the old one freed), or renames its folder: what is at B's name
// then is neither written nor deleted, and the report says what happened.
TEST_F(ShredFilesTest, AFileChangedFromOutsideDuringTheRunIsLeftAlone) {
  CreateDirectoryW((dir / L"sub").c_str(), nullptr);
  const std::string unixSub = testing_util::UnixPath(dir / L"sub");
  if (unixSub.empty() || !testing_util::RunUnixShell("true")) GTEST_SKIP() << "no Linux side";
  const std::string b = unixSub + "/b.txt";
  const struct {
    const char* name;
    std::string command;
    std::string after;  // what is at B's name afterwards
    Reason reason;
  } rows[] = {
      {"saved again", "printf new > '" + b + ".tmp' && mv '" + b + ".tmp' '" + b + "'", "new",
       Reason::Changed},
      {"rewritten in place", "printf NEW > '" + b + "'", "NEW", Reason::Changed},
      {"appended to", "printf more >> '" + b + "'", NoticeBytes() + "more", Reason::Changed},
      {"replaced by a new file, perhaps with the freed number",
       "rm '" + b + "' && printf new > '" + b + "'", "new", Reason::Changed},
      {"its folder renamed", "mv '" + unixSub + "' '" + unixSub + "2'", "<missing>",
       Reason::MovedAway},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    RemoveTree(dir / L"sub2");
    CreateDirectoryW((dir / L"sub").c_str(), nullptr);
    const auto file = Make(L"sub\\b.txt");
    const auto big = Make(L"big.bin", std::string(3 * kOverwriteBufferBytes, 'x'));
    struct Meanwhile : ShredMonitor {
      void Overwriting(int index, const std::wstring&) override {
        if (index == 1) done = testing_util::RunUnixShell(command);
      }
      std::string command;
      bool done = false;
    } monitor;
    monitor.command = row.command;
    ShredJob job;
    job.entries = {file, big};
    ShredFiles(job, services, monitor);
    ASSERT_TRUE(monitor.done);
    EXPECT_EQ(ReadBytes(file), row.after);
    EXPECT_EQ(job.results[0].reason, row.reason);
    EXPECT_EQ(job.results[1].fate, Fate::Shredded);
    EXPECT_EQ(CliExitStatus(job, {}, false), kCliNotAllShredded);
    if (row.reason == Reason::MovedAway) {
      EXPECT_EQ(ReadBytes(dir / L"sub2\\b.txt"), NoticeBytes()) << "its contents are gone";
      EXPECT_EQ(CliLines(job, {}, true),
                std::vector<std::wstring>{file + L"：内容已覆盖，但文件已被移走，未能删除"});
    }
    RemoveTree(dir / L"sub");
  }
}

// One file listed again through Wine's root drive, whose volume tells no
// serial number: shredded once, and both entries say so.
TEST_F(ShredFilesTest, OneFileThroughTheRootDriveTooIsShreddedOnce) {
  const auto a = Make(L"a.txt");
  const std::wstring throughRoot = testing_util::ThroughRootDrive(a);
  if (throughRoot.empty()) GTEST_SKIP() << "not under Wine";
  ASSERT_TRUE(Exists(throughRoot));
  Run({a, throughRoot});
  EXPECT_FALSE(Exists(a));
  EXPECT_TRUE(Succeeded()) << ::testing::PrintToString(prompts.messages.back());
}

// The real message box, answered by a second thread as a user would.
// What a box shows: its text, icon, buttons and place on the screen.
struct ShownBox {
  std::wstring text;
  bool icon = false, cancel = false;
  RECT place{};
};

// Shows the box through the real services and answers it from a second
// thread as a user would; what the box looked like.
ShownBox ShowAndAnswer(const std::wstring& text, const std::wstring& title, MessageKind kind,
                       int button, bool* answeredOk = nullptr) {
  ShownBox shown;
  std::thread answer([&] {
    for (int i = 0; i < 3000; ++i) {  // the first box of a new prefix is slow
      if (HWND box = FindWindowW(L"#32770", title.c_str())) {
        Sleep(20);
        shown.text.resize(size_t(GetWindowTextLengthW(GetDlgItem(box, 0xFFFF))) + 1);
        GetDlgItemTextW(box, 0xFFFF, shown.text.data(), int(shown.text.size()));
        shown.text.resize(wcslen(shown.text.c_str()));
        shown.icon = testing_util::HasIcon(box);
        shown.cancel = GetDlgItem(box, IDCANCEL) != nullptr;
        GetWindowRect(box, &shown.place);
        PostMessageW(box, WM_COMMAND, button, 0);
        return;
      }
      Sleep(10);
    }
    ADD_FAILURE() << "no box appeared";
  });
  Win32Prompts prompts(nullptr);
  const bool ok = prompts.ShowMessage(text, title, kind);
  answer.join();
  if (answeredOk) *answeredOk = ok;
  return shown;
}

TEST(ShredMessageBoxTest, ConfirmationIsAQuestionWithOkAndCancel) {
  for (const int button : {IDCANCEL, IDOK}) {
    bool ok = false;
    const ShownBox box =
        ShowAndAnswer(kConfirmText, kConfirmTitle, MessageKind::Confirm, button, &ok);
    EXPECT_EQ(box.text, L"您确认粉碎已选文件吗？");
    EXPECT_TRUE(box.icon) << "the question icon";
    EXPECT_TRUE(box.cancel);
    EXPECT_EQ(ok, button == IDOK);
  }
  const ShownBox info = ShowAndAnswer(kDoneText, kInfoTitle, MessageKind::Info, IDOK);
  EXPECT_EQ(info.text, L"已选文件粉碎完成！");
  EXPECT_FALSE(info.icon) << "OK only, no icon";
  EXPECT_FALSE(info.cancel);
  EXPECT_TRUE(ShowAndAnswer(L"x", kInfoTitle, MessageKind::Warning, IDOK).icon);
}

// Twelve failing entries of 5,000 characters: the box and its OK button
// stay inside the screen's work area; the paths are shortened in the middle.
TEST(ShredMessageBoxTest, AReportOfLongPathsFitsTheScreen) {
  std::wstring report = L"共 12 个文件，其中 12 个未能粉碎：\r\n找不到文件（12 个）：";
  for (int i = 0; i < 12; ++i) report += L"\r\nC:\\" + std::wstring(5000, wchar_t(L'a' + i));
  const ShownBox box = ShowAndAnswer(report, kInfoTitle, MessageKind::Warning, IDOK);
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_GE(box.place.left, work.left);
  EXPECT_GE(box.place.top, work.top);
  EXPECT_LE(box.place.right, work.right);
  EXPECT_LE(box.place.bottom, work.bottom);
  EXPECT_NE(box.text.find(L"C:\\aaa"), std::wstring::npos);
  EXPECT_NE(box.text.find(L"…"), std::wstring::npos);
}

}  // namespace
}  // namespace shred
