#include "window/shred_progress.h"

#include <commctrl.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/console_progress.h"
#include "engine/win32/recent_traces.h"
#include "engine/win32/shred_services.h"
#include "engine/win32/wipe_services.h"

namespace form1 {

DWORD ProgressDialogDelayMs = 500;

namespace {

constexpr int kStatusText = 100;
constexpr int kBarSteps = 1000;

// What the worker tells the window, read by the user-interface thread.
struct Progress {
  std::atomic<bool> cancel{false};
  std::atomic<bool> finished{false};
  std::atomic<int> filesDone{0};
  std::atomic<uint64_t> bytesDone{0};
  std::atomic<uint64_t> bytesTotal{0};  // the worker adds it up while the dialog may show
  int fileCount = 0;
  std::mutex mutex;
  std::wstring current;       // guarded by mutex
  const wchar_t* step = L"";  // guarded by mutex: what is done to it, unless overwritten
  bool wipe = false;          // a free-space wipe: bytes of the free space, speed, time left
  DWORD started = 0;
};

class WipeProgressMonitor : public shred::WipeMonitor {
 public:
  explicit WipeProgressMonitor(Progress& progress) : progress_(progress) {}
  bool CancelRequested() override { return progress_.cancel; }
  void Written(uint64_t bytes, uint64_t freeBefore) override {
    progress_.bytesTotal = freeBefore;
    progress_.bytesDone = bytes;
  }

 private:
  Progress& progress_;
};

constexpr wchar_t kCheckingStep[] = L"正在校验：";
constexpr wchar_t kDeletingStep[] = L"正在删除：";

class WorkerMonitor : public shred::ShredMonitor {
 public:
  WorkerMonitor(Progress& progress, std::vector<uint64_t> sizes, bool readBack)
      : progress_(progress), tally_(std::move(sizes), readBack) {
    progress_.bytesTotal = tally_.Total();
  }
  bool CancelRequested() override { return progress_.cancel; }
  void Overwriting(int index, const std::wstring& path) override {
    progress_.bytesDone = tally_.Start(index);
    progress_.filesDone = index;
    current_ = index;
    path_ = path;
    Show(L"");
  }
  void Overwritten(uint64_t bytes) override {
    progress_.bytesDone = tally_.Written(bytes);
    Show(L"");
  }
  void ReadBack(uint64_t bytes) override {
    progress_.bytesDone = tally_.ReadBack(bytes);
    Show(kCheckingStep);
  }
  void Deleting(int, const std::wstring& path) override {
    // The overwrite pass is over: the file it was on when a cancel came is
    // not done.
    progress_.filesDone = current_ + (progress_.cancel ? 0 : 1);
    path_ = path;
    Show(kDeletingStep);
  }

 private:
  void Show(const wchar_t* step) {
    std::lock_guard<std::mutex> lock(progress_.mutex);
    progress_.current = path_;
    progress_.step = step;
  }
  Progress& progress_;
  std::wstring path_;
  shred::ProgressTally tally_;
  int current_ = -1;  // the file the overwrite pass is on
};

// The bin's two runs (data, then records) count files as they come.
class BinMonitor : public shred::ShredMonitor {
 public:
  explicit BinMonitor(Progress& progress) : progress_(progress) {}
  bool CancelRequested() override { return progress_.cancel; }
  void Overwriting(int, const std::wstring& path) override {
    std::lock_guard<std::mutex> lock(progress_.mutex);
    progress_.current = path;
    progress_.step = L"";
  }
  void Deleting(int, const std::wstring& path) override {
    ++progress_.filesDone;
    std::lock_guard<std::mutex> lock(progress_.mutex);
    progress_.current = path;
    progress_.step = kDeletingStep;
  }

