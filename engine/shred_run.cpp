#include "engine/shred_run.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "engine/maker.h"

namespace shred {

const wchar_t kConfirmText[] = L"您确认粉碎已选文件吗？";
const wchar_t kConfirmTitle[] = L"警告";
const wchar_t kEmptyListText[] = L"请选择文件！";
const wchar_t kInfoTitle[] = L"提示";
const wchar_t kDoneText[] = L"已选文件粉碎完成！";
const wchar_t kListFullText[] = L"列表已满，最多 32767 项";

namespace {

// How many paths each group of the report names before it cuts off.
constexpr int kReportedPaths = 10;

wchar_t Lower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c; }

bool StartsWithNoCase(const std::wstring& s, size_t at, const wchar_t* prefix) {
  for (size_t i = 0; prefix[i]; ++i) {
    if (at + i >= s.size() || Lower(s[at + i]) != Lower(prefix[i])) return false;
  }
  return true;
}

bool EqualNoCase(const std::wstring& a, const wchar_t* b) {
  return StartsWithNoCase(a, 0, b) && a.size() == std::char_traits<wchar_t>::length(b);
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// The DOS device names that Win32 maps to devices in any folder, with or
// without an extension: CON, NUL, COM1, LPT1, CONIN$ ...
bool IsReservedDeviceName(const std::wstring& component) {
  std::wstring base = component;
  // Trailing dots and blanks are dropped by Win32 path parsing.
  while (!base.empty() && (base.back() == L' ' || base.back() == L'.')) base.pop_back();
  base = base.substr(0, base.find_first_of(L".:"));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  std::transform(base.begin(), base.end(), base.begin(), Lower);

  static const wchar_t* const kNames[] = {L"con",    L"prn",     L"aux",   L"nul",
                                          L"conin$", L"conout$", L"clock$"};
  for (const wchar_t* name : kNames) {
    if (base == name) return true;
  }
  if (base.size() == 4 && (base.compare(0, 3, L"com") == 0 || base.compare(0, 3, L"lpt") == 0)) {
    const wchar_t digit = base[3];
    return (digit >= L'0' && digit <= L'9') || digit == L'\u00b9' || digit == L'\u00b2' ||
           digit == L'\u00b3';
  }
  return false;
}

// "\\server\share\...": named pipes and mailslots live under the shares
// "pipe" and "mailslot" of any host.
bool IsPipeOrMailslotShare(const std::wstring& path, size_t server) {
  const size_t share = path.find_first_of(L"\\/", server);
  if (share == std::wstring::npos) return false;
  const size_t end = path.find_first_of(L"\\/", share + 1);
  const std::wstring name =
      path.substr(share + 1, end == std::wstring::npos ? end : end - share - 1);
  return EqualNoCase(name, L"pipe") || EqualNoCase(name, L"mailslot");
}

// What follows "\\?\" must be a path on a drive, a share or a volume; a bare
// volume, a disk or the object manager's root is a device.
bool IsSafeVerbatimPath(const std::wstring& path, size_t rest) {
  if (rest + 2 < path.size() && IsDriveLetter(path[rest]) && path[rest + 1] == L':' &&
      IsSeparator(path[rest + 2])) {
    return true;
  }
  if (StartsWithNoCase(path, rest, L"unc\\")) return !IsPipeOrMailslotShare(path, rest + 4);
  if (StartsWithNoCase(path, rest, L"volume{")) {
    const size_t close = path.find(L'}', rest);
    return close != std::wstring::npos && close + 1 < path.size() && IsSeparator(path[close + 1]);
  }
  return false;
}

bool IsVerbatimPrefix(const std::wstring& path) {
  return path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] == L'?' &&
         IsSeparator(path[3]);
}

// Characters no file name may hold; "?" and "*" are wildcards.
bool HasInvalidCharacter(const std::wstring& entry) {
  for (size_t i = IsVerbatimPrefix(entry) ? 4 : 0; i < entry.size(); ++i) {
    const wchar_t c = entry[i];
    if (c < 0x20 || c == 0x7F || wcschr(L"\"<>|*?", c)) return true;
  }
  return false;
}

// Appends the segments of `rest` to `out` (which ends in its root's
// backslash), resolving "." and ".." itself and keeping every other name
// exactly, trailing dots and blanks included. Empty segments (doubled
// backslashes) are skipped; ".." stops at the root.
Reason AppendSegments(const std::wstring& rest, std::wstring& out) {
  std::vector<std::wstring> segments;
  size_t at = 0;
  while (at <= rest.size()) {
    size_t end = rest.find(L'\\', at);
    if (end == std::wstring::npos) end = rest.size();
    const std::wstring segment = rest.substr(at, end - at);
    at = end + 1;
    if (segment.empty() || segment == L".") continue;
    if (segment == L"..") {
      if (!segments.empty()) segments.pop_back();
      continue;
    }
    if (segment.find(L':') != std::wstring::npos) return Reason::InvalidName;  // streams, too
    segments.push_back(segment);
  }
  if (segments.empty()) return Reason::NotAFile;  // the root itself
  for (size_t i = 0; i < segments.size(); ++i) out += (i ? L"\\" : L"") + segments[i];
  return Reason::None;
}

}  // namespace

