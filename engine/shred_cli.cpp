#include "engine/shred_cli.h"

#include <algorithm>
#include <cwctype>
#include <set>

#include "engine/free_space_wipe.h"
#include "engine/path_rules.h"
#include "engine/shred_report.h"

namespace shred {

const wchar_t kCliUsage[] =
    L"用法：tarvello-cli [/s] [/q] [/verify] [/keeptraces] [/log 文件] 路径...\r\n"
    L"      tarvello-cli /l [/s] 路径...\r\n"
    L"      tarvello-cli /free 驱动器\r\n"
    L"      tarvello-cli /checkrecord 记录文件 [证书文件]\r\n"
    L"      tarvello-cli /recycle [/verify] [/keeptraces] [驱动器]\r\n"
    L"  不经确认粉碎所列文件：随机数据覆盖全部内容后改名并删除。\r\n"
    L"  /s  粉碎文件夹中的所有文件（含子文件夹）；不加 /s 时文件夹不予处理\r\n"
    L"  /q  不显示汇总行\r\n"
    L"  /l  只列出将粉碎的文件、不予粉碎的项及原因和将删除的文件夹，不做任何改动\r\n"
    L"  /verify  覆盖并写入磁盘后逐字节读回校验，不一致的文件不删除（报告“校验失败”）\r\n"
    L"  /free D:  清除驱动器 D: 的剩余空间：用随机数据填满后删除，不涉及任何现有文件\r\n"
    L"  /recycle  粉碎回收站中的全部项目（只限当前用户；给出驱动器时只粉碎该驱动器上的）\r\n"
    L"  /keeptraces  保留“最近使用的文件”中指向已粉碎文件的快捷方式和资源管理器的记录\r\n"
    L"  /log 文件  把粉碎（或清除、回收站）记录以 JSON 写入该文件\r\n"
    L"  /certificate 文件  另写一份可打印签字的粉碎证书（HTML）\r\n"
    L"  /checkrecord 文件  读回记录，核对其格式、合计和状态与条目是否一致\r\n"
    L"  /?  显示本说明\r\n"
    L"退出码：0 全部粉碎（或清除完成）；1 有文件未能粉碎或未能覆盖（或清除未完成）；2 用法错误；"
    L"3 被 Ctrl+C 中断";

namespace {

std::wstring Lowered(std::wstring s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](wchar_t c) { return c >= L'A' && c <= L'Z' ? wchar_t(c + 32) : c; });
  return s;
}

}  // namespace

