// The closing report of a run, and messages as a message box can show them.
#pragma once

#include <string>

#include "engine/shred_run.h"

namespace shred {

// A message as a message box can show it on any screen: a line longer than
// kBoxLineChars keeps its start and end around "…" in the middle, and past
// kBoxLines lines the rest is left out with a last "…".
inline constexpr size_t kBoxLineChars = 120;
inline constexpr size_t kBoxLines = 40;
std::wstring FitForMessageBox(const std::wstring& text);

// How a path stands in a report: "（空）" for an empty entry.
// A file deleted without its contents overwritten (compressed, encrypted).
extern const wchar_t kDeletedAsIsText[];

std::wstring ShownPath(const std::wstring& path);

// Why an entry survived, in the report's words, with the platform's code
// where the run has no words of its own.
std::wstring SurvivorText(const EntryResult& result);

// A folder that stays, and why: "D:\\x：文件夹中仍有内容，未删除".
std::wstring FolderLine(const FolderResult& folder);

// The closing report: survivors grouped by reason, then the files deleted
// without overwriting and the links removed. Each group names its first ten
// paths, then "…".
std::wstring ShredReport(const ShredJob& job);

}  // namespace shred
