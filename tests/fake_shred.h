// In-memory list and services for the shred run, logging every call in order.
// Paths are kept without their "\\?\" prefix, so that tests read naturally.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/shred_run.h"

namespace shred::testing {

struct CallLog {
  std::vector<std::wstring> calls;
  void Add(const std::wstring& call) { calls.push_back(call); }
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

// A file system of regular files (with streams), folders and links.
class FakeServices : public ShredServices {
 public:
  explicit FakeServices(CallLog& log) : log_(log) {}

  static std::wstring Key(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
    return path.rfind(L"\\\\?\\", 0) == 0 ? path.substr(4) : path;
  }

  bool ShowMessage(const std::wstring& text, const std::wstring& title, MessageKind kind) override {
    log_.Add(L"message:" + title + L":" + text);
    messages.push_back({text, title, kind});
    return kind != MessageKind::Confirm || answerOk;
  }
  PathInfo Probe(const std::wstring& path) override {
    const std::wstring k = Key(path);
    if (links.count(k)) return {PathKind::Link, attr::kReparsePoint, Reason::None};
    if (folders.count(k)) return {PathKind::Folder, attr::kDirectory, Reason::None};
    if (files.count(k)) return {PathKind::File, attributes[k], Reason::None};
    const auto missing = missingReason.find(k);
    return {PathKind::Missing, 0,
            missing == missingReason.end() ? Reason::NotFound : missing->second};
  }
  Reason OpenFile(const std::wstring& path, FileId& file, FileFacts& facts) override {
    const std::wstring k = Key(path);
    log_.Add(L"openfile:" + k);
    const std::wstring base = k.substr(0, k.find(L':', 2));
    if (locked.count(base)) return Reason::InUse;
    if (!files.count(k)) return Reason::NotFound;
    open_.push_back(k);
    file = FileId(open_.size());
    const auto h = handleAttributes.find(base);
    facts.diskFile = true;
    facts.attributes = h != handleAttributes.end() ? h->second : attributes[base];
    facts.size = int64_t(files[k].size());
    facts.allocation = allocation.count(k) ? allocation[k] : facts.size;
    return Reason::None;
  }
  std::vector<std::wstring> AlternateStreams(const std::wstring& path) override {
    std::vector<std::wstring> names;
    const std::wstring k = Key(path);
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
    const auto fault = writeFault.find(k);
    if (fault != writeFault.end() && offset + length > fault->second.first)
      return fault->second.second;
    std::wstring& contents = files[k];
    if (contents.size() < size_t(offset + length)) contents.resize(size_t(offset + length), L'\0');
    for (int64_t i = offset; i < offset + length; ++i) contents[size_t(i)] = L'#';
    return Reason::None;
  }
  Reason Flush(FileId file) override {
    log_.Add(L"flush:" + open_.at(size_t(file) - 1));
    return Reason::None;
  }
  Reason Truncate(FileId file) override {
    log_.Add(L"truncate:" + open_.at(size_t(file) - 1));
    files[open_.at(size_t(file) - 1)].clear();
    return Reason::None;
  }
  void CloseFile(FileId) override {}
  bool OpenChannel(const std::wstring& path) override {
    const std::wstring k = Key(path);
    log_.Add(L"open:" + k);
    if (!files.count(k) || locked.count(k)) return false;  // never creates a file
    channel_ = k;
    files[k].clear();
    return true;
  }
  bool PrintLine(const std::wstring& text) override {
    if (channel_.empty()) return false;
    files[channel_] += text + L"\r\n";
    return true;
  }
  void CloseChannel() override {
    log_.Add(L"close");
    channel_.clear();
  }
  // The same folder, the name replaced by as many "z".
  std::wstring RandomSibling(const std::wstring& path) override {
    const size_t name = path.find_last_of(L'\\') + 1;
    return path.substr(0, name) + std::wstring(path.size() - name, L'z');
  }
  Reason RenameFile(const std::wstring& from, const std::wstring& to) override {
    const std::wstring f = Key(from), t = Key(to);
    log_.Add(L"rename:" + f + L">" + t);
    if (!files.count(f)) return Reason::NotFound;
    if (renameFails.count(f)) return Reason::AccessDenied;
    for (auto it = files.begin(); it != files.end();) {  // the file with its streams
      if (it->first == f || it->first.rfind(f + L":", 0) == 0) {
        files[t + it->first.substr(f.size())] = it->second;
        it = files.erase(it);
      } else {
        ++it;
      }
    }
    attributes[t] = attributes[f];
    if (locked.count(f)) locked.insert(t);
    if (undeletable.count(f)) undeletable.insert(t);
    return Reason::None;
  }
  Reason RemoveFile(const std::wstring& path) override {
    const std::wstring k = Key(path);
    log_.Add(L"delete:" + k);
    if (locked.count(k) || undeletable.count(k)) return Reason::AccessDenied;
    if (!files.count(k)) return Reason::NotFound;
    for (auto it = files.begin(); it != files.end();) {
      it = (it->first == k || it->first.rfind(k + L":", 0) == 0) ? files.erase(it) : std::next(it);
    }
    return Reason::None;
  }
  Reason RemoveLink(const std::wstring& path) override {
    const std::wstring k = Key(path);
    log_.Add(L"unlink:" + k);
    return links.erase(k) ? Reason::None : Reason::Changed;
  }
  bool PathExists(const std::wstring& path) override {
    const std::wstring k = Key(path);
    return files.count(k) > 0 || folders.count(k) > 0 || links.count(k) > 0;
  }

  struct Message {
    std::wstring text, title;
    MessageKind kind;
  };
  bool answerOk = true;
  std::map<std::wstring, std::wstring> files;  // "path" and "path:name:$DATA"
  std::map<std::wstring, uint32_t> attributes, handleAttributes;
  std::map<std::wstring, int64_t> allocation;
  std::map<std::wstring, std::vector<Range>> ranges;              // answered for sparse files
  std::map<std::wstring, std::pair<int64_t, Reason>> writeFault;  // fails writes past an offset
  std::map<std::wstring, Reason> missingReason;
  std::set<std::wstring> folders, links, locked, undeletable, renameFails;
  std::vector<Message> messages;

 private:
  CallLog& log_;
  std::wstring channel_;
  std::vector<std::wstring> open_;
};

}  // namespace shred::testing
