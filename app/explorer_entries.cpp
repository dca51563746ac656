#include "app/explorer_entries.h"

#include <windows.h>

#include <objidl.h>
#include <shlobj.h>

namespace app {

namespace {

std::wstring SendToShortcut() {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_SENDTO, nullptr, SHGFP_TYPE_CURRENT, folder)))
    return {};
  return std::wstring(folder) + L"\\" + kSendToName;
}

bool SetValue(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        DWORD((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// Every verb: its key, its text, and what follows the program on its
// command line.
struct Verb {
  const wchar_t* key;
  const wchar_t* text;
  const wchar_t* arguments;
};
// One process per selected item; the first window collects them all.
const Verb kVerbs[] = {{kVerbKeys[0], kVerbText, L" \"%1\""},
                       {kVerbKeys[1], kVerbText, L" \"%1\""},
                       {kBinVerbKey, kBinVerbText, L" /recycle"}};

bool WriteVerb(const Verb& entry, const std::wstring& program) {
  const wchar_t* path = entry.key;
  HKEY verb = nullptr, command = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_WRITE, nullptr, &verb, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  bool ok = SetValue(verb, nullptr, entry.text) && SetValue(verb, L"Icon", program + L",0") &&
            RegCreateKeyExW(verb, L"command", 0, nullptr, 0, KEY_WRITE, nullptr, &command,
                            nullptr) == ERROR_SUCCESS;
  if (ok) ok = SetValue(command, nullptr, L"\"" + program + L"\"" + entry.arguments);
  if (command) RegCloseKey(command);
  RegCloseKey(verb);
  return ok;
}

bool WriteShortcut(const std::wstring& link, const std::wstring& program) {
  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkW* shellLink = nullptr;
  bool ok = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IShellLinkW, reinterpret_cast<void**>(&shellLink)));
  if (ok) {
    shellLink->SetPath(program.c_str());
    shellLink->SetDescription(kVerbText);
    IPersistFile* file = nullptr;
    ok = SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
    if (ok) {
      ok = SUCCEEDED(file->Save(link.c_str(), TRUE));
      file->Release();
    }
    shellLink->Release();
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return ok;
}

// Install creates "*\shell" and "Directory\shell" (and their parents) when
// they are missing: what holds nothing else afterwards goes again, up to
// "Software\Classes".
void RemoveEmptyParents(std::wstring key) {
  const std::wstring top = L"Software\\Classes";
  for (size_t cut = key.rfind(L'\\'); cut != std::wstring::npos && cut > top.size();
       cut = key.rfind(L'\\')) {
    key.resize(cut);
    HKEY parent = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &parent) != ERROR_SUCCESS)
      return;
    DWORD subkeys = 1, values = 1;
    RegQueryInfoKeyW(parent, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                     nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(parent);
    if (subkeys != 0 || values != 0) return;
    if (RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str()) != ERROR_SUCCESS) return;
  }
}

}  // namespace

std::vector<std::wstring> InstallExplorerEntries(const std::wstring& program, bool& ok) {
  std::vector<std::wstring> done;
  ok = true;
  for (const Verb& verb : kVerbs) {
    const bool written = WriteVerb(verb, program);
    ok = ok && written;
    done.push_back((written ? L"已写入 HKEY_CURRENT_USER\\" : L"无法写入 HKEY_CURRENT_USER\\") +
                   std::wstring(verb.key));
  }
  const std::wstring link = SendToShortcut();
  const bool linked = !link.empty() && WriteShortcut(link, program);
  ok = ok && linked;
  done.push_back((linked ? L"已创建“发送到”快捷方式 " : L"无法创建“发送到”快捷方式 ") + link);
  return done;
}

std::vector<std::wstring> UninstallExplorerEntries(bool& ok) {
  std::vector<std::wstring> done;
  ok = true;
  for (const Verb& verb : kVerbs) {
    const wchar_t* key = verb.key;
    const LSTATUS status = RegDeleteTreeW(HKEY_CURRENT_USER, key);
    if (status == ERROR_SUCCESS) {
      RemoveEmptyParents(key);
      done.push_back(L"已删除 HKEY_CURRENT_USER\\" + std::wstring(key));
    } else if (status == ERROR_FILE_NOT_FOUND) {
      done.push_back(L"不存在，无需删除：HKEY_CURRENT_USER\\" + std::wstring(key));
    } else {
      ok = false;
      done.push_back(L"无法删除 HKEY_CURRENT_USER\\" + std::wstring(key));
    }
  }
  const std::wstring link = SendToShortcut();
  if (!link.empty() && DeleteFileW(link.c_str())) {
    done.push_back(L"已删除“发送到”快捷方式 " + link);
  } else if (!link.empty() && GetLastError() == ERROR_FILE_NOT_FOUND) {
    done.push_back(L"不存在，无需删除：" + link);
  } else {
    ok = false;
    done.push_back(L"无法删除“发送到”快捷方式 " + link);
  }
  return done;
}

}  // namespace app