CliOptions ParseCliArguments(const std::vector<std::wstring>& arguments) {
  CliOptions options;
  bool switches = true;
  std::set<std::wstring> given;  // the switches that take one meaning once
  // The first usage error is the one said.
  const auto fail = [&](const std::wstring& error) {
    if (options.error.empty()) options.error = error;
  };
  // A switch's value: the next argument, when it is one and not empty nor
  // another switch.
  const auto value = [&](size_t& i, std::wstring& into, const wchar_t* missing) {
    const bool present =
        i + 1 < arguments.size() && !arguments[i + 1].empty() && arguments[i + 1][0] != L'/';
    if (present) {
      into = arguments[++i];
    } else {
      fail(missing);
      // "/log "" FILE": the empty value is used up, not taken for a path.
      if (i + 1 < arguments.size() && arguments[i + 1].empty()) ++i;
    }
  };
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    if (switches && argument == L"--") {
      switches = false;
    } else if (switches && !argument.empty() && argument[0] == L'/') {
      const std::wstring name = Lowered(argument);
      // Two bins, two drives, two records: one would be left undone.
      if ((name == L"/recycle" || name == L"/free" || name == L"/log" || name == L"/checkrecord" ||
           name == L"/certificate") &&
          !given.insert(name).second)
        fail(name + L" 只能给出一次");
      if (name == L"/s") {
        options.recurse = true;
      } else if (name == L"/q") {
        options.quiet = true;
      } else if (name == L"/verify") {
        options.verify = true;
      } else if (name == L"/keeptraces") {
        options.keepTraces = true;
      } else if (name == L"/l") {
        options.preview = true;
      } else if (name == L"/?") {
        options.help = true;
      } else if (name == L"/recycle") {
        options.recycle = true;
        // A drive may follow: "/recycle D:".
        if (i + 1 < arguments.size() && !WipeRoot(arguments[i + 1]).empty())
          options.recycleDrive = WipeRoot(arguments[++i]);
      } else if (name == L"/log") {
        value(i, options.log, L"/log 后应跟记录文件的路径");
      } else if (name == L"/certificate") {
        value(i, options.certificate, L"/certificate 后应跟证书文件的路径");
      } else if (name == L"/checkrecord") {
        value(i, options.checkRecord, L"/checkrecord 后应跟记录文件的路径");
      } else if (name == L"/free") {
        value(i, options.freeDrive, L"/free 后应跟驱动器，例如 /free D:");
      } else {
        fail(L"未知的开关：" + argument);
      }
    } else {
      options.paths.push_back(argument);
    }
  }
  if (options.error.empty() && !options.checkRecord.empty() &&
      (options.paths.size() > 1 || !options.freeDrive.empty() || options.recycle ||
       !options.log.empty() || !options.certificate.empty() || options.preview ||
       options.recurse)) {
    options.error = L"/checkrecord 只读回一份记录，不能与其他操作同用";
  }
  if (options.error.empty() && options.preview &&
      (!options.log.empty() || !options.certificate.empty())) {
    options.error = L"/l 只列出将做的事，不写记录，不能与 /log 或 /certificate 同用";
  }
  if (options.error.empty() && options.preview && (!options.freeDrive.empty() || options.recycle)) {
    options.error = L"/l 不能与 /free 或 /recycle 同用";
  }
  if (options.error.empty() && !options.freeDrive.empty() && !options.paths.empty()) {
    options.error = L"/free 不能与要粉碎的路径同用";
  }
  if (options.error.empty() && options.recurse && (!options.freeDrive.empty() || options.recycle)) {
    options.error = L"/s 不能与 /free 或 /recycle 同用";
  }
  if (options.error.empty() && options.keepTraces && !options.freeDrive.empty()) {
    options.error = L"/keeptraces 不能与 /free 同用：清除剩余空间不涉及任何文件";
  }
  if (options.error.empty() && options.verify && !options.freeDrive.empty()) {
    options.error = L"/verify 不能与 /free 同用：清除剩余空间不读回校验";
  }
  if (options.error.empty() && options.recycle &&
      (!options.paths.empty() || !options.freeDrive.empty())) {
    options.error = L"/recycle 不能与 /free 或要粉碎的路径同用";
  }
  if (options.error.empty() && !options.help && options.paths.empty() &&
      options.freeDrive.empty() && !options.recycle && options.checkRecord.empty()) {
    options.error = L"没有给出要粉碎的路径";
  }
  return options;
}

std::wstring RefuseRecordPlace(
    const std::wstring& record, const std::vector<std::wstring>& entries,
    const std::vector<std::wstring>& folders,
    const std::function<bool(const std::wstring&, const std::wstring&)>& same) {
  // As the platform compares names: without case, "\\?\" or not.
  const auto folded = [](const std::wstring& path) {
    std::wstring text = WithoutVerbatimPrefix(path);
    std::replace(text.begin(), text.end(), L'/', L'\\');
    while (text.size() > 3 && text.back() == L'\\') text.pop_back();
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return wchar_t(std::towupper(c)); });
    return text;
  };
  const std::wstring mine = folded(record), myName = NameOfPath(mine);
  for (const std::wstring& entry : entries) {
    const std::wstring theirs = folded(entry), theirName = NameOfPath(theirs);
    // Another spelling of the place (a share, a drive mapped to a folder, a
    // short name) is asked of the platform; only where it may be one, as
    // asking opens both files.
    const bool mayBe = theirName == myName || theirName.find(L'~') != std::wstring::npos ||
                       myName.find(L'~') != std::wstring::npos;
    if (theirs == mine || (mayBe && same(record, entry)))
      return L"/log 的记录文件不能是要粉碎的文件：" + record;
  }
  for (const std::wstring& folder : folders) {
    const std::wstring inside = folded(folder) + L"\\";
    if (mine.compare(0, inside.size(), inside) == 0)
      return L"/log 的记录文件不能放在将被删除的文件夹中：" + folder;
  }
  return {};
}

