// In-memory list and services for the shred run, logging every call in order.
// Paths are kept without their "\\?\" prefix, so that tests read naturally.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/shred_run.h"

namespace shred::testing {

struct CallLog {
  std::vector<std::wstring> calls;
  void Add(const std::wstring& call) { calls.push_back(call); }
};

// Message boxes answered OK and recorded, for a run on real files.
class RecordingPrompts : public Prompts {
 public:
  bool ShowMessage(const std::wstring& text, const std::wstring&, MessageKind kind) override {
    messages.push_back(text);
    kinds.push_back(kind);
    return true;
  }
  std::vector<std::wstring> messages;
  std::vector<MessageKind> kinds;
};

class FakeList : public ShredList {
 public:
  explicit FakeList(CallLog& log) : log_(log) {}
  int Count() const override {
    log_.Add(L"count");
    return int(items.size());
  }
  std::wstring Item(int index) const override { return items.at(size_t(index)); }
  bool Add(const std::wstring& path) override {
    items.push_back(path);
    return true;
  }
  bool RemoveAt(int index) override {
    if (index < 0 || index >= int(items.size())) return false;
    items.erase(items.begin() + index);
    return true;
  }
  void Clear() override {
    log_.Add(L"clear");
    items.clear();
  }
  int Selection() const override { return selection; }

  std::vector<std::wstring> items;
  int selection = -1;

 private:
  CallLog& log_;
};

// A file system of regular files (with streams), folders and links, where
// each file has an identity: a name can be given to another file between
// two steps (Replace), one file can have several names (aliases: another
// case on a case-insensitive folder, a short name, a hard link), and a link
// the platform does not mark looks like a file but opens its target.
// Names are compared exactly, as on a case-sensitive folder. Every file has
// a length and two times; writes move its clock on, as a file system does.
// It is the run's message boxes too, and counts the handles it holds open.
class FakeServices : public ShredServices, public Prompts {
 public:
  explicit FakeServices(CallLog& log) : log_(log) {}

  static std::wstring Key(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
    return path.rfind(L"\\\\?\\", 0) == 0 ? path.substr(4) : path;
  }
  // A path through a share onto a local folder, as that folder's path.
  std::wstring Local(const std::wstring& k) const {
    for (const auto& [share, local] : shares) {
      if (k == share || k.rfind(share + L"\\", 0) == 0) return local + k.substr(share.size());
    }
    return k;
  }
  // The file a name leads to: an alias's or a link's target, or the name itself.
  std::wstring Target(const std::wstring& path) const {
    const std::wstring k = Local(path);
    const std::wstring base = k.substr(0, k.find(L':', 2));
    const std::wstring stream = k.substr(base.size());
    if (auto a = aliases.find(base); a != aliases.end()) return a->second + stream;
    if (auto h = hardLinks.find(base); h != hardLinks.end()) return h->second + stream;
    for (const auto& [from, to] : folderLinks) {
      if (k.rfind(from + L"\\", 0) == 0) return Target(to + k.substr(from.size()));
    }
    if (auto l = unmarkedLinks.find(base); l != unmarkedLinks.end()) return l->second + stream;
    return k;
  }
  FileIdentity IdOf(const std::wstring& k) {
    const std::wstring base = k.substr(0, k.find(L':', 2));
    auto [it, added] = ids.emplace(base, 0);
    if (added) it->second = ++nextId_;
    return FileIdentity{7, 0, it->second};
  }
  // Another file takes the name: new contents, a new identity, new times.
  void Replace(const std::wstring& k, const std::wstring& contents) {
    files[k] = contents;
    ids[k] = ++nextId_;
    ++clock_;
    times[k] = {clock_, clock_};
  }
  // A new file takes the name and the number the old one just freed, as ext4
  // and FAT give it.
  void ReuseNumber(const std::wstring& k, const std::wstring& contents) {
    const uint64_t id = IdOf(k).low;
    Replace(k, contents);
    ids[k] = id;
  }
  // The same file written again in place (an editor that saves in place, a
  // logger that appends): same identity, new contents, a new write time.
  void Rewrite(const std::wstring& k, const std::wstring& contents) {
    files[k] = contents;
    Touch(k);
  }
  void Touch(const std::wstring& k) { times[k].second = ++clock_; }
  // The notice's old date, as the platform would give it.
  static constexpr int64_t kOldDate = 119600064000000000;

