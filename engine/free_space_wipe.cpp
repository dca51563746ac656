#include "engine/free_space_wipe.h"

#include <algorithm>

namespace shred {

const wchar_t kWipeFolderName[] = L"Tarvello 清除剩余空间临时文件夹";
const wchar_t kWipeMarkerName[] = L"tarvello-wipe.marker";
const wchar_t kWipeBusyText[] = L"正在由另一个清除程序清除剩余空间，请等它结束后再试。";
const wchar_t kWipeLimitsText[] =
    L"固态硬盘的备用存储单元、卷影副本和其他快照中的数据，任何在文件系统内进行的清除都无法触及。";

namespace {

std::wstring Number(int value, int digits) {
  std::wstring text = std::to_wstring(value);
  return std::wstring(size_t(std::max(0, digits - int(text.size()))), L'0') + text;
}

// Record files beyond those the fill files freed, for the wrap-around.
constexpr int kWipeExtraRecords = 64;

// Unbuffered writes go in whole pages of memory, whatever the cluster size.
constexpr uint64_t kDirectUnit = 4096;

std::wstring FillName(int index) { return L"fill-" + Number(index, 5) + L".bin"; }

// Long names: they overwrite the old names in the freed records too.
constexpr size_t kRecordNameTail = 40;
std::wstring RecordName(int index) {
  return L"record-" + Number(index, 6) + L"-" + std::wstring(kRecordNameTail, L'x');
}

bool IsDigits(const std::wstring& text, size_t at, size_t count) {
  if (at + count > text.size()) return false;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < L'0' || text[i] > L'9') return false;
  }
  return true;
}

// Why the wipe stopped, with the platform's code where the reason has no
// words of its own for it.
void Fail(WipeResult& result, Reason reason, WipeServices& services) {
  result.reason = reason;
  if (reason == Reason::IoError) result.error = services.LastErrorCode();
}

// The fill files, one open at a time: where the next bytes go, and how
// large a block the disk still takes.
struct FillWriter {
  FolderId folder;
  WipeServices& services;
  WipeResult& result;
  uint64_t cluster;
  uint64_t unit = std::max(cluster, kDirectUnit);
  uint64_t block = std::max(unit, kWipeBlockBytes - kWipeBlockBytes % unit);
  bool direct = true;    // unbuffered while whole pages fit
  bool retried = false;  // flushed since the last byte written
  FileId file = 0;
  bool open = false;
  uint64_t inFile = 0;

  FillWriter(FolderId folder, WipeServices& services, WipeResult& result, uint64_t cluster)
      : folder(folder), services(services), result(result), cluster(cluster) {}
  FillWriter(const FillWriter&) = delete;
  FillWriter& operator=(const FillWriter&) = delete;
  // Whatever ends the fill (a throw too), no fill file stays open.
  ~FillWriter() {
    if (open) Close();
  }

  // The next fill file; false when none can be made (a full disk: filled).
  bool OpenNext() {
    const Reason created = services.CreateFill(folder, FillName(result.fills), direct, file);
    if (created == Reason::DiskFull) result.filled = true;
    if (created != Reason::None && created != Reason::DiskFull) Fail(created);
    if (created != Reason::None) return false;
    ++result.fills;
    open = true;
    inFile = 0;
    return true;
  }
  void Fail(Reason reason) { shred::Fail(result, reason, services); }
  void Close() {
    services.Close(file);
    open = false;
  }
  // The disk took less than a block: try again after a flush, then smaller
  // blocks, then the rest through the cache, until one cluster does not fit.
  void OnFull() {
    const uint64_t smallest = direct ? unit : cluster;
    if (block == smallest && !retried) {
      // A journalling file system gives blocks freed moments ago (the
      // user's deleted files among them) only once its transaction is on
      // the disk: a flush commits it, and the writing goes on.
      services.Flush(file);
      retried = true;
    } else if (block > unit) {
      block = std::max(unit, block / 2 - (block / 2) % unit);
    } else if (direct && cluster < unit) {
      // Clusters smaller than a page: the rest through the cache.
      services.Flush(file);
      Close();
      direct = false;
      block = cluster;
    } else {
      result.filled = true;
    }
  }
  // One block into the open file.
  void Append(WipeMonitor& monitor) {
    uint64_t written = 0;
    const Reason appended = services.AppendRandom(file, block, written);
    result.written += written;
    inFile += written;
    monitor.Written(result.written, result.freeBefore);
    if (written > 0) retried = false;
    if (appended == Reason::DiskFull) {
      OnFull();
    } else if (appended != Reason::None) {
      Fail(appended);
    } else if (inFile >= kWipeFileBytes) {
      const Reason flushed = services.Flush(file);
      if (flushed != Reason::None) Fail(flushed);
      Close();
    }
  }
  // The open file flushed and closed. A full disk may refuse the flush's own
  // metadata: the data is written.
  void Finish() {
    if (!open) return;
    const Reason flushed = services.Flush(file);
    if (result.reason == Reason::None && flushed != Reason::None && flushed != Reason::DiskFull)
      Fail(flushed);
    Close();
  }
};

