// The shred run's logic against an in-memory list and file system.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "engine/overwrite_pattern.h"
#include "engine/shred_cli.h"
#include "engine/shred_report.h"
#include "tests/fake_shred.h"

namespace shred {
namespace {

using testing::CallLog;
using testing::FakeList;
using testing::FakeServices;

class ShredRunTest : public ::testing::Test {
 protected:
  void List(std::initializer_list<const wchar_t*> paths) {
    for (const wchar_t* p : paths) list.items.push_back(p);
  }
  size_t IndexOf(const std::wstring& call) const {
    auto it = std::find(log.calls.begin(), log.calls.end(), call);
    return it == log.calls.end() ? SIZE_MAX : size_t(it - log.calls.begin());
  }
  std::vector<std::wstring> CallsStartingWith(const std::wstring& prefix) const {
    std::vector<std::wstring> out;
    for (const auto& c : log.calls)
      if (c.rfind(prefix, 0) == 0) out.push_back(c);
    return out;
  }
  std::wstring Notice() const { return BannerLine() + L"\r\n" + NoticeLine() + L"\r\n"; }

  CallLog log;
  FakeList list{log};
  FakeServices services{log};
};

TEST_F(ShredRunTest, CancelChangesNothing) {
  List({L"C:\\a.txt"});
  services.files[L"C:\\a.txt"] = L"data";
  services.answerOk = false;
  RunShred(list, services, services);
  ASSERT_EQ(log.calls.size(), 1u);
  EXPECT_EQ(services.messages[0].text, L"您确认粉碎已选文件吗？");
  EXPECT_EQ(services.messages[0].title, L"警告");
  EXPECT_EQ(services.messages[0].kind, MessageKind::Confirm);
  EXPECT_EQ(services.files[L"C:\\a.txt"], L"data");
  EXPECT_EQ(list.items.size(), 1u);
}

TEST_F(ShredRunTest, EmptyListAsksFirstThenSaysSo) {
  RunShred(list, services, services);
  ASSERT_EQ(services.messages.size(), 2u);
  EXPECT_EQ(services.messages[0].kind, MessageKind::Confirm);
  EXPECT_EQ(services.messages[1].text, L"请选择文件！");
  EXPECT_EQ(services.messages[1].title, L"提示");
  EXPECT_EQ(services.messages[1].kind, MessageKind::Info);
  EXPECT_TRUE(CallsStartingWith(L"notice:").empty());
}

TEST_F(ShredRunTest, OverwritesEveryFileBeforeDeletingAny) {
  List({L"C:\\a", L"C:\\b", L"C:\\c"});
  for (auto& p : list.items) services.files[p] = L"secret";
  RunShred(list, services, services);

  EXPECT_EQ(CallsStartingWith(L"notice:"),
            (std::vector<std::wstring>{L"notice:C:\\a", L"notice:C:\\b", L"notice:C:\\c"}));
  EXPECT_EQ(CallsStartingWith(L"rename:"),
            (std::vector<std::wstring>{L"rename:C:\\a>C:\\z", L"rename:C:\\b>C:\\y",
                                       L"rename:C:\\c>C:\\1"}));
  EXPECT_EQ(CallsStartingWith(L"delete:").size(), 3u);
  const size_t lastOpen = IndexOf(L"notice:C:\\c");
  const size_t firstDelete = IndexOf(L"rename:C:\\a>C:\\z");
  EXPECT_LT(lastOpen, firstDelete);
  EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), L"count"), 1)
      << "the run works on the entries as it found them";
  EXPECT_EQ(log.calls[lastOpen + 1], L"closefile:C:\\c")
      << "written through the overwrite's handle";
  EXPECT_TRUE(services.files.empty());
  EXPECT_TRUE(list.items.empty());
  EXPECT_EQ(services.messages.back().text, L"已选文件粉碎完成！");
  EXPECT_EQ(services.messages.back().title, L"提示");
  EXPECT_EQ(services.messages.back().kind, MessageKind::Info);
}

// A random name handed out again (a short one has few letters) is not taken
// for a second file of the run: the first file's is looked up once the
// deletions are done, and would find the second one there.
TEST_F(ShredRunTest, NoTwoFilesOfARunAreHiddenUnderOneName) {
  List({L"C:\\a", L"C:\\b"});
  for (auto& p : list.items) services.files[p] = L"secret";
  services.repeatSiblings = true;
  services.pendingDelete.insert(L"C:\\b");  // its name stays, behind another program
  RunShred(list, services, services);
  EXPECT_EQ(CallsStartingWith(L"rename:"),
            (std::vector<std::wstring>{L"rename:C:\\a>C:\\z", L"rename:C:\\b>C:\\s"}));
  EXPECT_EQ(list.items, std::vector<std::wstring>{L"C:\\s"}) << "the first is gone, and said so";
}

TEST_F(ShredRunTest, DuplicatesAreOverwrittenTwiceAndDeletedOnce) {
  List({L"C:\\a", L"C:\\a"});
  services.files[L"C:\\a"] = L"secret";
  RunShred(list, services, services);
  EXPECT_EQ(CallsStartingWith(L"notice:").size(), 1u) << "the second names the same file";
  EXPECT_EQ(CallsStartingWith(L"delete:").size(), 1u);
  EXPECT_TRUE(list.items.empty());
  EXPECT_EQ(services.messages.back().text, L"已选文件粉碎完成！");
}

TEST_F(ShredRunTest, EntriesThatNameNothingAreReportedNeverCreated) {
  List({L"C:\\new.txt", L"", L"rel.txt", L"\\\\srv\\share\\f.txt", L"C:\\gone\\f.txt"});
  services.missingReason[L"\\\\srv\\share\\f.txt"] = Reason::NetworkPath;
  services.missingReason[L"C:\\gone\\f.txt"] = Reason::PathNotFound;
  RunShred(list, services, services);
  EXPECT_TRUE(CallsStartingWith(L"open").empty());
  EXPECT_TRUE(services.files.empty()) << "a missing file is never created";
  EXPECT_EQ(list.items.size(), 5u);
  EXPECT_EQ(services.messages.back().text,
            L"共 5 个文件，其中 5 个未能粉碎：\r\n"
            L"不是完整路径（1 个）：\r\nrel.txt\r\n"
            L"文件名无效（1 个）：\r\n（空）\r\n"
            L"找不到文件（1 个）：\r\nC:\\new.txt\r\n"
            L"找不到文件所在的文件夹（1 个）：\r\nC:\\gone\\f.txt\r\n"
            L"无法访问网络路径（1 个）：\r\n\\\\srv\\share\\f.txt");
  EXPECT_EQ(services.messages.back().kind, MessageKind::Warning);
}

TEST_F(ShredRunTest, SurvivorsAreReportedAndKeptInOrder) {
  List({L"C:\\locked", L"C:\\gone", L"C:\\folder", L"C:\\gone2"});
  services.files[L"C:\\locked"] = L"secret";
  services.files[L"C:\\gone"] = L"x";
  services.locked.insert(L"C:\\locked");
  services.folders.insert(L"C:\\folder");
  RunShred(list, services, services);

  EXPECT_EQ(list.items, (std::vector<std::wstring>{L"C:\\locked", L"C:\\folder", L"C:\\gone2"}));
  EXPECT_EQ(services.files[L"C:\\locked"], L"secret");
  ASSERT_EQ(services.messages.size(), 2u);
  const auto& report = services.messages[1];
  EXPECT_EQ(report.kind, MessageKind::Warning);
  EXPECT_EQ(report.title, L"提示");
  EXPECT_EQ(report.text,
            L"共 4 个文件，其中 3 个未能粉碎：\r\n找不到文件（1 个）：\r\nC:\\gone2\r\n"
            L"不是文件（1 个）：\r\nC:\\folder\r\n"
            L"正在被其他程序使用（1 个）：\r\nC:\\locked");
}

TEST_F(ShredRunTest, EachGroupNamesTenPathsThenAnEllipsis) {
  // 10 folders name all ten; 11 locked files name ten and "…".
  for (int i = 0; i < 21; ++i) {
    list.items.push_back(L"C:\\f" + std::to_wstring(i));
    if (i < 10) {
      services.folders.insert(list.items.back());
    } else {
      services.files[list.items.back()] = L"x";
      services.locked.insert(list.items.back());
    }
  }
  RunShred(list, services, services);
  const std::wstring& text = services.messages.back().text;
  EXPECT_EQ(text.rfind(L"共 21 个文件，其中 21 个未能粉碎：\r\n不是文件（10 个）：", 0), 0u);
  EXPECT_NE(text.find(L"C:\\f9\r\n正在被其他程序使用（11 个）："), std::wstring::npos)
      << text.c_str();
  EXPECT_NE(text.find(L"C:\\f19\r\n…"), std::wstring::npos) << text.c_str();
  EXPECT_EQ(text.find(L"C:\\f20"), std::wstring::npos);
  EXPECT_EQ(text.back(), L'…');
}

TEST_F(ShredRunTest, DevicesAndWildcardsAreNeverTouchedAndCountAsFailures) {
  List({L"NUL", L"C:\\x\\*.txt", L"C:\\ok"});
  services.files[L"C:\\ok"] = L"secret";
  RunShred(list, services, services);
  EXPECT_EQ(CallsStartingWith(L"notice:"), std::vector<std::wstring>{L"notice:C:\\ok"});
  EXPECT_EQ(CallsStartingWith(L"delete:"), std::vector<std::wstring>{L"delete:C:\\zz"});
  EXPECT_EQ(list.items, (std::vector<std::wstring>{L"NUL", L"C:\\x\\*.txt"}));
  EXPECT_EQ(services.messages.back().kind, MessageKind::Warning);
}

TEST_F(ShredRunTest, FileContentIsTheTwoLineNotice) {
  List({L"C:\\a"});
  services.locked.clear();
  // Keep the file by failing its deletion after the overwrite.
  struct KeepFiles : FakeServices {
    using FakeServices::FakeServices;
    Reason DeleteOpenFile(FileId) override { return Reason::AccessDenied; }
  } keep{log};
  keep.files[L"C:\\a"] = L"old contents that must go";
  RunShred(list, keep, keep);
  EXPECT_EQ(keep.files[L"C:\\a"], Notice());
  EXPECT_EQ(list.items, std::vector<std::wstring>{L"C:\\a"});
  EXPECT_NE(keep.messages.back().text.find(L"内容已覆盖，但无法删除（1 个）：\r\nC:\\a"),
            std::wstring::npos);
  EXPECT_EQ(NoticeLine().rfind(L"此文件已被粉碎！  ", 0), 0u);
}

