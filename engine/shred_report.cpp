// The closing report: what became of the entries, grouped by reason.
#include <string>
#include <vector>

#include "engine/shred_report.h"

#include <map>
#include <utility>

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

const wchar_t kDeletedAsIsText[] = L"已删除，但未能覆盖原内容";

std::wstring ShownPath(const std::wstring& path) { return path.empty() ? L"（空）" : path; }

std::wstring FolderLine(const FolderResult& folder) {
  return ShownPath(folder.renamed.empty() ? folder.path : folder.renamed) + L"：" +
         ReasonText(folder.reason);
}

std::wstring SurvivorText(const EntryResult& result) {
  return ReasonText(result.fate == Fate::Survived ? result.reason : Reason::NotDeleted,
                    result.fate == Fate::Survived ? result.error : 0);
}

std::wstring ShredReport(const ShredJob& job) {
  // In the order of the reasons; an unmapped error by its code.
  std::map<std::pair<Reason, uint32_t>, std::vector<std::wstring>> byReason;
  std::vector<std::wstring> deletedAsIs, cloud, links;
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
      const bool survived = r.fate == Fate::Survived;
      std::wstring shown = r.renamed.empty() ? job.entries[i] : r.renamed;
      if (!r.detail.empty()) shown += L"（" + r.detail + L"）";
      byReason[{survived ? r.reason : Reason::NotDeleted, survived ? r.error : 0}].push_back(shown);
    }
  }
  std::wstring groups;
  for (const auto& [key, paths] : byReason)
    AddGroup(groups, ReasonText(key.first, key.second), paths);
  AddGroup(groups,
           L"已删除，但未能覆盖原内容（压缩、加密、稀疏或写时复制的文件；可用“清除磁盘剩余空间”清除"
           L"其原内容）",
           deletedAsIs);
  AddGroup(groups, L"已粉碎，但云端可能仍保留以前的版本", cloud);
  AddGroup(groups, L"是链接：已删除链接本身，其指向的文件未粉碎", links);
  std::vector<std::wstring> folders;
  for (const FolderResult& folder : job.folderResults) {
    if (!folder.removed) folders.push_back(FolderLine(folder));
  }
  AddGroup(groups, L"未删除的文件夹", folders);
  for (const std::wstring& line : TraceFailureLines(job.traces))
    groups += (groups.empty() ? L"" : L"\r\n") + line;
  if (survivors == 0) return groups;
  return L"共 " + std::to_wstring(reached) + L" 个文件，其中 " + std::to_wstring(survivors) +
         L" 个未能粉碎：\r\n" + groups;
}

}  // namespace shred