// Writes fill files until the disk is full: 4 MiB blocks while they fit,
// then halved down to one page, unbuffered (flushed at the end); the last
// clusters smaller than a page go through the cache, one cluster at a time.
void Fill(FolderId folder, uint64_t cluster, WipeServices& services, WipeMonitor& monitor,
          WipeResult& result) {
  FillWriter writer{folder, services, result, cluster};
  while (!result.filled && result.reason == Reason::None) {
    if (monitor.CancelRequested()) {
      result.cancelled = true;
      break;
    }
    if (!writer.open && !writer.OpenNext()) break;
    writer.Append(monitor);
  }
  writer.Finish();
}

// Small files until no more can be made: each takes a file record (and a
// name in the folder), overwriting what a deleted file left in it.
void FillRecords(FolderId folder, WipeServices& services, WipeMonitor& monitor, WipeResult& result,
                 int upTo) {
  for (; result.records < upTo; ++result.records) {
    if (monitor.CancelRequested()) {
      result.cancelled = true;
      return;
    }
    FileId file = 0;
    if (services.CreateFill(folder, RecordName(result.records), false, file) != Reason::None) break;
    uint64_t written = 0;
    services.AppendRandom(file, kWipeRecordBytes, written);
    services.Flush(file);
    services.Close(file);
  }
  result.recordsDone = true;
}

}  // namespace

bool IsWipeFileName(const std::wstring& name) {
  // fill-00000.bin, record-000000-xxx...x
  if (name.size() == 14 && name.compare(0, 5, L"fill-") == 0 && IsDigits(name, 5, 5) &&
      name.compare(10, 4, L".bin") == 0) {
    return true;
  }
  return name.size() == 14 + kRecordNameTail && name.compare(0, 7, L"record-") == 0 &&
         IsDigits(name, 7, 6) && name[13] == L'-' &&
         name.find_first_not_of(L'x', 14) == std::wstring::npos;
}

std::wstring WipeFolderName(const std::wstring& root, int index) {
  return root + kWipeFolderName + (index == 0 ? L"" : L" " + std::to_wstring(index + 1));
}

namespace {

using FolderGuard = OpenGuard<WipeServices, &WipeServices::CloseFolder>;

// Opens the folder of the wipe's name at `path` and holds it: Ours then,
// to be judged by its marker; else what it is (another wipe holds it, and
// shares it with no deleter).
WipeFolder OpenFolderAt(const std::wstring& path, WipeServices& services, FolderId& folder) {
  const Reason opened = services.OpenFolder(path, folder);
  if (opened == Reason::NotFound || opened == Reason::PathNotFound) return WipeFolder::Missing;
  if (opened == Reason::InUse) return WipeFolder::InUse;
  return opened == Reason::None ? WipeFolder::Ours : WipeFolder::NotOurs;
}

// What the folder at `path` is, opened and let go again.
WipeFolder CheckFolderAt(const std::wstring& path, WipeServices& services) {
  FolderId folder = 0;
  if (const WipeFolder at = OpenFolderAt(path, services, folder); at != WipeFolder::Ours) return at;
  FolderGuard held(services, folder);
  return services.CheckFolder(folder);
}

// Removes the wipe's files from the held folder, then the marker and the
// folder when nothing else is in it.
Cleared ClearHeldFolder(FolderId folder, WipeServices& services) {
  switch (services.CheckFolder(folder)) {
    case WipeFolder::Missing:
    case WipeFolder::NotOurs:
      return Cleared::NotOurs;
    case WipeFolder::InUse:
      return Cleared::InUse;
    case WipeFolder::Ours:
      break;
  }
  bool foreign = false, kept = false;
  for (const std::wstring& name : services.FilesIn(folder)) {
    if (IsWipeFileName(name)) {
      const Reason removed = services.RemoveFile(folder, name);
      kept = kept || !(removed == Reason::None || removed == Reason::NotFound);
    } else if (name != kWipeMarkerName) {
      foreign = true;
    }
  }
  // A deletion the platform took may still leave the file (a full ntfs-3g
  // volume under Wine): what is there now is asked, once.
  for (const std::wstring& name : services.FilesIn(folder)) kept = kept || IsWipeFileName(name);
  // The marker stays with what the wipe did not make, so that the folder is
  // known again; and with a file of its own it could not remove (held by a
  // scanner, say), so that the next start takes it and gives the space back.
  if (foreign) return Cleared::Foreign;
  if (kept) return Cleared::Stuck;
  services.RemoveFile(folder, kWipeMarkerName);
  return services.RemoveFolder(folder) == Reason::None ? Cleared::Gone : Cleared::Stuck;
}

}  // namespace