std::vector<std::wstring> ShredList::Items() const {
  std::vector<std::wstring> items;
  const int count = Count();
  items.reserve(size_t(count));
  for (int i = 0; i < count; ++i) items.push_back(Item(i));
  return items;
}

void ShredList::Replace(const std::vector<std::wstring>& items) {
  Clear();
  for (const auto& item : items) Add(item);
}

bool AddEntry(ShredList& list, const std::wstring& path) {
  if (list.Count() >= kMaxEntries) return false;
  return list.Add(path);
}

bool RemoveSelectedEntry(ShredList& list) {
  const int selection = list.Selection();
  if (selection < 0 || selection >= list.Count()) return false;
  return list.RemoveAt(selection);
}

const wchar_t* ReasonText(Reason reason) {
  switch (reason) {
    case Reason::None:
      return L"";
    case Reason::NotFullPath:
      return L"不是完整路径";
    case Reason::InvalidName:
      return L"文件名无效";
    case Reason::Device:
      return L"是设备或特殊路径，不能粉碎";
    case Reason::NotFound:
      return L"找不到文件";
    case Reason::PathNotFound:
      return L"找不到文件所在的文件夹";
    case Reason::NetworkPath:
      return L"无法访问网络路径";
    case Reason::NotAFile:
      return L"不是文件";
    case Reason::ReadOnly:
      return L"文件或磁盘只读";
    case Reason::AccessDenied:
      return L"拒绝访问";
    case Reason::InUse:
      return L"正在被其他程序使用";
    case Reason::DiskFull:
      return L"磁盘空间不足";
    case Reason::IoError:
      return L"读写错误";
    case Reason::Cancelled:
      return L"已取消，仅部分覆盖";
    case Reason::Changed:
      return L"文件在检查后发生了变化";
    case Reason::NotDeleted:
      return L"内容已覆盖，但无法删除";
    case Reason::NotDeletedRenamed:
      return L"内容已覆盖，但无法删除，也无法改回原名";
  }
  return L"";
}

std::wstring BannerLine() {
  return std::wstring(L"本文件已由 Tarvello 文件粉碎机处理  ") + maker::kName + L"  " +
         maker::kWebAddress;
}

std::wstring NoticeLine() {
  return std::wstring(L"此文件已被粉碎！  By:") + maker::kAuthor + L" QQ：" + maker::kContactNumber;
}

