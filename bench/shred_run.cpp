// Shreds 2,000 small files and, in the same run, puts 2,000 equal files
// through the least a secure delete must do: open, one write of random bytes
// over the length, flush, close, rename to a random name, delete. Then the
// same for a Recycle Bin of 2,000 $R/$I pairs against the bare loop over
// the same files. Then the run again with its last step, the Recent
// shortcuts of what it shredded, in a Recent folder of 2,000 shortcuts of
// other files, against the run without it.
#include <windows.h>

#include <bcrypt.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/timed_services.h"
#include "engine/recycle_bin.h"
#include "engine/win32/recent_traces.h"
#include "engine/win32/shred_services.h"
#include "tests/fake_shred.h"
#include "tests/temp_folder.h"

namespace {

constexpr int kFiles = 2000;
const std::string kContents(1024, 'x');

// The run's boxes, answered OK.
class Silent : public shred::Prompts {
 public:
  bool ShowMessage(const std::wstring&, const std::wstring&, shred::MessageKind) override {
    return true;
  }
};

std::vector<std::wstring> MakeFiles(const testing_util::TempFolder& dir,
                                    const std::string& contents = kContents) {
  std::vector<std::wstring> paths;
  for (int i = 0; i < kFiles; ++i) {
    paths.push_back(dir / (L"file-" + std::to_wstring(i) + L".dat"));
    testing_util::WriteBytes(paths.back(), contents);
  }
  return paths;
}

// A bin's pairs: the data as the files above, each with a version 2 record.
std::vector<std::wstring> MakeBin(const testing_util::TempFolder& dir,
                                  std::vector<shred::BinEntry>& entries,
                                  std::vector<std::string>& records) {
  std::vector<std::wstring> paths;
  entries.clear();
  records.clear();
  // Version 2: the header, the count of UTF-16 units, the path.
  const std::wstring where = L"C:\\old.x";
  std::string record(28, '\0');
  record[0] = 2;
  record[24] = char(where.size() + 1);
  for (wchar_t c : where + L'\0') record += {char(c), '\0'};
  for (int i = 0; i < kFiles; ++i) {
    const std::wstring id = std::to_wstring(100000 + i) + L".dat";
    entries.push_back({L"$R" + id});
    records.emplace_back();
    testing_util::WriteBytes(dir / entries.back().name, kContents);
    entries.push_back({L"$I" + id});
    records.push_back(record);
    testing_util::WriteBytes(dir / entries.back().name, record);
  }
  for (const auto& entry : entries) paths.push_back(dir / entry.name);
  return paths;
}

// A Recent folder of its own, read as the real one is.
class BenchTraces : public shred::Win32TraceServices {
 public:
  explicit BenchTraces(std::wstring folder) : folder_(std::move(folder)) {}
  shred::Reason RecentFolder(std::wstring& folder) override {
    folder = folder_;
    return shred::Reason::None;
  }

 private:
  std::wstring folder_;
};

// Shortcuts as the shell saves them, to files that are not shredded.
void MakeShortcuts(const std::wstring& folder) {
  CreateDirectoryW(folder.c_str(), nullptr);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  for (int i = 0; i < kFiles; ++i) {
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
      break;
    const std::wstring name = L"other-" + std::to_wstring(i) + L".dat";
    link->SetPath((folder + L"\\..\\" + name).c_str());
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      file->Save((folder + L"\\" + name + L".lnk").c_str(), TRUE);
      file->Release();
    }
    link->Release();
  }
  CoUninitialize();
}

}  // namespace

int main() {
  testing_util::TempFolder dir;
  std::vector<std::wstring> paths;
  shred::testing::CallLog log;
  shred::testing::FakeList list(log);
  shred::Win32ShredServices services;
  Silent prompts;

  const double shredding = bench::Best(
      3,
      [&] {
        paths = MakeFiles(dir);
        list.items = paths;
      },
      [&] { shred::RunShred(list, prompts, services); });
  std::vector<BYTE> noise(kContents.size());
  const double bare = bench::Best(
      3, [&] { paths = MakeFiles(dir); }, [&] { bench::BareLoop(paths, noise); });
  bench::Report("shred run, 2,000 files", shredding, "bare secure-delete loop, 2,000", bare, 1.3);
  {
    // Once more, outside the figures, to say where the run's time went.
    bench::TimedServices timed(services);
    list.items = MakeFiles(dir);
    const double start = bench::Seconds();
    shred::RunShred(list, prompts, timed);
    std::printf("where the run's time went:\n");
    timed.PrintWhereTheTimeWent(bench::Seconds() - start);
  }
  // The same past the size a file record may hold (4 KiB): without the
  // flush a small file gets before its slack is written, on a volume that
  // names itself NTFS (C: under Wine does), apart from the rest of the run.
  const std::string larger(8192, 'x');
  const double shreddingLarger = bench::Best(
      3,
      [&] {
        paths = MakeFiles(dir, larger);
        list.items = paths;
      },
      [&] { shred::RunShred(list, prompts, services); });
  std::vector<BYTE> largerNoise(larger.size());
  const double bareLarger = bench::Best(
      3, [&] { paths = MakeFiles(dir, larger); }, [&] { bench::BareLoop(paths, largerNoise); });
  bench::Report("shred run, 2,000 files of 8 KiB", shreddingLarger,
                "bare secure-delete loop, the same", bareLarger, 1.3);

  std::vector<shred::BinEntry> entries;
  std::vector<std::string> records;
  std::vector<shred::BinItem> items;
  const double bin = bench::Best(
      3,
      [&] {
        MakeBin(dir, entries, records);
        items = shred::PairBinItems(dir.path(), entries, records);
      },
      [&] {
        shred::ShredMonitor monitor;
        shred::ShredBinItems(items, services, monitor);
      });
  const double bareBin = bench::Best(
      3, [&] { paths = MakeBin(dir, entries, records); }, [&] { bench::BareLoop(paths, noise); });
  bench::Report("recycle bin, 2,000 pairs", bin, "bare loop, the same 4,000 files", bareBin, 1.3);

  testing_util::TempFolder recent;
  MakeShortcuts(recent / L"Recent");
  BenchTraces traces(recent / L"Recent");
  const double withTraces = bench::Best(
      3,
      [&] {
        paths = MakeFiles(dir);
        list.items = paths;
      },
      [&] {
        shred::ShredJob job;
        if (!shred::PrepareShred(list, prompts, job)) return;
        shred::ShredMonitor monitor;
        shred::ShredFiles(job, services, monitor);
        job.traces = shred::ClearRecentTraces(shred::ShreddedPlaces(job), services, traces);
        shred::FinishShred(list, prompts, job);
      });
  const double without = bench::Best(
      3,
      [&] {
        paths = MakeFiles(dir);
        list.items = paths;
      },
      [&] { shred::RunShred(list, prompts, services); });
  bench::Report("shred run and its Recent step, 2,000 shortcuts", withTraces,
                "the same run without it", without, 1.1);
  return 0;
}
