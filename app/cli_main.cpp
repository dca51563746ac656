// tarvello-cli: shreds the paths it is given without asking, prints a line
// for every file that was not shredded and a summary, and says in its exit
// status how it went. Ctrl+C stops the run at the next buffer.
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "app/console_print.h"
#include "engine/folder_walk.h"
#include "engine/shred_cli.h"
#include "engine/win32_shred_services.h"

namespace {

std::atomic<bool> interrupted{false};

BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  interrupted = true;
  return TRUE;
}

class InterruptMonitor : public shred::ShredMonitor {
 public:
  bool CancelRequested() override { return interrupted; }
};

void Print(DWORD stream, const std::wstring& line) { app::PrintLine(stream, line); }

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
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  shred::ShredJob job;
  std::vector<shred::WalkNote> notes;
  job.entries = shred::ExpandFolders(options.paths, options.recurse, notes, true);
  shred::Win32ShredServices services(nullptr);
  InterruptMonitor monitor;
  shred::ShredFiles(job, services, monitor);
  for (const std::wstring& line : shred::CliLines(job, notes, options.quiet)) {
    Print(STD_OUTPUT_HANDLE, line);
  }
  return shred::CliExitStatus(job, notes, interrupted);
}
