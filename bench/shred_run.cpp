// Shreds 2,000 small files and, in the same run, puts 2,000 equal files
// through the least a secure delete must do: open, one write of random bytes
// over the length, flush, close, rename to a random name, delete.
#include <windows.h>

#include <bcrypt.h>

#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "engine/win32_shred_services.h"
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

std::vector<std::wstring> MakeFiles(const testing_util::TempFolder& dir) {
  std::vector<std::wstring> paths;
  for (int i = 0; i < kFiles; ++i) {
    paths.push_back(dir / (L"file-" + std::to_wstring(i) + L".dat"));
    testing_util::WriteBytes(paths.back(), kContents);
  }
  return paths;
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
      3, [&] { paths = MakeFiles(dir); },
      [&] {
        for (const auto& p : paths) {
          HANDLE f = CreateFileW(p.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 0, nullptr);
          BCryptGenRandom(nullptr, noise.data(), ULONG(noise.size()),
                          BCRYPT_USE_SYSTEM_PREFERRED_RNG);
          DWORD written = 0;
          WriteFile(f, noise.data(), DWORD(noise.size()), &written, nullptr);
          FlushFileBuffers(f);
          CloseHandle(f);
          const std::wstring hidden =
              p.substr(0, p.find_last_of(L'\\') + 1) + L"zz" + p.substr(p.find_last_of(L'\\') + 3);
          MoveFileExW(p.c_str(), hidden.c_str(), 0);
          DeleteFileW(hidden.c_str());
        }
      });
  bench::Report("shred run, 2,000 files", shredding, "bare secure-delete loop, 2,000", bare, 1.3);
  return 0;
}
