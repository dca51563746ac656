// Destroying a file's contents for real, on real files: random bytes over the
// old contents before the truncation, renaming before deletion, and the run
// on a worker thread with its progress dialog and Cancel.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>
#include <map>

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

#include "engine/win32/shred_services.h"
#include "tests/api_counter.h"
#include "tests/fake_shred.h"
#include "tests/skin_test_util.h"
#include "tests/temp_folder.h"
#include "window/shred_progress.h"

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

// Real services; reads the stream through a second handle just before it is
// truncated, and can be told to claim a file is sparse with given ranges.
class PeekingServices : public Win32ShredServices {
 public:
  Reason OpenFolder(const std::wstring& path, FolderId& folder, FileIdentity& identity) override {
    const Reason reason = Win32ShredServices::OpenFolder(path, folder, identity);
    if (reason == Reason::None) folders[folder] = path.back() == L'\\' ? path : path + L"\\";
    return reason;
  }
  Reason OpenFileIn(FolderId folder, const std::wstring& name, FileId& file,
                    FileFacts& facts) override {
    opened = folders.at(folder) + name;
    const Reason reason = Win32ShredServices::OpenFileIn(folder, name, file, facts);
    if (!sparseRanges.empty()) facts.attributes |= attr::kSparse;
    return reason;
  }
  bool AllocatedRanges(FileId, int64_t, std::vector<Range>& ranges) override {
    ranges = sparseRanges;
    return true;
  }
  Reason Truncate(FileId file) override {
    seen = ReadBytes(opened);
    return Win32ShredServices::Truncate(file);
  }
  std::map<FolderId, std::wstring> folders;  // each held folder's path, ending in a separator
  std::wstring opened;
  std::string seen;
  std::vector<Range> sparseRanges;
  testing::RecordingPrompts prompts;  // the run's boxes, answered OK
};

// Deletion fails; optionally the rename back fails too.
class UndeletableServices : public PeekingServices {
 public:
  Reason DeleteOpenFile(FileId) override { return Reason::AccessDenied; }
  Reason RenameOpenFile(FileId file, const std::wstring& to) override {
    if (renames++ == 1 && failRenameBack) return Reason::AccessDenied;
    return PeekingServices::RenameOpenFile(file, to);
  }
  bool failRenameBack = false;
  int renames = 0;
};

