// The Explorer entries for the current user, without administrator rights:
// a "使用 Tarvello 粉碎" verb on files and folders under the user's own
// registry classes, one on the Recycle Bin, and a Send To shortcut. Install and uninstall are
// idempotent, and uninstall removes exactly what install adds.
#pragma once

#include <string>
#include <vector>

namespace app {

inline constexpr wchar_t kVerbText[] = L"使用 Tarvello 粉碎";
// The verb's keys under HKEY_CURRENT_USER.
inline constexpr const wchar_t* kVerbKeys[] = {L"Software\\Classes\\*\\shell\\Tarvello",
                                               L"Software\\Classes\\Directory\\shell\\Tarvello"};
inline constexpr wchar_t kSendToName[] = L"Tarvello 粉碎.lnk";
// The entry on the Recycle Bin's own menu, which opens the window's
// confirmation ("tarvello.exe /recycle").
inline constexpr wchar_t kBinVerbText[] = L"使用 Tarvello 粉碎回收站";
inline constexpr wchar_t kBinVerbKey[] =
    L"Software\\Classes\\CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}\\shell\\Tarvello";

// Each returns what it did, a line per step; `ok` says whether every step worked.
std::vector<std::wstring> InstallExplorerEntries(const std::wstring& program, bool& ok);
std::vector<std::wstring> UninstallExplorerEntries(bool& ok);

}  // namespace app
