// The shortcuts and lists Windows keeps of a file, cleared after a run for
// what it shredded and for nothing else.
#include <gtest/gtest.h>

#include <random>

#include "engine/recent_traces.h"
#include "engine/recycle_bin.h"
#include "engine/shred_cli.h"
#include "engine/shred_record.h"
#include "engine/shred_report.h"
#include "tests/fake_shred.h"
#include "tests/recent_docs_value.h"

namespace shred {
namespace {

using testing::CallLog;
using testing::FakeList;
using testing::FakeServices;
using testing::FakeTraces;
using testing::MruListEx;
using testing::RecentDocsValue;

EntryResult Gone(const std::wstring& path, const std::wstring& finalPath = {}) {
  EntryResult result;
  result.fate = Fate::Shredded;
  result.path = path;
  result.finalPath = finalPath;
  return result;
}

TEST(RecentTracesTest, APlaceIsKnownHoweverWindowsSpellsIt) {
  ShredJob job;
  job.entries = {L"C:\\Docs\\Tax 2025.xlsx", L"C:\\PROGRA~1\\x.txt", L"C:\\Docs\\keep.txt",
                 L"C:\\Été\\Ünï.txt",        L"C:\\Отчёт.doc",       L"C:\\Docs\\Tax 2025.xlsx"};
  job.results = {Gone(job.entries[0], L"\\\\?\\C:\\Docs\\Tax 2025.xlsx"),
                 Gone(job.entries[1], L"\\\\?\\C:\\Program Files\\x.txt"),
                 EntryResult{},
                 Gone(job.entries[3]),
                 Gone(job.entries[4]),
                 Gone(job.entries[5])};
  job.results[2].fate = Fate::Survived;
  job.results[5].sameAs = 0;
  job.folderResults = {{L"D:\\Old", true, Reason::None, {}},
                       {L"D:\\Kept", false, Reason::FolderNotEmpty, {}}};
  const Places places = ShreddedPlaces(job);
  const Places bin = ShreddedPlaces(
      std::vector<BinOutcome>{{L"E:\\Bin\\a.txt", true, L""},
                              {L"E:\\Bin\\kept.txt", false, L"x"},
                              {std::wstring(kUnknownPlaceText) + L"（$RABC.txt）", true, L""}});
  const struct {
    const wchar_t* target;
    const wchar_t* place;  // empty: not a shredded place
    bool fromBin = false;
  } rows[] = {
      {L"C:\\Docs\\Tax 2025.xlsx", L"C:\\Docs\\Tax 2025.xlsx"},
      {L"c:\\docs\\TAX 2025.XLSX", L"C:\\Docs\\Tax 2025.xlsx"},
      {L"\\\\?\\C:\\Docs\\Tax 2025.xlsx", L"C:\\Docs\\Tax 2025.xlsx"},
      {L"C:/Docs/Tax 2025.xlsx", L"C:\\Docs\\Tax 2025.xlsx"},
      {L"E:\\Docs\\Tax 2025.xlsx", L""},  // the same name on another drive
      {L"C:\\Docs\\Tax 2025.xlsx.bak", L""},
      {L"C:\\Docs\\Tax 2025", L""},
      {L"C:\\Docs\\keep.txt", L""},                           // survived
      {L"C:\\Program Files\\x.txt", L"C:\\PROGRA~1\\x.txt"},  // by the final path
      {L"C:\\progra~1\\X.TXT", L"C:\\PROGRA~1\\x.txt"},
      {L"D:\\Old", L"D:\\Old"},
      {L"d:\\old\\", L"D:\\Old"},
      {L"D:\\Old\\sub\\deep.txt", L"D:\\Old"},
      {L"D:\\Older\\x.txt", L""},
      {L"D:\\Kept\\x.txt", L""},  // a folder that stayed
      {L"D:\\", L""},
      {L"D:", L""},
      {L"", L""},
      {L"\\\\", L""},
      {L"C:\\ÉTÉ\\ÜNÏ.TXT", L"C:\\Été\\Ünï.txt"},
      {L"C:\\ОТЧЁТ.DOC", L"C:\\Отчёт.doc"},
      {L"C:\\Отчет.doc", L""},  // another letter, not another case
      {L"E:\\Bin\\a.txt", L"E:\\Bin\\a.txt", true},
      {L"E:\\BIN\\A.TXT", L"E:\\Bin\\a.txt", true},
      {L"E:\\Bin\\kept.txt", L"", true},
      {L"$RABC.txt", L"", true},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ShreddedPlaceOf(row.target, row.fromBin ? bin : places), row.place) << row.target;
  }
  EXPECT_EQ(ComparablePath(L"\\\\?\\UNC\\srv\\share\\a"), L"\\\\SRV\\SHARE\\A");
  EXPECT_EQ(ComparablePath(L"C:\\"), L"C:\\");
}

TEST(RecentTracesTest, ARecentDocsValueNamesItsShortcutOrNothing) {
  const struct {
    std::string data;
    const wchar_t* shortcut;
  } rows[] = {
      {RecentDocsValue(L"Tax 2025.xlsx", L"Tax 2025.xlsx.lnk", "TAX202~1.LNK", 9),
       L"Tax 2025.xlsx.lnk"},
      {RecentDocsValue(L"a.txt", L"a.txt.lnk", "ATXT~1.LNK", 8), L"a.txt.lnk"},
      {RecentDocsValue(L"a.txt", L"a.txt.lnk", "ATXT~1.LNK", 7), L"a.txt.lnk"},
      {RecentDocsValue(L"a.txt", L"a.txt.lnk", "ATXT~1.LNK", 3), L"a.txt.lnk"},
      {RecentDocsValue(L"报告.docx", L"报告.docx.lnk", "7B2C~1.LNK", 9), L"报告.docx.lnk"},
      {RecentDocsValue(L"a", L"", "A.LNK", 9), L"A.LNK"},       // no long name: the short one
      {RecentDocsValue(L"a", L"", "\xC8\xA4.LNK", 9), L""},     // a code page's: unknowable
      {RecentDocsValue(L"a", L"a.lnk", "A.LNK", 2), L"A.LNK"},  // an unknown block version
      {std::string("a.txt\0a.txt.lnk\0", 16), L""},             // Wine's own format
      {std::string(), L""},
      {std::string("\0\0", 2), L""},
      {std::string("\0\0\x10\0\x31", 5), L""},  // an item past the end
  };
  for (const auto& row : rows) {
    EXPECT_EQ(RecentDocsShortcut(row.data), row.shortcut) << row.data.size();
  }
  // Every value cut short ends inside its item (the name, then nothing) or
  // past it (the name), and no byte changed anywhere reads outside it.
  const std::string whole = RecentDocsValue(L"x.txt", L"x.txt.lnk", "XTXT~1.LNK", 9);
  const size_t itemEnd = 12 + (uint8_t(whole[12]) | (uint8_t(whole[13]) << 8));
  for (size_t length = 0; length < whole.size(); ++length) {
    EXPECT_EQ(RecentDocsShortcut(whole.substr(0, length)), length < itemEnd ? L"" : L"x.txt.lnk")
        << length;
  }
  std::mt19937 random(28);
  for (int round = 0; round < 4000; ++round) {
    std::string data = whole;
    data[random() % data.size()] = char(random());
    data.resize(random() % (data.size() + 8), char(random()));
    RecentDocsShortcut(data);  // the sanitizers watch
  }
}

TEST(RecentTracesTest, OnlyAShortcutThatHoldsAPlacesNameIsRead) {
  const std::set<std::wstring> names =
      PlaceNames({{L"C:\\DOCS\\TAX 2025.XLSX", L""}, {L"D:\\OLD", L""}, {L"D:\\", L""}});
  EXPECT_EQ(names, (std::set<std::wstring>{L"OLD", L"TAX 2025.XLSX"}));
  EXPECT_TRUE(PlaceNames({{L"C:\\ÉTÉ", L""}, {L"C:\\A", L""}}).empty()) << "every one is read";
  std::string utf16;
  testing::PutUtf16(utf16, L"c:\\docs\\Tax 2025.xlsx");
  const struct {
    std::string bytes;
    bool may;
  } rows[] = {
      {std::string("L\0\0\0", 4) + "C:\\Docs\\Tax 2025.xlsx", true},
      {"x" + utf16, true},  // either alignment
      {utf16, true},
      {RecentDocsValue(L"x", L"tax 2025.XLSX"), true},
      {"C:\\old\\deep\\a.txt", true},
      {"C:\\Older\\a.txt", false},
      {"C:\\Docs\\Tax 2025.xlsx.bak", false},
      {"Tax 2025", false},
      {"", false},
  };
  for (const auto& row : rows) EXPECT_EQ(MayName(row.bytes, names), row.may) << row.bytes;
  EXPECT_TRUE(MayName("anything", {}));
}

TEST(RecentTracesTest, OnlyTheValuesOfRemovedShortcutsGoAndTheOrderStays) {
  const std::set<std::wstring> gone{L"A.TXT.LNK"};
  const RegistryValue a{L"0", kRegBinary, RecentDocsValue(L"a.txt", L"a.txt.lnk")};
  const RegistryValue b{L"1", kRegBinary, RecentDocsValue(L"b.txt", L"b.txt.lnk")};
  const RegistryValue again{L"7", kRegBinary, RecentDocsValue(L"A.TXT", L"A.txt.LNK")};
  const struct {
    std::vector<RegistryValue> values;
    std::vector<std::wstring> remove;
    bool rewrite;
    std::string list;
  } rows[] = {
      {{a, b, again, {L"MRUListEx", kRegBinary, MruListEx({7, 1, 0})}},
       {L"0", L"7"},
       true,
       MruListEx({1})},
      {{b, {L"MRUListEx", kRegBinary, MruListEx({1})}}, {}, false, ""},
      // The order kept past its end mark is dropped; a number that names no
      // value stays where it was.
      {{a, b, {L"MRUListEx", kRegBinary, MruListEx({9, 0, 1}) + std::string("\x01\0\0\0", 4)}},
       {L"0"},
       true,
       MruListEx({9, 1})},
      {{a, {L"MRUListEx", kRegBinary, std::string("\0\0\0", 3)}},
       {L"0"},
       false,
       ""},                      // a list that cannot be read
      {{a}, {L"0"}, false, ""},  // none at all
      {{{L"0", 1, a.data},
        {L"x", kRegBinary, a.data},
        {L"-1", kRegBinary, a.data},
        {L"4294967295", kRegBinary, a.data},
        {L"2", kRegBinary, "junk"}},
       {},
       false,
       ""},
  };
  for (const auto& row : rows) {
    const RecentDocsEdit edit = PlanRecentDocsEdit(row.values, gone);
    EXPECT_EQ(edit.remove, row.remove);
    EXPECT_EQ(edit.rewriteList, row.rewrite);
    EXPECT_EQ(edit.list, row.list);
  }
}

// A user's documents, their Recent shortcuts and Explorer's list of them.
struct TraceScene {
  TraceScene() {
    services.folders.insert(L"C:\\Docs");
    services.folders.insert(traces.recent);
    for (const wchar_t* name : {L"a.txt", L"b.txt"})
      services.files[L"C:\\Docs\\" + std::wstring(name)] = L"x";
    Shortcut(L"a.txt.lnk", L"C:\\Docs\\a.txt");
    Shortcut(L"b.txt.lnk", L"C:\\Docs\\b.txt");
    Shortcut(L"A.TXT (2).LNK", L"c:\\docs\\A.TXT");
    Shortcut(L"a.txt (3).lnk", L"");
    Shortcut(L"renamed.lnk", L"C:\\Docs\\a.txt");
    traces.targets.erase(traces.recent + L"\\a.txt (3).lnk");
    traces.keys[L""] = {{L"0", kRegBinary, RecentDocsValue(L"a.txt", L"a.txt.lnk")},
                        {L"1", kRegBinary, RecentDocsValue(L"b.txt", L"b.txt.lnk")},
                        {L"2", kRegBinary, RecentDocsValue(L"a.txt", L"A.TXT (2).lnk")},
                        {L"MRUList", 1, "abc"},
                        {L"MRUListEx", kRegBinary, MruListEx({2, 1, 0})}};
    traces.keys[L".txt"] = {{L"5", kRegBinary, RecentDocsValue(L"a.txt", L"a.txt.lnk")},
                            {L"MRUListEx", kRegBinary, MruListEx({5})}};
  }
  void Shortcut(const std::wstring& name, const std::wstring& target) {
    services.files[traces.recent + L"\\" + name] = L"shortcut to " + target;
    traces.targets[traces.recent + L"\\" + name] = target;
  }
  bool Has(const std::wstring& name) { return services.files.count(traces.recent + L"\\" + name); }
  // The window's run: the confirmation, the run, this step, the report.
  void Shred(std::vector<std::wstring> entries) {
    list.items = std::move(entries);
    ShredJob job;
    ASSERT_TRUE(PrepareShred(list, services, job));
    job.folders = handed;
    ShredMonitor quiet;
    ShredFiles(job, services, quiet);
    job.keepTraces = keep;
    if (!keep) job.traces = ClearRecentTraces(ShreddedPlaces(job), services, traces, every);
    FinishShred(list, services, job);
    last = job;
  }

