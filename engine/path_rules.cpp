// Path rules: an entry as the user typed or picked it, turned into the one
// file path it denotes, or the reason it denotes none.
#include <algorithm>
#include <cwctype>
#include <vector>

#include "engine/path_rules.h"

namespace shred {

const wchar_t kProtectedFolderText[] = L"是磁盘根目录或系统文件夹，不予粉碎";

namespace {

wchar_t Lower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c; }

bool StartsWithNoCase(const std::wstring& s, size_t at, const wchar_t* prefix) {
  for (size_t i = 0; prefix[i]; ++i) {
    if (at + i >= s.size() || Lower(s[at + i]) != Lower(prefix[i])) return false;
  }
  return true;
}

bool EqualNoCase(const std::wstring& a, const wchar_t* b) {
  return StartsWithNoCase(a, 0, b) && a.size() == std::char_traits<wchar_t>::length(b);
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// The DOS device names that Win32 maps to devices in any folder, with or
// without an extension: CON, NUL, COM1, LPT1, CONIN$ ...
bool IsReservedDeviceName(const std::wstring& component) {
  std::wstring base = component;
  // Trailing dots and blanks are dropped by Win32 path parsing.
  while (!base.empty() && (base.back() == L' ' || base.back() == L'.')) base.pop_back();
  base = base.substr(0, base.find_first_of(L".:"));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  std::transform(base.begin(), base.end(), base.begin(), Lower);

  static const wchar_t* const kNames[] = {L"con",    L"prn",     L"aux",   L"nul",
                                          L"conin$", L"conout$", L"clock$"};
  for (const wchar_t* name : kNames) {
    if (base == name) return true;
  }
  if (base.size() == 4 && (base.compare(0, 3, L"com") == 0 || base.compare(0, 3, L"lpt") == 0)) {
    const wchar_t digit = base[3];
    return (digit >= L'0' && digit <= L'9') || digit == L'\u00b9' || digit == L'\u00b2' ||
           digit == L'\u00b3';
  }
  return false;
}

// "\\server\share\...": named pipes and mailslots live under the shares
// "pipe" and "mailslot" of any host.
bool IsPipeOrMailslotShare(const std::wstring& path, size_t server) {
  const size_t share = path.find_first_of(L"\\/", server);
  if (share == std::wstring::npos) return false;
  const size_t end = path.find_first_of(L"\\/", share + 1);
  const std::wstring name =
      path.substr(share + 1, end == std::wstring::npos ? end : end - share - 1);
  return EqualNoCase(name, L"pipe") || EqualNoCase(name, L"mailslot");
}

// What follows "\\?\" must be a path on a drive, a share or a volume; a bare
// volume, a disk or the object manager's root is a device.
bool IsSafeVerbatimPath(const std::wstring& path, size_t rest) {
  if (rest + 2 < path.size() && IsDriveLetter(path[rest]) && path[rest + 1] == L':' &&
      IsSeparator(path[rest + 2])) {
    return true;
  }
  if (StartsWithNoCase(path, rest, L"unc\\")) return !IsPipeOrMailslotShare(path, rest + 4);
  if (StartsWithNoCase(path, rest, L"volume{")) {
    const size_t close = path.find(L'}', rest);
    return close != std::wstring::npos && close + 1 < path.size() && IsSeparator(path[close + 1]);
  }
  return false;
}

bool IsVerbatimPrefix(const std::wstring& path) {
  return path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] == L'?' &&
         IsSeparator(path[3]);
}

// Characters no file name may hold; "?" and "*" are wildcards.
bool HasInvalidCharacter(const std::wstring& entry) {
  for (size_t i = IsVerbatimPrefix(entry) ? 4 : 0; i < entry.size(); ++i) {
    const wchar_t c = entry[i];
    if (c < 0x20 || c == 0x7F || wcschr(L"\"<>|*?", c)) return true;
  }
  return false;
}

// Appends the segments of `rest` to `out` (which ends in its root's
// backslash), resolving "." and ".." itself and keeping every other name
// exactly, trailing dots and blanks included. Empty segments (doubled
// backslashes) are skipped; ".." stops at the root.
Reason AppendSegments(const std::wstring& rest, std::wstring& out) {
  std::vector<std::wstring> segments;
  size_t at = 0;
  while (at <= rest.size()) {
    size_t end = rest.find(L'\\', at);
    if (end == std::wstring::npos) end = rest.size();
    const std::wstring segment = rest.substr(at, end - at);
    at = end + 1;
    if (segment.empty() || segment == L".") continue;
    if (segment == L"..") {
      if (!segments.empty()) segments.pop_back();
      continue;
    }
    if (segment.find(L':') != std::wstring::npos) return Reason::InvalidName;  // streams, too
    segments.push_back(segment);
  }
  if (segments.empty()) return Reason::NotAFile;  // the root itself
  for (size_t i = 0; i < segments.size(); ++i) out += (i ? L"\\" : L"") + segments[i];
  return Reason::None;
}

// Upper case as the folder compares names, for the letters a pattern
// spells; other characters as they are.
wchar_t Folded(wchar_t c) { return wchar_t(std::towupper(c)); }

// Greedy match with one step back to the last "*": linear in practice, never
// exponential, whatever the pattern.
bool MatchesFrom(const std::wstring& name, const std::wstring& pattern) {
  size_t n = 0, p = 0, starP = std::wstring::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == L'*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == L'?' || Folded(pattern[p]) == Folded(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::wstring::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchesPattern(const std::wstring& name, const std::wstring& pattern) {
  if (pattern == L"*" || pattern == L"*.*") return true;
  if (pattern.size() > 1 && pattern.back() == L'.') {
    // "*." and "name?." : the names without an extension.
    return name.find(L'.') == std::wstring::npos &&
           MatchesFrom(name, pattern.substr(0, pattern.size() - 1));
  }
  return MatchesFrom(name, pattern);
}

bool IsOneName(const std::wstring& name) {
  if (name.empty() || name == L"." || name == L"..") return false;
  for (const wchar_t c : name) {
    if (c < 0x20 || wcschr(L"\\/:\"<>|*?", c)) return false;
  }
  return true;
}

bool IsUnsafeShredPath(const std::wstring& path) {
  size_t rest = 0;
  if (path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
      (path[2] == L'.' || path[2] == L'?') && IsSeparator(path[3])) {
    // "\\.\" always names a device; "\\?\" only passes a path through unparsed.
    if (path[2] == L'.' || !IsSafeVerbatimPath(path, 4)) return true;
    rest = 4;
  } else if (StartsWithNoCase(path, 0, L"\\??\\")) {
    return true;  // an object-manager path, never a user's file
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
             IsPipeOrMailslotShare(path, 2)) {
    return true;
  }
  if (path.find_first_of(L"*?", rest) != std::wstring::npos) return true;

  const size_t lastSeparator = path.find_last_of(L"\\/");
  size_t nameStart = lastSeparator == std::wstring::npos ? 0 : lastSeparator + 1;
  if (nameStart == 0 && path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == L':')
    nameStart = 2;
  return IsReservedDeviceName(path.substr(nameStart));
}

std::wstring RootOfFinalPath(const std::wstring& finalPath) {
  size_t end = finalPath.find(L'\\', 4);
  if (finalPath.compare(0, 8, L"\\\\?\\UNC\\") == 0 && end != std::wstring::npos) {
    end = finalPath.find(L'\\', end + 1);
    if (end != std::wstring::npos) end = finalPath.find(L'\\', end + 1);
  }
  return finalPath.substr(0, end);
}

std::wstring FolderOfPath(const std::wstring& path) {
  const size_t separator = path.find_last_of(L'\\');
  if (separator == std::wstring::npos) return {};
  std::wstring folder = path.substr(0, separator);
  if (folder == RootOfFinalPath(path)) folder += L'\\';
  return folder;
}

std::wstring NameOfPath(const std::wstring& path) {
  return path.substr(path.find_last_of(L'\\') + 1);  // npos + 1 == 0
}

std::wstring PathOnVolume(const std::wstring& mountPoint, const std::wstring& fromRoot) {
  if (mountPoint.empty()) return {};
  std::wstring path = mountPoint.rfind(L"\\\\?\\", 0) == 0 ? mountPoint : VerbatimPath(mountPoint);
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path + (fromRoot.empty() || fromRoot[0] != L'\\' ? L"\\" : L"") + fromRoot;
}

std::wstring VerbatimPath(const std::wstring& fullPath) {
  if (fullPath.size() >= 3 && IsDriveLetter(fullPath[0]) && fullPath[1] == L':' &&
      fullPath[2] == L'\\') {
    return L"\\\\?\\" + fullPath;
  }
  if (fullPath.size() >= 3 && fullPath[0] == L'\\' && fullPath[1] == L'\\' && fullPath[2] != L'?' &&
      fullPath[2] != L'.') {
    return L"\\\\?\\UNC\\" + fullPath.substr(2);
  }
  return fullPath;
}

ResolvedPath ResolveEntry(const std::wstring& entry) {
  if (entry.find_first_not_of(L' ') == std::wstring::npos || HasInvalidCharacter(entry)) {
    return {{}, Reason::InvalidName};
  }
  if (IsUnsafeShredPath(entry)) return {{}, Reason::Device};
  std::wstring path = entry;
  std::replace(path.begin(), path.end(), L'/', L'\\');
  // A trailing backslash names a folder, never a file.
  if (path.back() == L'\\') return {{}, Reason::InvalidName};

  ResolvedPath out;
  if (IsVerbatimPrefix(path)) {
    out.path = path;  // already exact: nothing is rewritten
  } else if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && path[2] == L'\\') {
    out.path = std::wstring(L"\\\\?\\") + wchar_t(path[0] & ~0x20) + L":\\";
    out.reason = AppendSegments(path.substr(3), out.path);
  } else if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') {
    // \\server\share\rest: the server and the share are the root.
    const size_t share = path.find(L'\\', 2);
    const size_t rest = share == std::wstring::npos ? share : path.find(L'\\', share + 1);
    if (share == 2 || rest == std::wstring::npos || rest == share + 1) {
      return {{}, Reason::InvalidName};
    }
    out.path = L"\\\\?\\UNC\\" + path.substr(2, rest - 1);
    out.reason = AppendSegments(path.substr(rest + 1), out.path);
  } else {
    return {{}, Reason::NotFullPath};  // relative, drive-relative or rooted without a drive
  }
  if (out.reason != Reason::None) out.path.clear();
  if (out.path.size() > 32767) return {{}, Reason::InvalidName};
  return out;
}

