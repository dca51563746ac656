// The record of a run: every field, for each outcome, read back as JSON.
#include "engine/shred_record.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "engine/certificate.h"
#include "engine/console_progress.h"
#include "engine/record_check.h"
#include "engine/shred_cli.h"
#include "tests/fake_shred.h"

namespace shred {
namespace {

RecordContext Context() {
  RecordContext context;
  context.recordId = L"0f8fad5b-d9cb-469f-a165-70867728950e";
  context.version = L"1.0";
  context.start = L"2026-12-08T03:04:05Z";
  context.end = L"2026-12-08T03:04:06Z";
  context.computer = L"办公室-PC";
  context.user = L"ann";
  context.volumes = {{L"C:\\", L"NTFS", 0x1234ABCD, L"solid-state", L"on"}};
  return context;
}

// A volume that gives its files' identities a 64-bit serial number is named
// by it in the volumes and in the entries alike.
TEST(ShredRecord, AVolumeIsNamedByOneSerialNumberEverywhere) {
  RecordContext context = Context();
  context.volumes.push_back({L"D:\\", L"NTFS", 0x0123456789ABCDEF, L"hard disk", L"off"});
  ShredJob job;
  job.entries = {L"D:\\a.txt"};
  job.results.assign(1, EntryResult{});
  job.results[0].identity = {0x0123456789ABCDEF, 0, 0x51};
  const auto record = nlohmann::json::parse(ShredRecord(context, job));
  EXPECT_EQ(record["volumes"][1]["serial"], "0123456789abcdef");
  EXPECT_EQ(record["entries"][0]["volume_serial"], record["volumes"][1]["serial"]);
  EXPECT_EQ(record["volumes"][0]["serial"], "1234abcd") << "one of 32 bits as it is";
}

TEST(ShredRecord, EveryEntryWithItsOutcomeAndTheTotals) {
  ShredJob job;
  job.entries = {L"C:\\a.txt", L"C:\\held.txt", L"C:\\packed", L"C:\\link",
                 L"C:\\A.TXT", L"C:\\bad",      L"C:\\later"};
  job.results.assign(7, EntryResult{});
  auto& a = job.results[0];
  a.fate = Fate::Shredded;
  a.path = L"\\\\?\\C:\\a.txt";
  a.identity = {0x1234ABCD, 0, 0x51};
  a.size = 5000;
  a.overwritten = 8192;
  a.streams = 2;
  a.verified = true;
  job.verify = true;
  job.results[1].fate = Fate::Survived;
  job.results[1].reason = Reason::InUse;
  job.results[2].fate = Fate::DeletedAsIs;
  job.results[3].fate = Fate::LinkRemoved;
  job.results[4] = a;
  job.results[4].sameAs = 0;
  job.results[5].fate = Fate::Survived;
  job.results[5].reason = Reason::IoError;
  job.results[5].error = 1117;
  job.folderResults = {{L"C:\\t", false, Reason::FolderNotEmpty, L""}};
  const auto record = nlohmann::json::parse(ShredRecord(Context(), job));
  const auto ordered = nlohmann::ordered_json::parse(ShredRecord(Context(), job));
  EXPECT_EQ(ordered.begin().key(), "record_id") << "its name first, then its status";
  EXPECT_EQ(std::next(ordered.begin()).key(), "status");
  EXPECT_EQ(record["record_id"], "0f8fad5b-d9cb-469f-a165-70867728950e");
  // The name is a version 4 UUID, whatever the generator gave.
  uint8_t ones[16], zeros[16] = {};
  std::fill(std::begin(ones), std::end(ones), uint8_t(0xFF));
  EXPECT_EQ(UuidText(zeros), L"00000000-0000-4000-8000-000000000000");
  EXPECT_EQ(UuidText(ones), L"ffffffff-ffff-4fff-bfff-ffffffffffff");
  EXPECT_EQ(record["status"], "erased with exceptions");
  EXPECT_EQ(record["tool"]["name"], "Tarvello");
  EXPECT_EQ(record["tool"]["version"], "1.0");
  EXPECT_EQ(record["action"], "shred");
  EXPECT_NE(record["method"].get<std::string>().find("random bytes"), std::string::npos);
  EXPECT_EQ(record["verification"].get<std::string>().rfind("read-back:", 0), 0u);
  EXPECT_EQ(record["start"], "2026-12-08T03:04:05Z");
  EXPECT_EQ(record["end"], "2026-12-08T03:04:06Z");
  EXPECT_EQ(record["computer"], "办公室-PC");
  EXPECT_EQ(record["user"], "ann");
  EXPECT_EQ(record["volumes"][0]["root"], "C:\\");
  EXPECT_EQ(record["volumes"][0]["file_system"], "NTFS");
  EXPECT_EQ(record["volumes"][0]["serial"], "1234abcd");
  EXPECT_EQ(record["volumes"][0]["media"], "solid-state");
  EXPECT_EQ(record["volumes"][0]["trim"], "on");
  const auto& entries = record["entries"];
  ASSERT_EQ(entries.size(), 7u);
  EXPECT_EQ(entries[0]["entry"], "C:\\a.txt");
  EXPECT_EQ(entries[0]["path"], "\\\\?\\C:\\a.txt");
  EXPECT_EQ(entries[0]["outcome"], "shredded");
  EXPECT_EQ(entries[0]["reason"], "");
  EXPECT_EQ(entries[0]["volume_serial"], "1234abcd");
  EXPECT_EQ(entries[0]["file_id"], "00000000000000000000000000000051");
  EXPECT_EQ(entries[0]["size"], 5000);
  EXPECT_EQ(entries[0]["bytes_overwritten"], 8192);
  EXPECT_EQ(entries[0]["streams"], 2);
  EXPECT_EQ(entries[0]["verified"], true);
  EXPECT_EQ(entries[1]["verified"], false);
  EXPECT_EQ(entries[1]["outcome"], "not shredded");
  EXPECT_EQ(entries[1]["reason"], "正在被其他程序使用");
  EXPECT_EQ(entries[2]["outcome"], "deleted without its contents overwritten");
  EXPECT_EQ(entries[3]["outcome"], "link removed, its target untouched");
  EXPECT_EQ(entries[4]["same_file_as_entry"], 0);
  EXPECT_EQ(entries[5]["reason"], "读写错误（错误代码 1117）");
  EXPECT_EQ(entries[5]["error_code"], 1117);
  EXPECT_EQ(entries[6]["outcome"], "not reached");
  EXPECT_EQ(entries[6]["volume_serial"], "");
  EXPECT_EQ(record["folders"][0]["outcome"], "kept");
  EXPECT_EQ(record["folders"][0]["reason"], "文件夹中仍有内容，未删除");
  EXPECT_EQ(record["totals"]["entries"], 7);
  EXPECT_EQ(record["totals"]["files"], 6) << "the second entry for one file is not a file";
  EXPECT_EQ(record["totals"]["shredded"], 1);
  EXPECT_EQ(record["totals"]["not_shredded"], 5);
  EXPECT_EQ(record["totals"]["bytes_overwritten"], 8192);
}

TEST(ShredRecord, TheWipeAndTheBinHaveTheirOwn) {
  WipeResult wipe;
  wipe.filled = wipe.recordsDone = true;
  wipe.freeBefore = 100 << 20;
  wipe.written = 99 << 20;
  const auto w = nlohmann::json::parse(WipeRecord(Context(), L"D:\\", wipe));
  EXPECT_EQ(w["action"], "free-space wipe");
  EXPECT_EQ(w["drive"], "D:\\");
  EXPECT_EQ(w["result"]["complete"], true);
  EXPECT_EQ(w["result"]["bytes_written"], 99 << 20);
  EXPECT_EQ(w["verification"].get<std::string>().rfind("none:", 0), 0u);
  const auto b = nlohmann::json::parse(BinRecord(
      Context(), {{L"C:\\old.txt", true, L""}, {L"C:\\held.txt", false, L"正在被其他程序使用"}}));
  EXPECT_EQ(b["action"], "recycle bin");
  EXPECT_EQ(b["items"][1]["original_path"], "C:\\held.txt");
  EXPECT_EQ(b["items"][1]["reason"], "正在被其他程序使用");
  EXPECT_EQ(b["totals"]["shredded"], 1);
  EXPECT_EQ(b["status"], "erased with exceptions");
  EXPECT_EQ(w["status"], "erased");
  EXPECT_EQ(b["verification"].get<std::string>().rfind("none:", 0), 0u);
  EXPECT_EQ(nlohmann::json::parse(BinRecord(Context(), {}, true))["verification"]
                .get<std::string>()
                .rfind("read-back:", 0),
            0u);
}

// One word sums up each kind of work: everything chosen gone as promised,
// some of it, or none.
TEST(ShredRecord, TheStatusSaysAtAGlanceWhatWent) {
  const auto job = [](std::vector<Fate> fates, bool folderRemoved = true, bool cancelled = false) {
    ShredJob j;
    for (Fate fate : fates) {
      j.entries.push_back(L"C:\\x");
      j.results.push_back(EntryResult{});
      j.results.back().fate = fate;
    }
    j.folderResults = {{L"C:\\t", folderRemoved, Reason::None, L""}};
    j.cancelled = cancelled;
    return j;
  };
  const std::vector<WalkNote> none, note = {{L"C:\\t\\x", L"文件名无效"}};
  const struct {
    ShredJob job;
    const std::vector<WalkNote>& notes;
    const char* status;
  } rows[] = {
      {job({Fate::Shredded, Fate::Shredded}), none, "erased"},
      {job({Fate::Shredded, Fate::Survived}), none, "erased with exceptions"},
      {job({Fate::Shredded, Fate::DeletedAsIs}), none, "erased with exceptions"},
      {job({Fate::ShreddedCloud}), none, "erased with exceptions"},
      {job({Fate::Shredded}, false), none, "erased with exceptions"},
      {job({Fate::Shredded}), note, "erased with exceptions"},
      {job({Fate::Shredded}, true, true), none, "erased with exceptions"},
      {job({Fate::Survived, Fate::LinkRemoved}, false), none, "not erased"},
      {job({Fate::NotReached}, false, true), none, "not erased"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(std::string(ShredStatus(row.job, row.notes)), row.status);
    EXPECT_EQ(nlohmann::json::parse(ShredRecord(Context(), row.job, row.notes))["status"],
              row.status);
  }
  WipeResult wipe;
  EXPECT_EQ(std::string(WipeStatus(wipe)), "not erased");
  wipe.written = 1;
  EXPECT_EQ(std::string(WipeStatus(wipe)), "erased with exceptions") << "partly";
  const BinOutcome gone{L"C:\\a", true, L""}, kept{L"C:\\b", false, L"x"},
      unread{L"Q:", false, L"驱动器不存在"};
  EXPECT_EQ(std::string(BinStatus({gone})), "erased");
  EXPECT_EQ(std::string(BinStatus({})), "erased") << "a bin read whole that held nothing";
  EXPECT_EQ(std::string(BinStatus({gone, kept})), "erased with exceptions");
  EXPECT_EQ(std::string(BinStatus({gone}, {unread})), "erased with exceptions");
  EXPECT_EQ(std::string(BinStatus({}, {unread})), "not erased");
  const auto record = nlohmann::json::parse(BinRecord(Context(), {}, false, {}, {unread}));
  EXPECT_EQ(record["not_read"][0]["where"], "Q:");
  EXPECT_EQ(record["not_read"][0]["reason"], "驱动器不存在");
}

// A record read back holds together, and one edited where its numbers or
// its status no longer agree with its entries does not.
TEST(ShredRecord, ARecordReadBackIsCheckedAgainstItself) {
  ShredJob job;
  job.entries = {L"C:\\a", L"C:\\A", L"C:\\b"};
  job.results.assign(3, EntryResult{});
  job.results[0].fate = job.results[1].fate = Fate::Shredded;
  job.results[0].overwritten = job.results[1].overwritten = 4096;
  job.results[1].sameAs = 0;
  job.results[2].fate = Fate::Survived;
  job.results[2].reason = Reason::InUse;
  const std::string shred = ShredRecord(Context(), job);
  WipeResult wipe;
  wipe.written = 1 << 20;
  const std::string wiped = WipeRecord(Context(), L"D:\\", wipe),
                    bin = BinRecord(Context(), {{L"C:\\x", true, L""}});
  for (const std::string& whole : {shred, wiped, bin})
    EXPECT_TRUE(CheckRecord(whole).empty()) << whole;
  const auto edited = [](std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  };
  const struct {
    std::string record;
    std::wstring line;
  } rows[] = {
      {edited(shred, "\"shredded\": 1,", "\"shredded\": 2,"),
       L"totals.shredded 为 2，按条目应为 1"},
      {edited(shred, "\"bytes_overwritten\": 4096,\n    \"cancelled\"",
              "\"bytes_overwritten\": 4097,\n    \"cancelled\""),
       L"totals.bytes_overwritten 为 4097，按条目应为 4096"},
      {edited(shred, "\"status\": \"erased with exceptions\"", "\"status\": \"erased\""),
       L"status 为“erased”，按内容应为“erased with exceptions”"},
      {edited(shred, "\"outcome\": \"not shredded\"", "\"outcome\": \"shredded\""),
       L"totals.shredded 为 1，按条目应为 2"},
      {edited(shred, "0f8fad5b", "0f8fad5"), L"record_id 缺少或不是 UUID"},
      {edited(wiped, "\"erased with exceptions\"", "\"not erased\""),
       L"status 为“not erased”，按内容应为“erased with exceptions”"},
      {edited(bin, "\"items\": 1", "\"items\": 0"), L"totals.items 为 0，按条目应为 1"},
      {shred.substr(0, shred.size() / 2), L"不是完好的 JSON：无法读出"},
      {"[]", L"不是 JSON 对象"},
  };
  for (const auto& row : rows) {
    const std::vector<std::wstring> lines = CheckRecord(row.record);
    EXPECT_NE(std::find(lines.begin(), lines.end(), row.line), lines.end())
        << ::testing::PrintToString(lines);
  }
}

// The certificate says what the record says, for a person: its id and
// status first, every exception, what went, the hash and the signature
// lines; a name from another system shows as text, its controls visible.
TEST(ShredRecord, TheCertificateShowsTheRecordAndCanBeToldToBeItsOwn) {
  ShredJob job;
  job.entries = {L"C:\\gone.txt", L"C:\\<script>alert(1)</script>&\u202Egpj.exe"};
  job.results.assign(2, EntryResult{});
  job.results[0].fate = Fate::Shredded;
  job.results[0].path = L"\\\\?\\C:\\gone.txt";
  job.results[1].fate = Fate::Survived;
  job.results[1].reason = Reason::InUse;
  const std::string record = ShredRecord(Context(), job);
  const std::string hash(64, 'a'), html = CertificateHtml(record, hash);
  for (const char* part :
       {"0f8fad5b-d9cb-469f-a165-70867728950e", "已销毁，有例外", "执行人", "核查人", "签名",
        "<li>C:\\gone.txt</li>", "正在被其他程序使用", "&lt;script&gt;alert(1)&lt;/script&gt;&amp;",
        "[U+202E]</span>gpj.exe", "@page { size: A4"})
    EXPECT_NE(html.find(part), std::string::npos) << part;
  EXPECT_EQ(html.find("<script"), std::string::npos) << "nothing runs";
  EXPECT_EQ(html.find("\xE2\x80\xAE"), std::string::npos) << "no override left in the text";
  EXPECT_EQ(html.find("src="), std::string::npos) << "nothing fetched";
  EXPECT_EQ(HtmlText("a\x1F"
                     "b\n\x7F"),
            "a[U+001F]b[U+000A][U+007F]")
      << "codes in hex";
  EXPECT_EQ(ReadCertificate(html).id, "0f8fad5b-d9cb-469f-a165-70867728950e");
  EXPECT_EQ(ReadCertificate(html).sha256, hash);
  EXPECT_TRUE(CheckCertificate(record, hash, html).empty());
  const std::vector<std::wstring> edited = CheckCertificate(record, std::string(64, 'b'), html);
  ASSERT_EQ(edited.size(), 1u);
  EXPECT_EQ(edited[0], L"记录的 SHA-256 与证书所记的不符：记录在证书写成后被改动过");
  RecordContext other = Context();
  other.recordId = L"11111111-2222-4333-8444-555555555555";
  EXPECT_EQ(CheckCertificate(ShredRecord(other, job), hash, html).size(), 1u) << "another record";
  EXPECT_EQ(CheckCertificate(record, hash, CertificateHtml(record, "")).size(), 1u)
      << "a certificate written without its record names no hash";
  EXPECT_TRUE(CertificateHtml("not json", hash).empty());
  // A wipe's and a bin run's say what they did, and what they could not.
  WipeResult wipe;
  wipe.written = 5 << 20;
  wipe.partial = true;
  const std::string wiped = CertificateHtml(WipeRecord(Context(), L"D:\\", wipe), "");
  for (const char* part :
       {"清除驱动器剩余空间（D:\\）", "5242880", "已销毁，有例外", "未随本证书写入 JSON 记录"})
    EXPECT_NE(wiped.find(part), std::string::npos) << part;
  const std::string bin = CertificateHtml(BinRecord(Context(), {{L"C:\\old.txt", true, L""}}, false,
                                                    {}, {{L"Q:", false, L"驱动器不存在"}}),
                                          "");
  for (const char* part : {"粉碎回收站", "<li>C:\\old.txt</li>", "<li>Q:：驱动器不存在</li>"})
    EXPECT_NE(bin.find(part), std::string::npos) << part;
}

// What the drives say adds one line, and an unknown answer nothing.
TEST(ShredRecord, ASolidStateDriveAddsOneLine) {
  const auto volume = [](const wchar_t* media, const wchar_t* trim) {
    return VolumeFacts{L"C:\\", L"NTFS", 1, media, trim};
  };
  const std::wstring trimmed =
      L"有文件位于固态硬盘：旧数据所在的存储单元由硬盘稍后通过 TRIM 擦除。";
  const std::wstring kept =
      L"有文件位于固态硬盘：旧数据可能留在硬盘的存储单元中，直到硬盘将其擦除；"
      L"可用全盘加密或硬盘自带的安全擦除。";
  const struct {
    std::vector<VolumeFacts> volumes;
    std::wstring note;
  } rows[] = {
      {{}, L""},
      {{volume(L"hard disk", L"unknown")}, L""},
      {{volume(L"unknown", L"unknown")}, L""},
      {{volume(L"solid-state", L"on")}, trimmed},
      {{volume(L"solid-state", L"off")}, kept},
      {{volume(L"solid-state", L"unknown")}, kept},
      {{volume(L"hard disk", L"off"), volume(L"solid-state", L"on")}, trimmed},
      {{volume(L"solid-state", L"on"), volume(L"solid-state", L"off")}, kept},
  };
  for (const auto& row : rows) EXPECT_EQ(MediaNote(row.volumes), row.note);
  // The completion box and the CLI's summary carry it.
  testing::CallLog log;
  testing::FakeServices services{log};
  testing::FakeList list{log};
  list.items = {L"C:\\a"};
  ShredJob job;
  job.entries = list.items;
  job.results.assign(1, EntryResult{});
  job.results[0].fate = Fate::Shredded;
  job.mediaNote = trimmed;
  FinishShred(list, services, job);
  EXPECT_EQ(services.messages.back().text, L"已选文件粉碎完成！\r\n" + trimmed);
  EXPECT_EQ(CliLines(job, {}, false).back(), trimmed);
}

TEST(ShredRecord, TimesAndTexts) {
  EXPECT_EQ(IsoTime(0), L"1601-01-01T00:00:00Z");
  EXPECT_EQ(IsoTime(116444736000000000ull), L"1970-01-01T00:00:00Z");
  EXPECT_EQ(IsoTime(119600064000000000ull), L"1980-01-01T00:00:00Z");
  EXPECT_EQ(IsoTime(134091306450000000ull), L"2025-12-02T06:30:45Z");
  EXPECT_EQ(Utf8(L"a粉"), "a\xE7\xB2\x89");
  std::wstring emoji;
  if (sizeof(wchar_t) == 2) {
    emoji = {wchar_t(0xD83D), wchar_t(0xDE00)};
  } else {
    emoji = {wchar_t(0x1F600)};
  }
  EXPECT_EQ(Utf8(emoji), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8(std::wstring(1, wchar_t(0xD800))), "\xEF\xBF\xBD") << "an unpaired surrogate";
}

// The console's progress line: what it says, and no more than twice a second.
TEST(ConsoleProgress, WhatTheLineSaysAndHowOften) {
  const uint64_t MiB = 1 << 20;
  EXPECT_EQ(ShredProgressLine(3, 10, 12 * MiB, 100 * MiB, 3.0),
            L"已完成 3 / 10 个文件，12.0 MB / 100.0 MB，4.0 MB/s，剩余约 22 秒");
  EXPECT_EQ(ShredProgressLine(0, 1, 0, 5 * MiB, 0.0),
            L"已完成 0 / 1 个文件，0.0 MB / 5.0 MB，0.0 MB/s")
      << "no time left before anything is written";
  EXPECT_EQ(PreviewProgressLine(3, 10), L"已查看 3 / 10 个文件");
  EXPECT_EQ(WipeProgressLine(10 * MiB, 1034 * MiB, 5.0),
            L"已写入 10.0 MB / 1034.0 MB，2.0 MB/s，剩余约 8 分 32 秒");
  EXPECT_EQ(WipeProgressLine(50 * MiB, 50 * MiB, 5.0), L"已写入 50.0 MB / 50.0 MB，10.0 MB/s");
  EXPECT_EQ(WipeProgressLine(1, uint64_t(1) << 62, 1000.0),
            L"已写入 0.0 MB / 4398046511104.0 MB，0.0 MB/s，剩余约 525600 分 0 秒")
      << "a crawl's time left stops at a year, never wraps";
  ProgressPace pace;
  const struct {
    uint64_t at;
    bool due;
  } rows[] = {{1000, true},  {1200, false}, {1499, false}, {1500, true},
              {1999, false}, {2100, true},  {9000, true}};
  for (const auto& row : rows) EXPECT_EQ(pace.Due(row.at), row.due) << row.at;
  // Bytes done: the entries before the current one, and its own written
  // bytes up to its size (an entry that grew, or names no file, adds no more).
  ProgressTally tally({100, 0, 50});
  EXPECT_EQ(tally.Total(), 150u);
  EXPECT_EQ(tally.Start(0), 0u);
  EXPECT_EQ(tally.Written(40), 40u);
  EXPECT_EQ(tally.Written(4096), 100u);
  EXPECT_EQ(tally.Start(2), 100u) << "entry 1 was no file";
  EXPECT_EQ(tally.Written(50), 150u);
  // With the read-back, writing and reading again count half each; a
  // second stream's writes after the first's read-back go on from there.
  ProgressTally checked({100, 60}, true);
  EXPECT_EQ(checked.Total(), 160u);
  EXPECT_EQ(checked.Start(0), 0u);
  EXPECT_EQ(checked.Written(80), 40u);
  EXPECT_EQ(checked.ReadBack(80), 80u);
  EXPECT_EQ(checked.Written(100), 90u) << "never back";
  EXPECT_EQ(checked.ReadBack(100), 100u);
  EXPECT_EQ(checked.Start(1), 100u);
  EXPECT_EQ(checked.Written(60), 130u) << "the last entry's read-back starts afresh";
}

}  // namespace
}  // namespace shred