int CliExitStatus(const ShredJob& job, const std::vector<WalkNote>& notes, bool interrupted) {
  if (interrupted) return kCliInterrupted;
  if (!notes.empty()) return kCliNotAllShredded;
  // Every entry, duplicates too: each shares the outcome of its file.
  for (const EntryResult& result : job.results) {
    if (result.fate != Fate::Shredded) return kCliNotAllShredded;
  }
  for (const FolderResult& folder : job.folderResults) {
    if (!folder.removed) return kCliNotAllShredded;
  }
  return job.results.size() == job.entries.size() ? kCliAllShredded : kCliNotAllShredded;
}

int CliBinStatus(const std::vector<BinOutcome>& outcomes, bool interrupted,
                 const std::vector<BinOutcome>& unread) {
  if (interrupted) return kCliInterrupted;
  // A bin that was not looked into may hold what the user meant to go.
  if (!unread.empty()) return kCliNotAllShredded;
  for (const BinOutcome& outcome : outcomes) {
    if (!outcome.shredded) return kCliNotAllShredded;
  }
  return kCliAllShredded;
}

namespace {

// A file that stays (or would), with why and what more is known of it.
std::wstring SurvivorLine(const std::wstring& entry, const EntryResult& result) {
  return entry + L"：" + SurvivorText(result) +
         (result.detail.empty() ? L"" : L"（" + result.detail + L"）");
}

// Whether the preview would remove the folder: every entry inside it would
// be shredded, and the walk left nothing in it aside.
bool WouldRemove(const WalkedFolder& folder, const ShredJob& job,
                 const std::vector<WalkNote>& notes) {
  const auto inside = [&](const std::wstring& path) {
    return path.size() > folder.path.size() &&
           path.compare(0, folder.path.size(), folder.path) == 0 &&
           (folder.path.back() == L'\\' || path[folder.path.size()] == L'\\');
  };
  for (const WalkNote& note : notes) {
    if (note.path == folder.path || inside(note.path)) return false;
  }
  for (size_t i = 0; i < job.entries.size() && i < job.results.size(); ++i) {
    if (inside(job.entries[i]) && job.results[i].fate != Fate::Overwritten) return false;
  }
  return true;
}

}  // namespace

std::vector<std::wstring> PreviewLines(const ShredJob& job, const std::vector<WalkNote>& notes) {
  std::vector<std::wstring> lines;
  for (const WalkNote& note : notes) lines.push_back(ShownPath(note.path) + L"：" + note.reason);
  int files = 0, shredded = 0, unseen = 0;
  for (size_t i = 0; i < job.entries.size(); ++i) {
    const EntryResult result = i < job.results.size() ? job.results[i] : EntryResult{};
    if (result.sameAs >= 0) continue;  // the same file, counted once
    ++files;
    // What a Ctrl+C left unlooked at is only counted: the preview says
    // nothing of it.
    if (job.cancelled && result.fate == Fate::NotReached) {
      ++unseen;
      continue;
    }
    const std::wstring entry = ShownPath(job.entries[i]);
    switch (result.fate) {
      case Fate::Overwritten:
        ++shredded;
        lines.push_back(L"将粉碎：" + (result.path.empty() ? ShownPath(job.entries[i])
                                                           : WithoutVerbatimPrefix(result.path)));
        break;
      case Fate::OverwriteAsIs:
        lines.push_back(entry + L"：将删除，但无法覆盖原内容（压缩、加密、稀疏或写时复制的文件）");
        break;
      case Fate::LinkToRemove:
        lines.push_back(entry + L"：是链接，将只删除链接本身，其指向的文件不予粉碎");
        break;
      case Fate::NotReached:
        lines.push_back(entry + L"：未处理");
        break;
      default:
        lines.push_back(SurvivorLine(entry, result));
        break;
    }
  }
  if (job.cancelled) {
    // Its folders cannot be judged before every file in them was.
    lines.push_back(L"预览已中断：共 " + std::to_wstring(files) + L" 个文件，将粉碎 " +
                    std::to_wstring(shredded) + L" 个，不予粉碎 " +
                    std::to_wstring(files - shredded - unseen) + L" 个，未查看 " +
                    std::to_wstring(unseen) + L" 个。未做任何改动。");
    return lines;
  }
  int folders = 0;
  for (const WalkedFolder& folder : job.folders) {
    if (!WouldRemove(folder, job, notes)) {
      lines.push_back(ShownPath(folder.path) + L"：文件夹中有不予粉碎的内容，将保留");
      continue;
    }
    ++folders;
    lines.push_back(L"将删除文件夹：" + ShownPath(folder.path));
  }
  lines.push_back(L"共 " + std::to_wstring(files) + L" 个文件：将粉碎 " +
                  std::to_wstring(shredded) + L" 个，不予粉碎 " +
                  std::to_wstring(files - shredded) + L" 个；将删除文件夹 " +
                  std::to_wstring(folders) + L" 个。未做任何改动。");
  return lines;
}