  bool ShowMessage(const std::wstring& text, const std::wstring& title, MessageKind kind) override {
    log_.Add(L"message:" + title + L":" + text);
    messages.push_back({text, title, kind});
    return kind != MessageKind::Confirm || answerOk;
  }
  PathInfo Probe(const std::wstring& path) override {
    const std::wstring k = Local(Key(path));
    if (auto r = reparse.find(k); r != reparse.end())
      return {PathKind::Link, attr::kReparsePoint | attributes[k], Reason::None, r->second};
    if (links.count(k)) return {PathKind::Link, attr::kReparsePoint, Reason::None, tag::kSymlink};
    if (folders.count(k)) return {PathKind::Folder, attr::kDirectory, Reason::None};
    const std::wstring t = Target(k);
    if (files.count(t)) return {PathKind::File, attributes[t], Reason::None};
    const auto missing = missingReason.find(k);
    return {PathKind::Missing, 0,
            missing == missingReason.end() ? Reason::NotFound : missing->second};
  }
  Reason OpenFile(const std::wstring& path, FileId& file, FileFacts& facts) {
    const std::wstring k = Key(path);
    log_.Add(L"openfile:" + k);
    const std::wstring t = Target(k);
    const std::wstring base = t.substr(0, t.find(L':', 2));
    if (locked.count(base) || locked.count(t)) return Reason::InUse;
    if (!files.count(t)) return Reason::NotFound;
    if (auto e = openError.find(t); e != openError.end()) {
      errorCode = e->second;
      return Reason::IoError;
    }
    open_.push_back(t);
    const std::wstring local = Local(k);
    ++openHandles;
    file = FileId(open_.size());
    const auto h = handleAttributes.find(base);
    facts.diskFile = true;
    facts.attributes = h != handleAttributes.end() ? h->second : attributes[base];
    if (auto r = reparse.find(base); r != reparse.end()) {
      facts.attributes |= attr::kReparsePoint;
      facts.reparseTag = r->second;
    }
    facts.size = int64_t(files[t].size());
    facts.allocation = allocation.count(t) ? allocation[t] : facts.size;
    facts.identity = IdOf(t);
    facts.created = keepsCreation ? times[base].first : 0;
    facts.written = times[base].second;
    if (serialless.count(k.substr(0, 2))) facts.identity.volume = 0;
    // A hard link's handle is at the name it was opened by; through a
    // share, at the share's path.
    facts.finalPath = FinalPathOf(k, hardLinks.count(local) ? local : base);
    facts.links = LinksOf(base);
    if (auto w = whenOpened.find(t); w != whenOpened.end()) {
      auto hook = std::move(w->second);
      whenOpened.erase(w);
      hook(*this);
    }
    return Reason::None;
  }
  // What the platform says of a handle opened by `k` at the file `at`.
  std::wstring FinalPathOf(const std::wstring& k, const std::wstring& at) const {
    if (noFinalPath.count(k)) return {};
    for (const auto& [share, local] : shares) {
      if (k.rfind(share + L"\\", 0) == 0 && at.rfind(local + L"\\", 0) == 0)
        return L"\\\\?\\UNC\\" + share.substr(2) + at.substr(local.size());
    }
    return L"\\\\?\\" + at;
  }
  NameInFolder NameOf(const std::wstring& path) override {
    std::wstring k = Local(Key(path));
    if (const auto a = aliases.find(k); a != aliases.end()) k = a->second;  // its stored name
    std::wstring folder = k.substr(0, k.find_last_of(L'\\'));
    for (const auto& [from, to] : folderLinks) {
      if (folder == from || folder.rfind(from + L"\\", 0) == 0)
        folder = to + folder.substr(from.size());
    }
    return {IdOf(folder), k.substr(k.find_last_of(L'\\') + 1)};
  }
  uint32_t LinksOf(const std::wstring& file) const {
    uint32_t n = 1;
    for (const auto& [name, target] : hardLinks) n += target == file;
    return n;
  }
  std::vector<std::wstring> NamesOf(const std::wstring& path) override {
    const std::wstring t = Target(Key(path));
    std::vector<std::wstring> names{L"\\\\?\\" + t};
    for (const auto& [name, target] : hardLinks) {
      if (target == t) names.push_back(L"\\\\?\\" + name);
    }
    return names;
  }
  // The file loses one name; its contents stay with the others.
  void Unlink(const std::wstring& name) {
    if (hardLinks.erase(name)) return;
    std::wstring heir;
    for (const auto& [other, target] : hardLinks) {
      if (target == name) heir = other;
    }
    if (heir.empty()) {
      for (auto it = files.begin(); it != files.end();) {
        it = (it->first == name || it->first.rfind(name + L":", 0) == 0) ? files.erase(it)
                                                                         : std::next(it);
      }
      return;
    }
    hardLinks.erase(heir);
    for (auto& [other, target] : hardLinks) {
      if (target == name) target = heir;
    }
    files[heir] = files[name];
    files.erase(name);
    ids[heir] = IdOf(name).low;
    times[heir] = times[name];
    attributes[heir] = attributes[name];
  }
  FileIdentity FolderIdentity(const std::wstring& path) override {
    std::wstring k = Local(Key(path));
    while (k.size() > 3 && k.back() == L'\\') k.pop_back();
    for (const auto& [from, to] : folderLinks) {
      if (k == from || k.rfind(from + L"\\", 0) == 0) k = to + k.substr(from.size());
    }
    return folders.count(k) ? IdOf(k) : FileIdentity{};
  }
  bool IsSameEntry(const std::wstring& path, const std::wstring& finalPath,
                   const FileIdentity&) override {
    log_.Add(L"samepath:" + Key(path));
    // As the platform asks it: the entry's folder, links followed, is the
    // final path's folder, and the name is the same. A folder on the way
    // swapped for a link passes this. A share shows the folder it is onto.
    const std::wstring k = Local(Key(path)), f = Local(Key(finalPath));
    if (aliases.count(k) && aliases[k] == f) return true;
    const size_t a = k.find_last_of(L'\\'), b = f.find_last_of(L'\\');
    return folderLinks.count(k.substr(0, a)) && folderLinks[k.substr(0, a)] == f.substr(0, b) &&
           k.substr(a) == f.substr(b);
  }
  std::vector<std::wstring> AlternateStreams(const std::wstring& path) override {
    std::vector<std::wstring> names;
    const std::wstring k = Target(Key(path));
    for (const auto& [name, contents] : files) {
      if (name.size() > k.size() && name.rfind(k + L":", 0) == 0)
        names.push_back(name.substr(k.size()));
    }
    return names;
  }
  bool AllocatedRanges(FileId file, int64_t, std::vector<Range>& out) override {
    const auto found = ranges.find(open_.at(size_t(file) - 1));
    if (found == ranges.end()) return false;
    out = found->second;
    return true;
  }
  Reason WriteRandom(FileId file, int64_t offset, int64_t length) override {
    const std::wstring& k = open_.at(size_t(file) - 1);
    log_.Add(L"write:" + k + L"@" + std::to_wstring(offset) + L"+" + std::to_wstring(length));
    if (throwOnWrite) throw std::bad_alloc();
    if (auto w = whenWritten.find(k); w != whenWritten.end()) {
      auto hook = std::move(w->second);
      whenWritten.erase(w);
      hook(*this);
    }
    const auto fault = writeFault.find(k);
    if (fault != writeFault.end() && offset + length > fault->second.first)
      return fault->second.second;
    std::wstring& contents = files[k];
    if (contents.size() < size_t(offset + length)) contents.resize(size_t(offset + length), L'\0');
    // A drive that reports a write done and keeps the old bytes.
    const auto lost = lostWrite.find(k);
    const bool loses =
        lost != lostWrite.end() && lost->second >= offset && lost->second < offset + length;
    for (int64_t i = offset; i < offset + length; ++i) {
      if (!loses) contents[size_t(i)] = L'#';
    }
    // How far from its start each stream of each file was written over, in
    // one run of writes: what the adversary holds a "shredded" against.
    int64_t& reach = covered[StreamOf(k)];
    if (!loses && offset <= reach) reach = std::max(reach, offset + length);
    unflushed_[size_t(file)] += length;
    Touch(k.substr(0, k.find(L':', 2)));
    return Reason::None;
  }
  Reason ReadBack(FileId file, int64_t offset, int64_t length) override {
    const std::wstring& k = open_.at(size_t(file) - 1);
    log_.Add(L"readback:" + k + L"@" + std::to_wstring(offset) + L"+" + std::to_wstring(length));
    const std::wstring& contents = files[k];
    bool same = contents.size() >= size_t(offset + length);
    for (int64_t i = offset; same && i < offset + length; ++i) same = contents[size_t(i)] == L'#';
    if (!same) readBackFailed.insert(size_t(file));
    return same ? Reason::None : Reason::VerifyFailed;
  }
  Reason Flush(FileId file) override {
    log_.Add(L"flush:" + open_.at(size_t(file) - 1));
    // Once: the drive turned the data down (full, or gone).
    if (auto e = flushError.find(open_.at(size_t(file) - 1)); e != flushError.end()) {
      const Reason reason = e->second;
      flushError.erase(e);
      return reason;
    }
    const Stream stream = StreamOf(open_.at(size_t(file) - 1));
    flushed[stream] += unflushed_[size_t(file)];
    flushedBy[stream].insert(size_t(file));
    unflushed_.erase(size_t(file));
    return Reason::None;
  }
  Reason Truncate(FileId file) override {
    log_.Add(L"truncate:" + open_.at(size_t(file) - 1));
    const std::wstring& k = open_.at(size_t(file) - 1);
    files[k].clear();
    Touch(k.substr(0, k.find(L':', 2)));
    return Reason::None;
  }
  Reason ReadState(FileId file, FileState& state) override {
    const std::wstring& k = open_.at(size_t(file) - 1);
    const auto& [created, written] = times[k.substr(0, k.find(L':', 2))];
    state = {int64_t(files[k].size()), keepsCreation ? created : 0, written};
    return Reason::None;
  }
  void CloseFile(FileId file) override {
    log_.Add(L"closefile:" + open_.at(size_t(file) - 1));
    --openHandles;
  }
  Reason WriteLines(FileId file, const std::vector<std::wstring>& lines) override {
    const std::wstring& k = open_.at(size_t(file) - 1);
    log_.Add(L"notice:" + k);
    if (locked.count(k)) return Reason::InUse;
    files[k].clear();
    for (const auto& line : lines) files[k] += line + L"\r\n";
    times[k] = {kOldDate, kOldDate};
    return Reason::None;
  }
  bool IsSameFile(const std::wstring& a, const std::wstring& b) override {
    return IdOf(Target(Key(a))) == IdOf(Target(Key(b))) && !differentVolumes.count(Key(b));
  }
  Reason OpenToDelete(const std::wstring& path, FileId& file, FileFacts& facts) {
    const std::wstring k = Target(Key(path));
    log_.Add(L"opendelete:" + Key(path));
    // A hard link is opened as itself: its name is what a rename moves.
    const std::wstring local = Local(Key(path));
    const std::wstring opened = hardLinks.count(local) ? local : k;
    if (auto held = heldFor.find(k); held != heldFor.end() && held->second > 0) {
      --held->second;
      return Reason::InUse;
    }
    if (locked.count(k)) return Reason::InUse;
    if (deleteDenied.count(k)) return Reason::AccessDenied;
    facts = FileFacts{};
    facts.diskFile = true;
    if (folders.count(k)) {
      facts.attributes = attr::kDirectory;
    } else if (links.count(k)) {
      facts.attributes = attr::kReparsePoint;
      facts.reparseTag = tag::kSymlink;
    } else if (!files.count(k)) {
      return Reason::NotFound;
    } else {
      facts.attributes = attributes[k];
      facts.identity = IdOf(k);
      facts.size = int64_t(files[k].size());
      facts.created = keepsCreation ? times[k].first : 0;
      facts.written = times[k].second;
    }
    if (auto r = reparse.find(k); r != reparse.end()) {
      facts.attributes |= attr::kReparsePoint;
      facts.reparseTag = r->second;
    }
    facts.links = LinksOf(k);
    facts.finalPath = FinalPathOf(Key(path), opened);
    open_.push_back(opened);
    ++openHandles;
    file = FileId(open_.size());
    return Reason::None;
  }
  Reason OpenFolderToRemove(const std::wstring& path, FileId& folder, FileFacts& facts) override {
    const std::wstring k = Key(path);
    log_.Add(L"openfolder:" + k);
    if (!folders.count(k) && !links.count(k)) return Reason::NotFound;
    facts = FileFacts{};
    facts.diskFile = true;
    facts.attributes = attr::kDirectory | (links.count(k) ? attr::kReparsePoint : 0);
    facts.identity = IdOf(k);
    facts.finalPath = path;
    open_.push_back(k);
    ++openHandles;
    folder = FileId(open_.size());
    return Reason::None;
  }
  bool IsEmptyFolder(const std::wstring& path) override {
    const std::wstring inside = Key(path) + L"\\";
    const auto holds = [&inside](const auto& names) {
      for (const auto& entry : names) {
        if (Name(entry).rfind(inside, 0) == 0) return true;
      }
      return false;
    };
    return folders.count(Key(path)) && !holds(files) && !holds(folders) && !holds(links) &&
           !holds(hardLinks) && !holds(folderLinks);
  }
  static const std::wstring& Name(const std::wstring& k) { return k; }
  template <typename V>
  static const std::wstring& Name(const std::pair<const std::wstring, V>& entry) {
    return entry.first;
  }
  // The same folder, the name replaced by as many "z", then by as many "y";
  // a shorter one by as many "s".
  // Random names never come twice, as the platform's long ones do not,
  // however the folder is spelt: one handed out before gets digits at its
  // end. With `repeatSiblings`, every long one is the same, as a name of
  // few letters may be.
  std::wstring RandomSibling(const std::wstring& path, bool shorter) override {
    const size_t name = path.find_last_of(L'\\') + 1;
    const wchar_t letter = shorter ? L's' : repeatSiblings ? L'z' : siblings_++ % 2 ? L'y' : L'z';
    std::wstring sibling = path.substr(0, name) + std::wstring(path.size() - name, letter);
    if (repeatSiblings) return sibling;
    for (int n = 1; !handedOut_.insert(Local(Key(sibling))).second; ++n) {
      const std::wstring digits = std::to_wstring(n);
      if (digits.size() > path.size() - name) return {};
      sibling.replace(sibling.size() - digits.size(), digits.size(), digits);
    }
    return sibling;
  }
  Reason RenameOpenFile(FileId file, const std::wstring& to) override {
    const std::wstring t = Local(Key(to));
    if (const auto stale = stale_.find(size_t(file)); stale != stale_.end()) {
      // The handle's folder was moved since it was held: the platform renames
      // by the path the handle was opened by, whatever is there now.
      std::wstring other = Target(stale->second);
      log_.Add(L"rename:" + other + L">" + t);
      if (!files.count(other) && !hardLinks.count(other) && !folders.count(other))
        return Reason::NotFound;
      return MoveName(other, t);
    }
    std::wstring& f = open_.at(size_t(file) - 1);
    log_.Add(L"rename:" + f + L">" + t);
    return MoveName(f, t);
  }
  // Gives the file or folder `f` the name `t`, and `f` becomes it.
  Reason MoveName(std::wstring& f, const std::wstring& t) {
    if (renameFails.count(f)) return Reason::AccessDenied;
    if (refusesLongNames.count(f) && t.back() != L's') return Reason::InvalidName;
    if (files.count(t) || folders.count(t) || hardLinks.count(t))
      return Reason::AccessDenied;  // never replaces
    if (auto h = hardLinks.find(f); h != hardLinks.end()) {
      hardLinks[t] = h->second;
      hardLinks.erase(f);
      f = t;
      return Reason::None;
    }
    if (folders.count(f)) {
      folders.erase(f);
      folders.insert(t);
      ids[t] = IdOf(f).low;
      ids.erase(f);
      f = t;
      return Reason::None;
    }
    for (auto it = files.begin(); it != files.end();) {  // the file with its streams
      if (it->first == f || it->first.rfind(f + L":", 0) == 0) {
        files[t + it->first.substr(f.size())] = it->second;
        it = files.erase(it);
      } else {
        ++it;
      }
    }
    for (auto& [name, target] : hardLinks) {
      if (target == f) target = t;
    }
    ids[t] = IdOf(f).low;
    ids.erase(f);
    times[t] = times[f];
    attributes[t] = attributes[f];
    if (undeletable.count(f)) undeletable.insert(t);
    if (pendingDelete.count(f)) pendingDelete.insert(t);
    f = t;
    return Reason::None;
  }
  Reason DeleteOpenFile(FileId file) override {
    const std::wstring k = open_.at(size_t(file) - 1);
    log_.Add(L"delete:" + k);
    // Through a handle whose folder was moved since it was held: done, the
    // platform says, and nothing is deleted.
    if (stale_.count(size_t(file))) return Reason::None;
    if (undeletable.count(k)) return Reason::AccessDenied;
    // Marked, and left pending behind another program's handle: the name stays.
    if (pendingDelete.count(k)) return Reason::None;
    if (folders.count(k)) {
      if (!IsEmptyFolder(k)) return Reason::AccessDenied;
      folders.erase(k);
      return Reason::None;
    }
    Unlink(k);
    return Reason::None;
  }
  void Wait(int milliseconds) override { waited += milliseconds; }
  std::wstring HolderOf(const std::wstring& path) override {
    const auto h = holders.find(Key(path));
    return h == holders.end() ? std::wstring() : h->second;
  }
  Reason RemoveLink(const std::wstring& path) override {
    const std::wstring k = Key(path);
    log_.Add(L"unlink:" + k);
    return links.erase(k) ? Reason::None : Reason::Changed;
  }
  bool PathExists(const std::wstring& path) override {
    const std::wstring k = Local(Key(path));
    return files.count(k) > 0 || folders.count(k) > 0 || links.count(k) > 0 ||
           hardLinks.count(k) > 0 || folderLinks.count(k) > 0;
  }
  uint32_t LastErrorCode() override { return errorCode; }

