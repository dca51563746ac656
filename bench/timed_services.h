// Services that pass every call on and count how long each kind took, so
// that a benchmark can say where a run's time went.
#pragma once

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "engine/shred_services.h"

namespace bench {

class TimedServices : public shred::ShredServices {
 public:
  explicit TimedServices(shred::ShredServices& inner) : inner_(inner) {}

  // The calls that took the most time, most first, with their counts.
  void PrintWhereTheTimeWent(double total) const {
    std::vector<std::pair<double, std::string>> spent;
    for (const auto& [name, use] : uses_) spent.push_back({use.seconds, name});
    std::sort(spent.rbegin(), spent.rend());
    for (const auto& [seconds, name] : spent) {
      std::printf("  %-20s %7d calls %9.1f ms %5.1f %%\n", name.c_str(), uses_.at(name).calls,
                  seconds * 1e3, 100 * seconds / total);
    }
  }

#define TIMED(name, ...)       \
  Timing timing(uses_[#name]); \
  return inner_.name(__VA_ARGS__)

  shred::PathInfo Probe(const std::wstring& path) override { TIMED(Probe, path); }
  shred::Reason OpenFolder(const std::wstring& path, shred::FolderId& folder,
                           shred::FileIdentity& identity) override {
    TIMED(OpenFolder, path, folder, identity);
  }
  void CloseFolder(shred::FolderId folder) override { TIMED(CloseFolder, folder); }
  shred::Reason OpenFileIn(shred::FolderId folder, const std::wstring& name, shred::FileId& file,
                           shred::FileFacts& facts) override {
    TIMED(OpenFileIn, folder, name, file, facts);
  }
  bool IsSameEntry(const std::wstring& path, const std::wstring& finalPath,
                   const shred::FileIdentity& identity) override {
    TIMED(IsSameEntry, path, finalPath, identity);
  }
  std::vector<std::wstring> AlternateStreams(const std::wstring& path) override {
    TIMED(AlternateStreams, path);
  }
  bool AllocatedRanges(shred::FileId file, int64_t size,
                       std::vector<shred::Range>& ranges) override {
    TIMED(AllocatedRanges, file, size, ranges);
  }
  shred::FileIdentity FolderIdentity(const std::wstring& path) override {
    TIMED(FolderIdentity, path);
  }
  shred::Reason WriteRandom(shred::FileId file, int64_t offset, int64_t length) override {
    TIMED(WriteRandom, file, offset, length);
  }
  shred::Reason Flush(shred::FileId file) override { TIMED(Flush, file); }
  shred::Reason ReadBack(shred::FileId file, int64_t offset, int64_t length) override {
    TIMED(ReadBack, file, offset, length);
  }
  shred::Reason Truncate(shred::FileId file) override { TIMED(Truncate, file); }
  shred::Reason ReadState(shred::FileId file, shred::FileState& state) override {
    TIMED(ReadState, file, state);
  }
  void CloseFile(shred::FileId file) override { TIMED(CloseFile, file); }
  shred::Reason WriteLines(shred::FileId file, const std::vector<std::wstring>& lines) override {
    TIMED(WriteLines, file, lines);
  }
  bool IsSameFile(const std::wstring& a, const std::wstring& b) override {
    TIMED(IsSameFile, a, b);
  }
  shred::Reason OpenToDeleteIn(shred::FolderId folder, const std::wstring& name,
                               shred::FileId& file, shred::FileFacts& facts) override {
    TIMED(OpenToDeleteIn, folder, name, file, facts);
  }
  bool IsFolderAtPath(shred::FolderId folder) override { TIMED(IsFolderAtPath, folder); }
  bool ExistsIn(shred::FolderId folder, const std::wstring& name) override {
    TIMED(ExistsIn, folder, name);
  }
  std::vector<bool> StillIn(shred::FolderId folder,
                            const std::vector<std::wstring>& names) override {
    TIMED(StillIn, folder, names);
  }
  std::wstring RandomSibling(const std::wstring& path, bool shorter) override {
    TIMED(RandomSibling, path, shorter);
  }
  shred::Reason OpenFolderToRemove(const std::wstring& path, shred::FileId& folder,
                                   shred::FileFacts& facts) override {
    TIMED(OpenFolderToRemove, path, folder, facts);
  }
  bool IsEmptyFolder(const std::wstring& path) override { TIMED(IsEmptyFolder, path); }
  shred::Reason RenameOpenFile(shred::FileId file, const std::wstring& to) override {
    TIMED(RenameOpenFile, file, to);
  }
  shred::Reason DeleteOpenFile(shred::FileId file) override { TIMED(DeleteOpenFile, file); }
  void Wait(int milliseconds) override { TIMED(Wait, milliseconds); }
  std::wstring HolderOf(const std::wstring& path) override { TIMED(HolderOf, path); }
  shred::Reason RemoveLink(const std::wstring& path) override { TIMED(RemoveLink, path); }
  std::vector<std::wstring> NamesOf(const std::wstring& path) override { TIMED(NamesOf, path); }
  shred::NameInFolder NameOf(const std::wstring& path) override { TIMED(NameOf, path); }
  bool PathExists(const std::wstring& path) override { TIMED(PathExists, path); }
  uint32_t LastErrorCode() override { TIMED(LastErrorCode); }
#undef TIMED

 private:
  struct Use {
    int calls = 0;
    double seconds = 0;
  };
  class Timing {
   public:
    explicit Timing(Use& use) : use_(use), start_(Seconds()) {}
    ~Timing() {
      ++use_.calls;
      use_.seconds += Seconds() - start_;
    }

   private:
    Use& use_;
    double start_;
  };

  shred::ShredServices& inner_;
  std::map<std::string, Use> uses_;
};

}  // namespace bench
