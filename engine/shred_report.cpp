// The closing report: what became of the entries, grouped by reason.
#include <string>
#include <vector>

#include "engine/shred_run.h"

namespace shred {

namespace {

// How many paths each group of the report names before it cuts off.
constexpr int kReportedPaths = 10;

void AddGroup(std::wstring& text, const std::wstring& title,
              const std::vector<std::wstring>& paths) {
  if (paths.empty()) return;
  if (!text.empty()) text += L"\r\n";
  text += title + L"（" + std::to_wstring(paths.size()) + L" 个）：";
  for (size_t i = 0; i < paths.size() && i < size_t(kReportedPaths); ++i)
    text += L"\r\n" + ShownPath(paths[i]);
  if (paths.size() > size_t(kReportedPaths)) text += L"\r\n…";
}

}  // namespace

std::wstring FitForMessageBox(const std::wstring& text) {
  std::wstring out;
  size_t lines = 0;
  for (size_t at = 0; at <= text.size();) {
    size_t end = text.find(L"\r\n", at);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(at, end - at);
    at = end + 2;
    if (lines == kBoxLines) {
      out += L"\r\n…";
      break;
    }
    if (line.size() > kBoxLineChars) {
      const size_t keep = (kBoxLineChars - 1) / 2;
      line = line.substr(0, keep) + L"…" + line.substr(line.size() - keep);
    }
    out += (lines++ ? L"\r\n" : L"") + line;
  }
  return out;
}

std::wstring ShownPath(const std::wstring& path) { return path.empty() ? L"（空）" : path; }

bool IsGone(Fate fate) {
  return fate == Fate::Shredded || fate == Fate::DeletedAsIs || fate == Fate::LinkRemoved ||
         fate == Fate::ShreddedCloud;
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
    case Reason::Link:
      return L"是链接，其指向的文件不予粉碎";
    case Reason::OnlineOnly:
      return L"文件仅存于云端，不予下载";
    case Reason::SpecialFile:
      return L"是特殊文件（重解析点），不予粉碎";
  }
  return L"";
}

std::wstring ShredReport(const ShredJob& job) {
  constexpr int kReasons = int(Reason::SpecialFile) + 1;
  std::vector<std::wstring> byReason[kReasons], deletedAsIs, cloud, links;
  int survivors = 0, reached = 0;
  for (size_t i = 0; i < job.results.size(); ++i) {
    const EntryResult& r = job.results[i];
    // Files are counted, not entries: another entry naming the same file
    // shares the outcome of the first.
    if (r.sameAs >= 0) continue;
    if (r.fate != Fate::NotReached) ++reached;
    if (r.fate == Fate::DeletedAsIs) {
      deletedAsIs.push_back(job.entries[i]);
    } else if (r.fate == Fate::ShreddedCloud) {
      cloud.push_back(job.entries[i]);
    } else if (r.fate == Fate::LinkRemoved) {
      links.push_back(job.entries[i]);
    } else if (r.fate != Fate::NotReached && r.fate != Fate::Shredded) {
      // Survived, or a run stopped by a failure before its delete pass.
      ++survivors;
      const Reason reason = r.fate == Fate::Survived ? r.reason : Reason::NotDeleted;
      std::wstring shown = r.renamed.empty() ? job.entries[i] : r.renamed;
      if (!r.holder.empty()) shown += L"（" + r.holder + L"）";
      byReason[int(reason)].push_back(shown);
    }
  }
  std::wstring groups;
  for (int reason = 0; reason < kReasons; ++reason) {
    AddGroup(groups, ReasonText(Reason(reason)), byReason[reason]);
  }
  AddGroup(groups,
           L"已删除，但未能覆盖原内容（压缩、加密或稀疏文件；可用“清除磁盘剩余空间”清除其原内容）",
           deletedAsIs);
  AddGroup(groups, L"已粉碎，但云端可能仍保留以前的版本", cloud);
  AddGroup(groups, L"是链接：已删除链接本身，其指向的文件未粉碎", links);
  if (survivors == 0) return groups;
  return L"共 " + std::to_wstring(reached) + L" 个文件，其中 " + std::to_wstring(survivors) +
         L" 个未能粉碎：\r\n" + groups;
}

}  // namespace shred