  // A folder as a path leads to it now: the local folder, links on the way
  // followed; empty when no folder is there. A drive's root, and a folder
  // that holds a file, are folders without being listed in `folders`.
  std::wstring FolderAt(const std::wstring& path) const {
    std::wstring k = Local(Key(path));
    while (!k.empty() && k.back() == L'\\') k.pop_back();
    for (size_t hops = 0; hops <= folderLinks.size(); ++hops) {
      bool followed = false;
      for (const auto& [from, to] : folderLinks) {
        if (k == from || k.rfind(from + L"\\", 0) == 0) {
          k = to + k.substr(from.size());
          followed = true;
          break;
        }
      }
      if (!followed) break;
    }
    return IsFolder(k) ? k : std::wstring();
  }
  bool IsFolder(const std::wstring& k) const {
    if (links.count(k) || folderLinks.count(k) || files.count(k)) return false;
    if (folders.count(k) || (!k.empty() && k.find(L'\\') == k.npos)) return true;
    for (const auto* names : {&files, &hardLinks, &aliases, &unmarkedLinks}) {
      const auto inside = names->lower_bound(k + L"\\");
      if (inside != names->end() && inside->first.rfind(k + L"\\", 0) == 0) return true;
    }
    return false;
  }
  // Where the held folder is now: the folder of its number, wherever it
  // was moved; empty when it is gone.
  std::wstring PathOfHeld(FolderId folder) {
    const HeldFolder& held = held_.at(size_t(folder) - 1);
    if (ids.count(held.at) && ids[held.at] == held.id && IsFolder(held.at)) return held.at;
    for (const auto& [name, id] : ids) {
      if (id == held.id && IsFolder(name)) return name;
    }
    return {};
  }
  Reason OpenFolder(const std::wstring& path, FolderId& folder, FileIdentity& identity) override {
    if (const auto e = folderError.find(Local(Key(path))); e != folderError.end()) return e->second;
    const std::wstring at = FolderAt(path);
    if (at.empty()) return Reason::PathNotFound;
    std::wstring spelt = Key(path);
    while (!spelt.empty() && spelt.back() == L'\\') spelt.pop_back();
    identity = IdOf(at);
    held_.push_back({spelt, at, identity.low});
    ++openHandles;
    mostFoldersHeld = std::max(mostFoldersHeld, ++foldersHeld_);
    folder = FolderId(held_.size());
    return Reason::None;
  }
  void CloseFolder(FolderId) override {
    --openHandles;
    --foldersHeld_;
  }
  // The path to open a name of the held folder by: by its spelling while the
  // folder is still there, else by where the folder is now, the handle then
  // telling the old spelling (as Wine's do).
  std::wstring InHeld(FolderId folder, const std::wstring& name, bool& moved) {
    const HeldFolder& held = held_.at(size_t(folder) - 1);
    const std::wstring now = PathOfHeld(folder);
    moved = now != FolderAt(held.spelt);
    if (now.empty()) return {};
    return (moved ? now : held.spelt) + L"\\" + name;
  }
  Reason OpenFileIn(FolderId folder, const std::wstring& name, FileId& file,
                    FileFacts& facts) override {
    const std::wstring spelt = held_.at(size_t(folder) - 1).spelt + L"\\" + name;
    if (auto b = beforeOpen.find(spelt); b != beforeOpen.end()) {
      auto hook = std::move(b->second);
      beforeOpen.erase(b);
      hook(*this);
    }
    return OpenIn(folder, name, file, facts, &FakeServices::OpenFile);
  }
  Reason OpenToDeleteIn(FolderId folder, const std::wstring& name, FileId& file,
                        FileFacts& facts) override {
    if (onOpenToDelete) std::exchange(onOpenToDelete, nullptr)(*this);
    return OpenIn(folder, name, file, facts, &FakeServices::OpenToDelete);
  }
  // Opens the name in the held folder wherever the folder is now.
  Reason OpenIn(FolderId folder, const std::wstring& name, FileId& file, FileFacts& facts,
                Reason (FakeServices::*open)(const std::wstring&, FileId&, FileFacts&)) {
    bool moved = false;
    const std::wstring path = InHeld(folder, name, moved);
    if (path.empty()) return Reason::NotFound;
    const Reason reason = (this->*open)(path, file, facts);
    if (reason == Reason::None && moved) MarkStale(folder, name, file, facts);
    return reason;
  }
  void MarkStale(FolderId folder, const std::wstring& name, FileId file, FileFacts& facts) {
    const HeldFolder& held = held_.at(size_t(folder) - 1);
    stale_[size_t(file)] = held.spelt + L"\\" + name;
    facts.finalPath = FinalPathOf(held.spelt + L"\\" + name, Local(held.spelt) + L"\\" + name);
  }
  bool IsFolderAtPath(FolderId folder) override {
    const std::wstring at = FolderAt(held_.at(size_t(folder) - 1).spelt);
    return !at.empty() && IdOf(at).low == held_.at(size_t(folder) - 1).id;
  }
  bool ExistsIn(FolderId folder, const std::wstring& name) override {
    bool moved = false;
    const std::wstring path = InHeld(folder, name, moved);
    return !path.empty() && PathExists(path);
  }
  // Moves a folder with everything in it, as "mv" does: each keeps its number.
  void MoveFolder(const std::wstring& from, const std::wstring& to) {
    const auto moved = [&](const std::wstring& k) {
      return k == from || k.rfind(from + L"\\", 0) == 0 ? to + k.substr(from.size()) : k;
    };
    const auto rekey = [&](auto& map) {
      std::remove_reference_t<decltype(map)> out;
      for (auto& [k, v] : map) out.emplace(moved(k), v);
      map = std::move(out);
    };
    if (!ids.count(from)) IdOf(from);
    rekey(files), rekey(ids), rekey(times), rekey(attributes), rekey(hardLinks), rekey(aliases);
    for (auto* targets : {&hardLinks, &aliases}) {
      for (auto& [k, target] : *targets) target = moved(target);
    }
    std::set<std::wstring> movedFolders;
    for (const std::wstring& f : folders) movedFolders.insert(moved(f));
    folders = movedFolders;
    if (IsFolder(to)) folders.insert(to);
  }

