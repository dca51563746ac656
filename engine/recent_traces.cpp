#include "engine/recent_traces.h"

#include <cwctype>

#include "engine/path_rules.h"
#include "engine/recycle_bin.h"
#include "engine/shred_report.h"
#include "engine/shred_run.h"

namespace shred {

const wchar_t kTracesFailedText[] = L"最近使用记录未能清除：";

namespace {

// A character as Windows' name comparison sees it: upper case. The C
// library knows ASCII at least; the Latin, Greek and Cyrillic letters that
// names commonly hold are folded here whatever its locale.
wchar_t FoldChar(wchar_t c) {
  const wchar_t upper = wchar_t(std::towupper(c));
  if (upper != c) return upper;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) ||
      (c >= 0x430 && c <= 0x44F) || (c >= 0xFF41 && c <= 0xFF5A))
    return wchar_t(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return wchar_t(c - 0x50);
  if (c >= 0x100 && c <= 0x17F && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
    // Pairs: upper even, lower odd, but for 0x139 to 0x148 and 0x179 to 0x17E.
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((c % 2 == 0) == oddUpper) return wchar_t(c - 1);
  }
  return c;
}

std::wstring Folded(std::wstring text) {
  for (wchar_t& c : text) c = FoldChar(c);
  return text;
}

std::wstring FileNameOf(const std::wstring& path) {
  return path.substr(path.find_last_of(L"\\/") + 1);
}

uint32_t ReadLittle(const std::string& data, size_t at, size_t bytes) {
  uint32_t value = 0;
  for (size_t i = 0; i < bytes; ++i) value |= uint32_t(uint8_t(data[at + i])) << (8 * i);
  return value;
}

// A UTF-16 text in [at, end) up to its NUL; false when no NUL ends it there.
bool ReadUtf16(const std::string& data, size_t at, size_t end, std::wstring& text) {
  text.clear();
  for (size_t i = at; i + 1 < end; i += 2) {
    const wchar_t unit = wchar_t(ReadLittle(data, i, 2));
    if (unit == 0) return true;
    text.push_back(unit);
  }
  return false;
}

// Where the long name starts in a 0xBEEF0004 block of each version.
size_t LongNameOffset(uint32_t version) {
  if (version >= 9) return 46;
  if (version == 8) return 42;
  if (version == 7) return 38;
  if (version >= 3) return 20;
  return 0;
}

// A value's name as a RecentDocs number ("0" to "4294967294"); false
// otherwise.
bool ValueNumber(const std::wstring& name, uint32_t& number) {
  if (name.empty() || name.size() > 10) return false;
  uint64_t value = 0;
  for (wchar_t c : name) {
    if (c < L'0' || c > L'9') return false;
    value = value * 10 + uint64_t(c - L'0');
  }
  if (value >= 0xFFFFFFFFu) return false;
  number = uint32_t(value);
  return true;
}

void AppendLittle(std::string& data, uint32_t value) {
  for (int i = 0; i < 4; ++i) data.push_back(char((value >> (8 * i)) & 0xFF));
}

}  // namespace

std::wstring ComparablePath(const std::wstring& path) {
  std::wstring text = path;
  for (wchar_t& c : text) {
    if (c == L'/') c = L'\\';
  }
  text = WithoutVerbatimPrefix(text);
  if (text.rfind(L"\\??\\", 0) == 0) text = text.substr(4);
  while (text.size() > 1 && text.back() == L'\\' && !(text.size() == 3 && text[1] == L':'))
    text.pop_back();
  return Folded(text);
}

Places ShreddedPlaces(const ShredJob& job) {
  Places places;
  for (size_t i = 0; i < job.results.size() && i < job.entries.size(); ++i) {
    const EntryResult& result = job.results[i];
    if (result.fate != Fate::Shredded && result.fate != Fate::ShreddedCloud) continue;
    // A place is shown as the first entry for its file names it.
    const size_t first = result.sameAs >= 0 ? size_t(result.sameAs) : i;
    const std::wstring& path = job.results[first].path;
    const std::wstring shown = path.empty() ? job.entries[first] : path;
    for (const std::wstring* path : {&result.path, &result.finalPath, &job.entries[i]}) {
      if (!path->empty()) places.emplace(ComparablePath(*path), shown);
    }
  }
  for (const FolderResult& folder : job.folderResults) {
    if (folder.removed) places.emplace(ComparablePath(folder.path), folder.path);
  }
  return places;
}

Places ShreddedPlaces(const std::vector<BinOutcome>& outcomes) {
  Places places;
  for (const BinOutcome& outcome : outcomes) {
    // Only a full path: an item whose record was unknown is shown by a name.
    const std::wstring& path = outcome.shown;
    const bool full =
        (path.size() > 2 && path[1] == L':' && path[2] == L'\\') || path.rfind(L"\\\\", 0) == 0;
    if (outcome.shredded && full) places.emplace(ComparablePath(path), path);
  }
  return places;
}

