// Shreds 2,000 small files and, in the same run, deletes 2,000 equal files
// with a plain DeleteFileW loop.
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "engine/win32_shred_services.h"
#include "tests/fake_shred.h"
#include "tests/temp_folder.h"

namespace {

constexpr int kFiles = 2000;
const std::string kContents(1024, 'x');

class SilentServices : public shred::Win32ShredServices {
 public:
  SilentServices() : Win32ShredServices(nullptr) {}
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
  SilentServices services;

  const double shredding = bench::Best(
      3,
      [&] {
        paths = MakeFiles(dir);
        list.items = paths;
      },
      [&] { shred::RunShred(list, services); });
  const double deleting = bench::Best(
      3, [&] { paths = MakeFiles(dir); },
      [&] {
        for (const auto& p : paths) DeleteFileW(p.c_str());
      });
  bench::Report("shred run, 2,000 files", shredding, "DeleteFileW loop, 2,000 files", deleting,
                3.0);
  return 0;
}