bool IsUnsafeShredPath(const std::wstring& path) {
  size_t rest = 0;
  if (path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
      (path[2] == L'.' || path[2] == L'?') && IsSeparator(path[3])) {
    // "\\.\" always names a device; "\\?\" only passes a path through unparsed.
    if (path[2] == L'.' || !IsSafeVerbatimPath(path, 4)) return true;
    rest = 4;
  } else if (StartsWithNoCase(path, 0, L"\\??\\")) {
    return true;  // an object-manager path, never a user's file
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
             IsPipeOrMailslotShare(path, 2)) {
    return true;
  }
  if (path.find_first_of(L"*?", rest) != std::wstring::npos) return true;

  const size_t lastSeparator = path.find_last_of(L"\\/");
  size_t nameStart = lastSeparator == std::wstring::npos ? 0 : lastSeparator + 1;
  if (nameStart == 0 && path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == L':')
    nameStart = 2;
  return IsReservedDeviceName(path.substr(nameStart));
}

std::wstring VerbatimPath(const std::wstring& fullPath) {
  if (fullPath.size() >= 3 && IsDriveLetter(fullPath[0]) && fullPath[1] == L':' &&
      fullPath[2] == L'\\') {
    return L"\\\\?\\" + fullPath;
  }
  if (fullPath.size() >= 3 && fullPath[0] == L'\\' && fullPath[1] == L'\\' && fullPath[2] != L'?' &&
      fullPath[2] != L'.') {
    return L"\\\\?\\UNC\\" + fullPath.substr(2);
  }
  return fullPath;
}

ResolvedPath ResolveEntry(const std::wstring& entry) {
  if (entry.find_first_not_of(L' ') == std::wstring::npos || HasInvalidCharacter(entry)) {
    return {{}, Reason::InvalidName};
  }
  if (IsUnsafeShredPath(entry)) return {{}, Reason::Device};
  std::wstring path = entry;
  std::replace(path.begin(), path.end(), L'/', L'\\');
  // A trailing backslash names a folder, never a file.
  if (path.back() == L'\\') return {{}, Reason::InvalidName};

  ResolvedPath out;
  if (IsVerbatimPrefix(path)) {
    out.path = path;  // already exact: nothing is rewritten
  } else if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && path[2] == L'\\') {
    out.path = std::wstring(L"\\\\?\\") + wchar_t(path[0] & ~0x20) + L":\\";
    out.reason = AppendSegments(path.substr(3), out.path);
  } else if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') {
    // \\server\share\rest: the server and the share are the root.
    const size_t share = path.find(L'\\', 2);
    const size_t rest = share == std::wstring::npos ? share : path.find(L'\\', share + 1);
    if (share == 2 || rest == std::wstring::npos || rest == share + 1) {
      return {{}, Reason::InvalidName};
    }
    out.path = L"\\\\?\\UNC\\" + path.substr(2, rest - 1);
    out.reason = AppendSegments(path.substr(rest + 1), out.path);
  } else {
    return {{}, Reason::NotFullPath};  // relative, drive-relative or rooted without a drive
  }
  if (out.reason != Reason::None) out.path.clear();
  if (out.path.size() > 32767) return {{}, Reason::InvalidName};
  return out;
}

Reason CheckOverwritable(bool diskFile, uint32_t attributes) {
  if (!diskFile) return Reason::Device;
  if (attributes & attr::kDirectory) return Reason::NotAFile;
  // The path showed a regular file; a link here means it changed since.
  if (attributes & attr::kReparsePoint) return Reason::Changed;
  // Windows refuses write access to a read-only file by itself; Wine run by
  // root does not, so the attribute is checked here as well.
  if (attributes & attr::kReadOnly) return Reason::ReadOnly;
  return Reason::None;
}

bool CanOverwriteInPlace(uint32_t attributes) {
  return !(attributes & (attr::kCompressed | attr::kEncrypted));
}

