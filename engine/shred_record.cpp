#include "engine/shred_record.h"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "engine/shred_report.h"

namespace shred {

namespace {

using nlohmann::ordered_json;

// How each piece of work is done, as the record states it.
constexpr char kShredMethod[] =
    "every stream overwritten once with random bytes from the system's cryptographic generator "
    "up to its allocation size, flushed to the disk, truncated; a two-line notice written; "
    "renamed to a random name; deleted through the same checked handle";
constexpr char kWipeMethod[] =
    "the free space filled with random bytes in files of the wipe's own, flushed; small files "
    "over the freed file records; then all of them deleted";
constexpr char kNoVerification[] =
    "none: each write was reported complete by the file system, not read back";
constexpr char kReadBack[] =
    "read-back: every overwritten range read from the disk past the cache after the flush and "
    "compared with the bytes written, made again from the run's key; a file that differed was "
    "not deleted";

std::string Hex(uint64_t value, int digits) {
  char text[40];
  std::snprintf(text, sizeof text, "%0*llx", digits, static_cast<unsigned long long>(value));
  return text;
}

ordered_json Header(const RecordContext& context, const char* action, const char* method,
                    bool readBack) {
  ordered_json record;
  record["tool"] = {{"name", "Tarvello"}, {"version", Utf8(context.version)}};
  record["action"] = action;
  record["method"] = method;
  record["verification"] = readBack ? kReadBack : kNoVerification;
  record["start"] = Utf8(context.start);
  record["end"] = Utf8(context.end);
  record["computer"] = Utf8(context.computer);
  record["user"] = Utf8(context.user);
  ordered_json volumes = ordered_json::array();
  for (const VolumeFacts& v : context.volumes) {
    volumes.push_back({{"root", Utf8(v.root)},
                       {"file_system", Utf8(v.fileSystem)},
                       {"serial", Hex(v.serial, 8)},
                       {"media", Utf8(v.media)},
                       {"trim", Utf8(v.trim)}});
  }
  record["volumes"] = volumes;
  return record;
}

std::string Dump(const ordered_json& record) {
  return record.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace

std::wstring IsoTime(uint64_t fileTime) {
  // Days since 1601-01-01, then the civil date (Howard Hinnant's algorithm,
  // from 1970-01-01).
  const uint64_t seconds = fileTime / 10000000;
  const int64_t days = int64_t(seconds / 86400) - 134774;
  const int64_t z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1, month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2);
  const uint64_t inDay = seconds % 86400;
  wchar_t text[32];
  std::swprintf(text, 32, L"%04lld-%02lld-%02lldT%02llu:%02llu:%02lluZ",
                static_cast<long long>(year), static_cast<long long>(month),
                static_cast<long long>(day), static_cast<unsigned long long>(inDay / 3600),
                static_cast<unsigned long long>(inDay / 60 % 60),
                static_cast<unsigned long long>(inDay % 60));
  return text;
}

std::string Utf8(const std::wstring& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = uint32_t(text[i]);
    if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
        uint32_t(text[i + 1]) >= 0xDC00 && uint32_t(text[i + 1]) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t(text[++i]) - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += {char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F))};
    } else if (c < 0x10000) {
      out += {char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
    } else {
      out += {char(0xF0 | (c >> 18)), char(0x80 | ((c >> 12) & 0x3F)),
              char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
    }
  }
  return out;
}

std::wstring MediaNote(const std::vector<VolumeFacts>& volumes) {
  bool solid = false, trimmed = true;
  for (const VolumeFacts& v : volumes) {
    if (v.media != L"solid-state") continue;
    solid = true;
    trimmed = trimmed && v.trim == L"on";
  }
  if (!solid) return {};
  return trimmed ? L"有文件位于固态硬盘：旧数据所在的存储单元由硬盘稍后通过 TRIM 擦除。"
                 : L"有文件位于固态硬盘：旧数据可能留在硬盘的存储单元中，直到硬盘将其擦除；"
                   L"可用全盘加密或硬盘自带的安全擦除。";
}

const char* FateName(Fate fate) {
  switch (fate) {
    case Fate::Shredded:
      return "shredded";
    case Fate::ShreddedCloud:
      return "shredded, the cloud may keep earlier versions";
    case Fate::DeletedAsIs:
      return "deleted without its contents overwritten";
    case Fate::LinkRemoved:
      return "link removed, its target untouched";
    case Fate::NotReached:
      return "not reached";
    default:
      return "not shredded";
  }
}

namespace {

// The shortcuts and RecentDocs values that named `place`, and what became
// of each.
ordered_json TracesNaming(const TracesResult& traces, const std::wstring& place) {
  ordered_json list = ordered_json::array();
  for (const TraceOutcome& t : traces.outcomes) {
    if (place.empty() || t.names != place) continue;
    list.push_back({{"trace", Utf8(t.trace)},
                    {"kind", t.shortcut ? "recent shortcut" : "RecentDocs value"},
                    {"outcome", t.removed ? "removed" : "kept"},
                    {"reason", Utf8(t.why)}});
  }
  return list;
}

}  // namespace