  struct Message {
    std::wstring text, title;
    MessageKind kind;
  };
  bool answerOk = true;
  std::map<std::wstring, std::wstring> files;  // "path" and "path:name:$DATA"
  std::map<std::wstring, uint32_t> attributes, handleAttributes;
  std::map<std::wstring, uint32_t> reparse;  // reparse points other than links, by tag
  std::map<std::wstring, int64_t> allocation;
  std::map<std::wstring, Reason> flushError;          // by stream: its next flush fails so
  std::map<std::wstring, std::vector<Range>> ranges;  // answered for sparse files
  std::map<std::wstring, std::pair<int64_t, Reason>> writeFault;  // fails writes past an offset
  std::map<std::wstring, int64_t> lostWrite;  // the write over this offset keeps the old bytes
  std::map<std::wstring, Reason> missingReason;
  std::map<std::wstring, std::wstring> aliases, unmarkedLinks;  // name -> the file it opens
  std::map<std::wstring, std::wstring> hardLinks;    // another name of a file -> its first name
  std::map<std::wstring, std::wstring> folderLinks;  // a folder that leads to another (unmarked)
  std::map<std::wstring, uint64_t> ids;
  std::map<std::wstring, int> heldFor;  // deletion attempts that find it held
  std::map<std::wstring, std::wstring> holders;
  std::set<std::wstring> folders, links, locked, undeletable, renameFails, deleteDenied;
  bool repeatSiblings = false;
  std::set<std::wstring> pendingDelete;         // another program holds it to read attributes only
  std::map<std::wstring, std::wstring> shares;  // "\\\\host\\c$" -> the local folder it shows
  std::set<std::wstring> noFinalPath;  // spellings whose handles tell no final path (past 260)
  std::vector<Message> messages;
  int waited = 0;
  // Run once, when the step first comes: what another program does meanwhile.
  std::function<void(FakeServices&)> onOpenToDelete;
  std::set<std::wstring> differentVolumes;  // same ID as another file, on another volume
  std::map<std::wstring, std::function<void(FakeServices&)>> whenOpened;   // by file
  std::map<std::wstring, std::function<void(FakeServices&)>> beforeOpen;   // by name, once
  std::map<std::wstring, std::function<void(FakeServices&)>> whenWritten;  // at its first write
  std::map<std::wstring, std::pair<int64_t, int64_t>> times;               // created, last written
  std::set<std::wstring> serialless;           // drives ("Z:") whose volume tells no serial
  std::map<std::wstring, uint32_t> openError;  // an error the run has no words for
  std::set<std::wstring> refusesLongNames;     // the volume takes only shorter names
  bool keepsCreation = true;                   // the volume keeps creation times
  bool throwOnWrite = false;                   // a write runs out of memory
  uint32_t errorCode = 0;
  int openHandles = 0;
  int mostFoldersHeld = 0;                     // the most folders held at once
  std::map<std::wstring, Reason> folderError;  // a folder that cannot be held, by its local path
  // A stream by file number and stream name, "" for the contents.
  using Stream = std::pair<uint64_t, std::wstring>;
  std::map<Stream, int64_t> covered;  // bytes of each stream written from 0 on
  // What the disk took of each stream: the bytes written and then flushed,
  // the handles that flushed it (each one overwrite of it), and the handles
  // whose read-back found otherwise. What the record is held against.
  std::map<Stream, int64_t> flushed;
  std::map<Stream, std::set<size_t>> flushedBy;
  std::set<size_t> readBackFailed;
  Stream StreamOf(const std::wstring& k) {
    const size_t colon = k.find(L':', 2);
    return {IdOf(k).low, colon == k.npos ? L"" : k.substr(colon)};
  }