namespace {

struct StreamResult {
  Reason reason = Reason::None;
  bool overwritten = true;  // false: truncated only, its old bytes could not be reached
};

// Random bytes over every range of one open stream that holds data on the
// disk, up to its allocation size, flushed to the disk before the truncation.
StreamResult OverwriteStream(FileId file, const FileFacts& facts, ShredServices& services,
                             ShredMonitor& monitor, uint64_t& done) {
  StreamResult result;
  std::vector<Range> ranges;
  if (!CanOverwriteInPlace(facts.attributes)) {
    result.overwritten = false;
  } else if (facts.attributes & attr::kSparse) {
    // Only the allocated ranges: filling the holes would grow the file on the disk.
    result.overwritten = services.AllocatedRanges(file, facts.size, ranges);
  } else {
    ranges.push_back({0, std::max(facts.size, facts.allocation)});
  }
  for (const Range& range : ranges) {
    for (int64_t at = range.offset, end = range.offset + range.length; at < end;) {
      if (monitor.CancelRequested()) return {Reason::Cancelled, false};
      const int64_t length = std::min(kOverwriteChunk, end - at);
      if (Reason r = services.WriteRandom(file, at, length); r != Reason::None) return {r, false};
      at += length;
      done += uint64_t(length);
      monitor.Overwritten(done);
    }
  }
  if (!ranges.empty()) {
    if (Reason r = services.Flush(file); r != Reason::None) return {r, false};
  }
  if (Reason r = services.Truncate(file); r != Reason::None) return {r, false};
  return result;
}

EntryResult Survivor(Reason reason, const std::wstring& path = {}) {
  EntryResult result;
  result.fate = Fate::Survived;
  result.reason = reason;
  result.path = path;
  return result;
}

}  // namespace

EntryResult DestroyContents(const std::wstring& path, ShredServices& services,
                            ShredMonitor& monitor) {
  std::vector<std::wstring> streams{L""};
  for (auto& name : services.AlternateStreams(path)) streams.push_back(std::move(name));
  uint64_t done = 0;
  bool overwritten = true;
  for (const std::wstring& stream : streams) {
    FileId file = 0;
    FileFacts facts;
    Reason reason = services.OpenFile(path + stream, file, facts);
    if (reason != Reason::None) return Survivor(reason, path);
    reason = CheckOverwritable(facts.diskFile, facts.attributes);
    StreamResult result;
    if (reason == Reason::None) result = OverwriteStream(file, facts, services, monitor, done);
    services.CloseFile(file);
    if (reason == Reason::None) reason = result.reason;
    if (reason != Reason::None) return Survivor(reason, path);
    overwritten = overwritten && result.overwritten;
  }
  EntryResult result;
  result.fate = overwritten ? Fate::Overwritten : Fate::OverwriteAsIs;
  result.path = path;
  return result;
}

