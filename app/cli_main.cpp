// tarvello-cli: shreds the paths it is given without asking, prints a line
// for every file that was not shredded and a summary, and says in its exit
// status how it went. Ctrl+C stops the run at the next buffer.
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "app/console_print.h"
#include "engine/certificate.h"
#include "engine/console_progress.h"
#include "engine/folder_walk.h"
#include "engine/record_check.h"
#include "engine/shred_cli.h"
#include "engine/win32/recent_traces.h"
#include "engine/win32/record.h"
#include "engine/win32/recycle_bin.h"
#include "engine/win32/shred_services.h"
#include "engine/win32/wipe_services.h"

namespace {

std::atomic<bool> interrupted{false};

BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  interrupted = true;
  return TRUE;
}

// The progress line on the console's standard error, at most twice a
// second; nothing when it is redirected, or with /q.
class ConsoleLine {
 public:
  explicit ConsoleLine(bool quiet) : shown_(!quiet && app::IsConsole(STD_ERROR_HANDLE)) {}
  ~ConsoleLine() {
    if (length_) app::RewriteConsoleLine(STD_ERROR_HANDLE, L"", length_);
  }
  double Seconds() const { return double(GetTickCount64() - start_) / 1000.0; }
  bool Due() { return shown_ && pace_.Due(GetTickCount64()); }
  void Show(const std::wstring& line) { app::RewriteConsoleLine(STD_ERROR_HANDLE, line, length_); }

 private:
  bool shown_;
  uint64_t start_ = GetTickCount64();
  shred::ProgressPace pace_;
  size_t length_ = 0;
};

class InterruptMonitor : public shred::ShredMonitor {
 public:
  InterruptMonitor() : line_(true), tally_({}) {}
  // `sizes`: each entry's bytes, for the progress line; `readBack`: the run
  // reads every range back.
  InterruptMonitor(bool quiet, std::vector<uint64_t> sizes, bool readBack)
      : line_(quiet), tally_(std::move(sizes), readBack) {}
  bool CancelRequested() override { return interrupted; }
  void Overwriting(int index, const std::wstring&) override {
    files_ = index;
    Update(tally_.Start(index));
  }
  void Overwritten(uint64_t bytes) override { Update(tally_.Written(bytes)); }
  void ReadBack(uint64_t bytes) override { Update(tally_.ReadBack(bytes)); }

 private:
  void Update(uint64_t done) {
    if (line_.Due())
      line_.Show(shred::ShredProgressLine(files_, tally_.Entries(), done, tally_.Total(),
                                          line_.Seconds()));
  }
  ConsoleLine line_;
  shred::ProgressTally tally_;
  int files_ = 0;
};

// A preview's line counts the files it has looked at.
class PreviewMonitor : public shred::ShredMonitor {
 public:
  PreviewMonitor(bool quiet, int files) : line_(quiet), files_(files) {}
  bool CancelRequested() override { return interrupted; }
  void Overwriting(int index, const std::wstring&) override {
    if (line_.Due()) line_.Show(shred::PreviewProgressLine(index, files_));
  }

 private:
  ConsoleLine line_;
  int files_;
};

class WipeInterruptMonitor : public shred::WipeMonitor {
 public:
  explicit WipeInterruptMonitor(bool quiet) : line_(quiet) {}
  bool CancelRequested() override { return interrupted; }
  void Written(uint64_t bytes, uint64_t freeBefore) override {
    if (line_.Due()) line_.Show(shred::WipeProgressLine(bytes, freeBefore, line_.Seconds()));
  }

 private:
  ConsoleLine line_;
};

void Print(DWORD stream, const std::wstring& line) { app::PrintLine(stream, line); }

// /log FILE: writes the record `make` gives, made only then; a record that
// cannot be written is a line and status 1 (when the work itself went
// well), the work's results stand.
std::wstring logPath, certificatePath;

// The certificate is made from the record's bytes, and names their SHA-256
// when the record was written beside it.
template <typename MakeRecord>
int WriteLog(const std::wstring& path, MakeRecord make, int status) {
  if (path.empty() && certificatePath.empty()) return status;
  const std::string record = make();
  std::string hash;
  const auto write = [&](const wchar_t* what, const std::wstring& where, const std::string& bytes) {
    const shred::Reason reason = shred::WriteRecordFile(where, bytes);
    if (reason == shred::Reason::None) return true;
    Print(STD_ERROR_HANDLE,
          what + where + L"（" + shred::ReasonText(reason, shred::LastUnmappedError()) + L"）");
    if (status == shred::kCliAllShredded) status = shred::kCliNotAllShredded;
    return false;
  };
  if (!path.empty() && write(L"粉碎记录未能写入：", path, record)) hash = shred::Sha256Hex(record);
  if (!certificatePath.empty())
    write(L"粉碎证书未能写入：", certificatePath, shred::CertificateHtml(record, hash));
  return status;
}