namespace {

std::wstring WithoutTrailingSeparators(std::wstring path) {
  std::replace(path.begin(), path.end(), L'/', L'\\');
  while (path.size() > 1 && path.back() == L'\\') path.pop_back();
  return path;
}

bool EqualFoldersNoCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  }
  return true;
}

}  // namespace

std::wstring WithoutVerbatimPrefix(const std::wstring& path) {
  if (!IsVerbatimPrefix(path)) return path;
  return StartsWithNoCase(path, 4, L"UNC\\") ? L"\\\\" + path.substr(8) : path.substr(4);
}

bool IsDriveOrShareRoot(const std::wstring& entry) {
  const std::wstring path = WithoutVerbatimPrefix(WithoutTrailingSeparators(entry));
  if (path.size() == 2 && IsDriveLetter(path[0]) && path[1] == L':') return true;
  if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\') {
    const size_t share = path.find(L'\\', 2);
    if (share != std::wstring::npos && share > 2 && path.find(L'\\', share + 1) == path.npos)
      return true;
  }
  // "C:\t\.." and the like: nothing but the root is left.
  return ResolveEntry(path).reason == Reason::NotAFile;
}

namespace {

// By its text, as Windows compares folder names.
bool IsProtectedByText(const ResolvedPath& folder, const ProtectedFolders& system) {
  for (const std::wstring& known : system.folders) {
    const ResolvedPath resolved = ResolveEntry(WithoutTrailingSeparators(known));
    if (resolved.reason == Reason::None && EqualFoldersNoCase(folder.path, resolved.path))
      return true;
  }
  const ResolvedPath profiles = ResolveEntry(WithoutTrailingSeparators(system.profiles));
  const size_t parent = folder.path.find_last_of(L'\\');
  return profiles.reason == Reason::None &&
         (EqualFoldersNoCase(folder.path, profiles.path) ||
          EqualFoldersNoCase(folder.path.substr(0, parent), profiles.path));
}

// One folder by two identities. A volume that tells no serial number (Wine's
// root drive) matches any: for a guard, taking a folder for a protected one
// only refuses it.
bool IsSameFolder(const FileIdentity& a, const FileIdentity& b) {
  return a.Known() && b.Known() && (a.high || a.low) && a.high == b.high && a.low == b.low &&
         (a.volume == b.volume || a.volume == 0 || b.volume == 0);
}

// A known folder as the lookup takes it: resolved, or nothing.
FileIdentity IdentityOfKnown(const std::wstring& known, FolderLookup& lookup) {
  const ResolvedPath resolved = ResolveEntry(WithoutTrailingSeparators(known));
  return resolved.reason == Reason::None ? lookup.LookUpFolder(resolved.path).identity
                                         : FileIdentity{};
}

// By identity, whatever spelling reached it.
bool IsProtectedByIdentity(const std::wstring& folder, const ProtectedFolders& system,
                           FolderLookup& lookup) {
  const FolderFacts facts = lookup.LookUpFolder(folder);
  if (facts.root) return true;
  if (!facts.identity.Known()) return false;
  for (const std::wstring& known : system.folders) {
    if (IsSameFolder(facts.identity, IdentityOfKnown(known, lookup))) return true;
  }
  const FileIdentity profiles = IdentityOfKnown(system.profiles, lookup);
  return IsSameFolder(facts.identity, profiles) || IsSameFolder(facts.parent, profiles);
}

}  // namespace

bool IsProtectedFolder(const std::wstring& entry, const ProtectedFolders& system,
                       FolderLookup* lookup) {
  if (IsDriveOrShareRoot(entry)) return true;
  const ResolvedPath folder = ResolveEntry(WithoutTrailingSeparators(entry));
  if (folder.reason != Reason::None) return false;
  if (IsProtectedByText(folder, system)) return true;
  return lookup && IsProtectedByIdentity(folder.path, system, *lookup);
}

}  // namespace shred
