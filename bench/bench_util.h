// Timing for the benchmarks: each figure is printed next to a baseline that is
// measured in the same run, and judged by their ratio.
#pragma once

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

inline double Seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return double(now.QuadPart) / double(frequency.QuadPart);
}

// The best of `rounds` runs of `work`, in seconds; `prepare` runs untimed first.
template <typename Prepare, typename Work>
double Best(int rounds, Prepare prepare, Work work) {
  double best = 1e30;
  for (int i = 0; i < rounds; ++i) {
    prepare();
    const double start = Seconds();
    work();
    best = std::min(best, Seconds() - start);
  }
  return best;
}

// The least a secure delete does to each file: open, one write of random
// bytes over the length, flush, close, rename to a random name, delete.
inline void BareLoop(const std::vector<std::wstring>& paths, std::vector<BYTE>& noise) {
  for (const auto& p : paths) {
    HANDLE f =
        CreateFileW(p.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    BCryptGenRandom(nullptr, noise.data(), ULONG(noise.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    DWORD written = 0;
    WriteFile(f, noise.data(), DWORD(noise.size()), &written, nullptr);
    FlushFileBuffers(f);
    CloseHandle(f);
    const std::wstring hidden =
        p.substr(0, p.find_last_of(L'\\') + 1) + L"zz" + p.substr(p.find_last_of(L'\\') + 3);
    MoveFileExW(p.c_str(), hidden.c_str(), 0);
    DeleteFileW(hidden.c_str());
  }
}

// A target of 0 or less means none: the ratio is only reported.
inline void Report(const char* name, double seconds, const char* baselineName, double baseline,
                   double target = 0) {
  const double ratio = seconds / baseline;
  std::printf("%-28s %10.3f ms\n%-28s %10.3f ms\nratio %.2f", name, seconds * 1e3, baselineName,
              baseline * 1e3, ratio);
  if (target > 0)
    std::printf(" (target at most %.2f): %s", target, ratio <= target ? "met" : "NOT met");
  std::printf("\n");
}

}  // namespace bench
