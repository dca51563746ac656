// Start-up: "tarvello.exe [PATH...]" opens the window with those paths in the
// shred list, or hands them to the Tarvello window already open;
// "/install" and "/uninstall" add and remove the Explorer entries. Then the
// message loop, with the dialog manager's keyboard handling for the tab order.
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "app/console_print.h"
#include "app/explorer_entries.h"
#include "engine/win32/handle_owner.h"
#include "engine/win32/wipe_services.h"
#include "window/main_window.h"

namespace {

std::vector<std::wstring> Arguments() {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::wstring> arguments;
  for (int i = 1; argv && i < count; ++i) arguments.push_back(argv[i]);
  LocalFree(argv);
  return arguments;
}

std::wstring ProgramPath() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), DWORD(path.size())));
  return path;
}

// Says what it did on the console it was started from, or in a box.
int SetUpExplorer(bool install) {
  bool ok = false;
  const auto done =
      install ? app::InstallExplorerEntries(ProgramPath(), ok) : app::UninstallExplorerEntries(ok);
  std::wstring text;
  for (const auto& line : done) text += (text.empty() ? L"" : L"\r\n") + line;
  if (!app::PrintLine(STD_OUTPUT_HANDLE, text)) {
    MessageBoxW(nullptr, text.c_str(), L"Tarvello",
                MB_OK | (ok ? MB_ICONINFORMATION : MB_ICONWARNING));
  }
  return ok ? 0 : 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // A drive without a medium fails quietly instead of asking the user.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  form1::DeclareDpiAwareness();
  const std::vector<std::wstring> arguments = Arguments();
  if (arguments.size() == 1 && _wcsicmp(arguments[0].c_str(), L"/install") == 0) {
    return SetUpExplorer(true);
  }
  if (arguments.size() == 1 && _wcsicmp(arguments[0].c_str(), L"/uninstall") == 0) {
    return SetUpExplorer(false);
  }

  // One window: Explorer starts a process per selected file, and whichever
  // comes first opens the window that the others hand their paths to. The
  // gate makes "look for the window, else open it" one step.
  const handles::Kernel gate(CreateMutexW(nullptr, FALSE, L"Local\\Tarvello.OneWindow"));
  if (gate.valid()) WaitForSingleObject(gate, 30000);
  // "/recycle" (the Recycle Bin's own menu): the window's confirmation,
  // in the window already open or in a new one.
  const bool recycle = arguments.size() == 1 && _wcsicmp(arguments[0].c_str(), L"/recycle") == 0;
  if (HWND open = form1::FindOpenForm1()) {
    if (recycle) {
      SetForegroundWindow(open);
      const bool posted = PostMessageW(open, WM_SYSCOMMAND, form1::kShredRecycleBinCommand, 0);
      if (gate.valid()) ReleaseMutex(gate);
      return posted ? 0 : 1;
    }
    const bool taken = form1::SendPathsToForm1(open, arguments);
    if (gate.valid()) ReleaseMutex(gate);
    return taken ? 0 : 1;
  }
  HWND form = form1::CreateForm1(instance);
  if (form) {
    if (!recycle) form1::AddPathsToForm1(form, arguments);
    form1::ShowForm1(form);
    if (recycle) PostMessageW(form, WM_SYSCOMMAND, form1::kShredRecycleBinCommand, 0);
  }
  if (gate.valid()) ReleaseMutex(gate);
  if (!form) return 1;

  // The process that opens the window clears what a killed free-space wipe
  // left (its own folder only), once the others may hand their paths over.
  shred::RemoveWipeLeftovers();

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (form1::IsForm1DialogMessage(form, message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return int(message.wParam);
}
