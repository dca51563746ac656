// The current user's Recent folder and Explorer's RecentDocs key on Windows:
// shortcuts read through the shell from their bytes (the raw path, never
// resolved), the key and its subkeys never followed as links.
#pragma once

#include <map>
#include <string>

#include "engine/recent_traces.h"
#include "engine/win32/handle_owner.h"

namespace shred {

// Where Explorer keeps its list, under HKEY_CURRENT_USER.
extern const wchar_t kRecentDocsKey[];

// The target a shortcut's bytes hold, unresolved; empty when they are not
// a shortcut the shell can read. COM is started on the calling thread.
std::wstring ShortcutTarget(const std::string& bytes);

class Win32TraceServices : public TraceServices {
 public:
  Win32TraceServices() = default;
  ~Win32TraceServices() override;
  Win32TraceServices(const Win32TraceServices&) = delete;
  Win32TraceServices& operator=(const Win32TraceServices&) = delete;
  Reason RecentFolder(std::wstring& folder) override;
  std::vector<std::wstring> ListShortcuts(const std::wstring& folder) override;
  std::wstring ReadTarget(const std::wstring& path, const std::set<std::wstring>& names,
                          int64_t& created) override;
  bool IsPlainEntry(const std::wstring& path) override;
  std::vector<std::wstring> RecentDocsKeys() override;
  std::vector<RegistryValue> ReadValues(const std::wstring& key) override;
  Reason DeleteValue(const std::wstring& key, const std::wstring& name) override;
  Reason WriteBinary(const std::wstring& key, const std::wstring& name,
                     const std::string& data) override;

 private:
  // Each listed shortcut, by the path the run knows it by: its name in the
  // held Recent folder and its size as listed.
  struct Listed {
    std::wstring name;
    unsigned long size = 0;
  };
  std::map<std::wstring, Listed> listed_;
  handles::File recent_;     // the Recent folder, held from its listing on
  bool comStarted_ = false;  // by this object, on the thread that reads
};

}  // namespace shred
