#include "engine/recycle_bin.h"

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <map>

#include "engine/shred_report.h"

namespace shred {

const wchar_t kUnknownPlaceText[] = L"原位置未知";
const wchar_t kEmptyBinText[] = L"回收站是空的";

namespace {

constexpr size_t kHeaderBytes = 24;  // version, size, time
constexpr size_t kVersion1PathUnits = 260;

int64_t ReadInt64(const std::string& bytes, size_t at) {
  int64_t value = 0;
  memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}

// UTF-16 units up to the first NUL, from `units` of them at `at`.
std::wstring ReadPath(const std::string& bytes, size_t at, size_t units) {
  std::wstring path;
  for (size_t i = 0; i < units; ++i) {
    const auto low = static_cast<unsigned char>(bytes[at + 2 * i]);
    const auto high = static_cast<unsigned char>(bytes[at + 2 * i + 1]);
    const wchar_t unit = wchar_t(low | (high << 8));
    if (unit == 0) break;
    path += unit;
  }
  return path;
}

bool StartsWithNoCase(const std::wstring& name, const wchar_t* prefix) {
  for (size_t i = 0; prefix[i]; ++i) {
    if (i >= name.size() || std::towupper(name[i]) != std::towupper(prefix[i])) return false;
  }
  return true;
}

}  // namespace

RecycleRecord ParseRecycleRecord(const std::string& bytes) {
  RecycleRecord record;
  if (bytes.size() < kHeaderBytes) return record;
  const int64_t version = ReadInt64(bytes, 0);
  size_t at = kHeaderBytes, units = 0;
  if (version == 1) {
    units = kVersion1PathUnits;
  } else if (version == 2) {
    if (bytes.size() < kHeaderBytes + 4) return record;
    uint32_t count = 0;
    memcpy(&count, bytes.data() + kHeaderBytes, sizeof count);
    at += 4;
    units = count;
  } else {
    return record;
  }
  if (units > (bytes.size() - at) / 2) return record;  // a length past the end
  record.size = ReadInt64(bytes, 8);
  record.deletedAt = ReadInt64(bytes, 16);
  record.originalPath = ReadPath(bytes, at, units);
  record.known = !record.originalPath.empty();
  return record;
}

std::vector<BinItem> PairBinItems(const std::wstring& folder, const std::vector<BinEntry>& entries,
                                  const std::vector<std::string>& records) {
  // By the id and extension after "$R" / "$I", compared as the bin's names
  // are (upper case).
  std::map<std::wstring, BinItem> byId;
  std::vector<BinItem> items;
  for (size_t i = 0; i < entries.size(); ++i) {
    const BinEntry& entry = entries[i];
    if (!IsOneName(entry.name)) {
      // Joined to the folder's path, "$R1\..\..\x" would name a file
      // outside the bin: it is reported with its folder and left as it is.
      BinItem odd;
      odd.shown = folder;
      odd.refused = std::wstring(ReasonText(Reason::InvalidName)) + L"（" + entry.name + L"）";
      items.push_back(std::move(odd));
      continue;
    }
    const bool data = StartsWithNoCase(entry.name, L"$R");
    const bool record = !entry.folder && StartsWithNoCase(entry.name, L"$I");
    if ((!data && !record) || entry.name.size() <= 2) continue;
    std::wstring id = entry.name.substr(2);
    std::transform(id.begin(), id.end(), id.begin(), [](wchar_t c) { return std::towupper(c); });
    BinItem& item = byId[id];
    const std::wstring path = folder + L"\\" + entry.name;
    if (data) {
      item.data = path;
      item.folder = entry.folder;
      // A link in the bin is not what was deleted: what it leads to is not
      // the user's to shred, and the item keeps its record.
      if (entry.link) item.refused = ReasonText(Reason::Link);
    } else {
      item.record = path;
      const RecycleRecord parsed = ParseRecycleRecord(i < records.size() ? records[i] : "");
      item.shown = parsed.known ? parsed.originalPath : std::wstring();
      item.size = parsed.size;
      if (!parsed.known) item.shown = std::wstring(kUnknownPlaceText) + L"（" + entry.name + L"）";
    }
  }
  for (auto& [id, item] : byId) {
    // Without its record an item is named by its data's name.
    if (item.shown.empty()) item.shown = item.data.substr(item.data.find_last_of(L'\\') + 1);
    if (item.data.size() && !item.folder && item.refused.empty()) item.files = {item.data};
    items.push_back(std::move(item));
  }
  return items;
}

uint64_t BinBytes(const std::vector<BinItem>& items) {
  uint64_t total = 0;
  for (const BinItem& item : items) {
    const uint64_t size = item.size > 0 ? uint64_t(item.size) : 0;
    total = size > UINT64_MAX - total ? UINT64_MAX : total + size;
  }
  return total;
}

namespace {

// Why the first of an item's entries that survived did, in the report's words.
std::wstring FirstFailure(const ShredJob& job, size_t from, size_t to) {
  for (size_t i = from; i < to && i < job.results.size(); ++i) {
    if (!IsGone(job.results[i].fate))
      return job.results[i].fate == Fate::NotReached ? L"未处理" : SurvivorText(job.results[i]);
  }
  return {};
}

}  // namespace

std::vector<BinOutcome> ShredBinItems(const std::vector<BinItem>& items, ShredServices& services,
                                      ShredMonitor& monitor, bool verify) {
  std::vector<BinOutcome> outcomes(items.size());
  // The data first, every item's in one run.
  ShredJob data;
  data.verify = verify;
  std::vector<size_t> firstEntry;
  for (const BinItem& item : items) {
    firstEntry.push_back(data.entries.size());
    data.entries.insert(data.entries.end(), item.files.begin(), item.files.end());
    data.folders.insert(data.folders.end(), item.folders.begin(), item.folders.end());
  }
  firstEntry.push_back(data.entries.size());
  ShredFiles(data, services, monitor);
  ShredJob records;
  records.verify = verify;
  std::vector<size_t> recordOf(items.size(), SIZE_MAX);
  size_t folderAt = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    const BinItem& item = items[i];
    outcomes[i].shown = item.shown;
    outcomes[i].why =
        item.refused.empty() ? FirstFailure(data, firstEntry[i], firstEntry[i + 1]) : item.refused;
    if (data.results.size() < data.entries.size() && outcomes[i].why.empty() &&
        firstEntry[i + 1] > data.results.size())
      outcomes[i].why = L"未处理";
    // A folder item is gone when its own folder is (the first of its folders).
    if (outcomes[i].why.empty() && !item.folders.empty()) {
      const size_t top = folderAt;
      if (top >= data.folderResults.size()) {
        outcomes[i].why = L"未处理";
      } else if (!data.folderResults[top].removed) {
        outcomes[i].why = ReasonText(data.folderResults[top].reason);
      }
    }
    folderAt += item.folders.size();
    if (!outcomes[i].why.empty()) continue;  // it keeps its record
    if (item.record.empty()) {
      outcomes[i].shredded = true;
      continue;
    }
    recordOf[i] = records.entries.size();
    records.entries.push_back(item.record);
  }
  if (data.cancelled) {
    for (size_t i = 0; i < items.size(); ++i) {
      if (recordOf[i] != SIZE_MAX) outcomes[i].why = L"未处理";
    }
    return outcomes;
  }
  ShredFiles(records, services, monitor);
  for (size_t i = 0; i < items.size(); ++i) {
    if (recordOf[i] == SIZE_MAX) continue;
    outcomes[i].why = FirstFailure(records, recordOf[i], recordOf[i] + 1);
    if (recordOf[i] >= records.results.size()) outcomes[i].why = L"未处理";
    // Gone, but its contents could not be overwritten (compressed,
    // encrypted): not shredded, as the same file listed is not.
    for (size_t e = firstEntry[i]; outcomes[i].why.empty() && e < firstEntry[i + 1]; ++e) {
      if (data.results[e].fate == Fate::DeletedAsIs) outcomes[i].why = kDeletedAsIsText;
    }
    outcomes[i].shredded = outcomes[i].why.empty();
  }
  return outcomes;
}