struct CountingMonitor : ShredMonitor {
  bool CancelRequested() override {
    return cancelAfterBuffers > 0 && buffers >= cancelAfterBuffers;
  }
  void Overwritten(uint64_t bytes) override {
    ++buffers;
    reported = bytes;
  }
  int buffers = 0, cancelAfterBuffers = 0;
  uint64_t reported = 0;
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

ULONGLONG WriteTime(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return (ULONGLONG(data.ftLastWriteTime.dwHighDateTime) << 32) |
         data.ftLastWriteTime.dwLowDateTime;
}

const DestroyOptions kVerify = [] {
  DestroyOptions options;
  options.verify = true;
  return options;
}();

TEST(ShredDestroy, OldBytesAreOverwrittenAndFlushedBeforeTheTruncation) {
  TempFolder dir;
  // Larger than the overwrite buffer, so that it takes several writes.
  const std::string old = Pattern(kOverwriteBufferBytes * 2 + 12345);
  const auto path = dir / L"secret.bin";
  ASSERT_TRUE(WriteBytes(path, old));
  PeekingServices services;
  CountingMonitor monitor;
  testing_util::CountApiCalls().fileCalls.clear();
  const EntryResult result = DestroyContents(ResolveEntry(path).path, services, monitor);
  EXPECT_EQ(testing_util::CountApiCalls().fileCalls, "FT") << "flushed, then truncated";

  EXPECT_EQ(result.fate, Fate::Overwritten);
  ASSERT_GE(services.seen.size(), old.size()) << "overwritten in place, up to its allocation";
  EXPECT_EQ(monitor.reported, services.seen.size());
  EXPECT_EQ(monitor.buffers, 3);
  size_t same = 0;
  for (size_t i = 0; i < old.size(); ++i) same += services.seen[i] == old[i];
  // Random bytes match the old ones about once in 256.
  EXPECT_LT(same, old.size() / 100) << "the old contents are gone";
  // No two 4 KiB blocks alike, none of them zeros: the random tile reaches
  // every byte and each block carries its own stamp.
  std::set<std::string> blocks;
  const std::string zeros(4096, '\0');
  for (size_t at = 0; at + 4096 <= old.size(); at += 4096) {
    const std::string block = services.seen.substr(at, 4096);
    EXPECT_NE(block, zeros) << "block at " << at;
    blocks.insert(block);
  }
  EXPECT_EQ(blocks.size(), old.size() / 4096) << "every block differs from every other";
  // Random bytes are zero about once in 256; a tile that did not reach the
  // whole buffer would leave zeros behind its stamps.
  const size_t zeroBytes = size_t(std::count(services.seen.begin(), services.seen.end(), '\0'));
  EXPECT_LT(zeroBytes, services.seen.size() / 128) << "random all through";
  EXPECT_EQ(ReadBytes(path), NoticeBytes()) << "then truncated, the notice written";
}

// The read-back reads what the disk holds, through a second handle on the
// open file: every range of a file of several buffers and of an odd length
// matches; one byte changed from the Linux side after the flush (a write
// the drive lost, as far as the run can tell) keeps the file, overwritten
// and not truncated.
TEST(ShredDestroy, TheReadBackFindsEveryByteAsWrittenOrKeepsTheFile) {
  TempFolder dir;
  const auto path = dir / L"checked.bin", odd = dir / L"odd.bin", lost = dir / L"lost.bin";
  const std::string old = Pattern(kOverwriteBufferBytes + 12345);
  for (const auto& p : {path, lost}) ASSERT_TRUE(WriteBytes(p, old));
  ASSERT_TRUE(WriteBytes(odd, Pattern(5000)));
  struct LosingServices : PeekingServices {
    Reason Flush(FileId file) override {
      const Reason reason = PeekingServices::Flush(file);
      if (!command.empty()) changed = testing_util::RunUnixShell(command);
      return reason;
    }
    std::string command;
    bool changed = false;
  };
  for (const auto& p : {path, odd}) {
    LosingServices services;
    CountingMonitor monitor;
    const EntryResult result = DestroyContents(ResolveEntry(p).path, services, monitor, kVerify);
    EXPECT_EQ(result.fate, Fate::Overwritten);
    EXPECT_TRUE(result.verified);
    EXPECT_EQ(ReadBytes(p), NoticeBytes());
  }
  const std::string unix = testing_util::UnixPath(lost);
  if (unix.empty()) GTEST_SKIP() << "no Linux side to change the file from";
  LosingServices services;
  services.command = "printf Z | dd of='" + unix + "' bs=1 seek=4200000 conv=notrunc 2>/dev/null";
  CountingMonitor monitor;
  const EntryResult result = DestroyContents(ResolveEntry(lost).path, services, monitor, kVerify);
  ASSERT_TRUE(services.changed) << "the byte was changed behind the run";
  EXPECT_EQ(result.fate, Fate::Survived);
  EXPECT_EQ(result.reason, Reason::VerifyFailed);
  const std::string left = ReadBytes(lost);
  ASSERT_GE(left.size(), old.size()) << "not truncated";
  EXPECT_EQ(left[4200000], 'Z');
  size_t same = 0;
  for (size_t i = 0; i < old.size(); ++i) same += left[i] == old[i];
  EXPECT_LT(same, old.size() / 100) << "the rest is overwritten all the same";
}

// While the run writes, no other program may rename or delete the file,
// nor write to it: only readers share it.
TEST(ShredDestroy, WhileItIsWrittenOtherProgramsMayOnlyReadTheFile) {
  TempFolder dir;
  const auto path = dir / L"busy.bin";
  ASSERT_TRUE(WriteBytes(path, Pattern(5000)));
  struct TryingServices : PeekingServices {
    Reason WriteRandom(FileId file, int64_t offset, int64_t length) override {
      const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
      for (const DWORD access : {DWORD(DELETE), DWORD(GENERIC_WRITE), DWORD(GENERIC_READ)}) {
        HANDLE other =
            CreateFileW(opened.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
        allowed.push_back(other != INVALID_HANDLE_VALUE);
        if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
      }
      return PeekingServices::WriteRandom(file, offset, length);
    }
    std::vector<bool> allowed;
  } services;
  CountingMonitor monitor;
  DestroyContents(ResolveEntry(path).path, services, monitor);
  EXPECT_EQ(services.allowed, (std::vector<bool>{false, false, true}));
}

// Every open of the run opens what exists: a missing name is never created.
TEST(ShredDestroy, AMissingFileIsNeverCreated) {
  TempFolder dir;
  const std::wstring missing = ResolveEntry(dir / L"missing.txt").path;
  Win32ShredServices services;
  FolderId folder = 0;
  FileIdentity identity;
  ASSERT_EQ(services.OpenFolder(ResolveEntry(dir.path()).path, folder, identity), Reason::None);
  FileId file = 0;
  FileFacts facts;
  EXPECT_EQ(services.OpenFileIn(folder, L"missing.txt", file, facts), Reason::NotFound);
  EXPECT_EQ(services.OpenToDeleteIn(folder, L"missing.txt", file, facts), Reason::NotFound);
  EXPECT_FALSE(services.ExistsIn(folder, L"missing.txt"));
  // A name that is not one component is never opened as a path.
  EXPECT_EQ(services.OpenFileIn(folder, L"..\\missing.txt", file, facts), Reason::InvalidName);
  services.CloseFolder(folder);
  EXPECT_FALSE(Exists(missing));
}

TEST(ShredDestroy, AHandleTheRunRefusesIsClosedAtOnce) {
  // Read-only, as if it had become so after the path was checked: Wine run
  // by root opens it for writing all the same, and the run refuses it.
  TempFolder dir;
  const auto path = dir / L"became-read-only.txt";
  ASSERT_TRUE(WriteBytes(path, Pattern(100)));
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
  PeekingServices services;
  CountingMonitor monitor;
  const EntryResult result = DestroyContents(ResolveEntry(path).path, services, monitor);
  EXPECT_EQ(result.fate, Fate::Survived);
  EXPECT_TRUE(result.reason == Reason::ReadOnly || result.reason == Reason::AccessDenied);
  EXPECT_EQ(ReadBytes(path), Pattern(100));
  HANDLE alone = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(alone, INVALID_HANDLE_VALUE) << "no handle of the run is left open";
  CloseHandle(alone);
}

TEST(ShredDestroy, OnlyTheAllocatedRangesOfASparseFileAreWritten) {
  TempFolder dir;
  const std::string old = Pattern(4u << 20);
  const auto path = dir / L"sparse.bin";
  ASSERT_TRUE(WriteBytes(path, old));
  PeekingServices services;
  services.sparseRanges = {{1 << 20, 65536}, {3 << 20, 65536}};
  CountingMonitor monitor;
  DestroyContents(ResolveEntry(path).path, services, monitor);
  ASSERT_EQ(services.seen.size(), old.size()) << "a sparse file is not filled up";
  auto changed = [&](size_t from, size_t to) {
    size_t n = 0;
    for (size_t i = from; i < to; ++i) n += services.seen[i] != old[i];
    return n;
  };
  EXPECT_EQ(changed(0, 1 << 20), 0u);
  EXPECT_GT(changed(1 << 20, (1 << 20) + 65536), 65000u);
  EXPECT_EQ(changed((1 << 20) + 65536, 3 << 20), 0u);
  EXPECT_GT(changed(3 << 20, (3 << 20) + 65536), 65000u);
  EXPECT_EQ(changed((3 << 20) + 65536, old.size()), 0u);
}

TEST(ShredDestroy, ASurvivorHoldsOnlyTheNoticeWithAnOldDateAndItsOwnName) {
  TempFolder dir;
  const auto kept = dir / L"kept.txt";
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
  RunShred(list, services.prompts, services);
  CloseHandle(reader);
  EXPECT_EQ(ReadBytes(kept), NoticeBytes());
  EXPECT_EQ(WriteTime(kept), kShreddedFileTime);
  EXPECT_EQ(Names(dir.path()), std::set<std::wstring>{L"kept.txt"});
  EXPECT_EQ(list.items, std::vector<std::wstring>{kept});
  EXPECT_EQ(services.prompts.messages.back(),
            L"共 2 个文件，其中 1 个未能粉碎：\r\n内容已覆盖，但无法删除（1 个）：\r\n" + kept);
}

// Another program holds the file: it is never called shredded. A writer keeps
// it from being touched at all; a reader that shares deletion would only
// make the deletion pending until it closes the file.
TEST(ShredDestroy, AFileAnotherProgramHoldsIsNeverCalledShredded) {
  const struct {
    const char* name;
    DWORD access, share;
    bool overwritten;
    const wchar_t* reason;
  } rows[] = {
      {"a log being written", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
       false, L"正在被其他程序使用"},
      {"a viewer sharing deletion", GENERIC_READ,
       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true, L"内容已覆盖，但无法删除"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TempFolder dir;
    const auto file = dir / L"held.bin";
    ASSERT_TRUE(WriteBytes(file, Pattern(3000)));
    HANDLE holder =
        CreateFileW(file.c_str(), row.access, row.share, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    testing::CallLog log;
    testing::FakeList list(log);
    list.items = {file};
    PeekingServices services;
    RunShred(list, services.prompts, services);
    CloseHandle(holder);
    EXPECT_EQ(ReadBytes(file), row.overwritten ? NoticeBytes() : Pattern(3000));
    EXPECT_EQ(Names(dir.path()), std::set<std::wstring>{L"held.bin"}) << "under its own name";
    EXPECT_EQ(list.items, std::vector<std::wstring>{file});
    EXPECT_EQ(services.prompts.messages.back(), L"共 1 个文件，其中 1 个未能粉碎：\r\n" +
                                                    std::wstring(row.reason) + L"（1 个）：\r\n" +
                                                    file);
  }
}

TEST(ShredDestroy, AFileThatCannotBeDeletedGetsItsNameBackOrIsListedUnderItsNewOne) {
  for (const bool failRenameBack : {false, true}) {
    TempFolder dir;
    const auto file = dir / L"kept-name.txt";
    ASSERT_TRUE(WriteBytes(file, Pattern(100)));
    testing::CallLog log;
    testing::FakeList list(log);
    list.items = {file};
    UndeletableServices services;
    services.failRenameBack = failRenameBack;
    RunShred(list, services.prompts, services);
    const auto names = Names(dir.path());
    ASSERT_EQ(names.size(), 1u);
    const std::wstring name = *names.begin();
    ASSERT_EQ(list.items.size(), 1u);
    EXPECT_EQ(list.items[0], dir / name) << "the list names the file where it is";
    EXPECT_EQ(ReadBytes(dir / name), NoticeBytes());
    if (!failRenameBack) {
      EXPECT_EQ(name, L"kept-name.txt");
      continue;
    }
    EXPECT_EQ(name.size(), std::wstring(L"kept-name.txt").size() + 8);
    EXPECT_NE(name, L"kept-name.txt");
    EXPECT_NE(services.prompts.messages.back().find(
                  L"内容已覆盖，但无法删除，也无法改回原名（1 个）：\r\n" + dir / name),
              std::wstring::npos);
  }
}

TEST(ShredDestroy, ACancelInTheMiddleOfAFileLeavesItPartlyOverwrittenInTheList) {
  TempFolder dir;
  const std::string old = Pattern(3 * kOverwriteBufferBytes);
  const auto big = dir / L"big.bin";
  ASSERT_TRUE(WriteBytes(big, old));
  ShredJob job;
  job.entries = {big};
  PeekingServices services;
  CountingMonitor monitor;
  monitor.cancelAfterBuffers = 1;
  ShredFiles(job, services, monitor);
  EXPECT_TRUE(job.cancelled);
  EXPECT_EQ(job.results[0].reason, Reason::Cancelled);
  const std::string now = ReadBytes(big);
  ASSERT_EQ(now.size(), old.size()) << "not truncated, not deleted";
  EXPECT_NE(now.substr(0, 4096), old.substr(0, 4096));
  EXPECT_EQ(now.substr(kOverwriteBufferBytes), old.substr(kOverwriteBufferBytes));
  testing::CallLog log;
  testing::FakeList list(log);
  list.items = {big};
  FinishShred(list, services.prompts, job);
  EXPECT_EQ(list.items, std::vector<std::wstring>{big});
  EXPECT_NE(services.prompts.messages.back().find(L"已取消，仅部分覆盖（1 个）：\r\n" + big),
            std::wstring::npos);
}

TEST(ShredDestroy, ExactlyTheNamedFileGoesNeverASibling) {
  TempFolder dir;
  // Names that Win32 path rules would rewrite to their siblings.
  const std::wstring verbatim = L"\\\\?\\" + dir.path();
  for (const wchar_t* name : {L"dot.", L"sp "}) {
    ASSERT_TRUE(WriteBytes(verbatim + L"\\" + name, "listed"));
  }
  ASSERT_TRUE(WriteBytes(dir / L"dot", "sibling"));
  ASSERT_TRUE(WriteBytes(dir / L"sp", "sibling"));
  testing::CallLog log;
  testing::FakeList list(log);
  list.items = {dir / L"dot.", dir / L"sp "};
  PeekingServices services;
  RunShred(list, services.prompts, services);
  EXPECT_EQ(Names(dir.path()), (std::set<std::wstring>{L"dot", L"sp"}));
  EXPECT_EQ(ReadBytes(dir / L"dot"), "sibling");
  EXPECT_EQ(ReadBytes(dir / L"sp"), "sibling");
  EXPECT_EQ(services.prompts.messages.back(), L"已选文件粉碎完成！");
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
  testing::CallLog log;
  testing::FakeList list(log);
  list.items = {file};
  PeekingServices services;
  RunShred(list, services.prompts, services);
  EXPECT_EQ(services.prompts.messages.back(), L"已选文件粉碎完成！");
  Sleep(300);
  CancelIoEx(watch, nullptr);
  CloseHandle(watch);
  watcher.join();
  if (events.empty()) GTEST_SKIP() << "this system reports no folder changes";
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[0],
            std::make_pair(DWORD(FILE_ACTION_RENAMED_OLD_NAME), std::wstring(L"report-2026.txt")));
  EXPECT_EQ(events[1].first, DWORD(FILE_ACTION_RENAMED_NEW_NAME));
  EXPECT_EQ(events[1].second.size(), std::wstring(L"report-2026.txt").size() + 8)
      << "longer than the old name";
  EXPECT_EQ(events[1].second[0], L'\uFF5E') << "sorted after every sibling";
  EXPECT_NE(events[1].second, L"report-2026.txt");
  EXPECT_EQ(events[2], std::make_pair(DWORD(FILE_ACTION_REMOVED), events[1].second));
}

// A file with two names (hard links) is not the user's pick through one of
// them: it stays as it was. With both listed, it is overwritten once and
// both names go.
TEST(ShredDestroy, AHardLinkIsShreddedOnlyWithEveryName) {
  TempFolder dir;
  const auto a = dir / L"a.txt";
  const auto b = dir / L"b.txt";
  ASSERT_TRUE(WriteBytes(a, Pattern(3000)));
  if (!CreateHardLinkW(b.c_str(), a.c_str(), nullptr)) GTEST_SKIP() << "no hard links here";
  for (const bool both : {false, true}) {
    SCOPED_TRACE(both ? "both names listed" : "one name listed");
    testing::CallLog log;
    testing::FakeList list(log);
    list.items = both ? std::vector<std::wstring>{a, b} : std::vector<std::wstring>{a};
    PeekingServices services;
    RunShred(list, services.prompts, services);
    EXPECT_EQ(Exists(a), !both);
    EXPECT_EQ(Exists(b), !both);
    if (!both) {
      EXPECT_EQ(ReadBytes(b), Pattern(3000)) << "the other name's file is untouched";
      EXPECT_EQ(list.items, std::vector<std::wstring>{a});
      EXPECT_NE(services.prompts.messages.back().find(L"还有其他名称（硬链接）"),
                std::wstring::npos);
    } else {
      EXPECT_TRUE(list.items.empty());
    }
  }
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
  Win32ShredServices services;
  CountingMonitor monitor;
  DestroyContents(ResolveEntry(path).path, services, monitor);
  EXPECT_LE(monitor.reported, allocatedBefore) << "only allocated ranges are overwritten";
  EXPECT_EQ(ReadBytes(path), NoticeBytes());
}

// ---- the run on a worker thread ---------------------------------------------------

TEST(ShredInBackground, CancelInTheMiddleKeepsTheRestUntouched) {
  testing_util::TestParent owner;
  TempFolder dir;
  ShredJob job;
  const int kFiles = 12;
  for (int i = 0; i < kFiles; ++i) {
    job.entries.push_back(dir / (L"big-" + std::to_wstring(i) + L".bin"));
    ASSERT_TRUE(WriteBytes(job.entries.back(), Pattern(24u << 20)));
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
    if (i < job.processed - 1) {
      EXPECT_FALSE(Exists(job.entries[i])) << i;
    } else if (i == job.processed - 1 && job.results[i].fate != Fate::Shredded) {
      // The cancel came in the middle of this one: it stays, partly overwritten.
      EXPECT_EQ(job.results[i].reason, Reason::Cancelled);
      EXPECT_EQ(ReadBytes(job.entries[i]).size(), size_t(24u << 20));
    } else if (i >= job.processed) {
      EXPECT_EQ(ReadBytes(job.entries[i]), Pattern(24u << 20)) << i << " is untouched";
    }
  }
  EXPECT_EQ(FindWindowW(L"#32770", form1::kProgressTitle), nullptr) << "the dialog is gone";
}

TEST(ShredInBackground, AQuickRunShowsNoDialog) {
  testing_util::TestParent owner;
  TempFolder dir;
  ShredJob job;
  job.entries = {dir / L"small.txt"};
  ASSERT_TRUE(WriteBytes(job.entries[0], "x"));
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
  EXPECT_FALSE(Exists(job.entries[0]));
}

}  // namespace
}  // namespace shred
