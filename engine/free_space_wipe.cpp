#include "engine/free_space_wipe.h"

#include <algorithm>

namespace shred {

const wchar_t kWipeFolderName[] = L"Tarvello 清除剩余空间临时文件夹";
const wchar_t kWipeLimitsText[] =
    L"固态硬盘的备用存储单元、卷影副本和其他快照中的数据，任何在文件系统内进行的清除都无法触及。";

namespace {

std::wstring Number(int value, int digits) {
  std::wstring text = std::to_wstring(value);
  return std::wstring(size_t(std::max(0, digits - int(text.size()))), L'0') + text;
}

// Unbuffered writes go in whole pages of memory, whatever the cluster size.
constexpr uint64_t kDirectUnit = 4096;

std::wstring FillName(const std::wstring& folder, int index) {
  return folder + L"\\fill-" + Number(index, 5) + L".bin";
}

// Writes fill files until the disk is full: 4 MiB blocks while they fit,
// then halved down to one page, unbuffered (flushed at the end); the last
// clusters smaller than a page go through the cache, one cluster at a time.
void Fill(const std::wstring& folder, uint64_t cluster, WipeServices& services,
          WipeMonitor& monitor, WipeResult& result) {
  const uint64_t unit = std::max(cluster, kDirectUnit);
  uint64_t block = std::max(unit, kWipeBlockBytes - kWipeBlockBytes % unit);
  bool direct = true;
  bool retried = false;  // flushed since the last byte written
  FileId file = 0;
  bool open = false;
  uint64_t inFile = 0;
  while (!result.filled && result.reason == Reason::None) {
    if (monitor.CancelRequested()) {
      result.cancelled = true;
      break;
    }
    if (!open) {
      const Reason created = services.CreateFill(FillName(folder, result.fills), direct, file);
      if (created == Reason::DiskFull) {
        result.filled = true;
        break;
      }
      if (created != Reason::None) {
        result.reason = created;
        break;
      }
      ++result.fills;
      open = true;
      inFile = 0;
    }
    uint64_t written = 0;
    const Reason appended = services.AppendRandom(file, block, written);
    result.written += written;
    inFile += written;
    monitor.Written(result.written, result.freeBefore);
    if (written > 0) retried = false;
    if (appended == Reason::DiskFull && block == (direct ? unit : cluster) && !retried) {
      // A journalling file system gives blocks freed moments ago (the
      // user's deleted files among them) only once its transaction is on
      // the disk: a flush commits it, and the writing goes on.
      services.Flush(file);
      retried = true;
    } else if (appended == Reason::DiskFull) {
      if (block > unit) {
        block = std::max(unit, block / 2 - (block / 2) % unit);
      } else if (direct && cluster < unit) {
        // Clusters smaller than a page: the rest through the cache.
        services.Flush(file);
        services.Close(file);
        open = false;
        direct = false;
        block = cluster;
      } else {
        result.filled = true;
      }
    } else if (appended != Reason::None) {
      result.reason = appended;
    } else if (inFile >= kWipeFileBytes) {
      result.reason = services.Flush(file);
      services.Close(file);
      open = false;
    }
  }
  if (open) {
    const Reason flushed = services.Flush(file);
    // A full disk may refuse the flush's own metadata: the data is written.
    if (result.reason == Reason::None && flushed != Reason::None && flushed != Reason::DiskFull)
      result.reason = flushed;
    services.Close(file);
  }
}

// Small files until no more can be made: each takes a file record (and a
// name in the folder), overwriting what a deleted file left in it.
void FillRecords(const std::wstring& folder, WipeServices& services, WipeMonitor& monitor,
                 WipeResult& result, int upTo) {
  for (; result.records < upTo; ++result.records) {
    if (monitor.CancelRequested()) {
      result.cancelled = true;
      return;
    }
    FileId file = 0;
    // Long names: they overwrite the old names in the freed records too.
    const std::wstring name =
        L"record-" + Number(result.records, 6) + L"-" + std::wstring(40, L'x');
    if (services.CreateFill(folder + L"\\" + name, false, file) != Reason::None) break;
    uint64_t written = 0;
    services.AppendRandom(file, kWipeRecordBytes, written);
    services.Flush(file);
    services.Close(file);
  }
  result.recordsDone = true;
}

}  // namespace

bool RemoveWipeFolder(const std::wstring& folder, WipeServices& services) {
  for (const std::wstring& name : services.FilesIn(folder))
    services.RemoveFile(folder + L"\\" + name);
  const Reason removed = services.RemoveFolder(folder);
  return removed == Reason::None || removed == Reason::NotFound || removed == Reason::PathNotFound;
}

WipeResult WipeFreeSpace(const std::wstring& root, WipeServices& services, WipeMonitor& monitor) {
  WipeResult result;
  const std::wstring folder = root + kWipeFolderName;
  // What a killed wipe left goes first: its files hold only random bytes.
  if (!RemoveWipeFolder(folder, services)) {
    result.reason = Reason::AccessDenied;
    result.leftover = folder;
    return result;
  }
  uint64_t cluster = 0;
  if (!services.FreeSpace(root, result.freeBefore, cluster) || cluster == 0) {
    result.reason = Reason::IoError;
    return result;
  }
  if (const Reason made = services.MakeFolder(folder); made != Reason::None) {
    result.reason = made;
    return result;
  }
  Fill(folder, cluster, services, monitor, result);
  if (result.filled && result.written * 100 < result.freeBefore * kWipeFilledPercent)
    result.takenElsewhere = true;
  if (result.filled && !result.cancelled) {
    FillRecords(folder, services, monitor, result, kWipeMaxRecords);
    // The fill files took the first freed records, and a record keeps in
    // its slack what a small file held there: once they are gone, as many
    // small files again (and a few for the folder's own index) take those
    // records over.
    for (int i = 0; i < result.fills; ++i) services.RemoveFile(FillName(folder, i));
    if (result.recordsDone) {
      result.recordsDone = false;
      FillRecords(folder, services, monitor, result, result.records + result.fills + 16);
    }
  }
  if (!RemoveWipeFolder(folder, services)) result.leftover = folder;
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
  std::wstring text;
  if (r.Complete()) {
    text = L"已清除 " + drive + L" 的剩余空间：写入随机数据 " + mib(r.written) + L"（清除前剩余 " +
           mib(r.freeBefore) + L"），并覆盖了已释放的文件记录（" + std::to_wstring(r.records) +
           L" 个）。";
  } else {
    text = std::wstring(r.cancelled ? L"清除已取消" : L"清除未完成") + L"：" + drive +
           L" 的剩余空间写入了随机数据 " + mib(r.written) + L"（清除前剩余 " + mib(r.freeBefore) +
           L"）";
    if (r.reason != Reason::None) text += L"，" + std::wstring(ReasonText(r.reason));
    if (r.takenElsewhere) text += L"，剩余空间在清除期间被其他程序占用";
    text += r.recordsDone ? L"；已覆盖已释放的文件记录。" : L"；未覆盖已释放的文件记录。";
  }
  if (r.leftover.empty()) {
    text += L"\r\n临时文件已全部删除。";
  } else {
    text += L"\r\n临时文件夹未能删除，请手动删除：" + r.leftover;
  }
  return text + L"\r\n" + kWipeLimitsText;
}

}  // namespace shred
