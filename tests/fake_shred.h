// In-memory list and services for the shred run, logging every call in order.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "shredder/shred_run.h"

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

// A file system of regular files and folders, keyed by path.
class FakeServices : public ShredServices {
 public:
  explicit FakeServices(CallLog& log) : log_(log) {}

  bool ShowMessage(const std::wstring& text, const std::wstring& title, MessageKind kind) override {
    log_.Add(L"message:" + title + L":" + text);
    messages.push_back({text, title, kind});
    return kind != MessageKind::Confirm || answerOk;
  }
  bool OpenChannel(const std::wstring& path) override {
    log_.Add(L"open:" + path);
    if (folders.count(path) || locked.count(path) || !folderOfFilesExists) return false;
    open_ = path;
    files[path].clear();
    return true;
  }
  bool PrintLine(const std::wstring& text) override {
    if (open_.empty()) return false;
    files[open_] += text + L"\r\n";
    return true;
  }
  void CloseChannel() override {
    log_.Add(L"close");
    open_.clear();
  }
  bool RemoveFile(const std::wstring& path) override {
    log_.Add(L"delete:" + path);
    if (locked.count(path)) return false;
    return files.erase(path) > 0;
  }
  bool PathExists(const std::wstring& path) override {
    return files.count(path) > 0 || folders.count(path) > 0;
  }

  struct Message {
    std::wstring text, title;
    MessageKind kind;
  };
  bool answerOk = true;
  bool folderOfFilesExists = true;
  std::map<std::wstring, std::wstring> files;
  std::set<std::wstring> folders, locked;
  std::vector<Message> messages;

 private:
  CallLog& log_;
  std::wstring open_;
};

}  // namespace shred::testing
