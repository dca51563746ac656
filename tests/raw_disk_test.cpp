// What is left on the disk itself: NTFS and ext4 images scanned byte by byte
// after a shred run and after a free-space wipe.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "engine/folder_walk.h"
#include "engine/shred_report.h"
#include "engine/win32/record.h"
#include "engine/win32/recycle_bin.h"
#include "engine/win32/shred_services.h"
#include "engine/win32/wipe_services.h"
#include "tests/box_answerer.h"
#include "tests/fake_shred.h"
#include "tests/raw_disk.h"
#include "tests/temp_folder.h"
#include "window/drive_list.h"
#include "window/main_window.h"
#include "window/shred_progress.h"

namespace shred {
namespace {

using testing_util::Exists;
using testing_util::RawDisk;
using testing_util::WriteBytes;

// A file's contents: its marker over and over, cut to the size.
std::string Filled(const std::wstring& marker, size_t size) {
  std::string bytes;
  while (bytes.size() < size) bytes += std::string(marker.begin(), marker.end()) + "\n";
  bytes.resize(size);
  return bytes;
}

struct Marked {
  const wchar_t* name;     // found in the image as the file's name
  const wchar_t* content;  // found in the image as its bytes
  size_t size;
  const wchar_t* typed = nullptr;  // the entry, when it spells the name otherwise
};
// A large file, a mid-size one and one small enough to live in its NTFS
// file record; one typed in another case than its name has (ext4 keeps case,
// and there is no twin).
const Marked kFiles[] = {
    {L"LargeSecretNameQ7.bin", L"LARGE-SECRET-CONTENT-Q7", 2u << 20},
    {L"MidSecretNameQ7.txt", L"MID-SECRET-CONTENT-Q7", 5000},
    {L"TinySecretNameQ7.txt", L"TINY-SECRET-CONTENT-Q7", 300},
    {L"CaseSecretNameQ7.txt", L"CASE-SECRET-CONTENT-Q7", 700, L"CASESECRETNAMEQ7.TXT"},
};

class RawDiskTest : public ::testing::TestWithParam<const char*> {};

TEST_P(RawDiskTest, AShreddedFileLeavesNoByteOnTheDisk) {
  const std::string kind = GetParam();
  RawDisk disk(kind, kind == "ntfs" ? L'R' : L'S');
  if (!disk.missing().empty()) GTEST_SKIP() << kind << ": " << disk.missing();
  testing::CallLog log;
  testing::FakeList list(log);
  for (const Marked& f : kFiles) {
    ASSERT_TRUE(WriteBytes(disk.root() + f.name, Filled(f.content, f.size)));
    list.items.push_back(disk.root() + (f.typed ? f.typed : f.name));
  }
  Win32ShredServices services;
  testing::RecordingPrompts prompts;
  RunShred(list, prompts, services);
  ASSERT_EQ(prompts.messages.back(), L"已选文件粉碎完成！");
  disk.Unmount();
  for (const Marked& f : kFiles) {
    EXPECT_EQ(disk.Count(f.content), 0u) << ::testing::PrintToString(std::wstring(f.content));
    if (kind == "ntfs") {
      // The name itself, without its extension: NTFS keeps it in UTF-16LE.
      const std::wstring name = f.name;
      EXPECT_EQ(disk.Count(name.substr(0, name.find(L'.'))), 0u) << ::testing::PrintToString(name);
    }
  }
}

// A volume mounted in a folder (the image's mount folder, seen through Z:)
// has that folder as its root in the record, not the drive above it.
TEST(RawDiskVolumes, AVolumeMountedInAFolderIsItsOwn) {
  RawDisk disk("ext4", L'S');
  if (!disk.missing().empty()) GTEST_SKIP() << "ext4: " << disk.missing();
  ShredJob job;
  job.results.resize(2);
  job.results[0].path = disk.mountFolder() + L"\\sub\\gone.txt";
  job.results[1].finalPath = L"\\\\?\\" + disk.root() + L"gone.txt";
  EXPECT_EQ(RootsOf(job), (std::vector<std::wstring>{disk.root(), disk.mountFolder() + L"\\"}));
}

// A $I record as Windows writes it, version 1 or 2.
std::string BinRecord(int64_t version, const std::wstring& path) {
  std::string bytes(24, '\0');
  memcpy(bytes.data(), &version, 8);
  std::u16string text(path.begin(), path.end());
  text.push_back(u'\0');
  if (version == 1) text.resize(260, u'\0');
  const uint32_t count = uint32_t(text.size());
  if (version == 2) bytes.append(reinterpret_cast<const char*>(&count), 4);
  bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  return bytes;
}

// A bin laid out as Windows keeps it, on an image drive: the user's items
// (a file, a folder, a broken record) go, data first, and the image holds
// neither their contents nor where they were; another user's folder and
// desktop.ini stay as they are.
TEST_P(RawDiskTest, TheUsersRecycleBinGoesAndNothingElse) {
  const std::string kind = GetParam();
  RawDisk disk(kind, kind == "ntfs" ? L'R' : L'S');
  if (!disk.missing().empty()) GTEST_SKIP() << kind << ": " << disk.missing();
  const std::wstring sid = CurrentUserSid();
  ASSERT_FALSE(sid.empty());
  const std::wstring bins = disk.root() + L"$Recycle.Bin", mine = bins + L"\\" + sid,
                     other = bins + L"\\S-1-5-21-9-9-9-1001";
  for (const std::wstring& folder : {bins, mine, other, mine + L"\\$RB2", mine + L"\\$RB2\\sub"})
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(mine + L"\\$RA1.txt", Filled(L"BIN-FILE-CONTENT-Q7", 5000)));
  ASSERT_TRUE(WriteBytes(mine + L"\\$IA1.txt", BinRecord(2, L"C:\\Users\\ann\\PlaceOneQ7.txt")));
  ASSERT_TRUE(WriteBytes(mine + L"\\$RB2\\sub\\in.txt", Filled(L"BIN-FOLDER-CONTENT-Q7", 300)));
  ASSERT_TRUE(WriteBytes(mine + L"\\$IB2", BinRecord(1, L"C:\\Users\\ann\\PlaceTwoQ7")));
  ASSERT_TRUE(WriteBytes(mine + L"\\$RC3.txt", Filled(L"BIN-BROKEN-CONTENT-Q7", 400)));
  ASSERT_TRUE(WriteBytes(mine + L"\\$IC3.txt", std::string(30, '\7')));
  ASSERT_TRUE(WriteBytes(mine + L"\\desktop.ini", "[.ShellClassInfo]"));
  ASSERT_TRUE(WriteBytes(other + L"\\$RX.txt", "another user's"));
  // Names made on the Linux side that, joined to the bin's path, lead to
  // live files at the root: each stays, and so does what it leads to.
  CreateDirectoryW((disk.root() + L"docs").c_str(), nullptr);
  const std::wstring live[] = {disk.root() + L"victim.txt", disk.root() + L"docs\\victim2.txt",
                               disk.root() + L"rv.txt"};
  for (const std::wstring& file : live) ASSERT_TRUE(WriteBytes(file, "live"));
  for (const char* odd : {"$Rx\\..\\..\\..\\victim.txt", "$Ry\\..\\..\\..\\docs\\victim2.txt",
                          "$Iw\\..\\..\\..\\rv.txt"})
    ASSERT_TRUE(testing_util::WriteUnixName(mine, odd, "odd")) << odd;
  const std::vector<BinItem> items = ReadRecycleBins({disk.root()}, sid);
  ASSERT_EQ(items.size(), 6u);
  Win32ShredServices services;
  ShredMonitor monitor;
  const std::vector<BinOutcome> outcomes = ShredBinItems(items, services, monitor);
  const std::vector<std::wstring> lines = BinLines(outcomes);
  ASSERT_EQ(lines.size(), 4u) << ::testing::PrintToString(lines);
  EXPECT_EQ(
      std::count(lines.begin(), lines.end(), mine + L"：文件名无效（$Iw\\..\\..\\..\\rv.txt）"), 1);
  EXPECT_EQ(lines[3], L"回收站共 6 项：已粉碎 3 项，未能粉碎 3 项。");
  for (const std::wstring& file : live) EXPECT_EQ(testing_util::ReadBytes(file), "live") << file;
  EXPECT_EQ(testing_util::ReadBytes(mine + L"\\desktop.ini"), "[.ShellClassInfo]");
  EXPECT_EQ(testing_util::ReadBytes(other + L"\\$RX.txt"), "another user's");
  EXPECT_FALSE(Exists(mine + L"\\$RB2"));
  EXPECT_FALSE(Exists(mine + L"\\$IA1.txt"));
  EXPECT_EQ(ReadRecycleBins({disk.root()}, sid).size(), 3u) << "only the odd names are left";
  // A user with no folder here has an empty bin; a user's folder that is a
  // link (made from the Linux side) is not looked into, and that is said.
  std::vector<BinOutcome> unread;
  EXPECT_TRUE(ReadRecycleBins({disk.root()}, L"S-1-5-21-1-2-3-1000", &unread).empty());
  EXPECT_TRUE(unread.empty()) << ::testing::PrintToString(unread.size());
  const std::string linked = testing_util::UnixPath(bins) + "/S-1-5-21-7-7-7-1002";
  if (testing_util::RunUnixShell("ln -s '" + testing_util::UnixPath(other) + "' '" + linked +
                                 "'") &&
      Exists(bins + L"\\S-1-5-21-7-7-7-1002")) {
    EXPECT_TRUE(ReadRecycleBins({disk.root()}, L"S-1-5-21-7-7-7-1002", &unread).empty());
    ASSERT_EQ(unread.size(), 1u);
    EXPECT_EQ(unread[0].why, ReasonText(Reason::Link));
    EXPECT_EQ(testing_util::ReadBytes(other + L"\\$RX.txt"), "another user's");
  } else {
    ADD_FAILURE() << "the link could not be made from the Linux side";
  }
  // The drive made read-only, its odd names still in the bin: said, and
  // nothing is tried there (ext4 takes a remount; ntfs-3g does not).
  const std::string mounted = testing_util::UnixPath(disk.mountFolder());
  DWORD flags = 0;
  if (kind == "ext4" && testing_util::RunUnixShell("mount -o remount,ro '" + mounted + "'") &&
      GetVolumeInformationW(disk.root().c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr,
                            0) &&
      (flags & FILE_READ_ONLY_VOLUME)) {
    unread.clear();
    EXPECT_TRUE(ReadRecycleBins({disk.root()}, sid, &unread).empty());
    ASSERT_EQ(unread.size(), 1u);
    EXPECT_EQ(unread[0].shown, disk.root().substr(0, 2));
    EXPECT_EQ(unread[0].why, L"驱动器只读，回收站中的项目无法粉碎");
    testing_util::RunUnixShell("mount -o remount,rw '" + mounted + "'");
  } else {
    std::printf("read-only drive not checked: %s\n",
                kind == "ext4" ? "Wine did not see the remount" : "ntfs-3g does not remount");
  }
  disk.Unmount();
  for (const wchar_t* gone : {L"BIN-FILE-CONTENT-Q7", L"BIN-FOLDER-CONTENT-Q7",
                              L"BIN-BROKEN-CONTENT-Q7", L"PlaceOneQ7", L"PlaceTwoQ7"})
    EXPECT_EQ(disk.Count(gone), 0u) << ::testing::PrintToString(std::wstring(gone));
}

// A folder handed over whole: its files and the folders themselves go, and
// the image holds none of their names (in UTF-16, as NTFS keeps them).
TEST(RawDiskFolders, AFolderHandedOverWholeLeavesNoNameOnTheDisk) {
  RawDisk disk("ntfs", L'R');
  if (!disk.missing().empty()) GTEST_SKIP() << "ntfs: " << disk.missing();
  const std::wstring top = disk.root() + L"TaxFolderSecretQ7";
  ASSERT_TRUE(CreateDirectoryW(top.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((top + L"\\InnerFolderSecretQ7").c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(top + L"\\a.txt", Filled(L"FOLDER-FILE-CONTENT-Q7", 3000)));
  ASSERT_TRUE(WriteBytes(top + L"\\InnerFolderSecretQ7\\b.txt", Filled(L"INNER-FILE-Q7", 300)));
  ShredJob job;
  std::vector<WalkNote> notes;
  job.entries = ExpandFolders({top}, true, notes, false, nullptr, nullptr, &job.folders);
  ASSERT_EQ(job.entries.size(), 2u);
  ASSERT_EQ(job.folders.size(), 2u);
  Win32ShredServices services;
  ShredMonitor monitor;
  ShredFiles(job, services, monitor);
  EXPECT_EQ(ShredReport(job), L"");
  EXPECT_FALSE(Exists(top));
  disk.Unmount();
  EXPECT_EQ(disk.Count(L"FOLDER-FILE-CONTENT-Q7"), 0u);
  EXPECT_EQ(disk.Count(L"INNER-FILE-Q7"), 0u);
  EXPECT_EQ(disk.Count(L"TaxFolderSecretQ7"), 0u);
  EXPECT_EQ(disk.Count(L"InnerFolderSecretQ7"), 0u);
}

// NTFS keeps a small file inside its file record; written past its length
// it moves out to a cluster and the record kept the old bytes (files of 520
// to 640 bytes on ntfs-3g). Sizes from 4 bytes to 8 KiB, every one around
// the record's room and every 61st beyond (every size with TARVELLO_SOAK),
// with and without the read-back: no byte of any is left in the image.
TEST(RawDiskSmallFiles, NoSizeLeavesItsBytesInTheFileRecord) {
  RawDisk disk("ntfs", L'R');
  if (!disk.missing().empty()) GTEST_SKIP() << "ntfs: " << disk.missing();
  const bool soak = GetEnvironmentVariableW(L"TARVELLO_SOAK", nullptr, 0) > 0;
  for (const bool verify : {false, true}) {
    const wchar_t* marker = verify ? L"SVQ7" : L"SMQ7";
    const std::wstring folder = disk.root() + (verify ? L"verified" : L"plain");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ShredJob job;
    job.verify = verify;
    for (size_t size = 4; size <= 8192; ++size) {
      if (!soak && !(size >= 400 && size <= 800 && size % 3 == 0) && size % 61 != 4) continue;
      job.entries.push_back(folder + L"\\" + std::to_wstring(size) + L".bin");
      ASSERT_TRUE(WriteBytes(job.entries.back(), Filled(marker, size)));
    }
    Win32ShredServices services;
    ShredMonitor monitor;
    ShredFiles(job, services, monitor);
    EXPECT_EQ(ShredReport(job), L"");
  }
  disk.Unmount();
  EXPECT_EQ(disk.Count(L"SMQ7"), 0u) << "without the read-back";
  EXPECT_EQ(disk.Count(L"SVQ7"), 0u) << "with the read-back";
}

// Files deleted the ordinary way leave their bytes in the free space; a wipe
// takes them away, leaves nothing of its own and gives the space back.
TEST_P(RawDiskTest, AWipeTakesWhatOrdinaryDeletionLeft) {
  const std::string kind = GetParam();
  RawDisk disk(kind, kind == "ntfs" ? L'R' : L'S');
  if (!disk.missing().empty()) GTEST_SKIP() << kind << ": " << disk.missing();
  for (const Marked& f : kFiles) {
    const std::wstring path = disk.root() + f.name;
    ASSERT_TRUE(WriteBytes(path, Filled(f.content, f.size)));
  }
  for (const Marked& f : kFiles) ASSERT_TRUE(DeleteFileW((disk.root() + f.name).c_str()));
  ULARGE_INTEGER before{}, after{};
  GetDiskFreeSpaceExW(disk.root().c_str(), &before, nullptr, nullptr);
  Win32WipeServices services;
  WipeMonitor monitor;
  const WipeResult result = WipeFreeSpace(disk.root(), services, monitor);
  EXPECT_TRUE(result.Complete()) << ::testing::PrintToString(WipeReport(disk.root(), result));
  EXPECT_GT(result.records, 0);
  printf("%s: free %llu, written %llu, records %d\n", kind.c_str(),
         (unsigned long long)result.freeBefore, (unsigned long long)result.written, result.records);
  GetDiskFreeSpaceExW(disk.root().c_str(), &after, nullptr, nullptr);
  EXPECT_EQ(GetFileAttributesW((disk.root() + kWipeFolderName).c_str()), INVALID_FILE_ATTRIBUTES)
      << "no file or folder of the wipe remains";
  EXPECT_LE(before.QuadPart - std::min(before.QuadPart, after.QuadPart), before.QuadPart / 100)
      << "the free space is back within 1 %";
  disk.Unmount();
  for (const Marked& f : kFiles) {
    EXPECT_EQ(disk.Count(f.content), 0u) << ::testing::PrintToString(std::wstring(f.content));
  }
  if (kind == "ntfs") {
    std::wstring names;
    for (const Marked& f : kFiles) {
      const std::wstring name = f.name;
      names += L" " + std::to_wstring(disk.Count(name.substr(0, name.find(L'.'))));
    }
    printf("copies of the deleted files' names on NTFS after the wipe:%ls\n", names.c_str());
  }
}

// A link at the wipe folder's name, to another folder (made from the Linux
// side, where Wine shows no mark), is never followed: it is not the wipe's
// folder, the wipe works in one of its own beside it, and the files the
// link leads to stay.
TEST(WipeFolder, ALinkInItsPlaceIsNeverFollowed) {
  RawDisk disk("ext4", L'S');
  if (!disk.missing().empty()) GTEST_SKIP() << "ext4: " << disk.missing();
  ASSERT_TRUE(CreateDirectoryW((disk.root() + L"mine").c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(disk.root() + L"mine\\keep.txt", "the user's"));
  // The folder's name, made from this side, then swapped for a link from
  // the Linux side under the same name.
  ASSERT_TRUE(CreateDirectoryW((disk.root() + kWipeFolderName).c_str(), nullptr));
  const std::string root = testing_util::UnixPath(disk.root());
  ASSERT_TRUE(testing_util::RunUnixShell("cd '" + root +
                                         "' && n=$(ls -d Tarvello*) && rmdir \"$n\" && "
                                         "ln -s mine \"$n\""));
  ASSERT_NE(GetFileAttributesW((disk.root() + kWipeFolderName + L"\\keep.txt").c_str()),
            INVALID_FILE_ATTRIBUTES)
      << "the link leads to the user's folder";
  Win32WipeServices services;
  WipeMonitor monitor;
  const WipeResult result = WipeFreeSpace(disk.root(), services, monitor);
  EXPECT_TRUE(result.Complete()) << ::testing::PrintToString(WipeReport(disk.root(), result));
  EXPECT_GT(result.written, 0u);
  EXPECT_EQ(testing_util::ReadBytes(disk.root() + L"mine\\keep.txt"), "the user's");
  EXPECT_EQ(GetFileAttributesW(WipeFolderName(disk.root(), 1).c_str()), INVALID_FILE_ATTRIBUTES)
      << "the folder it worked in is gone";
}

// A folder of the wipe's name holding a user's file: a wipe's folder (with
// its marker) loses only the wipe's files; a folder without the marker, not
// even a file that looks like one of the wipe's. Neither program's start nor
// a wipe deletes anything else, and the wipe's figures are the drive's.
TEST(WipeFolder, OnlyTheWipesOwnFilesGo) {
  RawDisk disk("ext4", L'S');
  if (!disk.missing().empty()) GTEST_SKIP() << "ext4: " << disk.missing();
  const std::wstring ours = disk.root() + kWipeFolderName, mine = WipeFolderName(disk.root(), 1);
  ASSERT_TRUE(CreateDirectoryW(ours.c_str(), nullptr));
  std::string marker = kWipeMarkerText;
  marker.resize(kWipeMarkerBytes, '.');
  ASSERT_TRUE(WriteBytes(ours + L"\\" + kWipeMarkerName, marker));
  ASSERT_TRUE(WriteBytes(ours + L"\\fill-00000.bin", std::string(1 << 20, 'r')));
  ASSERT_TRUE(WriteBytes(ours + L"\\notes.txt", "the user's"));
  ASSERT_TRUE(CreateDirectoryW(mine.c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(mine + L"\\fill-00000.bin", "the user's too"));
  ULARGE_INTEGER free{};
  Win32WipeServices services;
  WipeMonitor monitor;
  // As a start of either program clears it (a drive mapped under a running
  // wineserver is not among the drives it goes through).
  EXPECT_EQ(ClearWipeFolder(ours, services), Cleared::Foreign);
  EXPECT_FALSE(Exists(ours + L"\\fill-00000.bin")) << "a killed wipe's file goes";
  EXPECT_EQ(ClearWipeFolder(mine, services), Cleared::NotOurs);
  GetDiskFreeSpaceExW(disk.root().c_str(), &free, nullptr, nullptr);
  const WipeResult result = WipeFreeSpace(disk.root(), services, monitor);
  EXPECT_TRUE(result.Complete()) << ::testing::PrintToString(WipeReport(disk.root(), result));
  EXPECT_EQ(result.freeBefore, free.QuadPart);
  EXPECT_EQ(result.foreign, std::vector<std::wstring>{ours});
  EXPECT_NE(WipeReport(disk.root(), result).find(ours + L"中有不是清除程序创建的文件，未删除"),
            std::wstring::npos);
  EXPECT_EQ(testing_util::ReadBytes(ours + L"\\notes.txt"), "the user's");
  EXPECT_EQ(testing_util::ReadBytes(mine + L"\\fill-00000.bin"), "the user's too");
  EXPECT_FALSE(Exists(WipeFolderName(disk.root(), 2))) << "it worked in the third name";
}

// A second wipe of a drive while one works there is refused at once and
// touches nothing.
TEST(WipeFolder, OneWipeOfADriveAtATime) {
  RawDisk disk("ext4", L'S');
  if (!disk.missing().empty()) GTEST_SKIP() << "ext4: " << disk.missing();
  struct SecondWipe : WipeMonitor {
    bool CancelRequested() override {
      if (!asked) {
        asked = true;
        Win32WipeServices other;
        WipeMonitor monitor;
        second = WipeFreeSpace(root, other, monitor);
        // and a start of either program meanwhile
        cleared = ClearWipeFolder(WipeFolderName(root, 0), other);
        found = GetFileAttributesW((WipeFolderName(root, 0) + L"\\" + kWipeMarkerName).c_str()) !=
                INVALID_FILE_ATTRIBUTES;
      }
      return true;  // the first stops at once
    }
    std::wstring root;
    WipeResult second;
    Cleared cleared = Cleared::Gone;
    bool asked = false, found = false;
  } monitor;
  monitor.root = disk.root();
  Win32WipeServices services;
  const WipeResult first = WipeFreeSpace(disk.root(), services, monitor);
  EXPECT_TRUE(first.cancelled);
  EXPECT_TRUE(monitor.second.busy);
  EXPECT_EQ(monitor.second.written, 0u);
  EXPECT_EQ(monitor.cleared, Cleared::InUse);
  EXPECT_TRUE(monitor.found) << "the first wipe's marker stays while it works";
  EXPECT_EQ(WipeReport(disk.root(), monitor.second), L"S: " + std::wstring(kWipeBusyText));
  EXPECT_FALSE(Exists(WipeFolderName(disk.root(), 0))) << "the first removes its folder";
}

// The window's wipe: a confirmation that names the drive (Cancel writes
// nothing), the progress dialog, the report. (Under a wineserver that keeps
// running, a drive mapped meanwhile is missing from the drive list: the
// test hands the window the drive as the system menu's command would.)
TEST(WipeFromTheWindow, TheWindowAsksThenWipesAndReports) {
  RawDisk disk("ext4", L'S');
  if (!disk.missing().empty()) GTEST_SKIP() << "ext4: " << disk.missing();
  ASSERT_TRUE(WriteBytes(disk.root() + L"deleted.txt", Filled(L"WINDOW-WIPE-MARKER", 5000)));
  ASSERT_TRUE(DeleteFileW((disk.root() + L"deleted.txt").c_str()));
  HWND form = form1::CreateForm1(GetModuleHandleW(nullptr));
  ASSERT_NE(form, nullptr);
  form1::ShowForm1(form);
  wchar_t item[64] = {};
  GetMenuStringW(GetSystemMenu(form, FALSE), form1::kWipeFreeSpaceCommand, item, 64, MF_BYCOMMAND);
  EXPECT_STREQ(item, L"清除磁盘剩余空间…");
  {
    testing_util::BoxAnswerer no({{L"警告", IDCANCEL}});
    form1::WipeFreeSpaceFromForm1(form, disk.root());
    const auto& seen = no.Finish();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text.rfind(L"将清除驱动器 S: 的剩余空间（约 ", 0), 0u);
  }
  form1::ProgressDialogDelayMs = 0;
  std::atomic<bool> sawProgress{false};
  std::thread watcher([&] {
    for (int i = 0; i < 2000 && !sawProgress; ++i) {
      if (testing_util::FindDialogBox(GetCurrentProcessId(), form1::kWipeProgressTitle))
        sawProgress = true;
      Sleep(5);
    }
  });
  testing_util::BoxAnswerer yes({{L"警告", IDOK}, {L"提示", IDOK}});
  form1::WipeFreeSpaceFromForm1(form, disk.root());
  const auto& seen = yes.Finish();
  watcher.join();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].text.rfind(L"已清除 S: 的剩余空间：", 0), 0u)
      << ::testing::PrintToString(seen[1].text);
  EXPECT_TRUE(sawProgress) << "the progress dialog showed";
  DestroyWindow(form);
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  disk.Unmount();
  EXPECT_EQ(disk.Count(L"WINDOW-WIPE-MARKER"), 0u);
}

// The window's "粉碎回收站…": a confirmation that counts the items (Cancel
// touches nothing), the run, the report.
TEST(RecycleBinFromTheWindow, TheWindowAsksThenShredsAndReports) {
  RawDisk disk("ext4", L'S');
  if (!disk.missing().empty()) GTEST_SKIP() << "ext4: " << disk.missing();
  const std::wstring mine = disk.root() + L"$Recycle.Bin\\" + CurrentUserSid();
  ASSERT_TRUE(CreateDirectoryW((disk.root() + L"$Recycle.Bin").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(mine.c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(mine + L"\\$RA1.txt", Filled(L"WINDOW-BIN-MARKER", 3 << 20)));
  std::string record = BinRecord(2, L"C:\\old\\a.txt");
  const int64_t size = 3 << 20;
  memcpy(record.data() + 8, &size, 8);
  ASSERT_TRUE(WriteBytes(mine + L"\\$IA1.txt", record));
  HWND form = form1::CreateForm1(GetModuleHandleW(nullptr));
  ASSERT_NE(form, nullptr);
  form1::ShowForm1(form);
  wchar_t item[64] = {};
  GetMenuStringW(GetSystemMenu(form, FALSE), form1::kShredRecycleBinCommand, item, 64,
                 MF_BYCOMMAND);
  EXPECT_STREQ(item, L"粉碎回收站…");
  {
    testing_util::BoxAnswerer no({{L"警告", IDCANCEL}});
    form1::ShredRecycleBinFromForm1(form, {disk.root()});
    const auto& seen = no.Finish();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text.rfind(L"将粉碎回收站中的 1 项（约 3 MB）", 0), 0u)
        << ::testing::PrintToString(seen[0].text);
    EXPECT_TRUE(Exists(mine + L"\\$RA1.txt")) << "Cancel touches nothing";
  }
  testing_util::BoxAnswerer yes({{L"警告", IDOK}, {L"提示", IDOK}});
  form1::ShredRecycleBinFromForm1(form, {disk.root()});
  const auto& seen = yes.Finish();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].text, L"回收站共 1 项：已粉碎 1 项，未能粉碎 0 项。");
  EXPECT_FALSE(Exists(mine + L"\\$RA1.txt"));
  EXPECT_FALSE(Exists(mine + L"\\$IA1.txt"));
  {
    testing_util::BoxAnswerer empty({{L"提示", IDOK}});
    form1::ShredRecycleBinFromForm1(form, {disk.root()});
    const auto& said = empty.Finish();
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].text, L"回收站是空的");
  }
  DestroyWindow(form);
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  disk.Unmount();
  EXPECT_EQ(disk.Count(L"WINDOW-BIN-MARKER"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Images, RawDiskTest, ::testing::Values("ntfs", "ext4"));

}  // namespace
}  // namespace shred