// Folders handed over whole go once their files are gone, from the bottom
// up, each renamed first; one that still holds anything stays, and the
// report and the CLI say so, one line a folder.
TEST(ShredFolderTest, WholeFoldersGoFromTheBottomUp) {
  using S = testing::FakeServices;
  struct Row {
    const char* name;
    void (*setUp)(S&);
    std::set<std::wstring> foldersLeft;
    std::vector<std::wstring> lines;  // the CLI's, with /q
    bool pattern = false;             // the folders a pattern's walk read, kept
  };
  // While the first file is overwritten, "sub" is moved away and a link to
  // a folder holding a file of the same name takes its place.
  const auto swapSub = [](S& s) {
    s.whenOpened[L"C:\\t\\a"] = [](S& s) {
      s.MoveFolder(L"C:\\t\\sub", L"C:\\t\\sub.old");
      s.folderLinks[L"C:\\t\\sub"] = L"C:\\o";
    };
  };
  const Row rows[] = {
      {"every file shredded", [](S&) {}, {}, {}},
      {"a subfolder swapped for a link meanwhile",
       swapSub,
       {L"C:\\t", L"C:\\t\\sub.old"},
       {L"C:\\t\\sub\\b：内容已覆盖，但文件已被移走，未能删除", L"C:\\t：文件夹中仍有内容，未删除",
        L"C:\\t\\sub：文件夹中仍有内容，未删除"}},
      {"a subfolder swapped for a link meanwhile, under a pattern",
       swapSub,
       {L"C:\\t", L"C:\\t\\sub.old", L"C:\\t\\sub2"},
       {L"C:\\t\\sub\\b：内容已覆盖，但文件已被移走，未能删除"},
       true},
      {"a subfolder replaced by another of its name before its file is opened",
       [](S& s) {
         s.whenOpened[L"C:\\t\\a"] = [](S& s) {
           s.MoveFolder(L"C:\\t\\sub", L"C:\\t\\sub.old");
           s.folders.insert(L"C:\\t\\sub");
           s.Replace(L"C:\\t\\sub\\b", L"new");
         };
       },
       {L"C:\\t", L"C:\\t\\sub", L"C:\\t\\sub.old"},
       {L"C:\\t\\sub\\b：内容已覆盖，但文件已被移走，未能删除", L"C:\\t：文件夹中仍有内容，未删除",
        L"C:\\t\\sub：文件夹中仍有内容，未删除"}},
      {"a survivor keeps its folders",
       [](S& s) { s.locked.insert(L"C:\\t\\sub2\\keep"); },
       {L"C:\\t", L"C:\\t\\sub2"},
       {L"C:\\t\\sub2\\keep：正在被其他程序使用", L"C:\\t：文件夹中仍有内容，未删除",
        L"C:\\t\\sub2：文件夹中仍有内容，未删除"}},
      {"a file that appeared since",
       [](S& s) { s.onOpenToDelete = [](S& s) { s.files[L"C:\\t\\new.txt"] = L"new"; }; },
       {L"C:\\t"},
       {L"C:\\t：文件夹中仍有内容，未删除"}},
      {"a folder replaced by another of its name",
       [](S& s) {
         s.onOpenToDelete = [](S& s) {
           s.MoveFolder(L"C:\\t\\sub", L"C:\\t\\sub.old");
           s.folders.insert(L"C:\\t\\sub");
           s.Replace(L"C:\\t\\sub\\b", L"new");
         };
       },
       {L"C:\\t", L"C:\\t\\sub", L"C:\\t\\sub.old"},
       {L"C:\\t\\sub\\b：内容已覆盖，但文件已被移走，未能删除", L"C:\\t：文件夹中仍有内容，未删除",
        L"C:\\t\\sub：文件夹中仍有内容，未删除"}},
      {"a file with a name in each of two of them",
       [](S& s) {
         s.files.erase(L"C:\\t\\sub2\\keep");
         s.hardLinks[L"C:\\t\\sub2\\keep"] = L"C:\\t\\a";
       },
       {},
       {}},
      {"a link the walk left in it",
       [](S& s) { s.links.insert(L"C:\\t\\sub\\link"); },
       {L"C:\\t", L"C:\\t\\sub"},
       {L"C:\\t：文件夹中仍有内容，未删除", L"C:\\t\\sub：文件夹中仍有内容，未删除"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CallLog log;
    S services{log};
    services.folders = {L"C:\\t", L"C:\\t\\sub", L"C:\\t\\sub2"};
    ShredJob job;
    job.entries = {L"C:\\t\\a", L"C:\\t\\sub\\b", L"C:\\t\\sub2\\keep"};
    for (const auto& e : job.entries) services.files[e] = L"secret";
    for (const wchar_t* f : {L"C:\\t", L"C:\\t\\sub", L"C:\\t\\sub2"})
      (row.pattern ? job.walked : job.folders).push_back({f, services.IdOf(f)});
    services.folders.insert(L"C:\\o");
    services.files[L"C:\\o\\b"] = L"other";
    row.setUp(services);
    ShredMonitor monitor;
    ShredFiles(job, services, monitor);
    services.folders.erase(L"C:\\o");
    EXPECT_EQ(services.folders, row.foldersLeft);
    EXPECT_EQ(services.files[L"C:\\o\\b"], L"other") << "never chosen";
    EXPECT_EQ(CliLines(job, {}, true), row.lines);
    EXPECT_EQ(CliExitStatus(job, {}, false),
              row.lines.empty() ? kCliAllShredded : kCliNotAllShredded);
    EXPECT_EQ(services.openHandles, 0);
    if (row.foldersLeft.empty()) {
      const auto renamed =
          std::find(log.calls.begin(), log.calls.end(), L"rename:C:\\t\\sub>C:\\t\\zzz");
      EXPECT_NE(renamed, log.calls.end()) << "renamed before it goes";
      EXPECT_TRUE(ShredReport(job).empty());
    } else if (!row.pattern) {
      EXPECT_NE(ShredReport(job).find(L"未删除的文件夹"), std::wstring::npos);
    }
  }
  // A cancel keeps every folder: its files are still there.
  CallLog log;
  S services{log};
  services.folders = {L"C:\\t"};
  services.files[L"C:\\t\\a"] = L"secret";
  ShredJob job;
  job.entries = {L"C:\\t\\a"};
  job.folders = {{L"C:\\t", services.IdOf(L"C:\\t")}};
  struct CancelAtOnce : ShredMonitor {
    bool CancelRequested() override { return true; }
  } cancel;
  ShredFiles(job, services, cancel);
  ASSERT_EQ(job.folderResults.size(), 1u) << "the kept folder is in the record and the lines";
  EXPECT_FALSE(job.folderResults[0].removed);
  EXPECT_EQ(CliLines(job, {}, true),
            (std::vector<std::wstring>{L"C:\\t\\a：未处理", L"C:\\t：粉碎已取消，文件夹未删除"}));
  EXPECT_EQ(services.folders.count(L"C:\\t"), 1u);
}

// A volume that refuses the long random name (ext4 counts bytes) gets a
// plain one as long as the file's own; one that takes no name at all still
// sees the file deleted, its contents gone.
TEST_F(ShredRunTest, ARefusedRandomNameFallsBackToAShorterOne) {
  List({L"C:\\long", L"C:\\fixed"});
  services.files[L"C:\\long"] = L"secret";
  services.files[L"C:\\fixed"] = L"secret";
  services.refusesLongNames.insert(L"C:\\long");
  services.renameFails.insert(L"C:\\fixed");
  RunShred(list, services, services);
  EXPECT_EQ(
      CallsStartingWith(L"rename:"),
      (std::vector<std::wstring>{L"rename:C:\\long>C:\\zzzz", L"rename:C:\\long>C:\\ssss",
                                 L"rename:C:\\fixed>C:\\yyyyy", L"rename:C:\\fixed>C:\\sssss"}));
  EXPECT_EQ(CallsStartingWith(L"delete:"),
            (std::vector<std::wstring>{L"delete:C:\\ssss", L"delete:C:\\fixed"}));
  EXPECT_TRUE(services.files.empty());
  EXPECT_EQ(services.messages.back().text, L"已选文件粉碎完成！");
}

// A step that throws (out of memory) leaves no file held: every handle the
// run opened is closed on the way out.
TEST_F(ShredRunTest, AThrowLeavesNoHandleOpen) {
  List({L"C:\\a"});
  services.files[L"C:\\a"] = L"secret";
  services.throwOnWrite = true;
  ShredJob job;
  job.entries = list.items;
  ShredMonitor monitor;
  EXPECT_THROW(ShredFiles(job, services, monitor), std::bad_alloc);
  EXPECT_EQ(services.openHandles, 0);
}

// Cancels once `after` buffers have been written (a small fake file takes one).
struct CancelAfter : ShredMonitor {
  explicit CancelAfter(int buffers) : after(buffers) {}
  bool CancelRequested() override { return buffers >= after; }
  void Overwriting(int, const std::wstring& path) override {
    order.push_back(L"overwrite:" + path);
  }
  void Overwritten(uint64_t) override { ++buffers; }
  void ReadBack(uint64_t bytes) override { readBack = bytes; }
  void Deleting(int, const std::wstring& path) override { order.push_back(L"delete:" + path); }
  int after, buffers = 0;
  uint64_t readBack = 0;
  std::vector<std::wstring> order;
};

TEST_F(ShredRunTest, CancelFinishesTheFilesStartedAndKeepsTheRest) {
  List({L"C:\\a", L"C:\\b", L"C:\\c", L"C:\\d"});
  for (auto& p : list.items) services.files[p] = L"secret";
  ShredJob job;
  ASSERT_TRUE(PrepareShred(list, services, job));
  CancelAfter monitor(2);
  ShredFiles(job, services, monitor);
  FinishShred(list, services, job);

  EXPECT_TRUE(job.cancelled);
  EXPECT_EQ(monitor.order, (std::vector<std::wstring>{L"overwrite:C:\\a", L"overwrite:C:\\b",
                                                      L"delete:C:\\a", L"delete:C:\\b"}));
  EXPECT_EQ(CallsStartingWith(L"notice:").size(), 2u) << "c and d are never opened";
  EXPECT_EQ(services.files[L"C:\\c"], L"secret");
  EXPECT_EQ(services.files[L"C:\\d"], L"secret");
  EXPECT_FALSE(services.PathExists(L"C:\\a"));
  EXPECT_EQ(list.items, (std::vector<std::wstring>{L"C:\\c", L"C:\\d"}));
  EXPECT_EQ(services.messages.back().text,
            L"粉碎已取消：已粉碎 2 个文件，2 个文件未处理，仍保留在列表中。");
  EXPECT_EQ(services.messages.back().kind, MessageKind::Info);
}

// A run that stopped short without a cancel (the worker could not go on)
// says so, and one before the window closes says the list goes with it.
TEST_F(ShredRunTest, ARunCutShortOrClosingSaysSo) {
  List({L"C:\\a", L"C:\\b"});
  services.files[L"C:\\a"] = L"x";
  services.files[L"C:\\b"] = L"x";
  ShredJob job;
  ASSERT_TRUE(PrepareShred(list, services, job));
  job.results.assign(2, EntryResult{});  // nothing reached, nobody cancelled
  FinishShred(list, services, job);
  EXPECT_EQ(services.messages.back().text,
            L"粉碎未能进行到底：已粉碎 0 个文件，2 个文件未处理，仍保留在列表中。");
  EXPECT_EQ(list.items.size(), 2u);
  job.cancelled = true;
  job.closing = true;
  FinishShred(list, services, job);
  EXPECT_EQ(services.messages.back().text,
            L"粉碎已取消：已粉碎 0 个文件，2 个文件未处理。\r\n窗口将关闭，列表不会保留。");
}

TEST_F(ShredRunTest, CancelAlsoReportsTheFilesThatSurvived) {
  List({L"C:\\folder", L"C:\\b", L"C:\\c"});
  services.folders.insert(L"C:\\folder");
  services.files[L"C:\\b"] = L"x";
  services.files[L"C:\\c"] = L"x";
  ShredJob job;
  ASSERT_TRUE(PrepareShred(list, services, job));
  CancelAfter monitor(1);
  ShredFiles(job, services, monitor);
  FinishShred(list, services, job);
  EXPECT_EQ(list.items, (std::vector<std::wstring>{L"C:\\folder", L"C:\\c"}));
  EXPECT_EQ(services.messages.back().kind, MessageKind::Warning);
  EXPECT_NE(services.messages.back().text.find(L"已粉碎 1 个文件，1 个文件未处理"),
            std::wstring::npos);
  EXPECT_NE(services.messages.back().text.find(
                L"共 2 个文件，其中 1 个未能粉碎：\r\n不是文件（1 个）：\r\nC:\\folder"),
            std::wstring::npos);
}

TEST_F(ShredRunTest, CancelInTheMiddleOfAFileKeepsItPartlyOverwritten) {
  List({L"C:\\a", L"C:\\big", L"C:\\c"});
  services.files[L"C:\\a"] = L"x";
  services.files[L"C:\\big"] = L"y";
  services.allocation[L"C:\\big"] = 3 * kOverwriteChunk;
  services.files[L"C:\\c"] = L"z";
  ShredJob job;
  ASSERT_TRUE(PrepareShred(list, services, job));
  CancelAfter monitor(2);  // a's buffer, then big's first of three
  ShredFiles(job, services, monitor);
  FinishShred(list, services, job);
  EXPECT_EQ(CallsStartingWith(L"write:C:\\big").size(), 1u);
  EXPECT_EQ(IndexOf(L"truncate:C:\\big"), SIZE_MAX) << "a cut-short pass is not truncated";
  EXPECT_EQ(CallsStartingWith(L"rename:C:\\big").size(), 0u) << "nor renamed nor deleted";
  EXPECT_FALSE(services.PathExists(L"C:\\a"));
  EXPECT_EQ(list.items, (std::vector<std::wstring>{L"C:\\big", L"C:\\c"}));
  EXPECT_EQ(services.messages.back().text,
            L"粉碎已取消：已粉碎 1 个文件，1 个文件未处理，仍保留在列表中。\r\n"
            L"共 2 个文件，其中 1 个未能粉碎：\r\n已取消，仅部分覆盖（1 个）：\r\nC:\\big");
}

// One file, C:\f holding "secret", set up by a table's row and run through.
struct OneFileRun {
  explicit OneFileRun(void (*setUp)(FakeServices&)) {
    list.items = {L"C:\\f"};
    services.files[L"C:\\f"] = L"secret";
    setUp(services);
  }
  void Run(bool verify, ShredMonitor& monitor) {
    ASSERT_TRUE(PrepareShred(list, services, job));
    job.verify = verify;
    ShredFiles(job, services, monitor);
    FinishShred(list, services, job);
  }
  CallLog log;
  FakeList list{log};
  FakeServices services{log};
  ShredJob job;
};

// One file whose run goes wrong at one step: it stays in the list, is never
// renamed or deleted unless its contents are gone, and the report says why.
TEST_F(ShredRunTest, EveryFailedStepKeepsTheFileAndSaysWhy) {
  struct Row {
    const char* name;
    void (*setUp)(testing::FakeServices&);
    const wchar_t* reason;  // nullptr: the file is gone
    bool renamed;           // the rename was tried
    uint32_t error = 0;     // the platform's code, in the record
    bool measured = false;  // its size and the bytes written over stay in the record
    const wchar_t* detail = L"";
    const wchar_t* shown = L"C:\\f";  // the name it is listed under afterwards
  };
  const std::wstring f = L"C:\\f";
  static const Row rows[] = {
      {"in use", [](auto& s) { s.locked.insert(L"C:\\f"); }, L"正在被其他程序使用", false, 32},
      {"in use at the deletion, its contents gone", [](auto& s) { s.heldFor[L"C:\\f"] = 1000; },
       L"内容已覆盖，但无法删除", false, 32, true},
      {"access denied at the deletion, its contents gone",
       [](auto& s) { s.deleteDenied.insert(L"C:\\f"); }, L"内容已覆盖，但无法删除", false, 5, true,
       L"（拒绝访问）"},
      {"moved away after the overwrite",
       [](auto& s) {
         s.onOpenToDelete = [](testing::FakeServices& s) {
           s.files[L"C:\\g"] = s.files[L"C:\\f"];
           s.files.erase(L"C:\\f");
         };
       },
       L"内容已覆盖，但文件已被移走，未能删除", false, 0, true},
      {"disk full in the middle",
       [](auto& s) {
         s.allocation[L"C:\\f"] = 2 * kOverwriteChunk;
         s.writeFault[L"C:\\f"] = {kOverwriteChunk, Reason::DiskFull};
       },
       L"磁盘空间不足", false, 112, true},
      {"read-only", [](auto& s) { s.attributes[L"C:\\f"] = attr::kReadOnly; }, L"文件或磁盘只读",
       false},
      {"handle is a link", [](auto& s) { s.handleAttributes[L"C:\\f"] = attr::kReparsePoint; },
       L"文件在检查后发生了变化", false},
      {"handle is a folder", [](auto& s) { s.handleAttributes[L"C:\\f"] = attr::kDirectory; },
       L"不是文件", false},
      {"a stream cannot be opened",
       [](auto& s) {
         s.locked.insert(L"C:\\f:s:$DATA");
         s.files[L"C:\\f:s:$DATA"] = L"s";
       },
       L"正在被其他程序使用", false, 32, true},
      {"delete fails", [](auto& s) { s.undeletable.insert(L"C:\\f"); }, L"内容已覆盖，但无法删除",
       true, 0, true},
      {"rename and delete fail: its own name, never a renamed entry",
       [](auto& s) {
         s.renameFails.insert(L"C:\\f");
         s.undeletable.insert(L"C:\\f");
       },
       L"内容已覆盖，但无法删除", true, 0, true},
      {"made read-only before the deletion",
       [](auto& s) {
         s.onOpenToDelete = [](testing::FakeServices& s) {
           s.attributes[L"C:\\f"] = attr::kReadOnly;
         };
       },
       L"文件或磁盘只读", false, 0, true},
      {"delete and rename back fail",
       [](auto& s) {
         s.undeletable.insert(L"C:\\f");
         s.renameFails.insert(L"C:\\z");
       },
       L"内容已覆盖，但无法删除，也无法改回原名", true, 0, true, L"", L"C:\\z"},
      {"deleted, the platform says, and the name stays: pending behind another program",
       [](auto& s) { s.pendingDelete.insert(L"C:\\f"); }, L"内容已覆盖，但无法删除", true, 0, true,
       L"（其他程序仍打开着它）", L"C:\\z"},
      {"an error the run has no words for", [](auto& s) { s.openError[L"C:\\f"] = 1117; },
       L"读写错误（错误代码 1117）", false, 1117},
      {"grew while it was overwritten: left as it is",
       [](auto& s) {
         s.whenWritten[L"C:\\f"] = [](testing::FakeServices& s) {
           s.Rewrite(L"C:\\f", s.files[L"C:\\f"] + L" and a logger's new line");
         };
       },
       L"文件在检查后发生了变化", false, 0, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    OneFileRun run(row.setUp);
    ShredMonitor unattended;
    run.Run(false, unattended);
    auto& rowLog = run.log;
    auto& rowList = run.list;
    auto& rowServices = run.services;
    EXPECT_EQ(rowServices.openHandles, 0) << "every handle it opened is closed";
    const auto renames = std::count_if(rowLog.calls.begin(), rowLog.calls.end(),
                                       [](auto& c) { return c.rfind(L"rename:C:\\f>", 0) == 0; });
    EXPECT_EQ(renames > 0, row.renamed);
    if (!row.reason) {
      EXPECT_FALSE(rowServices.PathExists(f));
      EXPECT_EQ(rowServices.messages.back().text, L"已选文件粉碎完成！");
      continue;
    }
    const std::wstring shown = row.shown;
    EXPECT_EQ(rowList.items, std::vector<std::wstring>{shown}) << "kept under the name it has";
    EXPECT_EQ(rowServices.messages.back().text, L"共 1 个文件，其中 1 个未能粉碎：\r\n" +
                                                    std::wstring(row.reason) + L"（1 个）：\r\n" +
                                                    shown + row.detail);
    const EntryResult& result = run.job.results[0];
    EXPECT_EQ(result.error, row.error);
    EXPECT_EQ(result.size > 0 && result.overwritten > 0 && result.identity.Known(), row.measured)
        << "what was measured once the overwrite began stays for the record";
    EXPECT_EQ(rowServices.messages.back().kind, MessageKind::Warning);
  }
}

// The run knows a file by its identity, not by the text of its path: what
// takes a name between two steps is left alone, one file named twice is
// worked once, two files that only look alike are two.
TEST_F(ShredRunTest, TheFileThatWasOverwrittenIsTheFileThatIsDeleted) {
  using S = testing::FakeServices;
  const wchar_t* kDone = L"已选文件粉碎完成！";
  const wchar_t* kChanged =
      L"共 1 个文件，其中 1 个未能粉碎：\r\n文件在检查后发生了变化（1 个）：\r\nC:\\b";
  struct Row {
    const char* name;
    std::vector<std::wstring> entries;
    void (*setUp)(S&);
    std::map<std::wstring, std::wstring> after;  // the files left, with their contents
    std::vector<std::wstring> kept;              // the list after the run
    std::wstring report;
  };
  const std::wstring notice = Notice();
  const Row rows[] = {
      {"saved again by an editor before the deletion",
       {L"C:\\b"},
       [](S& s) { s.onOpenToDelete = [](S& s) { s.Replace(L"C:\\b", L"new"); }; },
       {{L"C:\\b", L"new"}},
       {L"C:\\b"},
       kChanged},
      {"saved again while a large file is overwritten",
       {L"C:\\b", L"C:\\big"},
       [](S& s) {
         s.files[L"C:\\big"] = L"big";
         s.whenOpened[L"C:\\big"] = [](S& s) { s.Replace(L"C:\\b", L"new"); };
       },
       {{L"C:\\b", L"new"}},
       {L"C:\\b"},
       L"共 2 个文件，其中 1 个未能粉碎：\r\n文件在检查后发生了变化（1 个）：\r\nC:\\b"},
      {"an ID shared by a file on another volume",
       {L"C:\\b", L"D:\\b"},
       [](S& s) {
         s.files[L"D:\\b"] = L"other";
         s.ids[L"D:\\b"] = s.IdOf(L"C:\\b").low;
         s.differentVolumes.insert(L"D:\\b");
       },
       {},
       {},
       kDone},
      {"replaced by a hard link to another file",
       {L"C:\\b"},
       [](S& s) {
         s.files[L"C:\\other"] = L"keep";
         s.onOpenToDelete = [](S& s) {
           s.files.erase(L"C:\\b");
           s.aliases[L"C:\\b"] = L"C:\\other";
         };
       },
       {{L"C:\\other", L"keep"}},
       {L"C:\\b"},
       kChanged},
      {"replaced by a link the platform does not mark",
       {L"C:\\b"},
       [](S& s) {
         s.files[L"C:\\other"] = L"keep";
         s.onOpenToDelete = [](S& s) {
           s.files.erase(L"C:\\b");
           s.unmarkedLinks[L"C:\\b"] = L"C:\\other";
         };
       },
       {{L"C:\\other", L"keep"}},
       {L"C:\\b"},
       kChanged},
      {"replaced by a link",
       {L"C:\\b"},
       [](S& s) {
         s.onOpenToDelete = [](S& s) {
           s.files.erase(L"C:\\b");
           s.links.insert(L"C:\\b");
         };
       },
       {},
       {L"C:\\b"},
       kChanged},
      {"replaced by a folder",
       {L"C:\\b"},
       [](S& s) {
         s.onOpenToDelete = [](S& s) {
           s.files.erase(L"C:\\b");
           s.folders.insert(L"C:\\b");
         };
       },
       {},
       {L"C:\\b"},
       kChanged},
      {"rewritten in place before the deletion",
       {L"C:\\b"},
       [](S& s) { s.onOpenToDelete = [](S& s) { s.Rewrite(L"C:\\b", L"NEW"); }; },
       {{L"C:\\b", L"NEW"}},
       {L"C:\\b"},
       kChanged},
      {"appended to before the deletion",
       {L"C:\\b"},
       [](S& s) {
         s.onOpenToDelete = [](S& s) { s.Rewrite(L"C:\\b", s.files[L"C:\\b"] + L"log"); };
       },
       {{L"C:\\b", notice + L"log"}},
       {L"C:\\b"},
       kChanged},
      {"appended to, a file with a stream (whose write time is not compared)",
       {L"C:\\b"},
       [](S& s) {
         s.files[L"C:\\b:s:$DATA"] = L"stream";
         s.onOpenToDelete = [](S& s) {
           s.files[L"C:\\b"] += L"log";  // the same time, as the stream's write left it
         };
       },
       {{L"C:\\b", notice + L"log"}, {L"C:\\b:s:$DATA", L""}},
       {L"C:\\b"},
       kChanged},
      {"rewritten in place to the notice's length",
       {L"C:\\b"},
       [](S& s) {
         s.onOpenToDelete = [](S& s) {
           s.Rewrite(L"C:\\b", std::wstring(s.files[L"C:\\b"].size(), L'n'));
         };
       },
       {{L"C:\\b", std::wstring(notice.size(), L'n')}},
       {L"C:\\b"},
       kChanged},
      {"a new file given the number the old one freed",
       {L"C:\\b"},
       [](S& s) { s.onOpenToDelete = [](S& s) { s.ReuseNumber(L"C:\\b", L"new"); }; },
       {{L"C:\\b", L"new"}},
       {L"C:\\b"},
       kChanged},
      {"a new file given the freed number, the notice's length and its date",
       {L"C:\\b"},
       [](S& s) {
         s.onOpenToDelete = [](S& s) {
           s.ReuseNumber(L"C:\\b", std::wstring(s.files[L"C:\\b"].size(), L'n'));
           s.times[L"C:\\b"].second = S::kOldDate;
         };
       },
       {{L"C:\\b", std::wstring(notice.size(), L'n')}},
       {L"C:\\b"},
       kChanged},
      {"one file again through a drive whose volume tells no serial number",
       {L"C:\\b", L"Z:\\c\\b"},
       [](S& s) {
         s.aliases[L"Z:\\c\\b"] = L"C:\\b";
         s.serialless.insert(L"Z:");
       },
       {},
       {},
       kDone},
      {"renamed away",
       {L"C:\\b"},
       [](S& s) {
         s.onOpenToDelete = [](S& s) {
           s.files[L"C:\\moved"] = s.files[L"C:\\b"];
           s.files.erase(L"C:\\b");
         };
       },
       {{L"C:\\moved", notice}},
       {L"C:\\b"},
       L"共 1 个文件，其中 1 个未能粉碎：\r\n内容已覆盖，但文件已被移走，未能删除（1 "
       L"个）：\r\nC:\\b"},
      {"case twins are two files",
       {L"C:\\Case.txt", L"C:\\case.txt"},
       [](S& s) { s.files[L"C:\\Case.txt"] = L"twin"; },
       {},
       {},
       kDone},
      {"one file by two texts is worked once",
       {L"C:\\b", L"C:\\B", L"C:\\PROGRA~1"},
       [](S& s) {
         s.aliases[L"C:\\B"] = L"C:\\b";
         s.aliases[L"C:\\PROGRA~1"] = L"C:\\b";
       },
       {},
       {},
       kDone},
      {"one file held by another program, named by two texts, is counted once",
       {L"C:\\b", L"C:\\B"},
       [](S& s) {
         s.aliases[L"C:\\B"] = L"C:\\b";
         s.heldFor[L"C:\\b"] = 1000;
       },
       {{L"C:\\b", Notice()}},
       {L"C:\\b", L"C:\\B"},
       L"共 1 个文件，其中 1 个未能粉碎：\r\n内容已覆盖，但无法删除（1 个）：\r\nC:\\b"},
      {"a hard link whose other name is not listed is left untouched",
       {L"C:\\b"},
       [](S& s) { s.hardLinks[L"C:\\d\\live"] = L"C:\\b"; },
       {{L"C:\\b", L"secret"}},
       {L"C:\\b"},
       L"共 1 个文件，其中 1 个未能粉碎：\r\n还有其他名称（硬链接），不予粉碎（1 "
       L"个）：\r\nC:\\b（其他名称：\\\\?\\C:\\d\\live）"},
      {"both names of a hard-linked file listed: overwritten once, both gone",
       {L"C:\\b", L"C:\\x", L"C:\\d\\two"},
       [](S& s) {
         s.hardLinks[L"C:\\d\\two"] = L"C:\\b";
         s.files[L"C:\\x"] = L"x";
       },
       {},
       {},
       kDone},
      {"one name listed twice by two texts is still one name",
       {L"C:\\b", L"C:\\B"},
       [](S& s) {
         s.aliases[L"C:\\B"] = L"C:\\b";
         s.hardLinks[L"C:\\d\\live"] = L"C:\\b";
       },
       {{L"C:\\b", L"secret"}},
       {L"C:\\b", L"C:\\B"},
       L"共 1 个文件，其中 1 个未能粉碎：\r\n还有其他名称（硬链接），不予粉碎（1 "
       L"个）：\r\nC:\\b（其他名称：\\\\?\\C:\\d\\live）"},
      {"one name listed by a share onto its folder and by its drive is still one name",
       {L"C:\\b", L"\\\\localhost\\c$\\b"},
       [](S& s) {
         s.shares[L"\\\\localhost\\c$"] = L"C:";
         s.hardLinks[L"C:\\d\\live"] = L"C:\\b";
       },
       {{L"C:\\b", L"secret"}},
       {L"C:\\b", L"\\\\localhost\\c$\\b"},
       L"共 1 个文件，其中 1 个未能粉碎：\r\n还有其他名称（硬链接），不予粉碎（1 "
       L"个）：\r\nC:\\b（其他名称：\\\\?\\C:\\d\\live）"},
      {"and by its long and short names where no final path tells them",
       {L"C:\\b", L"C:\\B~1"},
       [](S& s) {
         s.aliases[L"C:\\B~1"] = L"C:\\b";
         s.noFinalPath = {L"C:\\b", L"C:\\B~1"};
         s.hardLinks[L"C:\\d\\live"] = L"C:\\b";
       },
       {{L"C:\\b", L"secret"}},
       {L"C:\\b", L"C:\\B~1"},
       L"共 1 个文件，其中 1 个未能粉碎：\r\n还有其他名称（硬链接），不予粉碎（1 "
       L"个）：\r\nC:\\b（其他名称：\\\\?\\C:\\d\\live）"},
      {"every name listed, one cannot be deleted: the file stays under it",
       {L"C:\\b", L"C:\\two"},
       [](S& s) {
         s.hardLinks[L"C:\\two"] = L"C:\\b";
         s.onOpenToDelete = [](S& s) {
           s.onOpenToDelete = [](S& s) { s.heldFor[L"C:\\two"] = 1000; };
         };
       },
       {{L"C:\\two", Notice()}},
       {L"C:\\two"},
       L"共 1 个文件，其中 1 个未能粉碎：\r\n内容已覆盖，但无法删除（1 个）：\r\nC:\\two"},
      {"every name listed, the first saved anew after the pass looked",
       {L"C:\\b", L"C:\\two"},
       [](S& s) {
         s.hardLinks[L"C:\\two"] = L"C:\\b";
         // After the pass looked at both names, before the overwrite.
         s.whenOpened[L"C:\\b"] = [](S& s) {
           s.beforeOpen[L"C:\\b"] = [](S& s) {
             s.Unlink(L"C:\\b");
             s.Replace(L"C:\\b", L"saved anew");
           };
         };
       },
       {{L"C:\\b", L"saved anew"}, {L"C:\\two", L"secret"}},
       {L"C:\\b", L"C:\\two"},
       L"共 1 个文件，其中 1 个未能粉碎：\r\n文件在检查后发生了变化（1 个）：\r\nC:\\b"},
      {"a folder on a typed path moved away and a link put in its place during the run",
       {L"C:\\b", L"C:\\big", L"C:\\d\\b"},
       [](S& s) {
         s.folders = {L"C:\\d", L"C:\\o"};
         s.files[L"C:\\big"] = L"big";
         s.files[L"C:\\d\\b"] = L"mine";
         s.files[L"C:\\o\\b"] = L"other";
         s.whenOpened[L"C:\\big"] = [](S& s) {
           s.MoveFolder(L"C:\\d", L"C:\\d.old");
           s.folderLinks[L"C:\\d"] = L"C:\\o";
         };
       },
       {{L"C:\\d.old\\b", Notice()}, {L"C:\\o\\b", L"other"}},
       {L"C:\\d\\b"},
       L"共 3 个文件，其中 1 个未能粉碎：\r\n内容已覆盖，但文件已被移走，未能删除（1 "
       L"个）：\r\nC:\\d\\b"},
      {"a share's folder moved away and a link put in its place, its file at the share's root",
       {L"C:\\b", L"C:\\big", L"\\\\srv\\d\\b"},
       [](S& s) {
         s.folders = {L"C:\\d", L"C:\\o"};
         s.shares[L"\\\\srv\\d"] = L"C:\\d";
         s.files[L"C:\\big"] = L"big";
         s.files[L"C:\\d\\b"] = L"mine";
         s.files[L"C:\\o\\b"] = L"other";
         s.whenOpened[L"C:\\big"] = [](S& s) {
           s.MoveFolder(L"C:\\d", L"C:\\d.old");
           s.folderLinks[L"C:\\d"] = L"C:\\o";
         };
       },
       {{L"C:\\d.old\\b", Notice()}, {L"C:\\o\\b", L"other"}},
       {L"\\\\srv\\d\\b"},
       L"共 3 个文件，其中 1 个未能粉碎：\r\n内容已覆盖，但文件已被移走，未能删除（1 "
       L"个）：\r\n\\\\srv\\d\\b"},
      {"a folder on a typed path moved away and a link to its case twin put in its place",
       {L"C:\\b", L"C:\\big", L"C:\\d\\sub\\b"},
       [](S& s) {
         s.folders = {L"C:\\d\\sub", L"C:\\d\\SUB"};
         s.files[L"C:\\big"] = L"big";
         s.files[L"C:\\d\\sub\\b"] = L"mine";
         s.files[L"C:\\d\\SUB\\b"] = L"twin";
         s.whenOpened[L"C:\\big"] = [](S& s) {
           s.MoveFolder(L"C:\\d\\sub", L"C:\\d\\sub.old");
           s.folderLinks[L"C:\\d\\sub"] = L"C:\\d\\SUB";
         };
       },
       {{L"C:\\d\\SUB\\b", L"twin"}, {L"C:\\d\\sub.old\\b", Notice()}},
       {L"C:\\d\\sub\\b"},
       L"共 3 个文件，其中 1 个未能粉碎：\r\n内容已覆盖，但文件已被移走，未能删除（1 "
       L"个）：\r\nC:\\d\\sub\\b"},
      {"a folder on a typed path moved away at the deletion and a new one made under its name",
       {L"C:\\b", L"C:\\d\\b"},
       [](S& s) {
         s.folders = {L"C:\\d"};
         s.files[L"C:\\d\\b"] = L"mine";
         // The rename goes by the folder's path: it would reach the new file.
         s.onOpenToDelete = [](S& s) {
           s.MoveFolder(L"C:\\d", L"C:\\d.old");
           s.folders.insert(L"C:\\d");
           s.Replace(L"C:\\d\\b", L"new");
         };
       },
       {{L"C:\\d.old\\b", Notice()}, {L"C:\\d\\b", L"new"}},
       {L"C:\\d\\b"},
       L"共 2 个文件，其中 1 个未能粉碎：\r\n内容已覆盖，但文件已被移走，未能删除（1 "
       L"个）：\r\nC:\\d\\b"},
      {"a link the platform does not mark is never written through",
       {L"C:\\b", L"C:\\sl"},
       [](S& s) {
         s.files[L"C:\\t\\target"] = L"keep";
         s.unmarkedLinks[L"C:\\sl"] = L"C:\\t\\target";
       },
       {{L"C:\\t\\target", L"keep"}},
       {L"C:\\sl"},
       L"共 2 个文件，其中 1 个未能粉碎：\r\n是链接，其指向的文件不予粉碎（1 个）：\r\nC:\\sl"},
      {"its folder cannot be held: nothing in it is opened",
       {L"C:\\b", L"C:\\d\\b"},
       [](S& s) {
         s.files[L"C:\\d\\b"] = L"mine";
         s.folderError[L"C:\\d"] = Reason::AccessDenied;
       },
       {{L"C:\\d\\b", L"mine"}},
       {L"C:\\d\\b"},
       L"共 2 个文件，其中 1 个未能粉碎：\r\n拒绝访问（1 个）：\r\nC:\\d\\b"},
      {"held for a moment at the deletion",
       {L"C:\\b"},
       [](S& s) { s.heldFor[L"C:\\b"] = kDeleteRetryMs / kDeleteRetryStepMs; },
       {},
       {},
       kDone},
      {"held throughout the deletion",
       {L"C:\\b"},
       [](S& s) {
         s.heldFor[L"C:\\b"] = 1000;
         s.holders[L"C:\\b"] = L"editor.exe";
       },
       {{L"C:\\b", Notice()}},
       {L"C:\\b"},
       L"共 1 个文件，其中 1 个未能粉碎：\r\n内容已覆盖，但无法删除（1 "
       L"个）：\r\nC:\\b（editor.exe）"},
      {"a cloud file with its data here",
       {L"C:\\b"},
       [](S& s) { s.reparse[L"C:\\b"] = tag::kCloud | 0x3000; },
       {},
       {},
       L"已粉碎，但云端可能仍保留以前的版本（1 个）：\r\nC:\\b"},
      {"a cloud file whose data is online only",
       {L"C:\\b"},
       [](S& s) {
         s.reparse[L"C:\\b"] = tag::kCloud;
         s.attributes[L"C:\\b"] = attr::kRecallOnDataAccess;
       },
       {{L"C:\\b", L"secret"}},
       {L"C:\\b"},
       L"共 1 个文件，其中 1 个未能粉碎：\r\n文件仅存于云端，不予下载（1 个）：\r\nC:\\b"},
      {"a deduplicated file",
       {L"C:\\b"},
       [](S& s) { s.reparse[L"C:\\b"] = tag::kDedup; },
       {},
       {},
       L"已删除，但未能覆盖原内容（压缩、加密、稀疏或写时复制的文件；可用“清除磁盘剩余空间”清除其原"
       L"内容）（1 "
       L"个）：\r\nC:\\b"},
      {"an unknown reparse point",
       {L"C:\\b"},
       [](S& s) { s.reparse[L"C:\\b"] = 0x80000099; },
       {{L"C:\\b", L"secret"}},
       {L"C:\\b"},
       L"共 1 个文件，其中 1 个未能粉碎：\r\n是特殊文件（重解析点），不予粉碎（1 个）：\r\nC:\\b"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CallLog rowLog;
    FakeList rowList{rowLog};
    S rowServices{rowLog};
    rowList.items = row.entries;
    rowServices.files[L"C:\\b"] = L"secret";
    if (row.entries.size() > 1 && row.entries[1] == L"C:\\case.txt") {
      rowServices.files.erase(L"C:\\b");
      rowServices.files[L"C:\\case.txt"] = L"twin";
    }
    row.setUp(rowServices);
    RunShred(rowList, rowServices, rowServices);
    EXPECT_EQ(rowServices.openHandles, 0) << "every handle it opened is closed";
    EXPECT_EQ(rowServices.files, row.after);
    EXPECT_EQ(rowList.items, row.kept);
    EXPECT_EQ(rowServices.messages.back().text, row.report);
    const auto writes = std::count_if(rowLog.calls.begin(), rowLog.calls.end(),
                                      [](auto& c) { return c.rfind(L"write:", 0) == 0; });
    if (row.name == std::string("one file by two texts is worked once") ||
        row.name ==
            std::string("one file again through a drive whose volume tells no serial number")) {
      EXPECT_EQ(writes, 1);
    }
    if (row.name ==
        std::string("both names of a hard-linked file listed: overwritten once, both gone")) {
      EXPECT_EQ(std::count(rowLog.calls.begin(), rowLog.calls.end(), L"write:C:\\b@0+6"), 1);
    }
    if (row.name == std::string("a deduplicated file")) {
      EXPECT_EQ(writes, 0);
    }
    if (row.name == std::string("held for a moment at the deletion")) {
      EXPECT_EQ(rowServices.waited, kDeleteRetryMs);
    }
  }
}

TEST(ShredReparseTest, EachTagIsTreatedAsWhatItIs) {
  const struct {
    uint32_t tag, attributes;
    ReparseKind kind;
  } rows[] = {
      {tag::kSymlink, 0, ReparseKind::Link},
      {tag::kMountPoint, attr::kDirectory, ReparseKind::Link},
      {tag::kDedup, 0, ReparseKind::AsIs},
      {tag::kOverlay, 0, ReparseKind::AsIs},
      {tag::kCloud, 0, ReparseKind::CloudLocal},
      {0x9000F01A, 0, ReparseKind::CloudLocal},
      {tag::kCloud, attr::kOffline, ReparseKind::CloudOnline},
      {0x9000101A, attr::kRecallOnOpen, ReparseKind::CloudOnline},
      {tag::kCloud, attr::kRecallOnDataAccess, ReparseKind::CloudOnline},
      {0x9000001B, 0, ReparseKind::Other},
      {0x80000014, 0, ReparseKind::Other},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ClassifyReparse(row.tag, row.attributes), row.kind) << std::hex << row.tag;
  }
  EXPECT_EQ(ComparePaths(L"\\\\?\\C:\\a\\B.txt", L"\\\\?\\C:\\a\\B.txt"), PathMatch::Same);
  EXPECT_EQ(ComparePaths(L"\\\\?\\C:\\a\\b.txt", L"\\\\?\\C:\\a\\B.txt"), PathMatch::CaseOnly);
  EXPECT_EQ(ComparePaths(L"\\\\?\\C:\\a\\b.txt", L"\\\\?\\C:\\a\\c.txt"), PathMatch::Different);
  EXPECT_EQ(ComparePaths(L"\\\\?\\C:\\a\\b", L"\\\\?\\C:\\a\\b.txt"), PathMatch::Different);
}

TEST_F(ShredRunTest, EveryStreamIsOverwrittenToItsAllocationFlushedThenTruncated) {
  List({L"C:\\doc"});
  services.files[L"C:\\doc"] = std::wstring(100, L'm');
  services.allocation[L"C:\\doc"] = 4096;
  services.files[L"C:\\doc:secret:$DATA"] = std::wstring(10, L's');
  services.allocation[L"C:\\doc:secret:$DATA"] = kOverwriteChunk + 8;
  RunShred(list, services, services);
  std::vector<std::wstring> steps;
  for (const auto& c : log.calls) {
    if (c.rfind(L"write:", 0) == 0 || c.rfind(L"flush:", 0) == 0 || c.rfind(L"truncate:", 0) == 0 ||
        c.rfind(L"readback:", 0) == 0)
      steps.push_back(c);
  }
  EXPECT_EQ(steps, (std::vector<std::wstring>{
                       // A small file's own length first, in place, flushed: its
                       // bytes may be inside its file record.
                       L"write:C:\\doc@0+100", L"flush:C:\\doc", L"write:C:\\doc@100+3996",
                       L"flush:C:\\doc", L"truncate:C:\\doc", L"write:C:\\doc:secret:$DATA@0+10",
                       L"flush:C:\\doc:secret:$DATA", L"write:C:\\doc:secret:$DATA@10+4194302",
                       L"flush:C:\\doc:secret:$DATA", L"truncate:C:\\doc:secret:$DATA"}));
  EXPECT_TRUE(services.files.empty());
  EXPECT_EQ(services.messages.back().text, L"已选文件粉碎完成！");
}

// With the read-back every range is read after the flush and before the
// truncation; a stream that does not hold what was written keeps the file.
TEST_F(ShredRunTest, AReadBackThatFindsOtherBytesKeepsTheFile) {
  struct Row {
    const char* name;
    void (*setUp)(FakeServices&);
    int cancelAfter;        // buffers before a cancel; 0: none
    const wchar_t* reason;  // nullptr: the file is gone, verified
    std::vector<std::wstring> steps;
  };
  const std::wstring f = L"C:\\f";
  static const Row rows[] = {
      {"every range as written",
       [](auto& s) { s.allocation[L"C:\\f"] = kOverwriteChunk + 8; },
       0,
       nullptr,
       {L"write:C:\\f@0+6", L"flush:C:\\f", L"write:C:\\f@6+4194304", L"write:C:\\f@4194310+2",
        L"flush:C:\\f", L"readback:C:\\f@0+6", L"readback:C:\\f@6+4194304",
        L"readback:C:\\f@4194310+2", L"truncate:C:\\f", L"rename:C:\\f>C:\\z"}},
      {"a write the drive lost",
       [](auto& s) {
         s.allocation[L"C:\\f"] = kOverwriteChunk + 8;
         s.lostWrite[L"C:\\f"] = kOverwriteChunk + 2;
       },
       0,
       L"校验失败",
       {L"write:C:\\f@0+6", L"flush:C:\\f", L"write:C:\\f@6+4194304", L"write:C:\\f@4194310+2",
        L"flush:C:\\f", L"readback:C:\\f@0+6", L"readback:C:\\f@6+4194304"}},
      {"a write to a stream the drive lost",
       [](auto& s) {
         s.files[L"C:\\f:s:$DATA"] = L"stream";
         s.lostWrite[L"C:\\f:s:$DATA"] = 0;
       },
       0,
       L"校验失败",
       {L"write:C:\\f@0+6", L"flush:C:\\f", L"readback:C:\\f@0+6", L"truncate:C:\\f",
        L"write:C:\\f:s:$DATA@0+6", L"flush:C:\\f:s:$DATA", L"readback:C:\\f:s:$DATA@0+6"}},
      {"a cancel while it is read back",
       [](auto&) {},
       1,
       L"内容已覆盖，校验时被取消，未删除",
       {L"write:C:\\f@0+6", L"flush:C:\\f"}},
      // A small file: its own length in place, flushed, then the rest.
      {"the flush between a small file's two parts fails",
       [](auto& s) {
         s.allocation[L"C:\\f"] = 4096;
         s.flushError[L"C:\\f"] = Reason::DiskFull;
       },
       0,
       L"磁盘空间不足",
       {L"write:C:\\f@0+6", L"flush:C:\\f"}},
      {"a cancel between a small file's two parts",
       [](auto& s) { s.allocation[L"C:\\f"] = 4096; },
       1,
       L"已取消，仅部分覆盖",
       {L"write:C:\\f@0+6", L"flush:C:\\f"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    OneFileRun run(row.setUp);
    CancelAfter monitor(row.cancelAfter ? row.cancelAfter : 1000);
    run.Run(true, monitor);
    const ShredJob& job = run.job;
    auto& rowServices = run.services;
    std::vector<std::wstring> steps;
    for (const auto& c : run.log.calls) {
      for (const wchar_t* step : {L"write:", L"flush:", L"readback:", L"truncate:", L"rename:"})
        if (c.rfind(step, 0) == 0) steps.push_back(c);
    }
    EXPECT_EQ(steps, row.steps) << "never truncated, renamed or deleted after a difference";
    EXPECT_EQ(rowServices.openHandles, 0);
    EXPECT_EQ(job.results[0].verified, !row.reason);
    if (!row.reason) {
      EXPECT_EQ(monitor.readBack, kOverwriteChunk + 8) << "told how far the read-back is";
      EXPECT_FALSE(rowServices.PathExists(f));
      continue;
    }
    EXPECT_TRUE(rowServices.PathExists(f));
    EXPECT_EQ(run.list.items, std::vector<std::wstring>{f});
    EXPECT_EQ(job.cancelled, row.cancelAfter > 0);
    EXPECT_NE(
        rowServices.messages.back().text.find(std::wstring(row.reason) + L"（1 个）：\r\nC:\\f"),
        std::wstring::npos)
        << rowServices.messages.back().text;
  }
}

// What the overwrite writes is told again from the key, the stream and the
// offset alone: any byte that differs, in a stamp or between, is seen.
TEST(OverwritePatternTest, TheReadBackSeesEveryByteThatDiffers) {
  const StampKey key{{0x0123456789ABCDEFull, 0xFEDCBA9876543210ull}};
  const size_t length = 3 * kStampBlock + 10;  // the last block shorter than a stamp
  std::vector<uint8_t> pattern(length);
  for (size_t i = 0; i < length; ++i) pattern[i] = uint8_t(i * 7 + 3);
  std::vector<uint8_t> written = pattern;
  StampBlocks(written.data(), length, key, 5, 8192);
  struct Row {
    const char* name;
    size_t flip;  // the byte changed; SIZE_MAX: none
    uint64_t stream;
    int64_t offset;
    bool matches;
  };
  const Row rows[] = {
      {"as written", SIZE_MAX, 5, 8192, true},
      {"a stamp's first byte", kStampBlock, 5, 8192, false},
      {"a stamp's last byte", 2 * kStampBlock + kStampBytes - 1, 5, 8192, false},
      {"a byte between stamps", kStampBlock + kStampBytes, 5, 8192, false},
      {"the last block's short stamp", 3 * kStampBlock + 9, 5, 8192, false},
      {"the block before the next stamp", 2 * kStampBlock - 1, 5, 8192, false},
      {"another stream's bytes", SIZE_MAX, 6, 8192, false},
      {"the bytes of another offset", SIZE_MAX, 5, 8192 + int64_t(kStampBlock), false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<uint8_t> read = written;
    if (row.flip != SIZE_MAX) read[row.flip] ^= 0x40;
    EXPECT_EQ(MatchesWritten(read.data(), pattern.data(), length, key, row.stream, row.offset),
              row.matches);
  }
  // No two blocks alike, in one stream or in two.
  uint8_t a[kStampBytes], b[kStampBytes], c[kStampBytes];
  BlockStamp(key, 5, 0, a);
  BlockStamp(key, 5, int64_t(kStampBlock), b);
  BlockStamp(key, 6, 0, c);
  EXPECT_NE(memcmp(a, b, kStampBytes), 0);
  EXPECT_NE(memcmp(a, c, kStampBytes), 0);
  EXPECT_FALSE(MatchesWritten(pattern.data(), pattern.data(), length, key, 5, 8192))
      << "the buffer's own bytes without the stamps";
}

TEST_F(ShredRunTest, SparseFilesAreOverwrittenOnlyWhereTheyHoldData) {
  List({L"C:\\sparse", L"C:\\unknown", L"C:\\packed"});
  for (auto& p : list.items) services.files[p] = std::wstring(8, L'x');
  services.files[L"C:\\sparse"] = std::wstring(4 << 20, L'x');  // its ranges lie inside
  services.attributes[L"C:\\sparse"] = attr::kSparse;
  services.ranges[L"C:\\sparse"] = {{1 << 20, 65536}, {3 << 20, 65536}};
  services.attributes[L"C:\\unknown"] = attr::kSparse;  // cannot say where its data is
  services.attributes[L"C:\\packed"] = attr::kCompressed;
  const std::vector<std::wstring> entries = list.items;
  RunShred(list, services, services);
  EXPECT_EQ(CallsStartingWith(L"write:"),
            (std::vector<std::wstring>{L"write:C:\\sparse@1048576+65536",
                                       L"write:C:\\sparse@3145728+65536"}));
  EXPECT_NE(IndexOf(L"truncate:C:\\unknown"), SIZE_MAX);
  EXPECT_NE(IndexOf(L"truncate:C:\\packed"), SIZE_MAX);
  EXPECT_TRUE(list.items.empty()) << "deleted all the same";
  EXPECT_EQ(services.messages.back().text,
            L"已删除，但未能覆盖原内容（压缩、加密、稀疏或写时复制的文件；可用“清除磁盘剩余空间”清"
            L"除其原内容）"
            L"（2 个）：\r\nC:\\unknown\r\nC:\\packed");
  EXPECT_EQ(services.messages.back().kind, MessageKind::Warning);
  // Again, for what the record counts.
  for (const auto& p : entries) services.files[p] = std::wstring(8, L'x');
  services.files[L"C:\\sparse"] = std::wstring(4 << 20, L'x');
  ShredJob job;
  job.entries = entries;
  ShredMonitor monitor;
  ShredFiles(job, services, monitor);
  // Only the bytes and streams really written over.
  ASSERT_EQ(job.results.size(), 3u);
  EXPECT_EQ(job.results[0].overwritten, 131072u);
  EXPECT_EQ(job.results[0].streams, 1);
  for (const EntryResult& result : {job.results[1], job.results[2]}) {
    EXPECT_EQ(result.overwritten, 0u);
    EXPECT_EQ(result.streams, 0) << "truncated only";
  }
}

// A preview makes a run's every check and does nothing: what it lists is
// what the run would do, by the same rules.
TEST_F(ShredRunTest, APreviewSaysWhatARunWouldDoAndTouchesNothing) {
  services.folders = {L"C:\\t", L"C:\\k"};
  for (const wchar_t* f : {L"C:\\t\\a", L"C:\\k\\ro", L"C:\\packed", L"C:\\b"})
    services.files[f] = L"secret";
  services.attributes[L"C:\\k\\ro"] = attr::kReadOnly;
  services.attributes[L"C:\\packed"] = attr::kCompressed;
  services.links.insert(L"C:\\link");
  services.hardLinks[L"C:\\d\\live"] = L"C:\\b";
  ShredJob job;
  job.preview = true;
  job.entries = {L"C:\\t\\a", L"C:\\k\\ro", L"C:\\packed", L"C:\\link", L"C:\\b"};
  for (const wchar_t* f : {L"C:\\t", L"C:\\k"}) job.folders.push_back({f, services.IdOf(f)});
  const auto before = services.files;
  ShredMonitor monitor;
  ShredFiles(job, services, monitor);
  EXPECT_EQ(services.files, before);
  EXPECT_TRUE(CallsStartingWith(L"write:").empty());
  EXPECT_TRUE(CallsStartingWith(L"opendelete:").empty());
  EXPECT_EQ(services.openHandles, 0);
  const std::vector<WalkNote> notes = {{L"C:\\t\\x\\y", L"文件名无效"}};
  EXPECT_EQ(
      PreviewLines(job, notes),
      (std::vector<std::wstring>{
          L"C:\\t\\x\\y：文件名无效", L"将粉碎：C:\\t\\a", L"C:\\k\\ro：文件或磁盘只读",
          L"C:\\packed：将删除，但无法覆盖原内容（压缩、加密、稀疏或写时复制的文件）",
          L"C:\\link：是链接，将只删除链接本身，其指向的文件不予粉碎",
          L"C:\\b：还有其他名称（硬链接），不予粉碎（其他名称：\\\\?\\C:\\d\\live）",
          L"C:\\t：文件夹中有不予粉碎的内容，将保留", L"C:\\k：文件夹中有不予粉碎的内容，将保留",
          L"共 5 个文件：将粉碎 1 个，不予粉碎 4 个；将删除文件夹 0 个。未做任何改动。"}));
  EXPECT_EQ(PreviewStatus(job, notes), kCliNotAllShredded);
  // Only what would go: every line a shred, the folder removed, status 0.
  job.entries = {L"C:\\t\\a"};
  job.folders.resize(1);
  ShredFiles(job, services, monitor);
  EXPECT_EQ(PreviewLines(job, {}),
            (std::vector<std::wstring>{
                L"将粉碎：C:\\t\\a", L"将删除文件夹：C:\\t",
                L"共 1 个文件：将粉碎 1 个，不予粉碎 0 个；将删除文件夹 1 个。未做任何改动。"}));
  EXPECT_EQ(PreviewStatus(job, {}), kCliAllShredded);
  // Ctrl+C after two files: what it saw, a count of the rest, no folder.
  struct CancelAfterTwo : ShredMonitor {
    bool CancelRequested() override { return asked++ >= 2; }
    int asked = 0;
  } ctrlC;
  job.entries = {L"C:\\t\\a", L"C:\\k\\ro", L"C:\\packed", L"C:\\b"};
  job.folders = {{L"C:\\t", services.IdOf(L"C:\\t")}};
  ShredFiles(job, services, ctrlC);
  EXPECT_EQ(services.files, before);
  EXPECT_EQ(
      PreviewLines(job, {}),
      (std::vector<std::wstring>{
          L"将粉碎：C:\\t\\a", L"C:\\k\\ro：文件或磁盘只读",
          L"预览已中断：共 4 个文件，将粉碎 1 个，不予粉碎 1 个，未查看 2 个。未做任何改动。"}));
  EXPECT_EQ(PreviewStatus(job, {}), kCliNotAllShredded);
}

TEST_F(ShredRunTest, ALinkIsRemovedItselfAndReportedApart) {
  List({L"C:\\link", L"C:\\a"});
  services.links.insert(L"C:\\link");
  services.files[L"C:\\a"] = L"x";
  RunShred(list, services, services);
  EXPECT_TRUE(CallsStartingWith(L"openfile:C:\\link").empty()) << "never written through";
  EXPECT_NE(IndexOf(L"unlink:C:\\link"), SIZE_MAX);
  EXPECT_TRUE(list.items.empty());
  EXPECT_EQ(services.messages.back().text,
            L"是链接：已删除链接本身，其指向的文件未粉碎（1 个）：\r\nC:\\link");
}

TEST(ShredHandleTest, OnlyARegularWritableDiskFileIsOverwritten) {
  const struct {
    bool disk;
    uint32_t attributes;
    Reason expected;
  } rows[] = {
      {true, 0, Reason::None},
      {true, attr::kSparse | attr::kCompressed, Reason::None},
      {false, 0, Reason::NotAFile},
      {true, attr::kDirectory, Reason::NotAFile},
      {true, attr::kReparsePoint, Reason::Changed},
      {true, attr::kReparsePoint | attr::kDirectory, Reason::NotAFile},
      {true, attr::kReadOnly, Reason::ReadOnly},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(CheckOverwritable(row.disk, row.attributes), row.expected)
        << row.disk << " " << row.attributes;
  }
  EXPECT_TRUE(CanOverwriteInPlace(attr::kSparse));
  EXPECT_FALSE(CanOverwriteInPlace(attr::kCompressed));
  EXPECT_FALSE(CanOverwriteInPlace(attr::kEncrypted));
  EXPECT_FALSE(CanOverwriteInPlace(attr::kIntegrityStream)) << "copy-on-write: beside the old data";
}

TEST(ShredPathTest, AnEntryNamesExactlyOnePathOrSaysWhyNot) {
  const std::wstring longName(300, L'n');
  const struct {
    std::wstring entry, path;
    Reason reason;
  } rows[] = {
      {L"C:\\t\\a.txt", L"\\\\?\\C:\\t\\a.txt", Reason::None},
      {L"c:/t/a.txt", L"\\\\?\\C:\\t\\a.txt", Reason::None},
      {L"C:\\t\\dot.", L"\\\\?\\C:\\t\\dot.", Reason::None},
      {L"C:\\t\\sp ", L"\\\\?\\C:\\t\\sp ", Reason::None},
      {L"C:\\t. \\x", L"\\\\?\\C:\\t. \\x", Reason::None},
      {L"C:\\\\root.txt", L"\\\\?\\C:\\root.txt", Reason::None},
      {L"C:\\t\\.\\u\\..\\a.txt", L"\\\\?\\C:\\t\\a.txt", Reason::None},
      {L"C:\\..\\a.txt", L"\\\\?\\C:\\a.txt", Reason::None},
      {L"C:\\" + longName + L"\\f", L"\\\\?\\C:\\" + longName + L"\\f", Reason::None},
      {L"\\\\srv\\share\\d\\f.txt", L"\\\\?\\UNC\\srv\\share\\d\\f.txt", Reason::None},
      {L"//srv/share/f", L"\\\\?\\UNC\\srv\\share\\f", Reason::None},
      {L"\\\\?\\C:\\t\\dot.", L"\\\\?\\C:\\t\\dot.", Reason::None},
      {L"\\\\?\\UNC\\srv\\share\\f", L"\\\\?\\UNC\\srv\\share\\f", Reason::None},
      {L"C:\\한국어\\😀.bin", L"\\\\?\\C:\\한국어\\😀.bin", Reason::None},
      {L"rel.txt", L"", Reason::NotFullPath},
      {L"..\\up.txt", L"", Reason::NotFullPath},
      {L"C:dr.txt", L"", Reason::NotFullPath},
      {L"\\rooted.txt", L"", Reason::NotFullPath},
      {L" C:\\a.txt", L"", Reason::NotFullPath},
      {L"", L"", Reason::InvalidName},
      {L"   ", L"", Reason::InvalidName},
      {L"\"C:\\a.txt\"", L"", Reason::InvalidName},
      {L"C:\\a.txt\r\nC:\\b.txt", L"", Reason::InvalidName},
      {L"C:\\a\tb", L"", Reason::InvalidName},
      {L"C:\\a<b", L"", Reason::InvalidName},
      {L"C:\\a|b", L"", Reason::InvalidName},
      {L"C:\\a>b", L"", Reason::InvalidName},
      {L"\\\\srv\\\\f.txt", L"", Reason::InvalidName},
      {L"C:\\t\\", L"", Reason::InvalidName},
      {L"C:\\a.txt:stream", L"", Reason::InvalidName},
      {L"C:\\*.txt", L"", Reason::InvalidName},
      {L"\\\\?\\C:\\a?", L"", Reason::InvalidName},
      {L"\\\\srv", L"", Reason::InvalidName},
      {L"\\\\srv\\share", L"", Reason::InvalidName},
      {L"C:\\", L"", Reason::InvalidName},
      {L"C:\\t\\..", L"", Reason::NotAFile},
      {L"C:\\t\\nul.txt", L"", Reason::Device},
      {L"\\\\.\\C:", L"", Reason::Device},
      {L"\\\\?\\GLOBALROOT\\Device\\Null", L"", Reason::Device},
      {L"\\\\host\\pipe\\x", L"", Reason::Device},
      {L"\\\\host\\MailSlot\\x", L"", Reason::Device},
      {L"\\\\?\\UNC\\host\\pipe\\x", L"", Reason::Device},
      {L"\\\\.\\mailslot\\x", L"", Reason::Device},
  };
  EXPECT_EQ(VerbatimPath(L"C:\\a b\\c."), L"\\\\?\\C:\\a b\\c.");
  EXPECT_EQ(VerbatimPath(L"\\\\srv\\share\\f"), L"\\\\?\\UNC\\srv\\share\\f");
  EXPECT_EQ(VerbatimPath(L"\\\\?\\C:\\f"), L"\\\\?\\C:\\f");
  EXPECT_EQ(VerbatimPath(L"rel"), L"rel");
  for (const auto& row : rows) {
    const ResolvedPath out = ResolveEntry(row.entry);
    EXPECT_EQ(out.path, row.path) << row.entry.size() << " "
                                  << std::string(row.entry.begin(), row.entry.end());
    EXPECT_EQ(out.reason, row.reason) << std::string(row.entry.begin(), row.entry.end());
  }
}

TEST(ShredPathTest, RootsSystemFoldersAndProfilesAreNeverExpanded) {
  const ProtectedFolders system{{L"C:\\Windows", L"C:\\Program Files", L"D:\\ProgramData\\"},
                                L"C:\\Users"};
  const struct {
    const wchar_t* entry;
    bool root, protectedFolder;
  } rows[] = {
      {L"C:\\", true, true},
      {L"C:", true, true},
      {L"c:/", true, true},
      {L"C:\\\\", true, true},
      {L"C:\\t\\..", true, true},
      {L"\\\\srv\\share", true, true},
      {L"\\\\srv\\share\\", true, true},
      {L"\\\\?\\C:\\", true, true},
      {L"\\\\?\\UNC\\srv\\share", true, true},
      {L"C:\\WINDOWS", false, true},
      {L"c:\\windows\\", false, true},
      {L"C:\\Windows\\System32\\..", false, true},
      {L"C:\\Program Files", false, true},
      {L"D:\\programdata", false, true},
      {L"C:\\Users", false, true},
      {L"C:\\Users\\Ann", false, true},
      {L"C:\\users\\ann\\", false, true},
      {L"C:\\Users\\Ann\\Documents", false, false},
      {L"C:\\Windows\\Temp", false, false},
      {L"C:\\Windows.old", false, false},
      {L"C:\\Program Files Old", false, false},
      {L"E:\\Users\\Ann", false, false},
      {L"\\\\srv\\share\\d", false, false},
      {L"C:\\t", false, false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(IsDriveOrShareRoot(row.entry), row.root) << row.entry;
    EXPECT_EQ(IsProtectedFolder(row.entry, system), row.protectedFolder) << row.entry;
  }
}

// The same folders reached by other spellings, known by what the volume
// says of them.
TEST(ShredPathTest, ProtectedFoldersAreKnownByIdentityHoweverSpelt) {
  const ProtectedFolders system{{L"C:\\Windows", L"C:\\Program Files"}, L"C:\\Users"};
  struct FakeFolders : FolderLookup {
    FolderFacts LookUpFolder(const std::wstring& path) override {
      const auto found = folders.find(path.substr(4));  // without "\\?\\"
      return found == folders.end() ? FolderFacts{} : found->second;
    }
    std::map<std::wstring, FolderFacts> folders;
  } lookup;
  const FileIdentity windows{7, 0, 20}, programs{7, 0, 21}, users{7, 0, 22}, bob{7, 0, 23};
  lookup.folders = {
      {L"C:\\Windows", {windows, {7, 0, 5}}},
      {L"C:\\Program Files", {programs, {7, 0, 5}}},
      {L"C:\\Users", {users, {7, 0, 5}}},
      {L"C:\\PROGRA~1", {programs, {7, 0, 5}}},           // a short name
      {L"Y:\\Windows", {windows, {7, 0, 5}}},             // a drive mapped to C:
      {L"Z:\\mnt\\c\\Windows", {{0, 0, 20}, {0, 0, 5}}},  // a volume with no serial
      {L"C:\\t\\junction", {programs, {7, 0, 30}}},       // a junction to it
      {L"Y:\\users\\bob", {bob, users}},                  // a profile itself
      {L"Y:\\users\\bob\\docs", {{7, 0, 24}, bob}},       // inside a profile
      {L"D:\\mnt", {{8, 0, 5}, {7, 0, 40}, true}},        // a volume mounted in a folder
      {L"E:\\other", {{9, 0, 20}, {9, 0, 5}}},            // the same number elsewhere
  };
  const struct {
    const wchar_t* entry;
    bool protectedFolder;
  } rows[] = {
      {L"C:\\PROGRA~1", true},      {L"Y:\\Windows", true},    {L"Z:\\mnt\\c\\Windows", true},
      {L"C:\\t\\junction\\", true}, {L"Y:\\users\\bob", true}, {L"Y:\\users\\bob\\docs", false},
      {L"D:\\mnt", true},           {L"E:\\other", false},     {L"F:\\unknown", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(IsProtectedFolder(row.entry, system, &lookup), row.protectedFolder) << row.entry;
    EXPECT_FALSE(IsProtectedFolder(row.entry, system)) << row.entry << ": not by its text";
  }
}

TEST(ShredPathTest, DeviceNamesRawVolumesAndWildcardsAreUnsafe) {
  for (const wchar_t* p : {L"NUL",
                           L"nul",
                           L"CON",
                           L"con.txt",
                           L"C:\\temp\\NUL",
                           L"C:\\temp\\aux.log",
                           L"COM1",
                           L"com9:",
                           L"LPT1",
                           L"lpt3.txt",
                           L"COM\u00b9",
                           L"CONIN$",
                           L"conout$",
                           L"D:nul",
                           L"C:\\dir\\nul . ",
                           L"\\\\.\\PhysicalDrive0",
                           L"\\\\.\\C:",
                           L"//./COM1",
                           L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1",
                           L"\\\\?\\C:",
                           L"\\\\?\\PhysicalDrive0",
                           L"\\\\?\\Volume{0000-1111}",
                           L"\\??\\C:\\x",
                           L"\\\\host\\pipe\\x",
                           L"\\\\?\\UNC\\host\\PIPE\\x",
                           L"\\\\.\\mailslot",
                           L"C:\\*",
                           L"C:\\a?.txt",
                           L"*"}) {
    EXPECT_TRUE(IsUnsafeShredPath(p)) << p;
  }
}

// A pattern names files by their long names only, as Windows defines "*"
// and "?" for them; a short name or a longer extension never matches.
TEST(ShredPathTest, APatternMatchesLongNamesOnly) {
  const struct {
    const wchar_t *name, *pattern;
    bool matches;
  } rows[] = {
      {L"report.doc", L"*.doc", true},
      {L"report.docx", L"*.doc", false},
      {L"REPORT~1.DOC", L"*.doc", true},
      {L"index.html", L"*.htm", false},
      {L"notes.txt1", L"*.txt", false},
      {L"b.txtx", L"*.txt", false},
      {L"f.txt~", L"*.txt", false},
      {L"Notes.TXT", L"*.txt", true},
      {L"a.b.txt", L"*.txt", true},
      {L".txt", L"*.txt", true},
      {L"ab.txt", L"a?.txt", true},
      {L"a.txt", L"a?.txt", false},
      {L"abc.txt", L"a?.txt", false},
      {L"x", L"*", true},
      {L"noext", L"*.*", true},
      {L"noext", L"*.", true},
      {L"with.ext", L"*.", false},
      {L"aXbXc", L"a*b*c", true},
      {L"aXbXd", L"a*b*c", false},
      {L"abc", L"*c*", true},
      {L"\u00c4rger.txt", L"\u00c4*", true},
      {L"\u6587\u4ef6.doc", L"\u6587*.doc", true},
      {L"", L"?", false},
      {L"aaaaaaaaaaaaaaaaaaaaaaab", L"*a*a*a*a*a*a*c", false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(MatchesPattern(row.name, row.pattern), row.matches)
        << row.name << L" " << row.pattern;
}

// A listed name is joined to its folder only when it is one name there.
TEST(ShredPathTest, AListedNameIsOneNameOrNone) {
  for (const wchar_t* name : {L"a.txt", L"dot.", L"blank ", L".profile", L"...", L"a..b",
                              L"\u6587\u4ef6.doc", L"$RAB12CD.txt", L"con"})
    EXPECT_TRUE(IsOneName(name)) << name;
  for (const wchar_t* name :
       {L"", L".", L"..", L"sub\\x.txt", L"..\\up.txt", L"a/b", L"x\\", L"$Rx\\..\\..\\victim.txt",
        L"a:b", L"a:$DATA", L"a*", L"q?", L"<a>", L"a|b", L"\"a\"", L"tab\tx", L"nul\x01"})
    EXPECT_FALSE(IsOneName(name)) << name;
}

// The folder a file is opened relative to: a root keeps its separator, so
// that the volume's device is never what is opened.
TEST(ShredPathTest, AFilesFolderIsOpenedAsAFolder) {
  const std::pair<const wchar_t*, const wchar_t*> rows[] = {
      {L"\\\\?\\C:\\a.txt", L"\\\\?\\C:\\"},
      {L"\\\\?\\C:\\d\\a.txt", L"\\\\?\\C:\\d"},
      {L"\\\\?\\UNC\\srv\\share\\a.txt", L"\\\\?\\UNC\\srv\\share\\"},
      {L"\\\\?\\UNC\\srv\\share\\d\\a.txt", L"\\\\?\\UNC\\srv\\share\\d"},
      {L"\\\\?\\Volume{0000-1111}\\a.txt", L"\\\\?\\Volume{0000-1111}\\"},
      {L"a.txt", L""},
  };
  for (const auto& [path, folder] : rows) {
    EXPECT_EQ(FolderOfPath(path), folder) << path;
    EXPECT_EQ(NameOfPath(path), L"a.txt") << path;
  }
}

// Another name of a hard-linked file, as the volume gives it from its own
// root, is a path through where that volume is mounted: a drive, a folder,
// a share; never the entry's drive when the volume is mounted elsewhere.
TEST(ShredPathTest, AnotherNameIsJoinedToTheVolumeItIsOn) {
  const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*> rows[] = {
      {L"C:\\", L"\\d\\live", L"\\\\?\\C:\\d\\live"},
      {L"C:\\mnt\\vol\\", L"\\d\\live", L"\\\\?\\C:\\mnt\\vol\\d\\live"},
      {L"\\\\?\\C:\\mnt\\vol\\", L"\\live", L"\\\\?\\C:\\mnt\\vol\\live"},
      {L"\\\\srv\\share\\", L"\\d\\live", L"\\\\?\\UNC\\srv\\share\\d\\live"},
      {L"", L"\\d\\live", L""},
  };
  for (const auto& [mountPoint, name, path] : rows)
    EXPECT_EQ(PathOnVolume(mountPoint, name), path) << mountPoint;
}

TEST(ShredPathTest, OrdinaryFilesAreSafe) {
  for (const wchar_t* p :
       {L"", L"C:\\a.txt", L"a.txt", L"C:\\\\root.txt", L"console.txt", L"nullable", L"COM10",
        L"LPT", L"C:\\con\\file.txt", L"\\\\?\\C:\\dir\\file", L"\\\\?\\UNC\\srv\\share\\f",
        L"\\\\?\\Volume{0000-1111}\\f.txt", L"\\\\server\\share\\f.txt", L"C:\\한국어.txt",
        L"C:\\😀.bin"}) {
    EXPECT_FALSE(IsUnsafeShredPath(p)) << p;
  }
}

TEST(ShredCliTest, SwitchesPathsAndUsageErrors) {
  const struct {
    std::vector<std::wstring> arguments;
    bool recurse, quiet, help;
    size_t paths;
    bool error;
  } rows[] = {
      {{L"C:\\a"}, false, false, false, 1, false},
      {{L"/S", L"C:\\a", L"/q", L"C:\\b"}, true, true, false, 2, false},
      {{L"/?"}, false, false, true, 0, false},
      {{L"--", L"/s"}, false, false, false, 1, false},
      {{}, false, false, false, 0, true},
      {{L"/s"}, true, false, false, 0, true},
      {{L"/x", L"C:\\a"}, false, false, false, 1, true},
      {{L"/FREE", L"D:"}, false, false, false, 0, false},
      {{L"/free"}, false, false, false, 0, true},
      {{L"/free", L"D:", L"C:\\a"}, false, false, false, 1, true},
      {{L"/recycle"}, false, false, false, 0, false},
      {{L"/Recycle", L"d:"}, false, false, false, 0, false},
      {{L"/recycle", L"C:\\a"}, false, false, false, 1, true},
      {{L"/recycle", L"/free", L"D:"}, false, false, false, 0, true},
      {{L"/Verify", L"C:\\a"}, false, false, false, 1, false},
      {{L"/verify", L"/free", L"D:"}, false, false, false, 0, true},
      {{L"/log", L"a.json", L"/log", L"b.json", L"C:\\a"}, false, false, false, 1, true},
      {{L"/free", L"T:", L"/s"}, true, false, false, 0, true},
      {{L"/s", L"/recycle"}, true, false, false, 0, true},
      {{L"/log", L"a.json", L"/recycle"}, false, false, false, 0, false},
      {{L"/KeepTraces", L"C:\\a"}, false, false, false, 1, false},
      {{L"/keeptraces", L"/free", L"D:"}, false, false, false, 0, true},
      // One meaning a switch: never given twice, never an empty value, never
      // another switch for its value.
      {{L"/recycle", L"B:", L"/RECYCLE", L"J:"}, false, false, false, 0, true},
      {{L"/free", L"R:", L"/free", L"Q:"}, false, false, false, 0, true},
      {{L"/log", L"", L"C:\\a"}, false, false, false, 1, true},
      {{L"/log", L"", L"/log", L"r.json", L"C:\\a"}, false, false, false, 1, true},
      {{L"/log", L"/s", L"C:\\a"}, true, false, false, 1, true},
      {{L"/free", L""}, false, false, false, 0, true},
      {{L"/free", L"/q"}, false, true, false, 0, true},
      // A preview writes nothing: no record, no wipe, no bin.
      {{L"/L", L"/s", L"C:\\a"}, true, false, false, 1, false},
      {{L"/l", L"/log", L"r.json", L"C:\\a"}, false, false, false, 1, true},
      {{L"/l", L"/free", L"D:"}, false, false, false, 0, true},
      {{L"/l", L"/recycle"}, false, false, false, 0, true},
      // A record read back is all it does.
      {{L"/checkrecord", L"r.json"}, false, false, false, 0, false},
      {{L"/checkrecord"}, false, false, false, 0, true},
      {{L"/checkrecord", L"r.json", L"c.html"}, false, false, false, 1, false},
      {{L"/checkrecord", L"r.json", L"c.html", L"C:\\a"}, false, false, false, 2, true},
      {{L"/certificate", L"c.html", L"C:\\a"}, false, false, false, 1, false},
      {{L"/certificate", L"/log", L"r.json", L"C:\\a"}, false, false, false, 1, true},
      {{L"/l", L"/certificate", L"c.html", L"C:\\a"}, false, false, false, 1, true},
      {{L"/checkrecord", L"r.json", L"/log", L"s.json"}, false, false, false, 0, true},
  };
  for (const auto& row : rows) {
    const CliOptions o = ParseCliArguments(row.arguments);
    EXPECT_EQ(o.recurse, row.recurse);
    EXPECT_EQ(o.quiet, row.quiet);
    EXPECT_EQ(o.help, row.help);
    EXPECT_EQ(o.paths.size(), row.paths);
    EXPECT_EQ(!o.error.empty(), row.error) << row.arguments.size();
  }
  EXPECT_EQ(ParseCliArguments({L"/q", L"/free", L"d:"}).freeDrive, L"d:");
  EXPECT_TRUE(ParseCliArguments({L"/l", L"C:\\a"}).preview);
  EXPECT_EQ(ParseCliArguments({L"/recycle", L"B:", L"/recycle", L"J:"}).error,
            L"/recycle 只能给出一次");
  EXPECT_EQ(ParseCliArguments({L"/log", L"", L"C:\\a"}).error, L"/log 后应跟记录文件的路径");
  EXPECT_EQ(ParseCliArguments({L"/recycle", L"d:"}).recycleDrive, L"D:\\");
  EXPECT_TRUE(ParseCliArguments({L"/recycle"}).recycle);
  EXPECT_EQ(ParseCliArguments({L"/recycle"}).recycleDrive, L"");
  EXPECT_TRUE(ParseCliArguments({L"/recycle", L"/verify"}).verify);
  EXPECT_FALSE(ParseCliArguments({L"C:\\a"}).verify);
  EXPECT_TRUE(ParseCliArguments({L"/recycle", L"/keeptraces"}).keepTraces);
  EXPECT_FALSE(ParseCliArguments({L"C:\\a"}).keepTraces);
  EXPECT_EQ(CliBinStatus({}, false), kCliAllShredded) << "an empty bin";
  EXPECT_EQ(CliBinStatus({{L"C:\\a", true, L""}}, false), kCliAllShredded);
  EXPECT_EQ(CliBinStatus({{L"C:\\a", true, L""}, {L"C:\\b", false, L"x"}}, false),
            kCliNotAllShredded);
  EXPECT_EQ(CliBinStatus({{L"C:\\a", true, L""}}, true), kCliInterrupted);
  EXPECT_EQ(CliBinStatus({}, false, {{L"Q:", false, L"驱动器不存在"}}), kCliNotAllShredded);
}

// The record is never written over a file the run works on, nor into a
// folder that goes: its old contents would be freed under it.
TEST(ShredCliTest, TheRecordIsNeverAmongWhatGoes) {
  const struct {
    const wchar_t* record;
    std::vector<std::wstring> entries, folders;
    bool sameFile;  // what the platform says of two spellings
    bool refused;
  } rows[] = {
      {L"C:\\d\\ro.txt", {L"C:\\d\\ro.txt"}, {}, false, true},
      {L"C:\\D\\RO.TXT", {L"c:\\d\\ro.txt"}, {}, false, true},
      {L"C:\\Ä\\x.txt", {L"C:\\ä\\x.txt"}, {}, true, true},  // asked of the platform
      {L"C:\\d\\ro.txt", {L"\\\\?\\C:\\d\\ro.txt"}, {}, false, true},
      {L"C:\\d\\ro.txt", {L"\\\\srv\\d\\ro.txt"}, {}, true, true},
      {L"C:\\d\\RECORD~1.JSO", {L"C:\\d\\record.json"}, {}, true, true},
      {L"C:\\d\\log.json", {L"C:\\d\\ro.txt"}, {}, false, false},
      {L"C:\\d\\sub\\log.json", {}, {L"C:\\d"}, false, true},
      {L"C:\\d\\log.json", {}, {L"\\\\?\\C:\\D\\"}, false, true},
      {L"C:\\dd\\log.json", {}, {L"C:\\d"}, false, false},
      {L"C:\\log.json", {}, {L"C:\\d"}, false, false},
  };
  for (const auto& row : rows) {
    const std::wstring refusal =
        RefuseRecordPlace(row.record, row.entries, row.folders,
                          [&](const std::wstring&, const std::wstring&) { return row.sameFile; });
    EXPECT_EQ(!refusal.empty(), row.refused) << row.record;
  }
}

TEST(ShredCliTest, ExitStatusSaysWhetherEverythingWasShredded) {
  ShredJob job;
  job.entries = {L"a", L"b"};
  job.results.assign(2, EntryResult{});
  job.results[0].fate = job.results[1].fate = Fate::Shredded;
  EXPECT_EQ(CliExitStatus(job, {}, false), kCliAllShredded);
  EXPECT_EQ(CliExitStatus(job, {}, true), kCliInterrupted);
  EXPECT_EQ(CliExitStatus(job, {{L"C:\\", kProtectedFolderText}}, false), kCliNotAllShredded)
      << "a path the walk turned down is not shredded";
  for (const Fate other :
       {Fate::Survived, Fate::DeletedAsIs, Fate::LinkRemoved, Fate::NotReached}) {
    job.results[1].fate = other;
    EXPECT_EQ(CliExitStatus(job, {}, false), kCliNotAllShredded);
  }
}

// Each entry's line as the console shows it, and the summary that counts
// files, not entries.
TEST(ShredCliTest, LinesNameEveryFileNotShredded) {
  const auto result = [](Fate fate, Reason reason = Reason::None, std::wstring renamed = {},
                         int sameAs = -1) {
    EntryResult r;
    r.fate = fate;
    r.reason = reason;
    r.renamed = renamed;
    r.sameAs = sameAs;
    return r;
  };
  ShredJob job;
  job.entries = {L"a", L"b", L"C:\\d\\kept.txt", L"", L"A", L"e", L"f"};
  job.results = {result(Fate::Shredded),
                 result(Fate::DeletedAsIs),
                 result(Fate::Survived, Reason::NotDeletedRenamed, L"C:\\d\\q8w1e3r5"),
                 result(Fate::Survived, Reason::InvalidName),
                 result(Fate::Shredded, Reason::None, {}, 0),
                 result(Fate::NotReached),
                 result(Fate::NotReached)};
  EXPECT_EQ(
      CliLines(job, {{L"C:\\Windows", kProtectedFolderText}}, false),
      (std::vector<std::wstring>{
          L"C:\\Windows：是磁盘根目录或系统文件夹，不予粉碎",
          L"b：已删除，但未能覆盖原内容",
          L"C:\\d\\q8w1e3r5：内容已覆盖，但无法删除，也无法改回原名",
          L"（空）：文件名无效",
          L"e：未处理",
          L"f：未处理",
          L"共 6 个文件：已粉碎 1 个，未能粉碎 2 个，已删除但未能覆盖 1 个，因中断未处理 2 个。",
      }));
  EXPECT_EQ(CliLines(job, {}, true).size(), 5u) << "no summary with /q";
}

TEST(ShredReportTest, MessageBoxTextIsShortenedInTheMiddleAndCut) {
  const std::wstring longPath = L"C:\\" + std::wstring(200, L'x') + L"\\end.txt";
  const std::wstring fitted = FitForMessageBox(L"title\r\n" + longPath);
  EXPECT_EQ(fitted,
            L"title\r\n" + longPath.substr(0, 59) + L"…" + longPath.substr(longPath.size() - 59));
  EXPECT_EQ(FitForMessageBox(std::wstring(120, L'y')), std::wstring(120, L'y')) << "120 stay whole";
  std::wstring many;
  for (int i = 0; i < 50; ++i) many += (i ? L"\r\n" : L"") + std::to_wstring(i);
  std::wstring kept;
  for (int i = 0; i < 40; ++i) kept += (i ? L"\r\n" : L"") + std::to_wstring(i);
  EXPECT_EQ(FitForMessageBox(many), kept + L"\r\n…");
  EXPECT_EQ(FitForMessageBox(kept), kept) << "40 lines stay whole";
}

TEST(ShredListTest, AddKeepsOrderDuplicatesAndEmptyTexts) {
  CallLog log;
  FakeList list{log};
  EXPECT_TRUE(AddEntry(list, L"a"));
  EXPECT_TRUE(AddEntry(list, L""));
  EXPECT_TRUE(AddEntry(list, L"a"));
  EXPECT_EQ(list.items, (std::vector<std::wstring>{L"a", L"", L"a"}));
}

TEST(ShredListTest, RemoveSelectedNeedsASelection) {
  CallLog log;
  FakeList list{log};
  list.items = {L"a", L"b", L"c"};
  EXPECT_FALSE(RemoveSelectedEntry(list));
  list.selection = 1;
  EXPECT_TRUE(RemoveSelectedEntry(list));
  EXPECT_EQ(list.items, (std::vector<std::wstring>{L"a", L"c"}));
}

TEST(ShredListTest, CountStopsAt32767Entries) {
  EXPECT_EQ(std::wstring(kListFullText), L"列表已满，最多 32767 项");
  CallLog log;
  FakeList list{log};
  list.items.assign(kMaxEntries, L"x");
  EXPECT_FALSE(AddEntry(list, L"y"));
  EXPECT_EQ(list.items.size(), size_t(kMaxEntries));
}

}  // namespace
}  // namespace shred
