#include "engine/shred_record.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "engine/json_writer.h"
#include "engine/shred_report.h"

namespace shred {

namespace {

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

// A volume's serial number, written the same wherever the record names the
// volume: 16 digits for a 64-bit one, 8 for one of 32 bits.
std::string SerialText(uint64_t serial) { return Hex(serial, serial >> 32 ? 16 : 8); }

// Opens the record and writes what every record begins with: its name and
// status, then what did the work, how, when and where.
void WriteHeader(JsonWriter& json, const RecordContext& context, const char* status,
                 const char* action, const char* method, bool readBack) {
  json.OpenObject();
  json.Field("record_id", Utf8(context.recordId));
  json.Field("status", status);
  json.Key("tool");
  json.OpenObject();
  json.Field("name", "Tarvello");
  json.Field("version", Utf8(context.version));
  json.CloseObject();
  json.Field("action", action);
  json.Field("method", method);
  json.Field("verification", readBack ? kReadBack : kNoVerification);
  json.Field("start", Utf8(context.start));
  json.Field("end", Utf8(context.end));
  json.Field("computer", Utf8(context.computer));
  json.Field("user", Utf8(context.user));
  json.Key("volumes");
  json.OpenArray();
  for (const VolumeFacts& v : context.volumes) {
    json.OpenObject();
    json.Field("root", Utf8(v.root));
    json.Field("file_system", Utf8(v.fileSystem));
    json.Field("serial", SerialText(v.serial));
    json.Field("media", Utf8(v.media));
    json.Field("trim", Utf8(v.trim));
    json.CloseObject();
  }
  json.CloseArray();
}

// Under `key`, each of `items` as its place (under `placeKey`) and the
// reason it was left aside.
template <typename Item>
void WriteLeftAside(JsonWriter& json, const char* key, const char* placeKey,
                    const std::vector<Item>& items, std::wstring Item::*place,
                    std::wstring Item::*reason) {
  json.Key(key);
  json.OpenArray();
  for (const Item& item : items) {
    json.OpenObject();
    json.Field(placeKey, Utf8(item.*place));
    json.Field("reason", Utf8(item.*reason));
    json.CloseObject();
  }
  json.CloseArray();
}

// Texts as an array.
void WriteLines(JsonWriter& json, const std::vector<std::wstring>& lines) {
  json.OpenArray();
  for (const std::wstring& line : lines) json.Text(Utf8(line));
  json.CloseArray();
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
    } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
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

// The shortcuts and RecentDocs values of a step, by the place each named,
// in the step's order.
using TracesByPlace = std::map<std::wstring, std::vector<const TraceOutcome*>>;
TracesByPlace SortTraces(const TracesResult& traces) {
  TracesByPlace byPlace;
  for (const TraceOutcome& t : traces.outcomes) byPlace[t.names].push_back(&t);
  return byPlace;
}

// The shortcuts and RecentDocs values that named `place`, and what became
// of each.
void WriteTraces(JsonWriter& json, const TracesByPlace& traces, const std::wstring& place) {
  json.OpenArray();
  const auto found = place.empty() ? traces.end() : traces.find(place);
  if (found != traces.end()) {
    for (const TraceOutcome* t : found->second) {
      json.OpenObject();
      json.Field("trace", Utf8(t->trace));
      json.Field("kind", t->shortcut ? "recent shortcut" : "RecentDocs value");
      json.Field("outcome", t->removed ? "removed" : "kept");
      json.Field("reason", Utf8(t->why));
      json.CloseObject();
    }
  }
  json.CloseArray();
}

}  // namespace

std::string HexOfBytes(const uint8_t* bytes, size_t count) {
  std::string hex;
  for (size_t i = 0; i < count; ++i) {
    hex += "0123456789abcdef"[bytes[i] >> 4];
    hex += "0123456789abcdef"[bytes[i] & 15];
  }
  return hex;
}

std::wstring UuidText(const uint8_t (&random)[16]) {
  uint8_t bytes[16];
  std::copy(std::begin(random), std::end(random), bytes);
  bytes[6] = uint8_t((bytes[6] & 0x0F) | 0x40);  // version 4: random
  bytes[8] = uint8_t((bytes[8] & 0x3F) | 0x80);  // the RFC 4122 variant
  const std::string hex = HexOfBytes(bytes, sizeof bytes);
  std::wstring text(hex.begin(), hex.end());
  for (const size_t dash : {20, 16, 12, 8}) text.insert(dash, 1, L'-');
  return text;
}

namespace {

constexpr char kErased[] = "erased";
constexpr char kExceptions[] = "erased with exceptions";
constexpr char kNotErased[] = "not erased";

}  // namespace

const char* StatusWord(bool all, bool any) {
  return all ? kErased : any ? kExceptions : kNotErased;
}

const char* ShredStatus(const ShredJob& job, const std::vector<WalkNote>& notes) {
  bool all = notes.empty() && !job.cancelled && job.results.size() == job.entries.size(),
       any = false;
  for (const EntryResult& r : job.results) {
    all = all && r.fate == Fate::Shredded;
    any = any || r.fate == Fate::Shredded || r.fate == Fate::ShreddedCloud;
  }
  for (const FolderResult& f : job.folderResults) {
    all = all && f.removed;
    any = any || f.removed;
  }
  return StatusWord(all, any);
}

const char* WipeStatus(const WipeResult& result) {
  return StatusWord(result.Complete(), result.written > 0);
}

const char* BinStatus(const std::vector<BinOutcome>& outcomes,
                      const std::vector<BinOutcome>& unread) {
  bool all = unread.empty(), any = false;
  for (const BinOutcome& o : outcomes) {
    all = all && o.shredded;
    any = any || o.shredded;
  }
  return StatusWord(all, any);
}

std::string ShredRecord(const RecordContext& context, const ShredJob& job,
                        const std::vector<WalkNote>& notes) {
  std::string out;
  out.reserve(512 + 460 * job.entries.size());
  JsonWriter json(out);
  WriteHeader(json, context, ShredStatus(job, notes), "shred", kShredMethod, job.verify);
  const TracesByPlace traces = SortTraces(job.traces);
  int files = 0, shredded = 0;
  uint64_t bytes = 0;
  json.Key("entries");
  json.OpenArray();
  for (size_t i = 0; i < job.entries.size(); ++i) {
    const EntryResult r = i < job.results.size() ? job.results[i] : EntryResult{};
    const bool survived = !IsGone(r.fate) && r.fate != Fate::NotReached;
    json.OpenObject();
    json.Field("entry", Utf8(job.entries[i]));
    json.Field("path", Utf8(r.path));
    json.Field("outcome", FateName(r.fate));
    json.Field("reason", survived ? Utf8(SurvivorText(r)) : "");
    json.Field("error_code", survived ? r.error : 0);
    json.Field("volume_serial", r.identity.Known() ? SerialText(r.identity.volume) : "");
    json.Field("file_id",
               r.identity.Known() ? Hex(r.identity.high, 16) + Hex(r.identity.low, 16) : "");
    json.Field("size", r.size);
    json.Field("bytes_overwritten", r.overwritten);
    json.Field("streams", r.streams);
    json.Field("verified", r.verified);
    if (r.sameAs >= 0) json.Field("same_file_as_entry", r.sameAs);
    // Each place is named by its first entry only.
    if (r.sameAs < 0) {
      json.Key("traces");
      WriteTraces(json, traces, r.path.empty() ? job.entries[i] : r.path);
    }
    json.CloseObject();
    if (r.sameAs >= 0) continue;
    ++files;
    if (r.fate == Fate::Shredded || r.fate == Fate::ShreddedCloud) ++shredded;
    bytes += r.overwritten;
  }
  json.CloseArray();
  json.Key("folders");
  json.OpenArray();
  for (const FolderResult& f : job.folderResults) {
    json.OpenObject();
    json.Field("path", Utf8(f.path));
    json.Field("outcome", f.removed ? "removed" : "kept");
    json.Field("reason", f.removed ? "" : Utf8(ReasonText(f.reason)));
    json.Key("traces");
    WriteTraces(json, traces, f.path);
    json.CloseObject();
  }
  json.CloseArray();
  // What a walk could not read or would not take, each with its reason.
  WriteLeftAside(json, "not_walked", "path", notes, &WalkNote::path, &WalkNote::reason);
  // Whether the step ran, and what it could not remove whatever it named.
  json.Key("recent_traces");
  json.OpenObject();
  json.Field("kept_by_choice", job.keepTraces);
  json.Field("shortcuts_removed", job.traces.ShortcutsRemoved());
  json.Key("not_removed");
  WriteLines(json, TraceFailureLines(job.traces));
  json.CloseObject();
  json.Key("totals");
  json.OpenObject();
  json.Field("entries", job.entries.size());
  json.Field("files", files);
  json.Field("shredded", shredded);
  json.Field("not_shredded", files - shredded);
  json.Field("bytes_overwritten", bytes);
  json.Field("cancelled", job.cancelled);
  json.CloseObject();
  json.CloseObject();
  json.Finish();
  return out;
}

std::string WipeRecord(const RecordContext& context, const std::wstring& root,
                       const WipeResult& result) {
  std::string out;
  JsonWriter json(out);
  WriteHeader(json, context, WipeStatus(result), "free-space wipe", kWipeMethod, false);
  json.Field("drive", Utf8(root));
  json.Key("result");
  json.OpenObject();
  json.Field("complete", result.Complete());
  json.Field("partial", result.Partial());
  json.Field("free_bytes_before", result.freeBefore);
  json.Field("volume_free_bytes_before", result.volumeFree);
  json.Field("bytes_written", result.written);
  json.Field("record_files", result.records);
  json.Field("records_step_done", result.recordsDone);
  json.Field("cancelled", result.cancelled);
  json.Field("busy", result.busy);
  json.Field("reason", Utf8(ReasonText(result.reason, result.error)));
  json.Field("error_code", result.error);
  json.CloseObject();
  json.CloseObject();
  json.Finish();
  return out;
}

std::string BinRecord(const RecordContext& context, const std::vector<BinOutcome>& outcomes,
                      bool readBack, const TracesResult& traces,
                      const std::vector<BinOutcome>& unread) {
  std::string out;
  JsonWriter json(out);
  WriteHeader(json, context, BinStatus(outcomes, unread), "recycle bin", kShredMethod, readBack);
  const TracesByPlace byPlace = SortTraces(traces);
  int shredded = 0;
  json.Key("items");
  json.OpenArray();
  for (const BinOutcome& o : outcomes) {
    json.OpenObject();
    json.Field("original_path", Utf8(o.shown));
    json.Field("outcome", o.shredded ? "shredded" : "not shredded");
    json.Field("reason", Utf8(o.why));
    json.Key("traces");
    WriteTraces(json, byPlace, o.shown);
    json.CloseObject();
    shredded += o.shredded ? 1 : 0;
  }
  json.CloseArray();
  // The drives and bin folders that could not be looked into.
  WriteLeftAside(json, "not_read", "where", unread, &BinOutcome::shown, &BinOutcome::why);
  json.Key("recent_traces");
  json.OpenObject();
  json.Field("shortcuts_removed", traces.ShortcutsRemoved());
  json.Key("not_removed");
  WriteLines(json, TraceFailureLines(traces));
  json.CloseObject();
  json.Key("totals");
  json.OpenObject();
  json.Field("items", outcomes.size());
  json.Field("shredded", shredded);
  json.Field("not_shredded", int(outcomes.size()) - shredded);
  json.CloseObject();
  json.CloseObject();
  json.Finish();
  return out;
}

}  // namespace shred