namespace {

// Check the path, destroy the contents, write the notice.
EntryResult OverwriteEntry(const ResolvedPath& resolved, ShredServices& services,
                           ShredMonitor& monitor) {
  if (resolved.reason != Reason::None) return Survivor(resolved.reason);
  const std::wstring& path = resolved.path;
  const PathInfo info = services.Probe(path);
  switch (info.kind) {
    case PathKind::Missing:
      return Survivor(info.reason == Reason::None ? Reason::NotFound : info.reason, path);
    case PathKind::Folder:
      return Survivor(Reason::NotAFile, path);
    case PathKind::Link: {
      EntryResult link;
      link.fate = Fate::LinkToRemove;  // the link goes; what it points to is not the user's pick
      link.path = path;
      return link;
    }
    case PathKind::File:
      break;
  }
  if (info.attributes & attr::kReadOnly) return Survivor(Reason::ReadOnly, path);
  EntryResult result = DestroyContents(path, services, monitor);
  if (result.fate != Fate::Survived && services.OpenChannel(path)) {
    services.PrintLine(BannerLine());
    services.PrintLine(NoticeLine());
  }
  services.CloseChannel();
  return result;
}

// The entry text for the random name a survivor is left with: the entry's
// own folder part and the new name.
std::wstring RenamedEntry(const std::wstring& entry, const std::wstring& hidden) {
  const size_t folder = entry.find_last_of(L"\\/") + 1;
  return entry.substr(0, folder) + hidden.substr(hidden.find_last_of(L'\\') + 1);
}

// Check again, rename, delete: a deletion that succeeds is the last check.
void DeleteEntry(const std::wstring& entry, EntryResult& result, ShredServices& services) {
  const std::wstring& path = result.path;
  const Fate done = result.fate == Fate::Overwritten ? Fate::Shredded : Fate::DeletedAsIs;
  // Nothing is renamed or deleted that is not still the regular file it was.
  const PathInfo info = services.Probe(path);
  if (info.kind != PathKind::File) {
    result = Survivor(info.kind == PathKind::Missing ? info.reason : Reason::Changed, path);
    return;
  }
  if (info.attributes & attr::kReadOnly) {
    result = Survivor(Reason::ReadOnly, path);
    return;
  }
  // Under a random name the folder no longer shows the file's; a file that
  // then cannot be deleted goes back to its own name, where the user finds it.
  const std::wstring hidden = services.RandomSibling(path);
  const bool renamed = !hidden.empty() && services.RenameFile(path, hidden) == Reason::None;
  // A deletion that succeeds has checked that the file is gone for good: no
  // other handle held it, so nothing is left pending under either name.
  if (services.RemoveFile(renamed ? hidden : path) == Reason::None) {
    result.fate = done;
    return;
  }
  result = Survivor(Reason::NotDeleted, path);
  if (renamed && services.PathExists(hidden) && !services.PathExists(path) &&
      services.RenameFile(hidden, path) != Reason::None) {
    result.reason = Reason::NotDeletedRenamed;
    result.renamed = RenamedEntry(entry, hidden);
  }
}

std::wstring Lowered(std::wstring s) {
  std::transform(s.begin(), s.end(), s.begin(), Lower);
  return s;
}

void AddGroup(std::wstring& text, const std::wstring& title,
              const std::vector<std::wstring>& paths) {
  if (paths.empty()) return;
  if (!text.empty()) text += L"\r\n";
  text += title + L"（" + std::to_wstring(paths.size()) + L" 个）：";
  for (size_t i = 0; i < paths.size() && i < size_t(kReportedPaths); ++i)
    text += L"\r\n" + paths[i];
  if (paths.size() > size_t(kReportedPaths)) text += L"\r\n…";
}

}  // namespace

std::wstring ShredReport(const ShredJob& job) {
  constexpr int kReasons = int(Reason::NotDeletedRenamed) + 1;
  std::vector<std::wstring> byReason[kReasons], deletedAsIs, links;
  int survivors = 0, reached = 0;
  for (size_t i = 0; i < job.results.size(); ++i) {
    const EntryResult& r = job.results[i];
    if (r.fate != Fate::NotReached) ++reached;
    if (r.fate == Fate::DeletedAsIs) {
      deletedAsIs.push_back(job.entries[i]);
    } else if (r.fate == Fate::LinkRemoved) {
      links.push_back(job.entries[i]);
    } else if (r.fate != Fate::NotReached && r.fate != Fate::Shredded) {
      // Survived, or a run stopped by a failure before its delete pass.
      ++survivors;
      const Reason reason = r.fate == Fate::Survived ? r.reason : Reason::NotDeleted;
      byReason[int(reason)].push_back(r.renamed.empty() ? job.entries[i] : r.renamed);
    }
  }
  std::wstring groups;
  for (int reason = 0; reason < kReasons; ++reason) {
    AddGroup(groups, ReasonText(Reason(reason)), byReason[reason]);
  }
  AddGroup(groups, L"已删除，但未能覆盖原内容（压缩、加密或稀疏文件）", deletedAsIs);
  AddGroup(groups, L"是链接：已删除链接本身，其指向的文件未粉碎", links);
  if (survivors == 0) return groups;
  return L"共 " + std::to_wstring(reached) + L" 个文件，其中 " + std::to_wstring(survivors) +
         L" 个未能粉碎：\r\n" + groups;
}

bool PrepareShred(ShredList& list, ShredServices& services, ShredJob& job) {
  if (!services.ShowMessage(kConfirmText, kConfirmTitle, MessageKind::Confirm)) return false;
  job = ShredJob{};
  job.entries = list.Items();
  if (job.entries.empty()) {
    services.ShowMessage(kEmptyListText, kInfoTitle, MessageKind::Info);
    return false;
  }
  return true;
}