 private:
  Progress& progress_;
};

void Work(shred::ShredJob& job, Progress& progress) {
  WorkerMonitor monitor(progress, shred::EntrySizes(job.entries), job.verify);
  shred::Win32ShredServices files;
  shred::ShredFiles(job, files, monitor);
  // What Windows keeps of the files it shredded goes on the same thread.
  if (!job.keepTraces) {
    shred::Win32TraceServices traces;
    job.traces = shred::ClearRecentTraces(shred::ShreddedPlaces(job), files, traces);
  }
}

// ---- the dialog ------------------------------------------------------------------

// An in-memory dialog template: DLGTEMPLATE and its items, WORD-aligned
// strings, DWORD-aligned items.
class DialogTemplate {
 public:
  DialogTemplate(const wchar_t* title, short width, short height) {
    Add<DWORD>(DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    Add<DWORD>(0);
    countAt_ = words_.size();
    Add<WORD>(0);
    Add<short>(0);
    Add<short>(0);
    Add<short>(width);
    Add<short>(height);
    Add<WORD>(0);  // no menu
    Add<WORD>(0);  // the dialog class
    AddText(title);
    Add<WORD>(9);
    AddText(L"宋体");
  }
  void AddItem(const wchar_t* className, WORD classAtom, const wchar_t* text, DWORD style, short x,
               short y, short w, short h, WORD id) {
    while (words_.size() % 2) words_.push_back(0);  // DWORD alignment
    Add<DWORD>(style | WS_CHILD | WS_VISIBLE);
    Add<DWORD>(0);
    Add<short>(x);
    Add<short>(y);
    Add<short>(w);
    Add<short>(h);
    Add<WORD>(id);
    if (className) {
      AddText(className);
    } else {
      Add<WORD>(0xFFFF);
      Add<WORD>(classAtom);
    }
    AddText(text);
    Add<WORD>(0);  // no creation data
    ++words_[countAt_];
  }
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  template <typename T>
  void Add(T value) {
    WORD parts[sizeof(T) / sizeof(WORD)];
    memcpy(parts, &value, sizeof value);
    words_.insert(words_.end(), std::begin(parts), std::end(parts));
  }
  void AddText(const wchar_t* text) {
    for (; *text; ++text) words_.push_back(WORD(*text));
    words_.push_back(0);
  }
  std::vector<WORD> words_;
  size_t countAt_ = 0;
};

void RequestCancel(HWND dialog) {
  auto* progress = reinterpret_cast<Progress*>(GetWindowLongPtrW(dialog, DWLP_USER));
  progress->cancel = true;
  EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
  SetDlgItemTextW(dialog, kStatusText, L"正在取消…");
}

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      SendDlgItemMessageW(dialog, kProgressBar, PBM_SETRANGE32, 0, kBarSteps);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) RequestCancel(dialog);
      return TRUE;
    case WM_CLOSE:
      RequestCancel(dialog);
      return TRUE;
  }
  return FALSE;
}

HWND CreateProgressDialog(HWND owner, Progress& progress) {
  DialogTemplate t(progress.wipe ? kWipeProgressTitle : kProgressTitle, 280, 82);
  t.AddItem(nullptr, 0x0082, progress.wipe ? L"正在清除剩余空间：" : L"正在粉碎：",
            SS_LEFT | SS_NOPREFIX, 7, 7, 266, 9, kStatusText);
  t.AddItem(nullptr, 0x0082, L"", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, 7, 18, 266, 9,
            kProgressFileText);
  t.AddItem(nullptr, 0x0082, L"", SS_LEFT | SS_NOPREFIX, 7, 30, 266, 9, kProgressCountText);
  t.AddItem(PROGRESS_CLASSW, 0, L"", WS_BORDER, 7, 42, 266, 10, kProgressBar);
  t.AddItem(nullptr, 0x0080, L"取消", BS_PUSHBUTTON | WS_TABSTOP, 115, 60, 50, 15, IDCANCEL);
  HWND dialog =
      CreateDialogIndirectParamW(HINSTANCE(GetWindowLongPtrW(owner, GWLP_HINSTANCE)), t.get(),
                                 owner, ProgressDialogProc, reinterpret_cast<LPARAM>(&progress));
  ShowWindow(dialog, SW_SHOW);
  return dialog;
}

// What the dialog shows last, so that unchanged texts are not set again.
struct Shown {
  std::wstring file, count;
  int bar = -1;
};

void UpdateProgressDialog(HWND dialog, Progress& progress, Shown& shown) {
  std::wstring file;
  {
    std::lock_guard<std::mutex> lock(progress.mutex);
    file = progress.step + progress.current;
  }
  if (file != shown.file) SetDlgItemTextW(dialog, kProgressFileText, (shown.file = file).c_str());

  const uint64_t bytes = progress.bytesDone;
  const uint64_t total = progress.bytesTotal;
  const std::wstring count =
      progress.wipe ? shred::WipeProgressLine(bytes, total,
                                              double(GetTickCount() - progress.started) / 1000.0)
                    : shred::ShredCountText(progress.filesDone, progress.fileCount, bytes, total);
  if (count != shown.count)
    SetDlgItemTextW(dialog, kProgressCountText, (shown.count = count).c_str());

  const int bar = total ? int(bytes * kBarSteps / total)
                        : progress.filesDone * kBarSteps / std::max(1, progress.fileCount);
  if (bar != shown.bar) SendDlgItemMessageW(dialog, kProgressBar, PBM_SETPOS, shown.bar = bar, 0);
}