uint64_t started = 0;

// /free X: the drive's free space, after the checks that refuse a drive
// that is not there, not local or not writable; touches no existing file.
int WipeDrive(const std::wstring& argument, bool quiet) {
  const std::wstring root = shred::WipeRoot(argument);
  const std::wstring refusal =
      shred::RefuseWipe(argument, root.empty() ? shred::DriveFacts{} : shred::QueryDrive(root));
  if (!refusal.empty()) {
    Print(STD_ERROR_HANDLE, argument + L"：" + refusal);
    return shred::kCliNotAllShredded;
  }
  Print(STD_OUTPUT_HANDLE, L"正在清除 " + root.substr(0, 2) + L" 的剩余空间…（Ctrl+C 可中止）");
  shred::Win32WipeServices services;
  WipeInterruptMonitor monitor(quiet);
  const shred::WipeResult result = shred::WipeFreeSpace(root, services, monitor);
  Print(STD_OUTPUT_HANDLE, shred::WipeReport(root, result));
  const int status = interrupted         ? shred::kCliInterrupted
                     : result.Complete() ? shred::kCliAllShredded
                                         : shred::kCliNotAllShredded;
  return WriteLog(
      logPath,
      [&] { return shred::WipeRecord(shred::GatherRecordContext(started, {root}), root, result); },
      status);
}

// /recycle [X:]: the current user's Recycle Bin, on one drive or on every
// fixed and removable drive.
int ShredRecycleBin(const std::wstring& drive, bool verify, bool keepTraces) {
  std::vector<std::wstring> roots;
  if (!drive.empty()) roots.push_back(drive);
  std::vector<shred::BinOutcome> unread;
  const std::vector<shred::BinItem> items =
      shred::ReadRecycleBins(roots, shred::CurrentUserSid(), &unread);
  shred::Win32ShredServices services;
  InterruptMonitor monitor;
  const std::vector<shred::BinOutcome> outcomes =
      shred::ShredBinItems(items, services, monitor, verify);
  if (!items.empty()) shred::NotifyRecycleBinChanged(items);
  shred::TracesResult traces;
  if (!keepTraces) {
    shred::Win32TraceServices recent;
    traces = shred::ClearRecentTraces(shred::ShreddedPlaces(outcomes), services, recent,
                                      shred::HoldsFolder(items));
  }
  for (const std::wstring& line : shred::BinLines(outcomes, traces, unread))
    Print(STD_OUTPUT_HANDLE, line);
  return WriteLog(
      logPath,
      [&] {
        return shred::BinRecord(shred::GatherRecordContext(started, shred::RootsOf(items)),
                                outcomes, verify, traces, unread);
      },
      shred::CliBinStatus(outcomes, interrupted, unread));
}

// Reads a record back, and with it the certificate made of it: "记录完好" and
// 0, or what differs and 1.
int CheckRecordFile(const std::wstring& path, const std::wstring& certificate) {
  std::string bytes, page;
  for (const auto& [file, into] : {std::pair{&path, &bytes}, std::pair{&certificate, &page}}) {
    if (file->empty()) continue;
    if (const shred::Reason reason = shred::ReadWholeFile(*file, *into);
        reason != shred::Reason::None) {
      Print(STD_OUTPUT_HANDLE, *file + L"：" + shred::ReasonText(reason));
      return shred::kCliNotAllShredded;
    }
  }
  std::vector<std::wstring> lines = shred::CheckRecord(bytes);
  if (!certificate.empty()) {
    for (std::wstring& line : shred::CheckCertificate(bytes, shred::Sha256Hex(bytes), page))
      lines.push_back(std::move(line));
  }
  for (const std::wstring& line : lines) Print(STD_OUTPUT_HANDLE, path + L"：" + line);
  if (lines.empty()) Print(STD_OUTPUT_HANDLE, shred::kRecordWholeText);
  return lines.empty() ? 0 : shred::kCliNotAllShredded;
}