Cleared ClearWipeFolder(const std::wstring& path, WipeServices& services) {
  FolderId folder = 0;
  switch (OpenFolderAt(path, services, folder)) {
    case WipeFolder::Missing:
      return Cleared::Gone;
    case WipeFolder::InUse:
      return Cleared::InUse;
    case WipeFolder::NotOurs:
      return Cleared::NotOurs;
    case WipeFolder::Ours:
      break;
  }
  FolderGuard held(services, folder);
  return ClearHeldFolder(folder, services);
}

namespace {

// The folder this wipe works in: what killed wipes left is cleared first
// (their files hold only random bytes), and the first name that is free
// then is made, marked and held. Nothing is touched while another wipe
// works on the drive.
std::wstring MakeWipeFolder(const std::wstring& root, WipeServices& services, WipeResult& result,
                            FolderId& made, FileId& marker) {
  for (int i = 0; i < kWipeFolderNames; ++i) {
    if (CheckFolderAt(WipeFolderName(root, i), services) == WipeFolder::InUse) {
      result.busy = true;
      return {};
    }
  }
  std::wstring chosen;
  for (int i = 0; i < kWipeFolderNames; ++i) {
    const std::wstring folder = WipeFolderName(root, i);
    const Cleared cleared = ClearWipeFolder(folder, services);
    // A folder of the wipe's holding what it did not make (files, or a
    // folder that keeps it from going) stays, and the report says so.
    if (cleared == Cleared::Foreign || cleared == Cleared::Stuck) result.foreign.push_back(folder);
    if (cleared == Cleared::Gone && chosen.empty()) chosen = folder;
  }
  if (chosen.empty()) {
    result.reason = Reason::AccessDenied;
    return {};
  }
  FolderId folder = 0;
  Reason reason = services.MakeFolder(chosen, folder);
  if (reason == Reason::None) {
    reason = services.PlaceMarker(folder, marker);
    if (reason != Reason::None) {
      // Only the folder it just made, empty: the marker removed itself.
      services.RemoveFolder(folder);
      services.CloseFolder(folder);
    }
  }
  if (reason != Reason::None) {
    Fail(result, reason, services);
    return {};
  }
  made = folder;
  return chosen;
}

}  // namespace

