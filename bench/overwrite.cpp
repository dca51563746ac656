// Shreds one 1 GiB file through the whole run and, in the same round, writes
// 1 GiB sequentially to a new file in the same folder with a buffer of the
// same size and a final flush; five rounds, medians compared. Also reports
// how much memory the shredding took above what the process used before it.
#include <windows.h>

#include <psapi.h>  // after windows.h, which it needs

#include <algorithm>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "engine/win32_shred_services.h"
#include "tests/temp_folder.h"

namespace {

constexpr uint64_t kBytes = 1ull << 30;

void WriteFileOf(const std::wstring& path, const std::vector<BYTE>& buffer, bool flush) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  for (uint64_t done = 0; done < kBytes; done += buffer.size()) {
    WriteFile(f, buffer.data(), DWORD(buffer.size()), &written, nullptr);
  }
  if (flush) FlushFileBuffers(f);
  CloseHandle(f);
}

PROCESS_MEMORY_COUNTERS Memory() {
  PROCESS_MEMORY_COUNTERS counters{};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters;
}

// The run's boxes, answered OK.
class Silent : public shred::Prompts {
 public:
  bool ShowMessage(const std::wstring&, const std::wstring&, shred::MessageKind) override {
    return true;
  }
};

class OneEntry : public shred::ShredList {
 public:
  explicit OneEntry(std::wstring path) : path_(std::move(path)) {}
  int Count() const override { return present_ ? 1 : 0; }
  std::wstring Item(int) const override { return path_; }
  bool Add(const std::wstring&) override { return present_ = true; }
  bool RemoveAt(int) override { return !(present_ = false); }
  void Clear() override { present_ = false; }
  int Selection() const override { return -1; }

 private:
  std::wstring path_;
  bool present_ = true;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  testing_util::TempFolder dir;
  const std::wstring victim = dir / L"victim.bin";
  const std::wstring plain = dir / L"plain.bin";
  std::vector<BYTE> buffer(shred::kOverwriteBufferBytes, 0x5A);
  shred::Win32ShredServices services;
  Silent prompts;
  std::vector<double> shreds, writes;
  SIZE_T extra = 0;
  for (int round = 0; round < 5; ++round) {
    WriteFileOf(victim, buffer, true);
    const SIZE_T before = Memory().WorkingSetSize;
    OneEntry list(victim);
    double start = bench::Seconds();
    shred::RunShred(list, prompts, services);
    shreds.push_back(bench::Seconds() - start);
    const SIZE_T peak = Memory().PeakWorkingSetSize;
    if (peak > before) extra = std::max(extra, peak - before);

    start = bench::Seconds();
    WriteFileOf(plain, buffer, true);
    writes.push_back(bench::Seconds() - start);
    DeleteFileW(plain.c_str());
  }
  const double shredding = Median(shreds), writing = Median(writes);
  std::printf("shred   %.0f MiB/s\nwrite   %.0f MiB/s\n", 1024 / shredding, 1024 / writing);
  bench::Report("shred of a 1 GiB file (median of 5)", shredding,
                "plain 1 GiB write + flush (median of 5)", writing, 1.15);
  std::printf("memory: peak working set %.1f MiB above the start of a run (limit 16 MiB)\n",
              double(extra) / (1024.0 * 1024.0));
  return 0;
}
