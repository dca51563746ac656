// Destroying a file's contents for real, on real files: random bytes over the
// old contents before the truncation, renaming before deletion, and the run
// on a worker thread with its progress dialog and Cancel.
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <atomic>
#include <set>
#include <thread>

#include "shredder/shred_progress.h"
#include "shredder/win32_shred_services.h"
#include "tests/fake_shred.h"
#include "tests/skin_test_util.h"
#include "tests/temp_folder.h"

namespace shred {
namespace {

using testing_util::Exists;
using testing_util::ReadBytes;
using testing_util::TempFolder;
using testing_util::WriteBytes;

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = char('A' + i % 23);
  return bytes;
}

std::string NoticeBytes() { return EncodeLine(BannerLine()) + EncodeLine(NoticeLine()); }

// Reads the file through a second handle at the moment before truncation.
class PeekingServices : public Win32ShredServices {
 public:
  PeekingServices() : Win32ShredServices(nullptr) {}
  bool ShowMessage(const std::wstring&, const std::wstring&, MessageKind) override { return true; }
  std::wstring path;
  std::string seen;

 protected:
  void BeforeTruncate(HANDLE) override { seen = ReadBytes(path); }
};

std::set<std::wstring> Names(const std::wstring& folder) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (wcscmp(found.cFileName, L".") && wcscmp(found.cFileName, L".."))
      names.insert(found.cFileName);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return names;
}

TEST(ShredDestroy, OldBytesAreOverwrittenBeforeTheTruncation) {
  TempFolder dir;
  // Larger than the overwrite buffer, so that it takes several writes.
  const std::string old = Pattern(kOverwriteBufferBytes * 2 + 12345);
  PeekingServices services;
  services.path = dir / L"secret.bin";
  ASSERT_TRUE(WriteBytes(services.path, old));
  uint64_t reported = 0;
  services.onBytesOverwritten = [&](uint64_t bytes) { reported = bytes; };
  ASSERT_TRUE(services.OpenChannel(services.path));
  services.CloseChannel();

  ASSERT_EQ(services.seen.size(), old.size()) << "overwritten in place, same length";
  EXPECT_EQ(reported, old.size());
  size_t same = 0;
  for (size_t i = 0; i < old.size(); ++i) same += services.seen[i] == old[i];
  // Random bytes match the old ones about once in 256.
  EXPECT_LT(same, old.size() / 100) << "the old contents are gone";
  EXPECT_EQ(services.seen.find(old.substr(0, 64)), std::string::npos);
  EXPECT_EQ(ReadBytes(services.path), "") << "then truncated";
}

