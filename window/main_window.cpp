#include "window/main_window.h"

#include <commdlg.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "engine/certificate.h"
#include "engine/folder_walk.h"
#include "engine/maker.h"
#include "engine/win32/handle_owner.h"
#include "engine/win32/prompts.h"
#include "engine/win32/record.h"
#include "engine/win32/recycle_bin.h"
#include "engine/win32/shred_services.h"
#include "engine/win32/wipe_services.h"
#include "skin/gdi_guards.h"
#include "skin/skin.h"
#include "skin/window_dpi.h"
#include "window/drive_list.h"
#include "window/file_list.h"
#include "window/folder_list.h"
#include "window/form1_layout.h"
#include "window/hand_cursor.h"
#include "window/listbox_shred_list.h"
#include "window/shred_progress.h"

namespace form1 {

namespace {

constexpr int kFolderRowHeight = 16;
constexpr COLORREF kLinkColour = 0x000080;
constexpr wchar_t kBrowseTitle[] = L"提示";
constexpr wchar_t kRunFailedText[] = L"内存不足，粉碎未能进行到底。";
constexpr int kMaxPathText = 32767;
constexpr wchar_t kWipeMenuText[] = L"清除磁盘剩余空间…";
constexpr wchar_t kBinMenuText[] = L"粉碎回收站…";
constexpr wchar_t kSaveRecordMenuText[] = L"保存粉碎记录…";
constexpr wchar_t kSaveCertificateMenuText[] = L"保存粉碎证书…";
constexpr wchar_t kVerifyMenuText[] = L"粉碎后校验";
constexpr wchar_t kKeepTracesMenuText[] = L"保留最近使用记录";
constexpr wchar_t kPathTooLongText[] = L"路径过长（最多 32767 个字符），未加入列表。";

struct Label {
  const ControlSpec* spec;
  RECT rect;  // left and top fixed, size follows the text
  std::wstring text;
  int borderStyle;  // 0 none, 1 a one-pixel frame
};

struct Form1State {
  HWND form = nullptr;
  UINT dpi = 96;  // the window's dots per inch: the layout's twips are scaled to it
  gdi::Font fonts[4];
  HCURSOR hand = nullptr;
  Label labels[3]{};
  FolderListData folders;
  FileListData files;
  unsigned heldButtons = 0;          // mouse buttons pressed over Label2 and not yet released
  bool closeAfterRun = false;        // the window was closed while a shred run was going
  bool shredding = false;            // from the confirmation to the closing message
  bool enterPressedOnShred = false;  // Enter went down on the Shred button
  std::vector<std::wstring> arrivedDuringRun;      // handed over meanwhile
  std::vector<shred::WalkedFolder> handedFolders;  // handed over whole: removed after a run
  std::string lastRecord;  // the record of the last run, wipe or bin run, for 保存粉碎记录…
  std::string savedHash;   // its SHA-256 once 保存粉碎记录… wrote it, for the certificate
  bool verify = false;     // 粉碎后校验: runs read every overwritten range back
  bool keepTraces = false;  // 保留最近使用记录: Recent shortcuts of shredded files stay

