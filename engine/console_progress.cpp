#include "engine/console_progress.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace shred {

namespace {

std::wstring Megabytes(uint64_t bytes) {
  wchar_t text[32];
  std::swprintf(text, 32, L"%.1f MB", double(bytes) / (1024.0 * 1024.0));
  return text;
}

// The speed so far and, when it can say, the time left at it.
std::wstring SpeedAndTimeLeft(uint64_t done, uint64_t total, double seconds) {
  const double speed = double(done) / std::max(0.001, seconds);
  wchar_t rate[64];
  std::swprintf(rate, 64, L"，%.1f MB/s", speed / (1024.0 * 1024.0));
  std::wstring text = rate;
  if (speed > 0 && total > done) {
    // At a crawl the estimate can pass any integer: it stops at a year.
    const uint64_t left = uint64_t(std::min(double(total - done) / speed, 365.0 * 24 * 3600));
    text += L"，剩余约 " + (left >= 60 ? std::to_wstring(left / 60) + L" 分 " : std::wstring()) +
            std::to_wstring(left % 60) + L" 秒";
  }
  return text;
}

}  // namespace

std::wstring ShredCountText(int filesDone, int files, uint64_t bytesDone, uint64_t bytes) {
  return L"已完成 " + std::to_wstring(filesDone) + L" / " + std::to_wstring(files) + L" 个文件，" +
         Megabytes(bytesDone) + L" / " + Megabytes(bytes);
}

std::wstring ShredProgressLine(int filesDone, int files, uint64_t bytesDone, uint64_t bytes,
                               double seconds) {
  return ShredCountText(filesDone, files, bytesDone, bytes) +
         SpeedAndTimeLeft(bytesDone, bytes, seconds);
}

std::wstring PreviewProgressLine(int filesDone, int files) {
  return L"已查看 " + std::to_wstring(filesDone) + L" / " + std::to_wstring(files) + L" 个文件";
}

std::wstring WipeProgressLine(uint64_t written, uint64_t freeBytes, double seconds) {
  return L"已写入 " + Megabytes(written) + L" / " + Megabytes(freeBytes) +
         SpeedAndTimeLeft(written, freeBytes, seconds);
}

ProgressTally::ProgressTally(std::vector<uint64_t> sizes, bool readBack)
    : sizes_(std::move(sizes)), readBack_(readBack) {
  for (uint64_t size : sizes_) total_ += size;
}

uint64_t ProgressTally::Start(int index) {
  written_ = read_ = 0;
  for (; counted_ < index && counted_ < int(sizes_.size()); ++counted_) base_ += sizes_[counted_];
  return base_;
}

uint64_t ProgressTally::Written(uint64_t bytes) {
  written_ = bytes;
  return Done();
}

uint64_t ProgressTally::ReadBack(uint64_t bytes) {
  read_ = bytes;
  return Done();
}

uint64_t ProgressTally::Done() const {
  const uint64_t current = counted_ < int(sizes_.size()) ? sizes_[size_t(counted_)] : 0;
  return base_ + std::min(readBack_ ? (written_ + read_) / 2 : written_, current);
}

bool ProgressPace::Due(uint64_t nowMs) {
  if (shown_ && nowMs - last_ < kProgressIntervalMs) return false;
  shown_ = true;
  last_ = nowMs;
  return true;
}

}  // namespace shred
