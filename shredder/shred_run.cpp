#include "shredder/shred_run.h"

#include <algorithm>
#include <vector>

#include "shredder/maker.h"

namespace shred {

const wchar_t kConfirmText[] = L"您确认粉碎已选文件吗？";
const wchar_t kConfirmTitle[] = L"警告";
const wchar_t kEmptyListText[] = L"请选择文件！";
const wchar_t kInfoTitle[] = L"提示";
const wchar_t kDoneText[] = L"已选文件粉碎完成！";

namespace {

// How many surviving paths the failure report names before it cuts off.
constexpr int kReportedPaths = 10;

wchar_t Lower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c; }

bool StartsWithNoCase(const std::wstring& s, size_t at, const wchar_t* prefix) {
  for (size_t i = 0; prefix[i]; ++i) {
    if (at + i >= s.size() || Lower(s[at + i]) != Lower(prefix[i])) return false;
  }
  return true;
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

// What follows "\\?\" must be a path on a drive, a share or a volume; a bare
// volume, a disk or the object manager's root is a device.
bool IsSafeVerbatimPath(const std::wstring& path, size_t rest) {
  if (rest + 2 < path.size() && IsDriveLetter(path[rest]) && path[rest + 1] == L':' &&
      IsSeparator(path[rest + 2])) {
    return true;
  }
  if (StartsWithNoCase(path, rest, L"unc\\")) return true;
  if (StartsWithNoCase(path, rest, L"volume{")) {
    const size_t close = path.find(L'}', rest);
    return close != std::wstring::npos && close + 1 < path.size() && IsSeparator(path[close + 1]);
  }
  return false;
}

}  // namespace

bool AddEntry(ShredList& list, const std::wstring& path) {
  if (list.Count() >= kMaxEntries) return false;
  return list.Add(path);
}

bool RemoveSelectedEntry(ShredList& list) {
  const int selection = list.Selection();
  if (selection < 0 || selection >= list.Count()) return false;
  return list.RemoveAt(selection);
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
  }
  if (path.find_first_of(L"*?", rest) != std::wstring::npos) return true;

  const size_t lastSeparator = path.find_last_of(L"\\/");
  size_t nameStart = lastSeparator == std::wstring::npos ? 0 : lastSeparator + 1;
  if (nameStart == 0 && path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == L':')
    nameStart = 2;
  return IsReservedDeviceName(path.substr(nameStart));
}

std::wstring FailureReport(const std::wstring* survivors, int survivorCount, int total) {
  std::wstring text = L"共 " + std::to_wstring(total) + L" 个文件，其中 " +
                      std::to_wstring(survivorCount) + L" 个未能粉碎：";
  for (int i = 0; i < survivorCount && i < kReportedPaths; ++i) text += L"\r\n" + survivors[i];
  if (survivorCount > kReportedPaths) text += L"\r\n…";
  return text;
}

bool PrepareShred(ShredList& list, ShredServices& services, ShredJob& job) {
  if (!services.ShowMessage(kConfirmText, kConfirmTitle, MessageKind::Confirm)) return false;
  const int count = list.Count();
  if (count == 0) {
    services.ShowMessage(kEmptyListText, kInfoTitle, MessageKind::Info);
    return false;
  }
  job = ShredJob{};
  for (int i = 0; i < count; ++i) job.paths.push_back(list.Item(i));
  return true;
}

void ShredFiles(ShredJob& job, ShredServices& services, ShredMonitor& monitor) {
  const std::wstring banner = BannerLine();
  const std::wstring notice = NoticeLine();
  // Every file is overwritten before any is deleted. A cancel stops the
  // overwrite pass between two files; the files it already overwrote are
  // deleted all the same, the others are left as they were.
  const int count = int(job.paths.size());
  job.deleted.assign(job.paths.size(), false);
  for (int i = 0; i < count; ++i) {
    if (monitor.CancelRequested()) {
      job.cancelled = true;
      break;
    }
    const std::wstring& path = job.paths[i];
    monitor.Overwriting(i, path);
    if (!IsUnsafeShredPath(path) && services.OpenChannel(path)) {
      services.PrintLine(banner);
      services.PrintLine(notice);
    }
    services.CloseChannel();
    job.processed = i + 1;
  }
  for (int i = 0; i < job.processed; ++i) {
    const std::wstring& path = job.paths[i];
    monitor.Deleting(i, path);
    job.deleted[i] = !IsUnsafeShredPath(path) && services.RemoveFile(path);
  }
}

void FinishShred(ShredList& list, ShredServices& services, const ShredJob& job) {
  // An entry survived when something is still at its path, or when it named
  // something the run refused to touch. Survivors stay, in order, for a
  // retry, and so do the entries a cancel left untouched.
  const int count = int(job.paths.size());
  std::vector<bool> keep(count);
  std::vector<std::wstring> survivors;
  for (int i = 0; i < count; ++i) {
    if (i >= job.processed) {
      keep[i] = true;
    } else if (!job.deleted[i]) {
      keep[i] = IsUnsafeShredPath(job.paths[i]) || services.PathExists(job.paths[i]);
      if (keep[i]) survivors.push_back(job.paths[i]);
    }
  }
  if (survivors.empty() && !job.cancelled) {
    list.Clear();
    services.ShowMessage(kDoneText, kInfoTitle, MessageKind::Info);
    return;
  }
  for (int i = count - 1; i >= 0; --i) {
    if (!keep[i]) list.RemoveAt(i);
  }
  if (!job.cancelled) {
    services.ShowMessage(FailureReport(survivors.data(), int(survivors.size()), count), kInfoTitle,
                         MessageKind::Warning);
    return;
  }
  const int shredded = job.processed - int(survivors.size());
  std::wstring text = L"粉碎已取消：已粉碎 " + std::to_wstring(shredded) + L" 个文件，" +
                      std::to_wstring(count - job.processed) + L" 个文件未处理，仍保留在列表中。";
  if (!survivors.empty()) {
    text += L"\r\n" + FailureReport(survivors.data(), int(survivors.size()), job.processed);
  }
  services.ShowMessage(text, kInfoTitle,
                       survivors.empty() ? MessageKind::Info : MessageKind::Warning);
}

void RunShred(ShredList& list, ShredServices& services) {
  ShredJob job;
  if (!PrepareShred(list, services, job)) return;
  ShredMonitor unattended;
  ShredFiles(job, services, unattended);
  FinishShred(list, services, job);
}

}  // namespace shred