Progress* running = nullptr;  // the run in progress, on the user-interface thread

}  // namespace

void CancelShredInProgress() {
  if (running) running->cancel = true;
}

bool ShredInProgress() { return running != nullptr; }

namespace {

// Runs `work` on a worker thread with the owner disabled, showing the
// progress dialog once `dialogDelayMs` have passed; false when the work
// could not start or ran out of memory.
bool RunWithProgress(HWND owner, Progress& progress, const std::function<void()>& work,
                     DWORD dialogDelayMs) {
  static const bool controlsReady = [] {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    return InitCommonControlsEx(&controls) != 0;
  }();
  (void)controlsReady;

  progress.started = GetTickCount();
  std::atomic<bool> failed{false};
  EnableWindow(owner, FALSE);  // no other command runs meanwhile
  std::thread worker;
  try {
    worker = std::thread([&] {
      try {
        work();
      } catch (...) {  // out of memory: the job says how far it got
        failed = true;
      }
      progress.finished = true;
      PostMessageW(owner, WM_NULL, 0, 0);  // wakes the loop below
    });
  } catch (const std::system_error&) {
    EnableWindow(owner, TRUE);
    return false;
  }
  running = &progress;

  const DWORD start = GetTickCount();
  HWND dialog = nullptr;
  Shown shown;
  bool quit = false;
  int quitCode = 0;
  while (!progress.finished) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quit = true;  // handed back to the main loop after the run
        quitCode = int(message.wParam);
        continue;
      }
      if (dialog && IsDialogMessageW(dialog, &message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (!dialog && GetTickCount() - start >= dialogDelayMs && !progress.finished) {
      dialog = CreateProgressDialog(owner, progress);
    }
    if (dialog) UpdateProgressDialog(dialog, progress, shown);
  }
  worker.join();
  running = nullptr;

  // The owner is enabled before the dialog goes, so that it takes the
  // activation back.
  EnableWindow(owner, TRUE);
  if (dialog) DestroyWindow(dialog);
  SetForegroundWindow(owner);
  if (quit) PostQuitMessage(quitCode);
  return !failed;
}

}  // namespace

bool RunShredWithProgress(HWND owner, shred::ShredJob& job, DWORD dialogDelayMs) {
  Progress progress;
  progress.fileCount = int(job.entries.size());
  return RunWithProgress(
      owner, progress, [&] { Work(job, progress); }, dialogDelayMs);
}

bool RunBinWithProgress(HWND owner, const std::vector<shred::BinItem>& items,
                        std::vector<shred::BinOutcome>& outcomes, bool verify,
                        shred::TracesResult* traces, DWORD dialogDelayMs) {
  Progress progress;
  for (const shred::BinItem& item : items)
    progress.fileCount += int(item.files.size()) + (item.record.empty() ? 0 : 1);
  return RunWithProgress(
      owner, progress,
      [&] {
        shred::Win32ShredServices services;
        BinMonitor monitor(progress);
        outcomes = shred::ShredBinItems(items, services, monitor, verify);
        if (traces) {
          shred::Win32TraceServices recent;
          *traces = shred::ClearRecentTraces(shred::ShreddedPlaces(outcomes), services, recent,
                                             shred::HoldsFolder(items));
        }
      },
      dialogDelayMs);
}

bool RunWipeWithProgress(HWND owner, const std::wstring& root, shred::WipeResult& result,
                         DWORD dialogDelayMs) {
  Progress progress;
  progress.wipe = true;
  progress.current = L"驱动器 " + root.substr(0, 2);
  return RunWithProgress(
      owner, progress,
      [&] {
        shred::Win32WipeServices services;
        WipeProgressMonitor monitor(progress);
        result = shred::WipeFreeSpace(root, services, monitor);
      },
      dialogDelayMs);
}

}  // namespace form1
