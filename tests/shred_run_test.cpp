// The shred run's logic against an in-memory list and file system.
#include <gtest/gtest.h>

#include <algorithm>

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
  RunShred(list, services);
  ASSERT_EQ(log.calls.size(), 1u);
  EXPECT_EQ(services.messages[0].text, L"您确认粉碎已选文件吗？");
  EXPECT_EQ(services.messages[0].title, L"警告");
  EXPECT_EQ(services.messages[0].kind, MessageKind::Confirm);
  EXPECT_EQ(services.files[L"C:\\a.txt"], L"data");
  EXPECT_EQ(list.items.size(), 1u);
}

TEST_F(ShredRunTest, EmptyListAsksFirstThenSaysSo) {
  RunShred(list, services);
  ASSERT_EQ(services.messages.size(), 2u);
  EXPECT_EQ(services.messages[0].kind, MessageKind::Confirm);
  EXPECT_EQ(services.messages[1].text, L"请选择文件！");
  EXPECT_EQ(services.messages[1].title, L"提示");
  EXPECT_EQ(services.messages[1].kind, MessageKind::Info);
  EXPECT_TRUE(CallsStartingWith(L"open:").empty());
}

TEST_F(ShredRunTest, OverwritesEveryFileBeforeDeletingAny) {
  List({L"C:\\a", L"C:\\b", L"C:\\c"});
  for (auto& p : list.items) services.files[p] = L"secret";
  RunShred(list, services);

  EXPECT_EQ(CallsStartingWith(L"open:"),
            (std::vector<std::wstring>{L"open:C:\\a", L"open:C:\\b", L"open:C:\\c"}));
  EXPECT_EQ(CallsStartingWith(L"delete:"),
            (std::vector<std::wstring>{L"delete:C:\\a", L"delete:C:\\b", L"delete:C:\\c"}));
  const size_t lastOpen = IndexOf(L"open:C:\\c");
  const size_t firstDelete = IndexOf(L"delete:C:\\a");
  EXPECT_LT(lastOpen, firstDelete);
  EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), L"count"), 1)
      << "the run works on the entries as it found them";
  EXPECT_EQ(log.calls[lastOpen + 1], L"close");
  EXPECT_TRUE(services.files.empty());
  EXPECT_TRUE(list.items.empty());
  EXPECT_EQ(services.messages.back().text, L"已选文件粉碎完成！");
  EXPECT_EQ(services.messages.back().title, L"提示");
  EXPECT_EQ(services.messages.back().kind, MessageKind::Info);
}

TEST_F(ShredRunTest, DuplicatesAreOverwrittenTwiceAndDeletedOnce) {
  List({L"C:\\a", L"C:\\a"});
  services.files[L"C:\\a"] = L"secret";
  RunShred(list, services);
  EXPECT_EQ(CallsStartingWith(L"open:").size(), 2u);
  EXPECT_EQ(CallsStartingWith(L"delete:").size(), 2u);
  EXPECT_TRUE(list.items.empty());
  EXPECT_EQ(services.messages.back().text, L"已选文件粉碎完成！");
}

TEST_F(ShredRunTest, MissingFileInExistingFolderIsCreatedThenDeleted) {
  List({L"C:\\new.txt", L""});
  RunShred(list, services);
  EXPECT_NE(IndexOf(L"open:C:\\new.txt"), SIZE_MAX);
  EXPECT_FALSE(services.PathExists(L"C:\\new.txt"));
  EXPECT_EQ(services.messages.back().text, L"已选文件粉碎完成！");
}

TEST_F(ShredRunTest, SurvivorsAreReportedAndKeptInOrder) {
  List({L"C:\\locked", L"C:\\gone", L"C:\\folder", L"C:\\gone2"});
  services.files[L"C:\\locked"] = L"secret";
  services.files[L"C:\\gone"] = L"x";
  services.locked.insert(L"C:\\locked");
  services.folders.insert(L"C:\\folder");
  RunShred(list, services);

  EXPECT_EQ(list.items, (std::vector<std::wstring>{L"C:\\locked", L"C:\\folder"}));
  EXPECT_EQ(services.files[L"C:\\locked"], L"secret");
  ASSERT_EQ(services.messages.size(), 2u);
  const auto& report = services.messages[1];
  EXPECT_EQ(report.kind, MessageKind::Warning);
  EXPECT_EQ(report.title, L"提示");
  EXPECT_EQ(report.text, L"共 4 个文件，其中 2 个未能粉碎：\r\nC:\\locked\r\nC:\\folder");
  EXPECT_EQ(IndexOf(L"clear"), SIZE_MAX);
}

