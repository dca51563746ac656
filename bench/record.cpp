// The record of a run of 32,767 entries (the longest list), made and written
// whole, against writing the same bytes to a file with one WriteFile and a
// flush: the record's target is under 0.3 s. The making and the writing are
// timed apart, to say which of them the time went to. Then its certificate,
// whose target is under 1 s.
#include <windows.h>

#include <algorithm>
#include <string>

#include "bench/bench_util.h"
#include "engine/certificate.h"
#include "engine/win32/record.h"
#include "tests/temp_folder.h"

int main() {
  shred::ShredJob job;
  for (int i = 0; i < shred::kMaxEntries; ++i) {
    job.entries.push_back(L"C:\\Users\\ann\\Documents\\报税 2025\\document-" + std::to_wstring(i) +
                          L".xlsx");
    shred::EntryResult result;
    result.fate = i % 10 ? shred::Fate::Shredded : shred::Fate::Survived;
    result.reason = i % 10 ? shred::Reason::None : shred::Reason::InUse;
    result.path = L"\\\\?\\" + job.entries.back();
    result.identity = {0x1234ABCD, 0, uint64_t(100000 + i)};
    result.size = 20000 + i;
    result.overwritten = 24576;
    result.streams = 1;
    job.results.push_back(result);
  }
  testing_util::TempFolder dir;
  shred::RecordContext context = shred::GatherRecordContext(shred::RecordClock(), {L"C:\\"});
  std::string record;
  double making = 1e30;
  const double made = bench::Best(
      3, [] {},
      [&] {
        const double start = bench::Seconds();
        record = shred::ShredRecord(context, job);
        making = std::min(making, bench::Seconds() - start);
        shred::WriteRecordFile(dir / L"run.json", record);
      });
  const double plain = bench::Best(
      3, [] {},
      [&] {
        HANDLE f = CreateFileW((dir / L"plain.json").c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(f, record.data(), DWORD(record.size()), &written, nullptr);
        FlushFileBuffers(f);
        CloseHandle(f);
      });
  std::printf("record of %d entries: %zu bytes, %.3f s (target under 0.3 s): %s\n",
              shred::kMaxEntries, record.size(), made, made < 0.3 ? "met" : "NOT met");
  std::printf("made in %.1f ms, the rest written, flushed and renamed\n", making * 1e3);
  bench::Report("record, 32,767 entries", made, "the same bytes written plainly", plain);
  // Its certificate, made from the record's bytes and written the same way.
  std::string page;
  const double certified = bench::Best(
      3, [] {},
      [&] {
        page = shred::CertificateHtml(record, shred::Sha256Hex(record));
        shred::WriteRecordFile(dir / L"run.html", page);
      });
  std::printf("certificate of %d entries: %zu bytes, %.3f s (target under 1 s): %s\n",
              shred::kMaxEntries, page.size(), certified, certified < 1 ? "met" : "NOT met");
  return 0;
}