 private:
  struct HeldFolder {
    std::wstring spelt;  // the path it was held by, as the run spelt it
    std::wstring at;     // the local folder it was then
    uint64_t id;
  };
  CallLog& log_;
  std::vector<std::wstring> open_;
  std::vector<HeldFolder> held_;  // by FolderId - 1
  int foldersHeld_ = 0;
  std::map<size_t, std::wstring> stale_;  // by handle: opened through a held folder moved since
  std::map<size_t, int64_t> unflushed_;   // by handle: bytes written since its last flush
  uint64_t nextId_ = 100;
  int64_t clock_ = 1000;
  std::set<std::wstring> handedOut_;
  int siblings_ = 0;
};

// The Recent folder and RecentDocs key over the same in-memory files: a
// shortcut is a file of `files` in `recent` ending ".lnk", its target in
// `targets` (none: a shortcut the shell cannot read).
class FakeTraces : public TraceServices {
 public:
  explicit FakeTraces(FakeServices& files) : files_(files) {}
  Reason RecentFolder(std::wstring& folder) override {
    folder = recent;
    return recentReason;
  }
  std::vector<std::wstring> ListShortcuts(const std::wstring& folder) override {
    ++reads;
    std::vector<std::wstring> shortcuts;
    for (const auto& [path, contents] : files_.files) {
      const size_t separator = path.find_last_of(L'\\');
      const std::wstring name = path.substr(separator + 1);
      if (path.substr(0, separator) != folder || name.size() < 4 ||
          ComparablePath(name.substr(name.size() - 4)) != L".LNK" || name.find(L':') != name.npos)
        continue;
      // A link among them is left out, as a listing that never follows one.
      if (!files_.links.count(path)) shortcuts.push_back(path);
    }
    return shortcuts;
  }
  std::wstring ReadTarget(const std::wstring& path, const std::set<std::wstring>&,
                          int64_t& created) override {
    opened.push_back(path);
    created = files_.keepsCreation ? files_.times[path].first : 0;
    // Saved anew once it was read, with the same bytes: another file.
    if (savedAnewAfterRead.count(path)) files_.Replace(path, files_.files[path]);
    const auto target = targets.find(path);
    return target == targets.end() ? std::wstring() : target->second;
  }
  bool IsPlainEntry(const std::wstring& path) override { return !files_.unmarkedLinks.count(path); }
  std::vector<std::wstring> RecentDocsKeys() override {
    std::vector<std::wstring> names;
    for (const auto& [name, values] : keys) names.push_back(name);
    return names;
  }
  std::vector<RegistryValue> ReadValues(const std::wstring& key) override { return keys[key]; }
  Reason DeleteValue(const std::wstring& key, const std::wstring& name) override {
    if (denied.count(key + L"\\" + name)) return Reason::AccessDenied;
    auto& values = keys[key];
    std::erase_if(values, [&](const RegistryValue& v) { return v.name == name; });
    return Reason::None;
  }
  Reason WriteBinary(const std::wstring& key, const std::wstring& name,
                     const std::string& data) override {
    if (denied.count(key + L"\\" + name)) return Reason::AccessDenied;
    for (RegistryValue& value : keys[key]) {
      if (value.name == name) {
        value = {name, kRegBinary, data};
        return Reason::None;
      }
    }
    keys[key].push_back({name, kRegBinary, data});
    return Reason::None;
  }

  std::wstring recent = L"C:\\Users\\me\\Recent";
  Reason recentReason = Reason::None;
  std::map<std::wstring, std::wstring> targets;
  std::map<std::wstring, std::vector<RegistryValue>> keys;  // "" is RecentDocs itself
  std::set<std::wstring> denied;                            // "key\\value" that cannot be changed
  int reads = 0;                                            // listings of the folder
  std::vector<std::wstring> opened;                         // shortcuts read, in order
  std::set<std::wstring> savedAnewAfterRead;

 private:
  FakeServices& files_;
};

}  // namespace shred::testing