TEST_F(ShredRunTest, ReportNamesTenPathsThenAnEllipsis) {
  for (int i = 0; i < 12; ++i) {
    list.items.push_back(L"C:\\f" + std::to_wstring(i));
    services.folders.insert(list.items.back());
  }
  RunShred(list, services);
  const std::wstring& text = services.messages.back().text;
  EXPECT_NE(text.find(L"C:\\f9\r\n…"), std::wstring::npos) << text.c_str();
  EXPECT_EQ(text.find(L"C:\\f10"), std::wstring::npos);
  EXPECT_EQ(text.rfind(L"共 12 个文件，其中 12 个未能粉碎：", 0), 0u);
}

TEST_F(ShredRunTest, DevicesAndWildcardsAreNeverTouchedAndCountAsFailures) {
  List({L"NUL", L"C:\\x\\*.txt", L"C:\\ok"});
  services.files[L"C:\\ok"] = L"secret";
  RunShred(list, services);
  EXPECT_EQ(CallsStartingWith(L"open:"), std::vector<std::wstring>{L"open:C:\\ok"});
  EXPECT_EQ(CallsStartingWith(L"delete:"), std::vector<std::wstring>{L"delete:C:\\ok"});
  EXPECT_EQ(list.items, (std::vector<std::wstring>{L"NUL", L"C:\\x\\*.txt"}));
  EXPECT_EQ(services.messages.back().kind, MessageKind::Warning);
}

TEST_F(ShredRunTest, FileContentIsTheTwoLineNotice) {
  List({L"C:\\a"});
  services.locked.clear();
  // Keep the file by failing its deletion after the overwrite.
  struct KeepFiles : FakeServices {
    using FakeServices::FakeServices;
    bool RemoveFile(const std::wstring&) override { return false; }
  } keep{log};
  keep.files[L"C:\\a"] = L"old contents that must go";
  RunShred(list, keep);
  EXPECT_EQ(keep.files[L"C:\\a"], Notice());
  EXPECT_EQ(NoticeLine().rfind(L"此文件已被粉碎！  ", 0), 0u);
}

// Cancels once `after` files have been overwritten.
struct CancelAfter : ShredMonitor {
  explicit CancelAfter(int files) : after(files) {}
  bool CancelRequested() override { return overwritten >= after; }
  void Overwriting(int, const std::wstring& path) override {
    ++overwritten;
    order.push_back(L"overwrite:" + path);
  }
  void Deleting(int, const std::wstring& path) override { order.push_back(L"delete:" + path); }
  int after, overwritten = 0;
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
  EXPECT_EQ(CallsStartingWith(L"open:").size(), 2u) << "c and d are never opened";
  EXPECT_EQ(services.files[L"C:\\c"], L"secret");
  EXPECT_EQ(services.files[L"C:\\d"], L"secret");
  EXPECT_FALSE(services.PathExists(L"C:\\a"));
  EXPECT_EQ(list.items, (std::vector<std::wstring>{L"C:\\c", L"C:\\d"}));
  EXPECT_EQ(services.messages.back().text,
            L"粉碎已取消：已粉碎 2 个文件，2 个文件未处理，仍保留在列表中。");
  EXPECT_EQ(services.messages.back().kind, MessageKind::Info);
}

TEST_F(ShredRunTest, CancelAlsoReportsTheFilesThatSurvived) {
  List({L"C:\\folder", L"C:\\b", L"C:\\c"});
  services.folders.insert(L"C:\\folder");
  services.files[L"C:\\b"] = L"x";
  services.files[L"C:\\c"] = L"x";
  ShredJob job;
  ASSERT_TRUE(PrepareShred(list, services, job));
  CancelAfter monitor(2);
  ShredFiles(job, services, monitor);
  FinishShred(list, services, job);
  EXPECT_EQ(list.items, (std::vector<std::wstring>{L"C:\\folder", L"C:\\c"}));
  EXPECT_EQ(services.messages.back().kind, MessageKind::Warning);
  EXPECT_NE(services.messages.back().text.find(L"已粉碎 1 个文件，1 个文件未处理"),
            std::wstring::npos);
  EXPECT_NE(services.messages.back().text.find(L"共 2 个文件，其中 1 个未能粉碎：\r\nC:\\folder"),
            std::wstring::npos);
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
                           L"C:\\*",
                           L"C:\\a?.txt",
                           L"*"}) {
    EXPECT_TRUE(IsUnsafeShredPath(p)) << p;
  }
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
  CallLog log;
  FakeList list{log};
  list.items.assign(kMaxEntries, L"x");
  EXPECT_FALSE(AddEntry(list, L"y"));
  EXPECT_EQ(list.items.size(), size_t(kMaxEntries));
}

}  // namespace
}  // namespace shred