std::wstring ShreddedPlaceOf(const std::wstring& target, const Places& places) {
  if (target.empty() || places.empty()) return {};
  std::wstring path = ComparablePath(target);
  // The target itself, then each folder it lies in, up to its root.
  while (!path.empty()) {
    const auto place = places.find(path);
    if (place != places.end()) return place->second;
    const size_t separator = path.find_last_of(L'\\');
    if (separator == path.npos || separator < 3) break;
    path.resize(separator);
  }
  return {};
}

std::wstring RecentDocsShortcut(const std::string& data) {
  // The target's name, then the shell item of its shortcut.
  std::wstring name;
  if (!ReadUtf16(data, 0, data.size(), name)) return {};
  const size_t item = name.size() * 2 + 2;
  if (item + 2 > data.size()) return {};
  const size_t size = ReadLittle(data, item, 2);
  if (size < 16 || item + size > data.size()) return {};
  const uint8_t type = uint8_t(data[item + 2]);
  if ((type & 0x70) != 0x30) return {};  // not a file entry
  // The long name, in the extension block the item's last two bytes point at.
  const size_t block = ReadLittle(data, item + size - 2, 2);
  if (block >= 14 && block + 8 <= size - 2) {
    const size_t at = item + block;
    const size_t blockSize = ReadLittle(data, at, 2);
    const size_t nameAt = LongNameOffset(ReadLittle(data, at + 2, 2));
    if (ReadLittle(data, at + 4, 4) == 0xBEEF0004 && block + blockSize <= size && nameAt &&
        nameAt < blockSize) {
      std::wstring longName;
      if (ReadUtf16(data, at + nameAt, at + blockSize, longName) && !longName.empty())
        return longName;
    }
  }
  // Else its primary name: UTF-16 when the type says so, else ASCII.
  std::wstring primary;
  if (type & 0x04) {
    if (!ReadUtf16(data, item + 14, item + size, primary)) return {};
    return primary;
  }
  for (size_t i = item + 14; i < item + size; ++i) {
    const uint8_t c = uint8_t(data[i]);
    if (c == 0) return primary;
    if (c >= 0x80) return {};  // a code page's: not knowable here
    primary.push_back(wchar_t(c));
  }
  return {};
}

RecentDocsEdit PlanRecentDocsEdit(const std::vector<RegistryValue>& values,
                                  const std::set<std::wstring>& shortcuts) {
  RecentDocsEdit edit;
  std::set<uint32_t> removed;
  const RegistryValue* list = nullptr;
  for (const RegistryValue& value : values) {
    uint32_t number = 0;
    if (value.name == L"MRUListEx" && value.type == kRegBinary) list = &value;
    if (value.type != kRegBinary || !ValueNumber(value.name, number)) continue;
    const std::wstring shortcut = RecentDocsShortcut(value.data);
    if (shortcut.empty() || !shortcuts.count(Folded(shortcut))) continue;
    edit.remove.push_back(value.name);
    removed.insert(number);
  }
  if (edit.remove.empty() || !list || list->data.size() % 4 != 0) return edit;
  for (size_t at = 0; at < list->data.size(); at += 4) {
    const uint32_t number = ReadLittle(list->data, at, 4);
    if (number == 0xFFFFFFFFu) break;
    if (!removed.count(number)) AppendLittle(edit.list, number);
  }
  AppendLittle(edit.list, 0xFFFFFFFFu);
  edit.rewriteList = true;
  return edit;
}

std::wstring ShortcutStem(const std::wstring& fileName) {
  std::wstring stem = Folded(fileName);
  if (stem.size() >= 4 && stem.compare(stem.size() - 4, 4, L".LNK") == 0)
    stem.resize(stem.size() - 4);
  // " (2)", " (13)": a second shortcut of the same name.
  if (stem.size() > 4 && stem.back() == L')') {
    size_t open = stem.size() - 1;
    while (open > 0 && stem[open - 1] >= L'0' && stem[open - 1] <= L'9') --open;
    if (open >= 3 && open < stem.size() - 1 && stem[open - 1] == L'(' && stem[open - 2] == L' ')
      stem.resize(open - 2);
  }
  return stem;
}

std::set<std::wstring> PlaceStems(const Places& places) {
  std::set<std::wstring> stems;
  for (const auto& [place, shown] : places)
    stems.insert(place.substr(place.find_last_of(L'\\') + 1));
  return stems;
}

std::set<std::wstring> PlaceNames(const Places& places) {
  std::set<std::wstring> names;
  for (const auto& [place, shown] : places) {
    const std::wstring name = place.substr(place.find_last_of(L'\\') + 1);
    for (wchar_t c : name) {
      if (c >= 0x80) return {};
    }
    if (!name.empty()) names.insert(name);
  }
  return names;
}