  HWND Control(int id) const { return GetDlgItem(form, id); }
  // A length of the layout (pixels at 96 dots per inch, twips / 15) at the
  // window's dots per inch.
  int Scale(int length) const { return skin::ScaleForDpi(length, dpi); }
  HFONT Font(FontId id) const { return fonts[int(id)].get(); }
  Label* FindLabel(const wchar_t* name) {
    for (Label& label : labels) {
      if (wcscmp(label.spec->name, name) == 0) return &label;
    }
    return nullptr;
  }
};

Form1State* StateOf(HWND form) {
  return reinterpret_cast<Form1State*>(GetWindowLongPtrW(form, GWLP_USERDATA));
}

std::wstring WindowText(HWND window) {
  std::wstring text(size_t(GetWindowTextLengthW(window)), L'\0');
  if (!text.empty()) GetWindowTextW(window, text.data(), int(text.size()) + 1);
  text.resize(wcsnlen(text.c_str(), text.size()));
  return text;
}

void ShowBrowseMessage(Form1State& s, const std::wstring& text) {
  MessageBoxW(s.form, text.c_str(), kBrowseTitle, MB_OK | MB_ICONWARNING);
}

// Adds the paths in order as the Add button would; says so when the list
// fills up before all of them are in.
void AddPaths(Form1State& s, const std::vector<std::wstring>& paths) {
  const HWND box = s.Control(kList1);
  shred::ListBoxShredList list(box);
  // A visible list box repaints after every entry (milliseconds each under
  // Wine): a dropped folder of thousands of files is drawn once, at the end.
  SendMessageW(box, WM_SETREDRAW, FALSE, 0);
  size_t added = 0;
  while (added < paths.size() && shred::AddEntry(list, paths[added])) ++added;
  SendMessageW(box, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(box, nullptr, TRUE);
  if (added == paths.size()) return;
  std::wstring text = shred::kListFullText;
  if (paths.size() > 1)
    text += L"\r\n另有 " + std::to_wstring(paths.size() - added) + L" 项未加入。";
  ShowBrowseMessage(s, text);
}

// ---- labels ----------------------------------------------------------------

void SizeLabel(Form1State& s, Label& label) {
  SIZE extent{};
  gdi::WindowDC screen = gdi::WindowDC::Client(nullptr);
  {
    const gdi::Selection font(screen, s.Font(label.spec->font));
    GetTextExtentPoint32W(screen, label.text.c_str(), int(label.text.size()), &extent);
  }
  const int left = s.Scale(label.spec->left), top = s.Scale(label.spec->top);
  label.rect = {left, top, left + extent.cx, top + extent.cy};
}

void SetLabelBorderStyle(Form1State& s, Label& label, int style) {
  label.borderStyle = style;
  InvalidateRect(s.form, &label.rect, TRUE);
}

void PaintLabels(Form1State& s, HDC dc) {
  SetBkMode(dc, TRANSPARENT);
  for (const Label& label : s.labels) {
    const gdi::Selection font(dc, s.Font(label.spec->font));
    SetTextColor(dc, label.spec->font == FontId::LinkUnderlined ? kLinkColour
                                                                : GetSysColor(COLOR_WINDOWTEXT));
    TextOutW(dc, label.rect.left, label.rect.top, label.text.c_str(), int(label.text.size()));
    if (label.borderStyle == 1) FrameRect(dc, &label.rect, HBRUSH(GetStockObject(BLACK_BRUSH)));
  }
}

// ---- browsing ----------------------------------------------------------------

void Dir1_Change(Form1State& s);

// Dir1.Path := path; raises Dir1's Change when the path changes.
bool SetDir1Path(Form1State& s, const std::wstring& path) {
  const std::wstring before = s.folders.path;
  if (!SetFolderListPath(s.Control(kDir1), s.folders, path)) return false;
  if (s.folders.path != before) Dir1_Change(s);
  return true;
}

void OpenSelectedFolder(Form1State& s) {
  const int index = int(SendMessageW(s.Control(kDir1), LB_GETCURSEL, 0, 0));
  const std::wstring path = FolderEntryPath(s.folders, index);
  if (path.empty()) return;
  if (!SetDir1Path(s, path)) {
    ShowBrowseMessage(s, L"无法打开这个文件夹：\r\n" + path);
    SendMessageW(s.Control(kDir1), LB_SETCURSEL, s.folders.current, 0);
  }
}

// ---- handlers ------------------------------------------------------------------

// Where the skin engine attaches; nothing else runs at load.
void Form_Load(Form1State& s) { SkinWindow(s.form); }

void Drive1_Change(Form1State& s) {
  const std::wstring drive = SelectedDrive(s.Control(kDrive1)).substr(0, 2);
  if (SetDir1Path(s, drive)) return;
  ShowBrowseMessage(s, L"驱动器 " + drive + L" 未就绪或无法读取。");
  if (!s.folders.path.empty()) SelectDriveLetter(s.Control(kDrive1), s.folders.path[0]);
}

void Dir1_Change(Form1State& s) {
  if (!SetFileListPath(s.Control(kFile1), s.files, s.folders.path)) {
    ShowBrowseMessage(s, L"无法读取这个文件夹中的文件：\r\n" + s.folders.path);
  }
}

void File1_Click(Form1State& s) {
  const std::wstring text = s.files.path + L"\\" + SelectedFileName(s.Control(kFile1), s.files);
  SetWindowTextW(s.Control(kText1), text.c_str());
}

void Command1_Click(Form1State& s) {
  const std::wstring text = WindowText(s.Control(kText1));
  if (text.size() > size_t(kMaxPathText)) {
    ShowBrowseMessage(s, kPathTooLongText);
    return;
  }
  AddPaths(s, {text});
}

void Label2_Click(Form1State& s) {
  if (s.shredding) return;  // the list belongs to the run until its report is dismissed
  shred::ListBoxShredList list(s.Control(kList1));
  shred::RemoveSelectedEntry(list);
}

void Label2_MouseDown(Form1State& s) { SetLabelBorderStyle(s, *s.FindLabel(L"Label2"), 1); }

void Label2_MouseUp(Form1State& s) { SetLabelBorderStyle(s, *s.FindLabel(L"Label2"), 0); }

// Paths handed over by Explorer, the command line or a drop: a folder stands
// for its files. From the confirmation to the closing message the list must
// stay as the user confirmed it: what arrives meanwhile waits.
void AddHandedPaths(Form1State& s, const std::vector<std::wstring>& paths) {
  if (s.shredding) {
    s.arrivedDuringRun.insert(s.arrivedDuringRun.end(), paths.begin(), paths.end());
    return;
  }
  std::vector<shred::WalkNote> notes;
  AddPaths(s, shred::ExpandFolders(paths, true, notes, false, nullptr, nullptr, &s.handedFolders));
  if (notes.empty()) return;
  std::wstring text = L"以下路径未加入列表：";
  for (size_t i = 0; i < notes.size() && i < 10; ++i)
    text += L"\r\n" + notes[i].path + L"：" + notes[i].reason;
  if (notes.size() > 10) text += L"\r\n…";
  ShowBrowseMessage(s, text);
}

// The record of what was just done, for 保存粉碎记录…, which it enables.
void KeepRecord(Form1State& s, std::string record) {
  s.lastRecord = std::move(record);
  s.savedHash.clear();
  for (const UINT command : {kSaveRecordCommand, kSaveCertificateCommand})
    EnableMenuItem(GetSystemMenu(s.form, FALSE), command, MF_BYCOMMAND | MF_ENABLED);
}

// The record, or its certificate, written whole or not at all; the record's
// hash kept once it is written, for the certificate to name.
shred::Reason SaveRecordAs(Form1State& s, const std::wstring& path, bool certificate) {
  if (certificate)
    return shred::WriteRecordFile(path, shred::CertificateHtml(s.lastRecord, s.savedHash));
  const shred::Reason reason = shred::WriteRecordFile(path, s.lastRecord);
  if (reason == shred::Reason::None) s.savedHash = shred::Sha256Hex(s.lastRecord);
  return reason;
}

void Command2_Click(Form1State& s) {
  shred::ListBoxShredList list(s.Control(kList1));
  shred::Win32Prompts prompts(s.form);
  shred::ShredJob job;
  // Disabling the window for the run takes the focus away: it comes back.
  const HWND focus = GetFocus();
  s.shredding = true;
  if (shred::PrepareShred(list, prompts, job)) {
    const uint64_t started = shred::RecordClock();
    job.folders = std::exchange(s.handedFolders, {});
    job.verify = s.verify;
    job.keepTraces = s.keepTraces;
    // Nobody cancelled when the worker could not run: the closing message
    // says the run stopped short, not that it was cancelled.
    if (!RunShredWithProgress(s.form, job, ProgressDialogDelayMs)) {
      prompts.ShowMessage(kRunFailedText, shred::kInfoTitle, shred::MessageKind::Warning);
    }
    job.closing = s.closeAfterRun;
    const shred::RecordContext context = shred::GatherRecordContext(started, shred::RootsOf(job));
    job.mediaNote = shred::MediaNoteFor(job, context.volumes);
    KeepRecord(s, shred::ShredRecord(context, job));
    // A run that did not go through keeps them for the next.
    if ((job.folderResults.empty() || job.cancelled) && !job.closing) s.handedFolders = job.folders;
    shred::FinishShred(list, prompts, job);
  }
  s.shredding = false;
  if (s.closeAfterRun) {
    PostMessageW(s.form, WM_CLOSE, 0, 0);
    return;
  }
  if (focus && IsWindow(focus)) SetFocus(focus);
  if (!s.arrivedDuringRun.empty()) AddHandedPaths(s, std::exchange(s.arrivedDuringRun, {}));
}

// The system menu's "清除磁盘剩余空间…": the free space of the drive selected
// in the drive list, after a confirmation that names it and its free space.
// Like a shred run, it owns the window until its report is dismissed.
void Form_WipeFreeSpace(Form1State& s, const std::wstring& root) {
  shred::Win32Prompts boxes(s.form);
  const std::wstring refusal = shred::RefuseWipe(root, shred::QueryDrive(root));
  if (!refusal.empty()) {
    boxes.ShowMessage(root.substr(0, 2) + L" " + refusal, shred::kInfoTitle,
                      shred::MessageKind::Warning);
    return;
  }
  ULARGE_INTEGER free{};
  GetDiskFreeSpaceExW(root.c_str(), &free, nullptr, nullptr);
  s.shredding = true;
  const std::wstring question =
      L"将清除驱动器 " + root.substr(0, 2) + L" 的剩余空间（约 " +
      std::to_wstring(free.QuadPart >> 20) +
      L" MB）：用随机数据填满后删除，已删除文件的残留内容将无法恢复，现有文件不受影响。"
      L"清除期间该磁盘会暂时被占满。\r\n确定开始吗？";
  if (boxes.ShowMessage(question, shred::kConfirmTitle, shred::MessageKind::Confirm)) {
    shred::WipeResult result;
    const uint64_t started = shred::RecordClock();
    const bool ran = RunWipeWithProgress(s.form, root, result, ProgressDialogDelayMs);
    KeepRecord(s, shred::WipeRecord(shred::GatherRecordContext(started, {root}), root, result));
    std::wstring report = shred::WipeReport(root, result);
    if (!ran) report = std::wstring(kRunFailedText) + L"\r\n" + report;
    if (s.closeAfterRun) report += L"\r\n窗口将关闭。";
    boxes.ShowMessage(report, shred::kInfoTitle,
                      result.Complete() ? shred::MessageKind::Info : shred::MessageKind::Warning);
  }
  s.shredding = false;
  if (s.closeAfterRun) PostMessageW(s.form, WM_CLOSE, 0, 0);
}

// The system menu's "粉碎回收站…" (and the Recycle Bin's own menu entry):
// the user's items on the given drives, or on every fixed and removable
// drive, after a confirmation that says how many and how large. Like a
// shred run, it owns the window until its report is dismissed.
void Form_ShredRecycleBin(Form1State& s, const std::vector<std::wstring>& roots) {
  shred::Win32Prompts boxes(s.form);
  s.shredding = true;
  std::vector<shred::BinOutcome> unread;  // bins that could not be looked into
  const std::vector<shred::BinItem> items =
      shred::ReadRecycleBins(roots, shred::CurrentUserSid(), &unread);
  const auto joined = [](const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (const std::wstring& line : lines) text += (text.empty() ? L"" : L"\r\n") + line;
    return text;
  };
  if (items.empty()) {
    boxes.ShowMessage(joined(shred::BinLines({}, {}, unread)), shred::kInfoTitle,
                      unread.empty() ? shred::MessageKind::Info : shred::MessageKind::Warning);
  } else {
    const uint64_t bytes = shred::BinBytes(items);
    const std::wstring question = L"将粉碎回收站中的 " + std::to_wstring(items.size()) +
                                  L" 项（约 " + std::to_wstring(bytes >> 20) +
                                  L" MB）：内容用随机数据覆盖后删除，无法再还原。\r\n确定开始吗？";
    if (boxes.ShowMessage(question, shred::kConfirmTitle, shred::MessageKind::Confirm)) {
      std::vector<shred::BinOutcome> outcomes;
      const uint64_t started = shred::RecordClock();
      shred::TracesResult traces;
      const bool ran = RunBinWithProgress(s.form, items, outcomes, s.verify,
                                          s.keepTraces ? nullptr : &traces, ProgressDialogDelayMs);
      KeepRecord(s, shred::BinRecord(shred::GatherRecordContext(started, shred::RootsOf(items)),
                                     outcomes, s.verify, traces, unread));
      shred::NotifyRecycleBinChanged(items);
      std::wstring report = joined(shred::BinLines(outcomes, traces, unread));
      bool all = ran && unread.empty();
      for (const shred::BinOutcome& outcome : outcomes) all = all && outcome.shredded;
      all = all && shred::TraceFailureLines(traces).empty();
      if (!ran) report = std::wstring(kRunFailedText) + L"\r\n" + report;
      if (s.closeAfterRun) report += L"\r\n窗口将关闭。";
      boxes.ShowMessage(report, shred::kInfoTitle,
                        all ? shred::MessageKind::Info : shred::MessageKind::Warning);
    }
  }
  s.shredding = false;
  if (s.closeAfterRun) PostMessageW(s.form, WM_CLOSE, 0, 0);
}

// The system menu's "粉碎后校验": on or off for the runs that follow (the
// one going on keeps what it started with).
void Form_ToggleVerify(Form1State& s) {
  s.verify = !s.verify;
  CheckMenuItem(GetSystemMenu(s.form, FALSE), kVerifyCommand,
                MF_BYCOMMAND | (s.verify ? MF_CHECKED : MF_UNCHECKED));
}

// The system menu's "保留最近使用记录": the runs that follow leave the Recent
// shortcuts and Explorer's list of what they shred as they are. Off at every
// start.
void Form_ToggleKeepTraces(Form1State& s) {
  s.keepTraces = !s.keepTraces;
  CheckMenuItem(GetSystemMenu(s.form, FALSE), kKeepTracesCommand,
                MF_BYCOMMAND | (s.keepTraces ? MF_CHECKED : MF_UNCHECKED));
}

// The system menu's "保存粉碎记录…" and "保存粉碎证书…": the standard Save
// dialog, then the file written whole or not at all.
void Form_SaveRecord(Form1State& s, bool certificate) {
  if (s.lastRecord.empty()) return;
  std::wstring path(32768, L'\0');
  const std::wstring name = certificate ? L"Tarvello 粉碎证书.html" : L"Tarvello 粉碎记录.json";
  std::copy(name.begin(), name.end(), path.begin());
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = s.form;
  dialog.lpstrFilter = certificate ? L"粉碎证书 (*.html)\0*.html\0所有文件 (*.*)\0*.*\0"
                                   : L"JSON 记录 (*.json)\0*.json\0所有文件 (*.*)\0*.*\0";
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = DWORD(path.size());
  dialog.lpstrDefExt = certificate ? L"html" : L"json";
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameW(&dialog)) return;
  path.resize(wcslen(path.c_str()));
  const shred::Reason reason = SaveRecordAs(s, path, certificate);
  if (reason != shred::Reason::None) {
    shred::Win32Prompts(s.form).ShowMessage(
        std::wstring(certificate ? L"粉碎证书未能写入：" : L"粉碎记录未能写入：") + path + L"（" +
            shred::ReasonText(reason, shred::LastUnmappedError()) + L"）",
        shred::kInfoTitle, shred::MessageKind::Warning);
  }
}

// Files dragged onto the window join the list in the order given, each as
// the Add button would add it.
void Form_DragDrop(Form1State& s, HDROP drop) {
  std::vector<std::wstring> paths(DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0));
  for (UINT i = 0; i < paths.size(); ++i) {
    paths[i].resize(DragQueryFileW(drop, i, nullptr, 0));
    DragQueryFileW(drop, i, paths[i].data(), UINT(paths[i].size()) + 1);
  }
  DragFinish(drop);
  AddHandedPaths(s, paths);
}

bool Form_CopyData(Form1State& s, const COPYDATASTRUCT& data) {
  if (data.dwData != kCopyDataPaths || data.cbData % sizeof(wchar_t)) return false;
  const auto* text = static_cast<const wchar_t*>(data.lpData);
  const size_t length = data.cbData / sizeof(wchar_t);
  std::vector<std::wstring> paths;
  for (size_t at = 0; at < length;) {
    const size_t end = std::find(text + at, text + length, L'\0') - text;
    paths.emplace_back(text + at, end - at);
    at = end + 1;
  }
  AddHandedPaths(s, paths);
  if (IsIconic(s.form)) ShowWindow(s.form, SW_RESTORE);
  SetForegroundWindow(s.form);
  return true;
}

void Command3_Click(Form1State&) {
  // The system's own cmd.exe by its full path, never one found on the search
  // path (the program's folder or the current one come first there).
  wchar_t system[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  const std::wstring cmd = std::wstring(system) + L"\\cmd.exe";
  std::wstring commandLine = WebPageCommandLine();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWMINIMIZED;
  PROCESS_INFORMATION process{};
  if (CreateProcessW(cmd.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &process)) {
    // Not waited for: both handles go at once.
    const handles::Kernel thread(process.hThread), child(process.hProcess);
  }
}

// ---- creation ------------------------------------------------------------------

gdi::Font MakeFont(int tenthsOfPoint, int weight, bool underline, UINT dpi) {
  const int height = -MulDiv(tenthsOfPoint, int(dpi), 720);
  return gdi::Font(CreateFontW(height, 0, 0, 0, weight, FALSE, underline, FALSE, GB2312_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               DEFAULT_PITCH | FF_DONTCARE, L"宋体"));
}

void MakeFonts(Form1State& s) {
  s.fonts[int(FontId::Window)] = MakeFont(90, FW_NORMAL, false, s.dpi);
  s.fonts[int(FontId::ButtonBold)] = MakeFont(105, FW_BOLD, false, s.dpi);
  s.fonts[int(FontId::LinkUnderlined)] = MakeFont(105, FW_NORMAL, true, s.dpi);
  s.fonts[int(FontId::Title)] = MakeFont(120, FW_NORMAL, false, s.dpi);
}

// A control's font and the heights that follow from it: a new font resets a
// list's row height and a drop-down's field height.
void FitControlToFont(Form1State& s, HWND window, const ControlSpec& c) {
  SendMessageW(window, WM_SETFONT, WPARAM(s.Font(c.font)), FALSE);
  if (c.kind == ControlKind::ListBox || c.kind == ControlKind::FileList) {
    SendMessageW(window, LB_SETITEMHEIGHT, 0, s.Scale(kListRowHeight));
  } else if (c.kind == ControlKind::FolderList) {
    SendMessageW(window, LB_SETITEMHEIGHT, 0, s.Scale(kFolderRowHeight));
  } else if (c.kind == ControlKind::DriveList) {
    FitDriveListHeight(window, s.Scale(c.height));
  }
}

HWND CreateControl(Form1State& s, const ControlSpec& spec) {
  const HINSTANCE instance = HINSTANCE(GetWindowLongPtrW(s.form, GWLP_HINSTANCE));
  const DWORD common = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP;
  // The table's place and size at the window's dots per inch.
  ControlSpec c = spec;
  c.left = s.Scale(spec.left);
  c.top = s.Scale(spec.top);
  c.width = s.Scale(spec.width);
  c.height = s.Scale(spec.height);
  HWND window = nullptr;
  switch (c.kind) {
    case ControlKind::CommandButton:
      window = CreateWindowExW(0, L"Button", c.caption, common | BS_PUSHBUTTON, c.left, c.top,
                               c.width, c.height, s.form, HMENU(INT_PTR(c.id)), instance, nullptr);
      break;
    case ControlKind::TextBox:
      window =
          CreateWindowExW(0, L"Edit", c.caption, common | WS_BORDER | ES_AUTOHSCROLL, c.left, c.top,
                          c.width, c.height, s.form, HMENU(INT_PTR(c.id)), instance, nullptr);
      // A path holds up to 32,767 characters; one more shows that the text
      // is too long rather than cutting it to another, shorter path.
      SendMessageW(window, EM_SETLIMITTEXT, kMaxPathText + 1, 0);
      break;
    case ControlKind::ListBox:
      window = CreateWindowExW(0, L"ListBox", nullptr,
                               common | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                               c.left, c.top, c.width, c.height, s.form, HMENU(INT_PTR(c.id)),
                               instance, nullptr);
      break;
    case ControlKind::FileList:
      window = CreateFileList(s.form, c.id, c.left, c.top, c.width, c.height);
      break;
    case ControlKind::FolderList:
      window = CreateFolderList(s.form, c.id, c.left, c.top, c.width, c.height);
      break;
    case ControlKind::DriveList:
      window = CreateDriveList(s.form, c.id, c.left, c.top, c.width, c.height);
      break;
    case ControlKind::Label:
      return nullptr;
  }
  FitControlToFont(s, window, spec);
  return window;
}

void OnCreate(Form1State& s) {
  s.dpi = skin::WindowDpi(s.form);
  s.folders.dpi = s.dpi;
  MakeFonts(s);
  s.hand = CreateHandCursor(HINSTANCE(GetWindowLongPtrW(s.form, GWLP_HINSTANCE)));

  int labelIndex = 0;
  for (const ControlSpec& c : kControls) {
    if (c.kind != ControlKind::Label) {
      CreateControl(s, c);
      continue;
    }
    Label& label = s.labels[labelIndex++];
    label.spec = &c;
    label.text = c.caption
                     ? c.caption
                     : std::wstring(L"作者：") + maker::kAuthor + L"  QQ：" + maker::kContactNumber;
    SizeLabel(s, label);
  }

  // The dialog manager tabs through the children in z-order: put them in
  // tab-index order (creation left them in the table's order).
  for (int tab = 0; tab <= 10; ++tab) {
    for (const ControlSpec& c : kControls) {
      if (c.tabIndex == tab && c.id != 0) {
        SetWindowPos(s.Control(c.id), HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      }
    }
  }

  DragAcceptFiles(s.form, TRUE);

  HMENU system = GetSystemMenu(s.form, FALSE);
  AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(system, MF_STRING, kWipeFreeSpaceCommand, kWipeMenuText);
  AppendMenuW(system, MF_STRING, kShredRecycleBinCommand, kBinMenuText);
  AppendMenuW(system, MF_STRING | MF_GRAYED, kSaveRecordCommand, kSaveRecordMenuText);
  AppendMenuW(system, MF_STRING | MF_GRAYED, kSaveCertificateCommand, kSaveCertificateMenuText);
  AppendMenuW(system, MF_STRING | MF_UNCHECKED, kVerifyCommand, kVerifyMenuText);
  AppendMenuW(system, MF_STRING | MF_UNCHECKED, kKeepTracesCommand, kKeepTracesMenuText);

  // Start on the process's current drive and folder; no handler runs for it.
  wchar_t current[MAX_PATH * 4] = {};
  GetCurrentDirectoryW(DWORD(std::size(current)), current);
  FillDriveList(s.Control(kDrive1), current[0]);
  SetFolderListPath(s.Control(kDir1), s.folders, current);
  SetFileListPath(s.Control(kFile1), s.files, s.folders.path);
}

// The window moved to a screen of another scale (or the scale changed): the
// platform suggests the new outer rectangle; the controls, their fonts and
// the labels follow, at the same size in inches.
void Form_DpiChanged(Form1State& s, UINT dpi, const RECT& suggested) {
  s.dpi = dpi;
  s.folders.dpi = dpi;
  MakeFonts(s);
  SetWindowPos(s.form, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  for (const ControlSpec& c : kControls) {
    if (c.kind == ControlKind::Label) continue;
    const HWND window = s.Control(c.id);
    int height = s.Scale(c.height);
    if (c.kind == ControlKind::DriveList) {
      RECT dropped{};
      SendMessageW(window, CB_GETDROPPEDCONTROLRECT, 0, LPARAM(&dropped));
      RECT closed{};
      GetWindowRect(window, &closed);
      height += (dropped.bottom - dropped.top) - (closed.bottom - closed.top);
    }
    MoveWindow(window, s.Scale(c.left), s.Scale(c.top), s.Scale(c.width), height, TRUE);
    FitControlToFont(s, window, c);
  }
  for (Label& label : s.labels) SizeLabel(s, label);
  InvalidateRect(s.form, nullptr, TRUE);
}

// ---- messages ------------------------------------------------------------------

constexpr unsigned ButtonBit(UINT message) {
  return message == WM_LBUTTONDOWN || message == WM_LBUTTONUP   ? 1u
         : message == WM_RBUTTONDOWN || message == WM_RBUTTONUP ? 2u
                                                                : 4u;
}

void OnMouseButtonDown(Form1State& s, UINT message, POINT at) {
  Label& label2 = *s.FindLabel(L"Label2");
  if (!PtInRect(&label2.rect, at)) return;
  if (s.heldButtons == 0) SetCapture(s.form);
  s.heldButtons |= ButtonBit(message);
  Label2_MouseDown(s);
}

void OnMouseButtonUp(Form1State& s, UINT message, POINT at) {
  const unsigned bit = ButtonBit(message);
  if (!(s.heldButtons & bit)) return;
  s.heldButtons &= ~bit;
  if (s.heldButtons == 0) ReleaseCapture();
  Label2_MouseUp(s);
  if (bit == 1u && PtInRect(&s.FindLabel(L"Label2")->rect, at)) Label2_Click(s);
}

bool OnSetCursor(Form1State& s, HWND over, UINT hitTest) {
  if (over != s.form || hitTest != HTCLIENT) return false;
  POINT at;
  GetCursorPos(&at);
  ScreenToClient(s.form, &at);
  if (!PtInRect(&s.FindLabel(L"Label2")->rect, at)) return false;
  SetCursor(s.hand);
  return true;
}

void OnCommand(Form1State& s, int id, int code) {
  // From the Shred button's click to the report's dismissal the list belongs
  // to the run: clicks sent meanwhile (automation, accessibility tools) do
  // nothing; dropped and handed-over paths wait.
  if (s.shredding && (id == kCommand1 || id == kCommand2 || id == kCommand3 || id == IDOK)) return;
  switch (id) {
    case kCommand1:
      if (code == BN_CLICKED) Command1_Click(s);
      break;
    case kCommand2:
      if (code == BN_CLICKED) Command2_Click(s);
      break;
    case kCommand3:
      if (code == BN_CLICKED) Command3_Click(s);
      break;
    case kDrive1:
      if (code == CBN_SELCHANGE) Drive1_Change(s);
      break;
    case kDir1:
      if (code == LBN_DBLCLK) OpenSelectedFolder(s);
      break;
    case kFile1:
      if (code == LBN_SELCHANGE) File1_Click(s);
      break;
    case IDOK: {  // Enter: opens the folder selected in the folder list, clicks a button
      const HWND focus = GetFocus();
      if (focus == s.Control(kDir1)) {
        OpenSelectedFolder(s);
      } else if (focus == s.Control(kCommand1) || focus == s.Control(kCommand2) ||
                 focus == s.Control(kCommand3)) {
        SendMessageW(focus, BM_CLICK, 0, 0);
      }
      break;
    }
  }
}

// The dialog manager asks the window to move the focus; a plain window's
// default procedure would ignore it.
void OnNextControl(Form1State& s, WPARAM wParam, LPARAM lParam) {
  HWND next = LOWORD(lParam) ? HWND(wParam) : GetNextDlgTabItem(s.form, GetFocus(), wParam != 0);
  if (!next) return;
  SetFocus(next);
  if (SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) {
    SendMessageW(next, EM_SETSEL, 0, -1);
  }
}

bool OnDrawItem(Form1State& s, const DRAWITEMSTRUCT& item) {
  if (item.CtlID == kFile1) {
    DrawFileListItem(item, s.files);
    return true;
  }
  if (item.CtlID == kDir1) {
    DrawFolderListItem(item, s.folders);
    return true;
  }
  if (item.CtlID == kDrive1) {
    DrawDriveListItem(item);
    return true;
  }
  return false;
}

LRESULT CALLBACK Form1WndProc(HWND form, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* state =
        static_cast<Form1State*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    state->form = form;
    SetWindowLongPtrW(form, GWLP_USERDATA, LONG_PTR(state));
  }
  Form1State* s = StateOf(form);
  if (!s) return DefWindowProcW(form, message, wParam, lParam);

  switch (message) {
    case WM_CREATE:
      OnCreate(*s);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(form, &paint);
      PaintLabels(*s, dc);
      EndPaint(form, &paint);
      return 0;
    }
    case WM_COMMAND:
      OnCommand(*s, LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_CLOSE:
    case WM_QUERYENDSESSION:
      // A run in progress stops at its next buffer and reports; the window
      // closes after that.
      if (ShredInProgress()) {
        CancelShredInProgress();
        s->closeAfterRun = true;
        return message == WM_CLOSE ? 0 : FALSE;
      }
      // The confirmation or the report is open: the run's handler is still
      // on the stack and must not find its window gone. It closes after.
      if (s->shredding) {
        s->closeAfterRun = true;
        return message == WM_CLOSE ? 0 : FALSE;
      }
      break;
    case WM_SYSCOMMAND:
      // The low four bits of a system command belong to the system.
      if ((wParam & 0xFFF0) == kWipeFreeSpaceCommand) {
        if (!s->shredding)
          Form_WipeFreeSpace(*s, SelectedDrive(s->Control(kDrive1)).substr(0, 2) + L"\\");
        return 0;
      }
      if ((wParam & 0xFFF0) == kVerifyCommand) {
        Form_ToggleVerify(*s);
        return 0;
      }
      if ((wParam & 0xFFF0) == kKeepTracesCommand) {
        Form_ToggleKeepTraces(*s);
        return 0;
      }
      if ((wParam & 0xFFF0) == kSaveRecordCommand || (wParam & 0xFFF0) == kSaveCertificateCommand) {
        if (!s->shredding) Form_SaveRecord(*s, (wParam & 0xFFF0) == kSaveCertificateCommand);
        return 0;
      }
      if ((wParam & 0xFFF0) == kShredRecycleBinCommand) {
        if (!s->shredding) Form_ShredRecycleBin(*s, {});
        return 0;
      }
      break;
    case WM_DROPFILES:
      Form_DragDrop(*s, HDROP(wParam));
      return 0;
    case WM_COPYDATA:
      return Form_CopyData(*s, *reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_NEXTDLGCTL:
      OnNextControl(*s, wParam, lParam);
      return 0;
    case WM_MEASUREITEM: {
      auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      item->itemHeight = s->Scale(item->CtlID == kDir1 ? kFolderRowHeight : kListRowHeight);
      return TRUE;
    }
    case WM_DRAWITEM:
      if (OnDrawItem(*s, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return TRUE;
      break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      OnMouseButtonDown(*s, message, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      OnMouseButtonUp(*s, message, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return 0;
    case WM_CAPTURECHANGED:
      if (s->heldButtons && HWND(lParam) != form) {
        s->heldButtons = 0;
        Label2_MouseUp(*s);
      }
      return 0;
    case WM_SETCURSOR:
      if (OnSetCursor(*s, HWND(wParam), LOWORD(lParam))) return TRUE;
      break;
    case WM_DPICHANGED:
      Form_DpiChanged(*s, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_NCDESTROY: {
      // Not at WM_DESTROY: the skin consumes that message.
      PostQuitMessage(0);
      // The children are gone: their fonts and the pointer can go too.
      std::unique_ptr<Form1State> owned(s);
      SetWindowLongPtrW(form, GWLP_USERDATA, 0);
      DestroyCursor(owned->hand);
      break;
    }
  }
  return DefWindowProcW(form, message, wParam, lParam);
}

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// The window's outer size for the layout's client area at its dots per inch.
SIZE FrameSize(UINT dpi) {
  RECT frame{0, 0, skin::ScaleForDpi(kClientWidth, dpi), skin::ScaleForDpi(kClientHeight, dpi)};
  using AdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto adjust = reinterpret_cast<AdjustForDpi>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
  if (!adjust || !adjust(&frame, kFormStyle, FALSE, 0, dpi))
    AdjustWindowRectEx(&frame, kFormStyle, FALSE, 0);
  return {frame.right - frame.left, frame.bottom - frame.top};
}

}  // namespace

std::wstring Caption() { return std::wstring(L"TarvelloV1.0 正式版 ") + maker::kWebAddress; }

std::wstring WebPageCommandLine() { return std::wstring(L"cmd /c start ") + maker::kWebAddress; }

HWND CreateForm1(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (!GetClassInfoExW(instance, kClassName, &wc)) {
    // Registered once; the class keeps its icons for the life of the process.
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Form1WndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hIconSm = HICON(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 16, 16, LR_SHARED));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);
  }

  const SIZE frame = FrameSize(96);
  auto state = std::make_unique<Form1State>();
  HWND form =
      CreateWindowExW(0, kClassName, Caption().c_str(), kFormStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                      frame.cx, frame.cy, nullptr, nullptr, instance, state.get());
  if (!form) return nullptr;
  state.release();  // owned by the window from here on, freed at WM_NCDESTROY
  // The layout is at the window's scale from the start: its size too.
  if (const UINT dpi = StateOf(form)->dpi; dpi != 96) {
    const SIZE scaled = FrameSize(dpi);
    SetWindowPos(form, nullptr, 0, 0, scaled.cx, scaled.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  Form_Load(*StateOf(form));
  return form;
}

void DeclareDpiAwareness() {
  // The manifest says it for the programs; a process without one (a test)
  // says it here. Per monitor, version 2 first, then the older forms.
  const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  using SetContext = BOOL(WINAPI*)(HANDLE);
  if (const auto set = reinterpret_cast<SetContext>(
          reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDpiAwarenessContext")))) {
    if (set(HANDLE(-4)) || set(HANDLE(-3))) return;  // per monitor v2, per monitor
  }
  using SetAware = BOOL(WINAPI*)();
  if (const auto aware = reinterpret_cast<SetAware>(
          reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDPIAware"))))
    aware();
}

void ShowForm1(HWND form) {
  RECT window;
  GetWindowRect(form, &window);
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  SetWindowPos(form, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(form, SW_SHOWNORMAL);
  UpdateWindow(form);
  SetFocus(GetDlgItem(form, kList1));
}

void WipeFreeSpaceFromForm1(HWND form, const std::wstring& root) {
  Form1State* s = StateOf(form);
  if (s && !s->shredding) Form_WipeFreeSpace(*s, root);
}

bool SaveRecordFromForm1(HWND form, const std::wstring& path) {
  Form1State* s = StateOf(form);
  return s && !s->lastRecord.empty() && SaveRecordAs(*s, path, false) == shred::Reason::None;
}

bool SaveCertificateFromForm1(HWND form, const std::wstring& path) {
  Form1State* s = StateOf(form);
  return s && !s->lastRecord.empty() && SaveRecordAs(*s, path, true) == shred::Reason::None;
}

void ShredRecycleBinFromForm1(HWND form, const std::vector<std::wstring>& roots) {
  Form1State* s = StateOf(form);
  if (s && !s->shredding) Form_ShredRecycleBin(*s, roots);
}

void AddPathsToForm1(HWND form, const std::vector<std::wstring>& paths) {
  if (Form1State* s = StateOf(form)) AddHandedPaths(*s, paths);
}

HWND FindOpenForm1() { return FindWindowW(kClassName, Caption().c_str()); }

bool SendPathsToForm1(HWND form, const std::vector<std::wstring>& paths) {
  std::wstring text;
  for (const auto& path : paths) text += path + L'\0';
  COPYDATASTRUCT data{kCopyDataPaths, DWORD(text.size() * sizeof(wchar_t)), text.data()};
  // This process was started by the user: it may bring the window forward.
  SetForegroundWindow(form);
  DWORD_PTR taken = 0;
  return SendMessageTimeoutW(form, WM_COPYDATA, 0, LPARAM(&data), SMTO_NORMAL, 60000, &taken) &&
         taken;
}

namespace {

// Keys the dialog manager does not give the window: the Shred button clicks
// when Enter is released, as a push button does for Space, so that a held
// key's repeats never answer the confirmation; Delete in the shred list
// removes the selected entry. True when the key was handled here.
bool OnForm1Key(Form1State& s, const MSG& message) {
  const HWND focus = GetFocus();
  if (message.wParam == VK_RETURN && focus == s.Control(kCommand2)) {
    if (message.message == WM_KEYDOWN) {
      const bool repeat = (message.lParam & (1 << 30)) != 0;
      if (!repeat) s.enterPressedOnShred = true;
      return true;
    }
    if (message.message == WM_KEYUP) {
      if (std::exchange(s.enterPressedOnShred, false)) SendMessageW(focus, BM_CLICK, 0, 0);
      return true;
    }
  }
  if (message.message == WM_KEYDOWN && message.wParam == VK_DELETE && focus == s.Control(kList1)) {
    Label2_Click(s);
    return true;
  }
  return false;
}

}  // namespace

bool IsForm1DialogMessage(HWND form, MSG& message) {
  Form1State* s = StateOf(form);
  if (s && (message.message == WM_KEYDOWN || message.message == WM_KEYUP) &&
      OnForm1Key(*s, message)) {
    return true;
  }
  return IsDialogMessageW(form, &message);
}

HWND Form1Control(HWND form, const wchar_t* name) {
  for (const ControlSpec& c : kControls) {
    if (c.id != 0 && wcscmp(c.name, name) == 0) return GetDlgItem(form, c.id);
  }
  return nullptr;
}

RECT Form1LabelRect(HWND form, const wchar_t* name) {
  Form1State* s = StateOf(form);
  const Label* label = s ? s->FindLabel(name) : nullptr;
  return label ? label->rect : RECT{};
}

int Form1LabelBorderStyle(HWND form, const wchar_t* name) {
  Form1State* s = StateOf(form);
  const Label* label = s ? s->FindLabel(name) : nullptr;
  return label ? label->borderStyle : -1;
}

std::wstring Form1FolderPath(HWND form) {
  Form1State* s = StateOf(form);
  return s ? s->folders.path : std::wstring();
}

std::wstring Form1FilePath(HWND form) {
  Form1State* s = StateOf(form);
  return s ? s->files.path : std::wstring();
}

}  // namespace form1
