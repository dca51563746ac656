// The console companion's progress line: what it says and how often, for a
// shred run and for a free-space wipe. The console side rewrites it in
// place; nothing is shown when the output is redirected or with /q.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace shred {

// "已完成 3 / 10 个文件，12.0 MB / 100.0 MB": the progress dialog's count.
std::wstring ShredCountText(int filesDone, int files, uint64_t bytesDone, uint64_t bytes);
// The count, then the speed and the time left:
// "已完成 3 / 10 个文件，12.0 MB / 100.0 MB，4.0 MB/s，剩余约 22 秒"
std::wstring ShredProgressLine(int filesDone, int files, uint64_t bytesDone, uint64_t bytes,
                               double seconds);
// A preview's: "已查看 3 / 10 个文件"; it writes nothing, so it counts files.
std::wstring PreviewProgressLine(int filesDone, int files);
// "已写入 12.0 MB / 100.0 MB，4.0 MB/s，剩余约 1 分 2 秒"
std::wstring WipeProgressLine(uint64_t written, uint64_t freeBytes, double seconds);

// Bytes done of a run whose entries come in order, from each entry's size as
// its folder said before the run: the progress dialog's and the console's.
// With the read-back a byte is done once it is written and read again: each
// counts half, so that the speed and the time left hold for the whole run.
class ProgressTally {
 public:
  explicit ProgressTally(std::vector<uint64_t> sizes, bool readBack = false);
  // The run is on entry `index`: the bytes of every entry before it.
  uint64_t Start(int index);
  // With `bytes` of the current entry written, or read back; never past its
  // size.
  uint64_t Written(uint64_t bytes);
  uint64_t ReadBack(uint64_t bytes);
  uint64_t Total() const { return total_; }
  int Entries() const { return int(sizes_.size()); }

 private:
  std::vector<uint64_t> sizes_;
  uint64_t Done() const;
  bool readBack_;
  uint64_t written_ = 0, read_ = 0;  // of the current entry
  uint64_t total_ = 0;
  uint64_t base_ = 0;  // bytes of the entries before the current one
  int counted_ = 0;    // how many entries base_ covers
};

// A line at most this often.
inline constexpr uint64_t kProgressIntervalMs = 500;

// Whether a line is due at `nowMs`: the first at once, then one per interval.
class ProgressPace {
 public:
  bool Due(uint64_t nowMs);

 private:
  bool shown_ = false;
  uint64_t last_ = 0;
};

}  // namespace shred
