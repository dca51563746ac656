// Wipes the free space of a test drive (the drive given, an image drive that
// scripts/bench.sh makes) and, in the same round on the same drive, writes
// the same number of bytes sequentially to one new file with one flush: the
// disk's own limit. Also reports the memory the wipe took above idle.
#include <windows.h>

#include <psapi.h>  // after windows.h, which it needs

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "engine/win32/wipe_services.h"

namespace {

SIZE_T PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PeakWorkingSetSize;
}

// The plain write: `bytes` in 4 MiB buffered writes, one flush, then gone.
void PlainWrite(const std::wstring& path, uint64_t bytes) {
  std::vector<BYTE> buffer(4u << 20, 0x5A);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  for (uint64_t done = 0; done < bytes;) {
    DWORD written = 0;
    const DWORD chunk = DWORD(std::min<uint64_t>(buffer.size(), bytes - done));
    if (!WriteFile(file, buffer.data(), chunk, &written, nullptr) || written == 0) break;
    done += written;
  }
  FlushFileBuffers(file);
  CloseHandle(file);
  DeleteFileW(path.c_str());
}

// The moment the last fill bytes were counted: what comes after is the
// record rounds and the clean-up, a cost of its own whatever the disk's size.
class FillClock : public shred::WipeMonitor {
 public:
  void Written(uint64_t, uint64_t) override { last = bench::Seconds(); }
  double last = 0;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::printf("usage: bench_free_space X:\\   (a test drive: its free space is written)\n");
    return 2;
  }
  const std::wstring root = argv[1];
  shred::Win32WipeServices services;
  FillClock monitor;
  uint64_t bytes = 0;
  double fill = 1e300, rounds = 1e300;
  const SIZE_T idle = PeakWorkingSet();
  const double wipe = bench::Best(
      3, [] {},
      [&] {
        const double start = bench::Seconds();
        const shred::WipeResult result = shred::WipeFreeSpace(root, services, monitor);
        const double end = bench::Seconds();
        bytes = result.written;
        fill = std::min(fill, monitor.last - start);
        rounds = std::min(rounds, end - monitor.last);
      });
  const SIZE_T peak = PeakWorkingSet();
  const double plain = bench::Best(
      3, [] {}, [&] { PlainWrite(root + L"plain.bin", bytes); });
  std::printf("%.0f MiB of free space\n", double(bytes) / (1 << 20));
  bench::Report("free-space wipe", wipe, "plain write, one flush", plain, 1.1);
  // The two parts apart, so that neither hides the other.
  bench::Report("the fill alone", fill, "plain write, one flush", plain, 1.1);
  std::printf("record rounds and clean-up: %.1f ms (fixed, whatever the free space)\n",
              rounds * 1e3);
  std::printf("peak working set +%.1f MiB (limit 16): %s\n", double(peak - idle) / (1 << 20),
              peak - idle <= (16u << 20) ? "met" : "NOT met");
  return 0;
}