// The platform's full form of a path as given; empty when it has none.
std::wstring FullPath(const std::wstring& path) {
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return {};
  std::wstring full(size, L'\0');
  full.resize(GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
  return full;
}

// Why the record or the certificate may not go where /log or /certificate
// says: among the run's files (those given, as given, and those the folders
// and patterns stand for), inside a folder it removes, or inside the wipe's
// folder.
std::wstring RefuseRecordPlace(const shred::CliOptions& options, const shred::ShredJob& job,
                               shred::Win32ShredServices& services) {
  if ((options.log.empty() && options.certificate.empty()) || options.recycle) return {};
  std::vector<std::wstring> entries, folders;
  if (!options.freeDrive.empty()) {
    const std::wstring root = shred::WipeRoot(options.freeDrive);
    for (int i = 0; !root.empty() && i < shred::kWipeFolderNames; ++i)
      folders.push_back(shred::WipeFolderName(root, i));
  }
  for (const std::wstring& path : options.paths) entries.push_back(FullPath(path));
  for (const std::wstring& entry : job.entries) entries.push_back(FullPath(entry));
  for (const shred::WalkedFolder& folder : job.folders) folders.push_back(folder.path);
  const auto same = [&](const std::wstring& a, const std::wstring& b) {
    const shred::ResolvedPath first = shred::ResolveEntry(a), second = shred::ResolveEntry(b);
    return first.reason == shred::Reason::None && second.reason == shred::Reason::None &&
           services.IsSameFile(first.path, second.path);
  };
  for (const std::wstring* place : {&options.log, &options.certificate}) {
    if (place->empty()) continue;
    if (std::wstring refusal = shred::RefuseRecordPlace(FullPath(*place), entries, folders, same);
        !refusal.empty())
      return refusal;
  }
  return {};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  const shred::CliOptions options =
      shred::ParseCliArguments(std::vector<std::wstring>(argv + 1, argv + argc));
  if (!options.error.empty()) {
    Print(STD_ERROR_HANDLE, options.error);
    Print(STD_ERROR_HANDLE, shred::kCliUsage);
    return shred::kCliUsageError;
  }
  if (options.help) {
    Print(STD_OUTPUT_HANDLE, shred::kCliUsage);
    return 0;
  }
  if (!options.checkRecord.empty())
    return CheckRecordFile(options.checkRecord,
                           options.paths.empty() ? std::wstring() : options.paths[0]);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  started = shred::RecordClock();
  logPath = options.log;
  certificatePath = options.certificate;
  // The folders are read (nothing is touched) before the record's place is
  // judged: it may not be among what the run destroys.
  shred::ShredJob job;
  job.verify = options.verify;
  std::vector<shred::WalkNote> notes;
  if (options.freeDrive.empty() && !options.recycle) {
    job.entries = shred::ExpandFolders(options.paths, options.recurse, notes, true, nullptr,
                                       nullptr, &job.folders, &job.walked);
  }
  shred::Win32ShredServices services;
  if (const std::wstring refusal = RefuseRecordPlace(options, job, services); !refusal.empty()) {
    Print(STD_ERROR_HANDLE, refusal);
    Print(STD_ERROR_HANDLE, shred::kCliUsage);
    return shred::kCliUsageError;
  }
  if (options.preview) {
    // Every check of a run, and nothing done: not even a wipe's leftovers go.
    // Ctrl+C stops it at the next file; what was not looked at says so.
    job.preview = true;
    {
      PreviewMonitor looking(options.quiet, int(job.entries.size()));
      shred::ShredFiles(job, services, looking);
    }
    std::vector<std::wstring> lines = shred::PreviewLines(job, notes);
    if (options.quiet) lines.pop_back();
    for (const std::wstring& line : lines) Print(STD_OUTPUT_HANDLE, line);
    return job.cancelled ? shred::kCliInterrupted : shred::PreviewStatus(job, notes);
  }
  // What a killed wipe left goes before anything else is done.
  shred::RemoveWipeLeftovers();
  if (!options.freeDrive.empty()) return WipeDrive(options.freeDrive, options.quiet);
  if (options.recycle)
    return ShredRecycleBin(options.recycleDrive, options.verify, options.keepTraces);
  // The sizes only for a line that shows.
  const bool line = !options.quiet && app::IsConsole(STD_ERROR_HANDLE);
  {
    InterruptMonitor monitor(
        options.quiet,
        line ? shred::EntrySizes(job.entries) : std::vector<uint64_t>(job.entries.size()),
        job.verify);
    shred::ShredFiles(job, services, monitor);
  }
  job.keepTraces = options.keepTraces;
  if (!job.keepTraces) {
    shred::Win32TraceServices traces;
    job.traces = shred::ClearRecentTraces(shred::ShreddedPlaces(job), services, traces);
  }
  const shred::RecordContext context = shred::GatherRecordContext(started, shred::RootsOf(job));
  job.mediaNote = shred::MediaNoteFor(job, context.volumes);
  for (const std::wstring& line : shred::CliLines(job, notes, options.quiet)) {
    Print(STD_OUTPUT_HANDLE, line);
  }
  return WriteLog(
      logPath, [&] { return shred::ShredRecord(context, job, notes); },
      shred::CliExitStatus(job, notes, interrupted));
}