std::string ShredRecord(const RecordContext& context, const ShredJob& job) {
  ordered_json record = Header(context, "shred", kShredMethod, job.verify);
  ordered_json entries = ordered_json::array();
  int files = 0, shredded = 0;
  uint64_t bytes = 0;
  for (size_t i = 0; i < job.entries.size(); ++i) {
    const EntryResult r = i < job.results.size() ? job.results[i] : EntryResult{};
    const bool survived = !IsGone(r.fate) && r.fate != Fate::NotReached;
    ordered_json entry = {{"entry", Utf8(job.entries[i])},
                          {"path", Utf8(r.path)},
                          {"outcome", FateName(r.fate)},
                          {"reason", survived ? Utf8(SurvivorText(r)) : ""},
                          {"error_code", survived ? r.error : 0}};
    entry["volume_serial"] = r.identity.Known() ? Hex(r.identity.volume, 8) : "";
    entry["file_id"] = r.identity.Known() ? Hex(r.identity.high, 16) + Hex(r.identity.low, 16) : "";
    entry["size"] = r.size;
    entry["bytes_overwritten"] = r.overwritten;
    entry["streams"] = r.streams;
    entry["verified"] = r.verified;
    if (r.sameAs >= 0) entry["same_file_as_entry"] = r.sameAs;
    // Each place is named by its first entry only.
    if (r.sameAs < 0)
      entry["traces"] = TracesNaming(job.traces, r.path.empty() ? job.entries[i] : r.path);
    entries.push_back(entry);
    if (r.sameAs >= 0) continue;
    ++files;
    if (r.fate == Fate::Shredded || r.fate == Fate::ShreddedCloud) ++shredded;
    bytes += r.overwritten;
  }
  record["entries"] = entries;
  ordered_json folders = ordered_json::array();
  for (const FolderResult& f : job.folderResults) {
    folders.push_back({{"path", Utf8(f.path)},
                       {"outcome", f.removed ? "removed" : "kept"},
                       {"reason", f.removed ? "" : Utf8(ReasonText(f.reason))},
                       {"traces", TracesNaming(job.traces, f.path)}});
  }
  record["folders"] = folders;
  // Whether the step ran, and what it could not remove whatever it named.
  ordered_json failed = ordered_json::array();
  for (const std::wstring& line : TraceFailureLines(job.traces)) failed.push_back(Utf8(line));
  record["recent_traces"] = {{"kept_by_choice", job.keepTraces},
                             {"shortcuts_removed", job.traces.ShortcutsRemoved()},
                             {"not_removed", failed}};
  record["totals"] = {{"entries", job.entries.size()}, {"files", files},
                      {"shredded", shredded},          {"not_shredded", files - shredded},
                      {"bytes_overwritten", bytes},    {"cancelled", job.cancelled}};
  return Dump(record);
}

std::string WipeRecord(const RecordContext& context, const std::wstring& root,
                       const WipeResult& result) {
  ordered_json record = Header(context, "free-space wipe", kWipeMethod, false);
  record["drive"] = Utf8(root);
  record["result"] = {{"complete", result.Complete()},
                      {"partial", result.Partial()},
                      {"free_bytes_before", result.freeBefore},
                      {"volume_free_bytes_before", result.volumeFree},
                      {"bytes_written", result.written},
                      {"record_files", result.records},
                      {"records_step_done", result.recordsDone},
                      {"cancelled", result.cancelled},
                      {"busy", result.busy},
                      {"reason", Utf8(ReasonText(result.reason, result.error))},
                      {"error_code", result.error}};
  return Dump(record);
}

std::string BinRecord(const RecordContext& context, const std::vector<BinOutcome>& outcomes,
                      bool readBack, const TracesResult& traces) {
  ordered_json record = Header(context, "recycle bin", kShredMethod, readBack);
  ordered_json items = ordered_json::array();
  int shredded = 0;
  for (const BinOutcome& o : outcomes) {
    items.push_back({{"original_path", Utf8(o.shown)},
                     {"outcome", o.shredded ? "shredded" : "not shredded"},
                     {"reason", Utf8(o.why)},
                     {"traces", TracesNaming(traces, o.shown)}});
    shredded += o.shredded ? 1 : 0;
  }
  record["items"] = items;
  ordered_json failed = ordered_json::array();
  for (const std::wstring& line : TraceFailureLines(traces)) failed.push_back(Utf8(line));
  record["recent_traces"] = {{"shortcuts_removed", traces.ShortcutsRemoved()},
                             {"not_removed", failed}};
  record["totals"] = {{"items", outcomes.size()},
                      {"shredded", shredded},
                      {"not_shredded", int(outcomes.size()) - shredded}};
  return Dump(record);
}

}  // namespace shred