WipeResult WipeFreeSpace(const std::wstring& root, WipeServices& services, WipeMonitor& monitor) {
  WipeResult result;
  FolderId folder = 0;
  FileId marker = 0;
  const std::wstring path = MakeWipeFolder(root, services, result, folder, marker);
  if (path.empty()) return result;
  // The folder and its marker are held while the wipe works, and let go
  // whatever ends it.
  FolderGuard heldFolder(services, folder);
  OpenGuard<WipeServices, &WipeServices::Close> held(services, marker);
  uint64_t cluster = 0;
  if (!services.FreeSpace(root, result.freeBefore, result.volumeFree, cluster) || cluster == 0) {
    result.reason = Reason::IoError;
  } else {
    Fill(folder, cluster, services, monitor, result);
  }
  if (result.filled && result.written * 100 < result.freeBefore * kWipeFilledPercent)
    result.takenElsewhere = true;
  // Full for this user, not for the volume: asked again once the fill is done.
  uint64_t available = 0, volumeLeft = 0;
  if (result.filled && result.volumeFree > result.freeBefore &&
      services.FreeSpace(root, available, volumeLeft, cluster) &&
      volumeLeft * 100 > result.volumeFree * (100 - kWipeFilledPercent))
    result.partial = true;
  if (result.filled && !result.cancelled) {
    FillRecords(folder, services, monitor, result, kWipeMaxRecords);
    // The fill files took the first freed records, and a record keeps in
    // its slack what a small file held there: once they are gone, as many
    // small files again take those records over, and more: a file system
    // that hands out records from a moving position (ntfs-3g) comes back to
    // the ones below it, where the deleted files' records may lie, only
    // once it has gone round.
    for (int i = 0; i < result.fills; ++i) services.RemoveFile(folder, FillName(i));
    if (result.recordsDone) {
      result.recordsDone = false;
      FillRecords(folder, services, monitor, result,
                  result.records + result.fills + kWipeExtraRecords);
    }
  }
  held.Close();
  switch (ClearHeldFolder(folder, services)) {
    case Cleared::Foreign:
      result.foreign.push_back(path);
      break;
    case Cleared::Stuck:
    case Cleared::NotOurs:
    case Cleared::InUse:
      result.leftover = path;
      break;
    case Cleared::Gone:
      break;
  }
  return result;
}

std::wstring WipeRoot(const std::wstring& argument) {
  std::wstring text = argument;
  std::replace(text.begin(), text.end(), L'/', L'\\');
  if (text.rfind(L"\\\\?\\", 0) == 0) text = text.substr(4);
  const bool letter = !text.empty() && ((text[0] >= L'A' && text[0] <= L'Z') ||
                                        (text[0] >= L'a' && text[0] <= L'z'));
  if (!letter || (text.size() != 2 && text.size() != 3) || text[1] != L':' ||
      (text.size() == 3 && text[2] != L'\\'))
    return {};
  return std::wstring(1, wchar_t(text[0] & ~0x20)) + L":\\";
}

std::wstring RefuseWipe(const std::wstring& argument, const DriveFacts& facts) {
  if (WipeRoot(argument).empty()) return L"不是驱动器的根目录（例如 D: 或 D:\\）";
  if (!facts.exists) return L"驱动器不存在";
  if (facts.network) return L"是网络驱动器，不予清除";
  if (facts.readOnly) return L"驱动器只读";
  return {};
}

std::wstring WipeReport(const std::wstring& root, const WipeResult& r) {
  const auto mib = [](uint64_t bytes) { return std::to_wstring(bytes >> 20) + L" MB"; };
  const std::wstring drive = root.substr(0, 2);
  if (r.busy) return drive + L" " + kWipeBusyText;
  std::wstring text;
  if (r.Complete()) {
    text = L"已清除 " + drive + L" 的剩余空间：写入随机数据 " + mib(r.written) + L"（清除前剩余 " +
           mib(r.freeBefore) + L"），并覆盖了已释放的文件记录（" + std::to_wstring(r.records) +
           L" 个）。";
  } else {
    text = std::wstring(r.cancelled ? L"清除已取消" : L"清除未完成") + L"：" + drive +
           L" 的剩余空间写入了随机数据 " + mib(r.written) + L"（清除前剩余 " + mib(r.freeBefore) +
           L"）";
    if (r.reason != Reason::None) text += L"，" + ReasonText(r.reason, r.error);
    if (r.takenElsewhere) text += L"，剩余空间在清除期间被其他程序占用";
    if (r.Partial())
      text += L"，只清除了一部分：磁盘配额只允许写入 " + mib(r.freeBefore) +
              L"，卷上的剩余空间为 " + mib(r.volumeFree);
    text += r.recordsDone ? L"；已覆盖已释放的文件记录。" : L"；未覆盖已释放的文件记录。";
  }
  if (r.leftover.empty()) {
    text += L"\r\n临时文件已全部删除。";
  } else {
    text += L"\r\n临时文件夹未能删除，请手动删除：" + r.leftover;
  }
  for (const std::wstring& folder : r.foreign)
    text += L"\r\n" + folder + L"中有不是清除程序创建的文件，未删除。";
  return text + L"\r\n" + kWipeLimitsText;
}

}  // namespace shred