void ShredFiles(ShredJob& job, ShredServices& services, ShredMonitor& monitor) {
  // Every file is overwritten before any is deleted. A cancel stops the
  // overwrite pass at the next buffer; the files it already overwrote
  // completely are deleted all the same, the others are left in the list.
  const int count = int(job.entries.size());
  job.results.assign(job.entries.size(), EntryResult{});
  std::unordered_map<std::wstring, int> first;  // a file listed twice is worked once
  std::vector<int> sameAs(job.entries.size(), -1);
  for (int i = 0; i < count; ++i) {
    if (monitor.CancelRequested()) {
      job.cancelled = true;
      break;
    }
    monitor.Overwriting(i, job.entries[i]);
    const ResolvedPath resolved = ResolveEntry(job.entries[i]);
    const std::wstring key = Lowered(resolved.path);
    const auto seen = key.empty() ? first.end() : first.find(key);
    if (seen != first.end()) {
      sameAs[i] = seen->second;
    } else {
      job.results[i] = OverwriteEntry(resolved, services, monitor);
      if (!key.empty()) first.emplace(key, i);
    }
    job.processed = i + 1;
    if (job.results[i].reason == Reason::Cancelled) {
      job.cancelled = true;
      break;
    }
  }
  for (int i = 0; i < job.processed; ++i) {
    EntryResult& result = job.results[i];
    if (result.fate == Fate::LinkToRemove) {
      monitor.Deleting(i, job.entries[i]);
      const Reason reason = services.RemoveLink(result.path);
      result = reason == Reason::None && !services.PathExists(result.path)
                   ? EntryResult{Fate::LinkRemoved, Reason::None, result.path, {}}
                   : Survivor(reason == Reason::None ? Reason::NotDeleted : reason, result.path);
    } else if (result.fate == Fate::Overwritten || result.fate == Fate::OverwriteAsIs) {
      monitor.Deleting(i, job.entries[i]);
      DeleteEntry(job.entries[i], result, services);
    }
  }
  for (int i = 0; i < job.processed; ++i) {
    if (sameAs[i] >= 0) job.results[i] = job.results[sameAs[i]];
  }
}

void FinishShred(ShredList& list, ShredServices& services, const ShredJob& job) {
  // Survivors stay, in order, for a retry (under the name they now have), and
  // so do the entries a cancel left untouched.
  std::vector<std::wstring> kept;
  int shredded = 0, untouched = 0;
  for (size_t i = 0; i < job.entries.size(); ++i) {
    const Fate fate = i < job.results.size() ? job.results[i].fate : Fate::NotReached;
    if (fate == Fate::NotReached) ++untouched;
    if (fate == Fate::Shredded) ++shredded;
    if (fate != Fate::Shredded && fate != Fate::DeletedAsIs && fate != Fate::LinkRemoved) {
      kept.push_back(job.results.size() > i && !job.results[i].renamed.empty()
                         ? job.results[i].renamed
                         : job.entries[i]);
    }
  }
  const std::wstring report = ShredReport(job);
  if (report.empty() && !job.cancelled) {
    list.Clear();
    services.ShowMessage(kDoneText, kInfoTitle, MessageKind::Info);
    return;
  }
  list.Replace(kept);
  std::wstring text = report;
  if (job.cancelled) {
    text = L"粉碎已取消：已粉碎 " + std::to_wstring(shredded) + L" 个文件，" +
           std::to_wstring(untouched) + L" 个文件未处理，仍保留在列表中。";
    if (!report.empty()) text += L"\r\n" + report;
  }
  services.ShowMessage(text, kInfoTitle, report.empty() ? MessageKind::Info : MessageKind::Warning);
}

void RunShred(ShredList& list, ShredServices& services) {
  ShredJob job;
  if (!PrepareShred(list, services, job)) return;
  ShredMonitor unattended;
  ShredFiles(job, services, unattended);
  FinishShred(list, services, job);
}

}  // namespace shred