namespace {

// Each part of a text between separators, as `names` holds them.
bool HoldsName(const std::wstring& text, const std::set<std::wstring>& names) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of(L"\\/", start);
    if (end == text.npos) end = text.size();
    if (end > start && names.count(Folded(text.substr(start, end - start)))) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

bool MayName(const std::string& bytes, const std::set<std::wstring>& names) {
  if (names.empty()) return true;
  // ASCII runs, then UTF-16 runs at either alignment.
  std::wstring run;
  for (char byte : bytes) {
    const uint8_t c = uint8_t(byte);
    if (c >= 0x20 && c < 0x7F) {
      run.push_back(wchar_t(c));
      continue;
    }
    if (HoldsName(run, names)) return true;
    run.clear();
  }
  if (HoldsName(run, names)) return true;
  for (size_t alignment = 0; alignment < 2; ++alignment) {
    run.clear();
    for (size_t i = alignment; i + 1 < bytes.size(); i += 2) {
      const wchar_t unit = wchar_t(ReadLittle(bytes, i, 2));
      if (unit >= 0x20) {
        run.push_back(unit);
        continue;
      }
      if (HoldsName(run, names)) return true;
      run.clear();
    }
    if (HoldsName(run, names)) return true;
  }
  return false;
}

int TracesResult::ShortcutsRemoved() const {
  int count = 0;
  for (const TraceOutcome& outcome : outcomes) count += outcome.shortcut && outcome.removed;
  return count;
}

std::wstring TracesClearedLine(int count) {
  if (count <= 0) return {};
  return L"已同时清除 " + std::to_wstring(count) + L" 个最近使用记录";
}

std::vector<std::wstring> TraceFailureLines(const TracesResult& result) {
  std::vector<std::wstring> lines;
  for (const TraceOutcome& outcome : result.outcomes) {
    if (!outcome.removed)
      lines.push_back(kTracesFailedText + outcome.trace + L"（" + outcome.why + L"）");
  }
  return lines;
}

TracesResult ClearRecentTraces(const Places& places, ShredServices& files, TraceServices& traces,
                               bool everyShortcut) {
  TracesResult result;
  if (places.empty()) return result;
  std::wstring folder;
  const Reason reason = traces.RecentFolder(folder);
  if (reason != Reason::None) {
    // Not looked into: whatever it holds may name a shredded file.
    if (!folder.empty()) result.outcomes.push_back({true, folder, {}, false, ReasonText(reason)});
    return result;
  }
  if (folder.empty()) return result;
  // Each shortcut is worked only while it still lies in the folder read.
  const FileIdentity identity = files.FolderIdentity(folder);

  // The shortcuts go like any file: they hold the name, the size and the times.
  ShredJob job;
  std::vector<std::wstring> named;
  // Opening a shortcut is what costs (a fifth of a millisecond under Wine):
  // only the ones named after a place are read.
  const std::set<std::wstring> stems = PlaceStems(places), names = PlaceNames(places);
  for (const std::wstring& path : traces.ListShortcuts(folder)) {
    if (!everyShortcut && !stems.count(ShortcutStem(FileNameOf(path)))) continue;
    int64_t created = 0;
    const std::wstring target = traces.ReadTarget(path, names, created);
    const std::wstring place = ShreddedPlaceOf(target, places);
    // A file there now (a twin in another case on a case-sensitive folder,
    // one saved since under the name) is not what was shredded: its
    // shortcut is its own.
    if (place.empty() || files.PathExists(target) || !traces.IsPlainEntry(path)) continue;
    job.entries.push_back(path);
    job.created.push_back(created);
    named.push_back(place);
  }
  if (job.entries.empty()) return result;
  job.walked.push_back({folder, identity});
  ShredMonitor unattended;
  ShredFiles(job, files, unattended);
  std::map<std::wstring, std::wstring> gone;  // a shortcut's folded name, the place it named
  for (size_t i = 0; i < job.entries.size(); ++i) {
    const EntryResult& entry = job.results[i];
    const bool removed = IsGone(entry.fate) && entry.fate != Fate::LinkRemoved;
    result.outcomes.push_back(
        {true, job.entries[i], named[i], removed, removed ? std::wstring() : SurvivorText(entry)});
    if (removed) gone.emplace(Folded(FileNameOf(job.entries[i])), named[i]);
  }
  if (gone.empty()) return result;

  // Explorer's list names the shortcuts: their values go, and the order
  // is written again without them before they do.
  std::set<std::wstring> shortcuts;
  for (const auto& [name, place] : gone) shortcuts.insert(name);
  for (const std::wstring& key : traces.RecentDocsKeys()) {
    const std::vector<RegistryValue> values = traces.ReadValues(key);
    const RecentDocsEdit edit = PlanRecentDocsEdit(values, shortcuts);
    if (edit.remove.empty()) continue;
    const std::wstring shown = L"RecentDocs" + (key.empty() ? std::wstring() : L"\\" + key);
    if (edit.rewriteList) {
      const Reason written = traces.WriteBinary(key, L"MRUListEx", edit.list);
      if (written != Reason::None)
        result.outcomes.push_back({false, shown + L"\\MRUListEx", {}, false, ReasonText(written)});
    }
    for (const std::wstring& value : edit.remove) {
      std::wstring place;
      for (const RegistryValue& each : values) {
        if (each.name == value) place = gone[Folded(RecentDocsShortcut(each.data))];
      }
      const Reason deleted = traces.DeleteValue(key, value);
      result.outcomes.push_back({false, shown + L"\\" + value, place, deleted == Reason::None,
                                 deleted == Reason::None ? std::wstring() : ReasonText(deleted)});
    }
  }
  return result;
}

}  // namespace shred
