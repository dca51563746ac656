// A folder handed over whole with /s: 100,000 files of 1 KiB in 1,000
// folders (another count as the first argument, a hundred a folder), walked
// and shredded as the console companion does it, against the bare
// secure-delete loop over the same files; then the peak working set. The trees are made from the
// Linux side: under Wine each name made through Win32 is checked against
// its whole folder, and the making would take longer than the run.
#include <windows.h>

#include <bcrypt.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/timed_services.h"
#include "engine/folder_walk.h"
#include "engine/shred_run.h"
#include "engine/win32/shred_services.h"
#include "tests/temp_folder.h"

namespace {

constexpr int kPerFolder = 100;

// Makes `files` files of 1 KiB in `folder`\dNNN\fNN.dat from the Linux side
// and waits for them; the paths in the walk's order.
std::vector<std::wstring> MakeTree(const std::wstring& folder, int files) {
  const std::string unix = testing_util::UnixPath(folder);
  const std::wstring script = folder + L".py";
  testing_util::WriteBytes(script,
                           "import os, sys\n"
                           "root, n = sys.argv[1], int(sys.argv[2])\n"
                           "data = os.urandom(1024)\n"
                           "for i in range(n):\n"
                           "    d = os.path.join(root, 'd%03d' % (i // 100))\n"
                           "    if i % 100 == 0: os.makedirs(d)\n"
                           "    open(os.path.join(d, 'f%02d.dat' % (i % 100)), 'wb')"
                           ".write(data)\n"
                           "open(root + '.done', 'w').close()\n");
  const std::wstring done = folder + L".done";
  DeleteFileW(done.c_str());
  testing_util::RunUnixShell("python3 '" + testing_util::UnixPath(script) + "' '" + unix + "' " +
                             std::to_string(files));
  for (int i = 0; i < 6000 && GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
    Sleep(20);
  DeleteFileW(done.c_str());
  std::vector<std::wstring> paths;
  for (int i = 0; i < files; ++i) {
    wchar_t name[32];
    swprintf(name, 32, L"\\d%03d\\f%02d.dat", i / kPerFolder, i % kPerFolder);
    paths.push_back(folder + name);
  }
  return paths;
}

// The bare loop over the files, and their folders after them.
void BareLoop(const std::wstring& folder, const std::vector<std::wstring>& paths) {
  std::vector<BYTE> noise(1024);
  bench::BareLoop(paths, noise);
  for (size_t i = 0; i < paths.size(); i += kPerFolder)
    RemoveDirectoryW(paths[i].substr(0, paths[i].find_last_of(L'\\')).c_str());
  RemoveDirectoryW(folder.c_str());
}

// The bare enumeration a preview is held against: every folder of the tree
// listed, every name seen once; with `open`, each file also opened to read
// its attributes and closed, the least any check of a file through a
// handle costs.
int Enumerate(const std::wstring& folder, bool open = false) {
  int names = 0;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                 FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    ++names;
    const std::wstring path = folder + L"\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      names += Enumerate(path, open);
    } else if (open) {
      CloseHandle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr));
    }
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return names;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int files = argc > 1 ? _wtoi(argv[1]) : 100000;
  testing_util::TempFolder dir;
  const std::wstring tree = dir / L"tree";
  shred::Win32ShredServices platform;
  bench::TimedServices services(platform);
  int listed = 0, shredded = 0;
  double walked = 0;
  const double run = bench::Best(
      1, [&] { MakeTree(tree, files); },
      [&] {
        shred::ShredJob job;
        std::vector<shred::WalkNote> notes;
        const double start = bench::Seconds();
        job.entries =
            shred::ExpandFolders({tree}, true, notes, true, nullptr, nullptr, &job.folders);
        walked = bench::Seconds() - start;
        listed = int(job.entries.size());
        shred::ShredMonitor monitor;
        shred::ShredFiles(job, services, monitor);
        for (const shred::EntryResult& r : job.results) shredded += r.fate == shred::Fate::Shredded;
      });
  std::vector<std::wstring> paths;
  const double bare = bench::Best(
      1, [&] { paths = MakeTree(tree, files); }, [&] { BareLoop(tree, paths); });
  std::printf("%d files in %d folders: %d listed in %.0f ms, %d shredded\n", files,
              files / kPerFolder, listed, walked * 1e3, shredded);
  bench::Report("/s walk and run", run, "bare secure-delete loop", bare, 1.3);
  std::printf("where the run's time went (walk %.1f %%):\n", 100 * walked / run);
  services.PrintWhereTheTimeWent(run);
  // A preview of the same tree (/l /s): the walk and every check, nothing
  // done, against listing the tree.
  MakeTree(tree, files);
  int previewed = 0, seen = 0;
  bench::TimedServices previewServices(platform);
  const double preview = bench::Best(
      1, [] {},
      [&] {
        shred::ShredJob job;
        job.preview = true;
        std::vector<shred::WalkNote> notes;
        job.entries =
            shred::ExpandFolders({tree}, true, notes, true, nullptr, nullptr, &job.folders);
        shred::ShredMonitor monitor;
        shred::ShredFiles(job, previewServices, monitor);
        for (const shred::EntryResult& r : job.results)
          previewed += r.fate == shred::Fate::Overwritten;
      });
  const double listing = bench::Best(
      1, [] {}, [&] { seen = Enumerate(tree); });
  std::printf("preview: %d files would be shredded; %d names listed\n", previewed, seen);
  bench::Report("/l /s preview", preview, "bare enumeration", listing, 1.2);
  // Any preview that opens each file, as the checks of a run must, is held
  // to this floor: the enumeration and one open each.
  const double opening = bench::Best(
      1, [] {}, [&] { Enumerate(tree, true); });
  bench::Report("bare enumeration, each opened", opening, "bare enumeration", listing);
  bench::Report("/l /s preview", preview, "bare enumeration, each opened", opening);
  std::printf("where the preview's time went:\n");
  previewServices.PrintWhereTheTimeWent(preview);
  BareLoop(tree, paths);
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  std::printf("peak working set %.1f MiB\n", double(memory.PeakWorkingSetSize) / (1 << 20));
  return 0;
}