int PreviewStatus(const ShredJob& job, const std::vector<WalkNote>& notes) {
  if (!notes.empty()) return kCliNotAllShredded;
  for (const EntryResult& result : job.results) {
    if (result.fate != Fate::Overwritten) return kCliNotAllShredded;
  }
  for (const WalkedFolder& folder : job.folders) {
    if (!WouldRemove(folder, job, notes)) return kCliNotAllShredded;
  }
  return job.results.size() == job.entries.size() ? kCliAllShredded : kCliNotAllShredded;
}

std::vector<std::wstring> CliLines(const ShredJob& job, const std::vector<WalkNote>& notes,
                                   bool quiet) {
  std::vector<std::wstring> lines;
  for (const WalkNote& note : notes) lines.push_back(ShownPath(note.path) + L"：" + note.reason);
  int files = 0, shredded = 0, survived = 0, deletedAsIs = 0, links = 0, untouched = 0;
  for (size_t i = 0; i < job.entries.size(); ++i) {
    const EntryResult result = i < job.results.size() ? job.results[i] : EntryResult{};
    // Files are counted, not entries: a later entry for the same file is the first's.
    if (result.sameAs >= 0) continue;
    ++files;
    const std::wstring entry = ShownPath(result.renamed.empty() ? job.entries[i] : result.renamed);
    switch (result.fate) {
      case Fate::Shredded:
        ++shredded;
        break;
      case Fate::NotReached:
        ++untouched;
        lines.push_back(entry + L"：未处理");
        break;
      case Fate::DeletedAsIs:
        ++deletedAsIs;
        lines.push_back(entry + L"：" + kDeletedAsIsText);
        break;
      case Fate::LinkRemoved:
        ++links;
        lines.push_back(entry + L"：是链接，已删除链接本身，其指向的文件未粉碎");
        break;
      case Fate::ShreddedCloud:
        ++shredded;
        lines.push_back(entry + L"：已粉碎，但云端可能仍保留以前的版本");
        break;
      default:
        ++survived;
        lines.push_back(SurvivorLine(entry, result));
        break;
    }
  }
  for (const FolderResult& folder : job.folderResults) {
    if (!folder.removed) lines.push_back(FolderLine(folder));
  }
  for (const std::wstring& line : TraceFailureLines(job.traces)) lines.push_back(line);
  if (quiet) return lines;
  std::wstring summary = L"共 " + std::to_wstring(files) + L" 个文件：已粉碎 " +
                         std::to_wstring(shredded) + L" 个，未能粉碎 " + std::to_wstring(survived) +
                         L" 个";
  if (deletedAsIs) summary += L"，已删除但未能覆盖 " + std::to_wstring(deletedAsIs) + L" 个";
  if (links) summary += L"，已删除链接 " + std::to_wstring(links) + L" 个";
  if (untouched) summary += L"，因中断未处理 " + std::to_wstring(untouched) + L" 个";
  lines.push_back(summary + L"。");
  const std::wstring traces = TracesClearedLine(job.traces.ShortcutsRemoved());
  if (!traces.empty()) lines.push_back(traces);
  if (!job.mediaNote.empty()) lines.push_back(job.mediaNote);
  return lines;
}

}  // namespace shred
