// Shreds one 1 GiB file through the whole run and, in the same round, writes
// 1 GiB sequentially to a new file in the same folder with a buffer of the
// same size and a final flush; five rounds, medians compared. Then the same
// with the read-back: the run with verification against that plain write
// and flush followed by an unbuffered read of the file, compared with the
// buffer. Also reports how much memory the shredding took above what the
// process used before it, with and without the read-back.
#include <windows.h>

#include <psapi.h>  // after windows.h, which it needs

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "engine/win32/shred_services.h"
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

// The file read back past the cache in buffers of the same size, each
// compared with what was written; false when any differs.
bool ReadBackFileOf(const std::wstring& path, const std::vector<BYTE>& buffer) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_NO_BUFFERING, nullptr);
  BYTE* read = static_cast<BYTE*>(
      VirtualAlloc(nullptr, buffer.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  bool same = f != INVALID_HANDLE_VALUE && read;
  DWORD got = 0;
  for (uint64_t done = 0; same && done < kBytes; done += buffer.size()) {
    same = ReadFile(f, read, DWORD(buffer.size()), &got, nullptr) && got == buffer.size() &&
           memcmp(read, buffer.data(), buffer.size()) == 0;
  }
  if (read) VirtualFree(read, 0, MEM_RELEASE);
  if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
  return same;
}

PROCESS_MEMORY_COUNTERS Memory() {
  PROCESS_MEMORY_COUNTERS counters{};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// One run over the file, read back or not: its seconds, and the peak
// working set above the start in `extra`.
double TimeShred(const std::wstring& victim, shred::Win32ShredServices& services, bool verify,
                 SIZE_T& extra) {
  const SIZE_T before = Memory().WorkingSetSize;
  shred::ShredJob job;
  job.entries = {victim};
  job.verify = verify;
  shred::ShredMonitor unattended;
  const double start = bench::Seconds();
  shred::ShredFiles(job, services, unattended);
  const double seconds = bench::Seconds() - start;
  const SIZE_T peak = Memory().PeakWorkingSetSize;
  if (peak > before) extra = std::max(extra, peak - before);
  if (job.results[0].fate != shred::Fate::Shredded || job.results[0].verified != verify)
    std::printf("the run did not shred the file as it should\n");
  return seconds;
}

}  // namespace

int main() {
  testing_util::TempFolder dir;
  const std::wstring victim = dir / L"victim.bin";
  const std::wstring plain = dir / L"plain.bin";
  std::vector<BYTE> buffer(shred::kOverwriteBufferBytes, 0x5A);
  shred::Win32ShredServices services;
  std::vector<double> shreds, writes, verified, readBacks;
  SIZE_T extra = 0, extraVerified = 0;
  for (int round = 0; round < 5; ++round) {
    WriteFileOf(victim, buffer, true);
    shreds.push_back(TimeShred(victim, services, false, extra));
    WriteFileOf(victim, buffer, true);
    verified.push_back(TimeShred(victim, services, true, extraVerified));

    double start = bench::Seconds();
    WriteFileOf(plain, buffer, true);
    writes.push_back(bench::Seconds() - start);
    DeleteFileW(plain.c_str());
    start = bench::Seconds();
    WriteFileOf(plain, buffer, true);
    if (!ReadBackFileOf(plain, buffer)) std::printf("the plain read-back differed\n");
    readBacks.push_back(bench::Seconds() - start);
    DeleteFileW(plain.c_str());
  }
  const double shredding = Median(shreds), writing = Median(writes);
  std::printf("shred   %.0f MiB/s\nwrite   %.0f MiB/s\n", 1024 / shredding, 1024 / writing);
  bench::Report("shred of a 1 GiB file (median of 5)", shredding,
                "plain 1 GiB write + flush (median of 5)", writing, 1.15);
  bench::Report("shred with read-back (median of 5)", Median(verified),
                "write + flush + read back (median of 5)", Median(readBacks), 1.1);
  std::printf(
      "memory: peak working set %.1f MiB above the start of a run, %.1f MiB with the "
      "read-back (limit 16 MiB)\n",
      double(extra) / (1024.0 * 1024.0), double(extraVerified) / (1024.0 * 1024.0));
  return 0;
}