TEST(ShredDestroy, ASurvivorHoldsTheNoticeAndKeepsItsName) {
  TempFolder dir;
  const auto kept = dir / L"readonly.txt";
  ASSERT_TRUE(WriteBytes(kept, Pattern(5000)));
  const auto other = dir / L"other.txt";
  ASSERT_TRUE(WriteBytes(other, Pattern(10)));
  // Held open without delete sharing: it can be written but not renamed or deleted.
  HANDLE reader = CreateFileW(kept.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  testing::CallLog log;
  testing::FakeList list(log);
  list.items = {kept, other};
  PeekingServices services;
  RunShred(list, services);
  CloseHandle(reader);
  EXPECT_EQ(ReadBytes(kept), NoticeBytes());
  EXPECT_EQ(Names(dir.path()), std::set<std::wstring>{L"readonly.txt"});
  EXPECT_EQ(list.items, std::vector<std::wstring>{kept});
}

TEST(ShredDestroy, AFileThatCannotBeDeletedIsRenamedBack) {
  TempFolder dir;
  const auto ro = dir / L"kept-name.txt";
  ASSERT_TRUE(WriteBytes(ro, "x"));
  SetFileAttributesW(ro.c_str(), FILE_ATTRIBUTE_READONLY);
  Win32ShredServices services(nullptr);
  EXPECT_FALSE(services.RemoveFile(ro));
  EXPECT_EQ(Names(dir.path()), std::set<std::wstring>{L"kept-name.txt"});
}

TEST(ShredDestroy, TheFolderLosesTheNameBeforeTheFileGoes) {
  TempFolder dir;
  const auto file = dir / L"report-2026.txt";
  ASSERT_TRUE(WriteBytes(file, "x"));
  HANDLE watch = CreateFileW(dir.path().c_str(), FILE_LIST_DIRECTORY,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(watch, INVALID_HANDLE_VALUE);
  alignas(DWORD) BYTE buffer[4096];
  std::vector<std::pair<DWORD, std::wstring>> events;
  std::thread watcher([&] {
    for (int round = 0; round < 3 && events.size() < 3; ++round) {
      DWORD bytes = 0;
      if (!ReadDirectoryChangesW(watch, buffer, sizeof buffer, FALSE, FILE_NOTIFY_CHANGE_FILE_NAME,
                                 &bytes, nullptr, nullptr) ||
          bytes == 0) {
        return;
      }
      for (auto* n = reinterpret_cast<FILE_NOTIFY_INFORMATION*>(buffer);;
           n = reinterpret_cast<FILE_NOTIFY_INFORMATION*>(reinterpret_cast<BYTE*>(n) +
                                                          n->NextEntryOffset)) {
        events.push_back({n->Action, std::wstring(n->FileName, n->FileNameLength / 2)});
        if (!n->NextEntryOffset) break;
      }
    }
  });
  Sleep(200);
  Win32ShredServices services(nullptr);
  EXPECT_TRUE(services.RemoveFile(file));
  Sleep(300);
  CancelIoEx(watch, nullptr);
  CloseHandle(watch);
  watcher.join();
  if (events.empty()) GTEST_SKIP() << "this system reports no folder changes";
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[0],
            std::make_pair(DWORD(FILE_ACTION_RENAMED_OLD_NAME), std::wstring(L"report-2026.txt")));
  EXPECT_EQ(events[1].first, DWORD(FILE_ACTION_RENAMED_NEW_NAME));
  EXPECT_EQ(events[1].second.size(), std::wstring(L"report-2026.txt").size());
  EXPECT_NE(events[1].second, L"report-2026.txt");
  EXPECT_EQ(events[2], std::make_pair(DWORD(FILE_ACTION_REMOVED), events[1].second));
}

TEST(ShredDestroy, EveryHardLinkReadsTheNotice) {
  TempFolder dir;
  const auto a = dir / L"a.txt";
  const auto b = dir / L"b.txt";
  ASSERT_TRUE(WriteBytes(a, Pattern(3000)));
  if (!CreateHardLinkW(b.c_str(), a.c_str(), nullptr)) GTEST_SKIP() << "no hard links here";
  testing::CallLog log;
  testing::FakeList list(log);
  list.items = {a};
  PeekingServices services;
  services.path = a;
  RunShred(list, services);
  EXPECT_FALSE(Exists(a));
  EXPECT_EQ(ReadBytes(b), NoticeBytes());
  EXPECT_TRUE(list.items.empty());
}

TEST(ShredDestroy, ASparseFileDoesNotGrow) {
  TempFolder dir;
  const auto path = dir / L"sparse.bin";
  HANDLE f =
      CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  DWORD bytes = 0;
  if (!DeviceIoControl(f, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &bytes, nullptr)) {
    CloseHandle(f);
    GTEST_SKIP() << "this file system has no sparse files";
  }
  LARGE_INTEGER size;
  size.QuadPart = 64ll << 20;  // 64 MiB of holes
  SetFilePointerEx(f, size, nullptr, FILE_BEGIN);
  SetEndOfFile(f);
  CloseHandle(f);
  if (!(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_SPARSE_FILE)) {
    GTEST_SKIP() << "this file system does not keep the sparse attribute";
  }
  const ULONGLONG allocatedBefore = GetCompressedFileSizeW(path.c_str(), nullptr);

  PeekingServices services;
  services.path = path;
  uint64_t overwritten = 0;
  services.onBytesOverwritten = [&](uint64_t n) { overwritten = n; };
  ASSERT_TRUE(services.OpenChannel(path));
  services.CloseChannel();
  EXPECT_EQ(services.seen.size(), size_t(size.QuadPart)) << "truncation comes after";
  EXPECT_LE(overwritten, allocatedBefore) << "only allocated ranges are overwritten";
  EXPECT_EQ(ReadBytes(path), "") << "truncated; the notice comes with the lines printed";
}

// ---- the run on a worker thread ---------------------------------------------------

TEST(ShredInBackground, CancelInTheMiddleKeepsTheRestUntouched) {
  testing_util::TestParent owner;
  TempFolder dir;
  ShredJob job;
  const int kFiles = 12;
  for (int i = 0; i < kFiles; ++i) {
    job.paths.push_back(dir / (L"big-" + std::to_wstring(i) + L".bin"));
    ASSERT_TRUE(WriteBytes(job.paths.back(), Pattern(24u << 20)));
  }

  std::atomic<bool> sawDialog{false}, ownerDisabled{false}, hasBar{false};
  std::thread user([&] {
    for (int i = 0; i < 3000; ++i) {
      HWND dialog = FindWindowW(L"#32770", form1::kProgressTitle);
      wchar_t count[128] = {};
      if (dialog) GetDlgItemTextW(dialog, form1::kProgressCountText, count, 128);
      // Cancel once a file is done, as a user watching it would.
      if (dialog && wcsncmp(count, L"已完成 ", 4) == 0 && count[4] >= L'1' && count[4] <= L'9') {
        sawDialog = true;
        ownerDisabled = !IsWindowEnabled(owner.get());
        hasBar = GetDlgItem(dialog, form1::kProgressBar) != nullptr;
        PostMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
        return;
      }
      Sleep(5);
    }
  });
  form1::RunShredWithProgress(owner.get(), job, 0);
  user.join();

  ASSERT_TRUE(sawDialog);
  EXPECT_TRUE(ownerDisabled) << "no other command runs meanwhile";
  EXPECT_TRUE(hasBar);
  EXPECT_TRUE(IsWindowEnabled(owner.get()));
  EXPECT_TRUE(job.cancelled);
  ASSERT_GE(job.processed, 1);
  ASSERT_LT(job.processed, kFiles);
  for (int i = 0; i < kFiles; ++i) {
    if (i < job.processed) {
      EXPECT_FALSE(Exists(job.paths[i])) << i;
    } else {
      EXPECT_EQ(ReadBytes(job.paths[i]), Pattern(24u << 20)) << i << " is untouched";
    }
  }
  EXPECT_EQ(FindWindowW(L"#32770", form1::kProgressTitle), nullptr) << "the dialog is gone";
}

TEST(ShredInBackground, AQuickRunShowsNoDialog) {
  testing_util::TestParent owner;
  TempFolder dir;
  ShredJob job;
  job.paths = {dir / L"small.txt"};
  ASSERT_TRUE(WriteBytes(job.paths[0], "x"));
  std::atomic<bool> dialogSeen{false}, done{false};
  std::thread watcher([&] {
    while (!done) {
      if (FindWindowW(L"#32770", form1::kProgressTitle)) dialogSeen = true;
      Sleep(2);
    }
  });
  form1::RunShredWithProgress(owner.get(), job, 10000);
  done = true;
  watcher.join();
  EXPECT_FALSE(dialogSeen);
  EXPECT_FALSE(job.cancelled);
  EXPECT_EQ(job.processed, 1);
  EXPECT_FALSE(Exists(job.paths[0]));
}

}  // namespace
}  // namespace shred
