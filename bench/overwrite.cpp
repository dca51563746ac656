// Shreds one 1 GiB file and, in the same run, writes 1 GiB sequentially to a
// new file in the same folder with a buffer of the same size and a final
// flush. Also reports how much memory the shredding took above what the
// process used before it.
#include <windows.h>

#include <psapi.h>  // after windows.h, which it needs

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

}  // namespace

int main() {
  testing_util::TempFolder dir;
  const std::wstring victim = dir / L"victim.bin";
  const std::wstring plain = dir / L"plain.bin";
  std::vector<BYTE> buffer(shred::kOverwriteBufferBytes, 0x5A);

  std::printf("writing the 1 GiB file to shred...\n");
  WriteFileOf(victim, buffer, true);
  const SIZE_T before = Memory().WorkingSetSize;
  shred::Win32ShredServices services(nullptr);
  double start = bench::Seconds();
  services.OpenChannel(victim);
  services.PrintLine(shred::BannerLine());
  services.PrintLine(shred::NoticeLine());
  services.CloseChannel();
  services.RemoveFile(victim);
  const double shredding = bench::Seconds() - start;
  const SIZE_T after = Memory().PeakWorkingSetSize;

  start = bench::Seconds();
  WriteFileOf(plain, buffer, true);
  const double writing = bench::Seconds() - start;
  DeleteFileW(plain.c_str());

  std::printf("shred   %.0f MiB/s\nwrite   %.0f MiB/s\n", 1024 / shredding, 1024 / writing);
  bench::Report("shred of a 1 GiB file", shredding, "plain 1 GiB write + flush", writing, 1.25);
  std::printf("memory: peak working set %.1f MiB above the start of the run (limit 16 MiB)\n",
              double(after > before ? after - before : 0) / (1024.0 * 1024.0));
  return 0;
}
