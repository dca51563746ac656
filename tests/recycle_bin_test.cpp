// The Recycle Bin's records, its pairs, and what shredding it leaves, against
// the in-memory file system.
#include "engine/recycle_bin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/fake_shred.h"

namespace shred {
namespace {

// A $I record as Windows writes it.
std::string Record(int64_t version, int64_t size, const std::wstring& path, int64_t units = -1) {
  std::string bytes(24, '\0');
  memcpy(bytes.data(), &version, 8);
  memcpy(bytes.data() + 8, &size, 8);
  const int64_t when = 133000000000000000;
  memcpy(bytes.data() + 16, &when, 8);
  std::u16string text(path.begin(), path.end());
  if (version == 1) {
    text.resize(260, u'\0');
  } else {
    text.push_back(u'\0');
    const uint32_t count = uint32_t(units < 0 ? int64_t(text.size()) : units);
    bytes.append(reinterpret_cast<const char*>(&count), 4);
  }
  bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  return bytes;
}

TEST(RecycleRecord, BothVersionsAndBrokenOnes) {
  const std::wstring path = L"C:\\Users\\ann\\Tax 2025\\报税.xlsx";
  const struct {
    const char* name;
    std::string bytes;
    bool known;
    std::wstring path;
    int64_t size;
  } rows[] = {
      {"version 1", Record(1, 4096, path), true, path, 4096},
      {"version 2", Record(2, 77, path), true, path, 77},
      {"version 2, a long path", Record(2, 1, L"C:\\" + std::wstring(400, L'x')), true,
       L"C:\\" + std::wstring(400, L'x'), 1},
      {"cut short", Record(1, 4096, path).substr(0, 100), false, L"", 0},
      {"shorter than its header", std::string(10, '\0'), false, L"", 0},
      {"an unknown version", Record(3, 4096, path), false, L"", 0},
      {"a length past its end", Record(2, 4096, path, 5000), false, L"", 0},
      {"an empty path", Record(2, 4096, L""), false, L"", 4096},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const RecycleRecord record = ParseRecycleRecord(row.bytes);
    EXPECT_EQ(record.known, row.known);
    EXPECT_EQ(record.originalPath, row.path);
    EXPECT_EQ(record.size, row.size);
  }
}

// The confirmation's total: sizes a record made by hand can give are
// neither negative nor wrapped.
TEST(RecycleRecord, TheTotalNeverGoesNegativeNorWraps) {
  const auto items = [](std::vector<int64_t> sizes) {
    std::vector<BinItem> out(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) out[i].size = sizes[i];
    return out;
  };
  EXPECT_EQ(BinBytes(items({})), 0u);
  EXPECT_EQ(BinBytes(items({4096, 77})), 4173u);
  EXPECT_EQ(BinBytes(items({-5000, 100})), 100u);
  EXPECT_EQ(BinBytes(items({INT64_MAX, INT64_MAX, INT64_MAX})), UINT64_MAX);
}

BinItem Item(const std::wstring& data, const std::wstring& record, bool folder,
             const std::wstring& shown) {
  BinItem item;
  item.data = data;
  item.record = record;
  item.folder = folder;
  item.shown = shown;
  if (!data.empty() && !folder) item.files = {data};
  return item;
}

TEST(RecycleBin, ItemsArePairedByTheirIdAndNamedByWhereTheyWere) {
  const std::wstring bin = L"T:\\$Recycle.Bin\\S-1-5-21-0-0-0-1000";
  const std::vector<BinEntry> entries = {
      {L"$RB2X9.docx"},
      {L"desktop.ini"},
      {L"$IB2X9.docx"},
      {L"$RAAAA", true},
      {L"$IAAAA"},
      {L"$RONLY.txt"},
      {L"$IORPHAN.txt"},
      {L"$IBAD.txt"},
      {L"$RBAD.txt"},
      {L"notes.txt"},
      // Names made on another system, that joined to the bin's path lead out of it.
      {L"$Rx\\..\\..\\..\\victim.txt"},
      {L"$Iw\\..\\..\\..\\rv.txt"},
      {L"$Ry/../d", true},
  };
  std::vector<std::string> records(entries.size());
  records[11] = Record(2, 50, L"C:\\rv.txt");
  records[2] = Record(2, 10, L"C:\\docs\\report.docx");
  records[4] = Record(1, 20, L"C:\\docs\\Tax 2025");
  records[6] = Record(2, 30, L"C:\\gone.txt");
  records[7] = Record(7, 40, L"C:\\x");
  const std::vector<BinItem> items = PairBinItems(bin, entries, records);
  ASSERT_EQ(items.size(), 8u);
  const auto at = [&](const wchar_t* shown) {
    for (const BinItem& item : items)
      if (item.shown == shown) return item;
    ADD_FAILURE() << "no item shown as " << ::testing::PrintToString(std::wstring(shown));
    return BinItem{};
  };
  EXPECT_EQ(at(L"C:\\docs\\report.docx").data, bin + L"\\$RB2X9.docx");
  EXPECT_EQ(at(L"C:\\docs\\report.docx").files, std::vector<std::wstring>{bin + L"\\$RB2X9.docx"});
  EXPECT_TRUE(at(L"C:\\docs\\Tax 2025").folder);
  EXPECT_TRUE(at(L"C:\\docs\\Tax 2025").files.empty()) << "a folder's files come from its walk";
  EXPECT_EQ(at(L"$RONLY.txt").record, L"") << "data without a record: named by its name";
  EXPECT_EQ(at(L"C:\\gone.txt").data, L"") << "a record without its data";
  EXPECT_EQ(at(L"原位置未知（$IBAD.txt）").data, bin + L"\\$RBAD.txt");
  int odd = 0;
  for (const BinItem& item : items) {
    EXPECT_EQ(item.data.find(L"desktop.ini"), std::wstring::npos);
    EXPECT_EQ(item.data.find(L"notes.txt"), std::wstring::npos);
    if (item.refused.rfind(L"文件名无效（", 0) != 0) continue;
    ++odd;
    EXPECT_EQ(item.shown, bin) << item.refused;
    EXPECT_TRUE(item.data.empty() && item.record.empty() && item.files.empty()) << item.refused;
  }
  EXPECT_EQ(odd, 3) << "each name that is not one is an item of its own, refused";
}

// A drive whose bin cannot be shredded is said with why, never an empty
// bin; a read-only one only when its bin holds something.
TEST(RecycleBin, ADriveWhoseBinCannotBeShreddedIsSaid) {
  const struct {
    DriveFacts facts;
    bool holdsItems;
    const wchar_t* refusal;
  } rows[] = {
      {{true, false, false}, true, L""},
      {{false, false, false}, false, L"驱动器不存在"},
      {{true, true, false}, false, L"是网络驱动器，没有回收站"},
      {{true, false, true}, true, L"驱动器只读，回收站中的项目无法粉碎"},
      {{true, false, true}, false, L""},
  };
  for (const auto& row : rows)
    EXPECT_EQ(RefuseBinDrive(row.facts, row.holdsItems), row.refusal) << row.refusal;
}

// Every item's data is shredded first, then its record; an item whose data
// survives keeps its record, visible and restorable. Read back, both.
// A link in the bin (a junction, a symbolic link) is never followed: its
// item has no files to shred and keeps its record.
TEST(RecycleBin, ALinkInTheBinIsRefused) {
  const std::vector<BinItem> items =
      PairBinItems(L"T:\\b", {{L"$RZ", true, true}, {L"$IZ", false, false}}, {"", ""});
  ASSERT_EQ(items.size(), 1u);
  EXPECT_TRUE(items[0].files.empty());
  EXPECT_EQ(items[0].refused, L"是链接，其指向的文件不予粉碎");
}

TEST(RecycleBin, ARecordGoesOnlyAfterItsData) {
  testing::CallLog log;
  testing::FakeServices services{log};
  const std::wstring bin = L"T:\\$Recycle.Bin\\S-1";
  services.folders = {bin + L"\\$RF", bin + L"\\$RF\\sub"};
  for (const wchar_t* name : {L"$RA.txt", L"$IA.txt", L"$RH.txt", L"$IH.txt", L"$IF", L"$RF\\a",
                              L"$RF\\sub\\b", L"$IO.txt", L"$RL.txt", L"$IL.txt"})
    services.files[bin + L"\\" + name] = L"x";
  services.locked.insert(bin + L"\\$RH.txt");
  services.lostWrite[bin + L"\\$RL.txt"] = 0;
  // Another name outside the bin (a hard link of a live file), a file stored
  // elsewhere (deleted as it is), a link, a folder not read whole.
  for (const wchar_t* name : {L"$RK.txt", L"$IK.txt", L"$RD.txt", L"$ID.txt", L"$IS", L"$IU"})
    services.files[bin + L"\\" + name] = L"x";
  services.files[L"T:\\docs\\other.txt"] = L"live";
  services.hardLinks[bin + L"\\$RK.txt"] = L"T:\\docs\\other.txt";
  services.files.erase(bin + L"\\$RK.txt");
  services.reparse[bin + L"\\$RD.txt"] = tag::kDedup;
  std::vector<BinItem> items(9);
  items[0] = Item(bin + L"\\$RA.txt", bin + L"\\$IA.txt", false, L"C:\\a.txt");
  items[1] = Item(bin + L"\\$RH.txt", bin + L"\\$IH.txt", false, L"C:\\held.txt");
  items[2] = Item(bin + L"\\$RF", bin + L"\\$IF", true, L"C:\\Tax 2025");
  items[2].files = {bin + L"\\$RF\\a", bin + L"\\$RF\\sub\\b"};
  items[2].folders = {{bin + L"\\$RF", services.IdOf(bin + L"\\$RF")},
                      {bin + L"\\$RF\\sub", services.IdOf(bin + L"\\$RF\\sub")}};
  items[3] = Item(L"", bin + L"\\$IO.txt", false, L"C:\\orphan.txt");
  items[4] = Item(bin + L"\\$RL.txt", bin + L"\\$IL.txt", false, L"C:\\lost.txt");
  items[5] = Item(bin + L"\\$RK.txt", bin + L"\\$IK.txt", false, L"C:\\linked.txt");
  items[6] = Item(bin + L"\\$RD.txt", bin + L"\\$ID.txt", false, L"C:\\dedup.txt");
  items[7] = Item(bin + L"\\$RS", bin + L"\\$IS", true, L"C:\\link");
  items[7].refused = ReasonText(Reason::Link);
  items[8] = Item(bin + L"\\$RU", bin + L"\\$IU", true, L"C:\\unread");
  items[8].refused = L"$RU：拒绝访问";
  ShredMonitor monitor;
  const std::vector<BinOutcome> outcomes = ShredBinItems(items, services, monitor, true);
  EXPECT_TRUE(outcomes[0].shredded);
  EXPECT_FALSE(outcomes[1].shredded);
  EXPECT_EQ(outcomes[1].why, L"正在被其他程序使用");
  EXPECT_TRUE(outcomes[2].shredded);
  EXPECT_TRUE(outcomes[3].shredded);
  EXPECT_EQ(outcomes[4].why, L"校验失败");
  EXPECT_NE(outcomes[5].why.find(L"还有其他名称（硬链接）"), std::wstring::npos);
  EXPECT_EQ(outcomes[6].why, L"已删除，但未能覆盖原内容") << "gone, not shredded";
  EXPECT_EQ(outcomes[7].why, L"是链接，其指向的文件不予粉碎");
  EXPECT_EQ(outcomes[8].why, L"$RU：拒绝访问");
  EXPECT_EQ(services.files, (std::map<std::wstring, std::wstring>{{bin + L"\\$RH.txt", L"x"},
                                                                  {bin + L"\\$IH.txt", L"x"},
                                                                  {bin + L"\\$RL.txt", L"x"},
                                                                  {bin + L"\\$IL.txt", L"x"},
                                                                  {bin + L"\\$IK.txt", L"x"},
                                                                  {L"T:\\docs\\other.txt", L"live"},
                                                                  {bin + L"\\$IS", L"x"},
                                                                  {bin + L"\\$IU", L"x"}}));
  EXPECT_NE(std::find(log.calls.begin(), log.calls.end(), L"readback:" + bin + L"\\$IA.txt@0+1"),
            log.calls.end())
      << "the records are read back too";
  EXPECT_TRUE(services.folders.empty()) << "the deleted folder goes with its subfolder";
  const std::vector<std::wstring> lines = BinLines(outcomes);
  EXPECT_EQ(lines.back(), L"回收站共 9 项：已粉碎 3 项，未能粉碎 6 项。");
  EXPECT_EQ(lines[0], L"C:\\held.txt：正在被其他程序使用");
  EXPECT_EQ(BinLines({}), std::vector<std::wstring>{L"回收站是空的"});
  EXPECT_EQ(BinLines({}, {}, {{L"Q:", false, L"驱动器不存在"}}),
            std::vector<std::wstring>{L"Q:：驱动器不存在"})
      << "a bin not looked into is not said to be empty";
  EXPECT_EQ(BinLines(outcomes, {}, {{L"Q:", false, L"驱动器不存在"}}).front(), L"Q:：驱动器不存在");
  EXPECT_EQ(services.openHandles, 0);
}

}  // namespace
}  // namespace shred