  CallLog log;
  FakeList list{log};
  FakeServices services{log};
  FakeTraces traces{services};
  std::vector<WalkedFolder> handed;  // folders handed over whole
  bool keep = false, every = false;  // /keeptraces; every shortcut read
  ShredJob last;
};

class ClearTracesTest : public ::testing::Test, public TraceScene {};

TEST_F(ClearTracesTest, TheShortcutsAndEntriesOfShreddedFilesGoAndNothingElse) {
  Shred({L"C:\\Docs\\a.txt"});
  EXPECT_FALSE(Has(L"a.txt.lnk"));
  EXPECT_FALSE(Has(L"A.TXT (2).LNK")) << "another name, the same target in another case";
  EXPECT_TRUE(Has(L"b.txt.lnk"));
  EXPECT_TRUE(Has(L"a.txt (3).lnk")) << "a shortcut that cannot be read is left alone";
  EXPECT_TRUE(Has(L"renamed.lnk")) << "not named after a place: never read";
  EXPECT_EQ(traces.opened, (std::vector<std::wstring>{traces.recent + L"\\A.TXT (2).LNK",
                                                      traces.recent + L"\\a.txt (3).lnk",
                                                      traces.recent + L"\\a.txt.lnk"}));
  EXPECT_TRUE(services.files.count(L"C:\\Docs\\b.txt"));
  ASSERT_EQ(traces.keys[L""].size(), 3u);
  EXPECT_EQ(traces.keys[L""][0].name, L"1");
  EXPECT_EQ(traces.keys[L""][1].data, "abc") << "Wine's MRUList is not Explorer's list";
  EXPECT_EQ(traces.keys[L""][2].data, MruListEx({1}));
  ASSERT_EQ(traces.keys[L".txt"].size(), 1u);
  EXPECT_EQ(traces.keys[L".txt"][0].data, MruListEx({}));
  EXPECT_EQ(services.messages.back().text, L"已选文件粉碎完成！\r\n已同时清除 2 个最近使用记录");
  EXPECT_EQ(services.messages.back().kind, MessageKind::Info);
  EXPECT_EQ(last.traces.outcomes.size(), 5u) << "two shortcuts, three values";
  const std::vector<std::wstring> lines = CliLines(last, {}, false);
  EXPECT_EQ(lines.back(), L"已同时清除 2 个最近使用记录");
  EXPECT_EQ(CliLines(last, {}, true), std::vector<std::wstring>{}) << "/q: the summary is left out";
  // The record names each trace beside the file it named.
  const std::string record = ShredRecord({}, last);
  EXPECT_NE(record.find("Recent\\\\a.txt.lnk"), std::string::npos);
  EXPECT_NE(record.find("RecentDocs\\\\.txt\\\\5"), std::string::npos);
  EXPECT_NE(record.find("\"shortcuts_removed\": 2"), std::string::npos);
  // A bin run says the same under its summary.
  const std::vector<BinOutcome> bin{{last.results[0].path, true, L""}};
  EXPECT_EQ(BinLines(bin, last.traces).back(), L"已同时清除 2 个最近使用记录");
  EXPECT_NE(BinRecord({}, bin, false, last.traces).find("RecentDocs\\\\.txt\\\\5"),
            std::string::npos);
}

TEST(ClearTracesRows, ATraceThatStaysIsALineAndTheFilesOutcomeStands) {
  const std::wstring denied = L"最近使用记录未能清除：";
  const struct {
    const char* name;
    std::function<void(TraceScene&)> arrange;
    std::vector<std::wstring> failures;
    int cleared;
    int reads;  // the Recent folder was looked into
    std::vector<std::wstring> entries = {L"C:\\Docs\\a.txt"};
  } rows[] = {
      {"nothing", [](TraceScene&) {}, {}, 2, 1},
      {"a held shortcut",
       [](TraceScene& t) { t.services.locked.insert(t.traces.recent + L"\\A.TXT (2).LNK"); },
       {denied + L"C:\\Users\\me\\Recent\\A.TXT (2).LNK（" + ReasonText(Reason::InUse) + L"）"},
       1,
       1},
      {"a shortcut that is a link",
       [](TraceScene& t) { t.services.links.insert(t.traces.recent + L"\\A.TXT (2).LNK"); },
       {},
       1,
       1},
      {"a file of the name in another case, on a case-sensitive folder",
       [](TraceScene& t) { t.services.files[L"c:\\docs\\A.TXT"] = L"twin"; },
       {},
       1,
       1},
      {"a shortcut that is a link the platform does not mark",
       [](TraceScene& t) {
         t.services.unmarkedLinks[t.traces.recent + L"\\A.TXT (2).LNK"] = L"C:\\Docs\\b.txt";
       },
       {},
       1,
       1},
      {"a Recent folder that is a link",
       [](TraceScene& t) { t.traces.recentReason = Reason::Link; },
       {denied + L"C:\\Users\\me\\Recent（" + ReasonText(Reason::Link) + L"）"},
       0,
       0},
      {"no Recent folder", [](TraceScene& t) { t.traces.recent.clear(); }, {}, 0, 0},
      {"a value that cannot be deleted",
       [](TraceScene& t) { t.traces.denied.insert(L".txt\\5"); },
       {denied + L"RecentDocs\\.txt\\5（" + ReasonText(Reason::AccessDenied) + L"）"},
       2,
       1},
      {"a list that cannot be written",
       [](TraceScene& t) { t.traces.denied.insert(L"\\MRUListEx"); },
       {denied + L"RecentDocs\\MRUListEx（" + ReasonText(Reason::AccessDenied) + L"）"},
       2,
       1},
      // Nothing is read for a run that shredded nothing, or that keeps them.
      {"a run that shredded nothing",
       [](TraceScene& t) { t.services.locked.insert(L"C:\\Docs\\a.txt"); },
       {},
       0,
       0,
       {L"C:\\Docs\\a.txt", L"C:\\Docs\\none.txt"}},
      {"kept by choice", [](TraceScene& t) { t.keep = true; }, {}, 0, 0},
      // A bin's folder: the files that were in it are places by nothing but
      // the folder, so every shortcut is read, the renamed one too.
      {"every shortcut read", [](TraceScene& t) { t.every = true; }, {}, 3, 1},
      // A folder handed over whole takes the shortcuts of what was in it.
      {"a folder removed whole",
       [](TraceScene& t) {
         t.services.folders.insert(L"C:\\Docs\\Sub");
         t.services.files[L"C:\\Docs\\Sub\\c.txt"] = L"x";
         t.Shortcut(L"Sub.lnk", L"C:\\Docs\\Sub");
         t.Shortcut(L"c.txt.lnk", L"C:\\Docs\\Sub\\c.txt");
         t.handed = {{L"C:\\Docs\\Sub", t.services.FolderIdentity(L"C:\\Docs\\Sub")}};
       },
       {},
       2,
       1,
       {L"C:\\Docs\\Sub\\c.txt"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TraceScene t;
    row.arrange(t);
    t.Shred(row.entries);
    EXPECT_EQ(TraceFailureLines(t.last.traces), row.failures);
    EXPECT_EQ(t.last.traces.ShortcutsRemoved(), row.cleared);
    EXPECT_EQ(t.traces.reads, row.reads);
    for (const std::wstring& entry : row.entries) {
      if (!t.services.locked.count(entry)) {
        EXPECT_FALSE(t.services.files.count(entry)) << "the file is shredded all the same";
      }
    }
    ShredJob without = t.last;
    without.traces = {};
    EXPECT_EQ(CliExitStatus(t.last, {}, false), CliExitStatus(without, {}, false))
        << "the status is the files'";
    const std::wstring box = t.services.messages.back().text;
    for (const std::wstring& line : row.failures) EXPECT_NE(box.find(line), box.npos) << line;
    EXPECT_EQ(box.find(L"已同时清除") != box.npos, row.cleared > 0);
  }
}

TEST(RecentTracesTest, AShortcutIsNamedAfterItsTarget) {
  const struct {
    const wchar_t* name;
    const wchar_t* stem;
  } rows[] = {
      {L"Tax 2025.xlsx.lnk", L"TAX 2025.XLSX"},
      {L"a.txt (2).lnk", L"A.TXT"},
      {L"a.txt (13).LNK", L"A.TXT"},
      {L"a (x).lnk", L"A (X)"},
      {L"(2).lnk", L"(2)"},
      {L"a.txt ().lnk", L"A.TXT ()"},
      {L"a.txt(2).lnk", L"A.TXT(2)"},
      {L"报告.docx.lnk", L"报告.DOCX"},
      {L".lnk", L""},
      {L"lnk", L"LNK"},
  };
  for (const auto& row : rows) EXPECT_EQ(ShortcutStem(row.name), row.stem) << row.name;
}

}  // namespace
}  // namespace shred