bool HoldsFolder(const std::vector<BinItem>& items) {
  return std::any_of(items.begin(), items.end(), [](const BinItem& item) { return item.folder; });
}

std::wstring RefuseBinDrive(const DriveFacts& facts, bool holdsItems) {
  if (!facts.exists) return L"驱动器不存在";
  if (facts.network) return L"是网络驱动器，没有回收站";
  if (facts.readOnly && holdsItems) return L"驱动器只读，回收站中的项目无法粉碎";
  return {};
}

std::vector<std::wstring> BinLines(const std::vector<BinOutcome>& outcomes,
                                   const TracesResult& traces,
                                   const std::vector<BinOutcome>& unread) {
  std::vector<std::wstring> lines;
  for (const BinOutcome& bin : unread) lines.push_back(bin.shown + L"：" + bin.why);
  if (outcomes.empty()) {
    if (unread.empty()) lines.push_back(kEmptyBinText);
    return lines;
  }
  int shredded = 0;
  for (const BinOutcome& outcome : outcomes) {
    if (outcome.shredded) {
      ++shredded;
    } else {
      lines.push_back(ShownPath(outcome.shown) + L"：" + outcome.why);
    }
  }
  for (const std::wstring& line : TraceFailureLines(traces)) lines.push_back(line);
  lines.push_back(L"回收站共 " + std::to_wstring(outcomes.size()) + L" 项：已粉碎 " +
                  std::to_wstring(shredded) + L" 项，未能粉碎 " +
                  std::to_wstring(int(outcomes.size()) - shredded) + L" 项。");
  const std::wstring cleared = TracesClearedLine(traces.ShortcutsRemoved());
  if (!cleared.empty()) lines.push_back(cleared);
  return lines;
}

}  // namespace shred
