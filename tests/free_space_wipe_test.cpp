// The free-space wipe's logic against a fake disk: how it fills, how every
// ending removes what it made, and what it says.
#include "engine/free_space_wipe.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <new>
#include <set>

namespace shred {
namespace {

// A disk with `free` bytes in clusters, one folder level, files by name.
class FakeDisk : public WipeServices {
 public:
  // A disk quota keeps `hidden` bytes of the volume's free space from the user.
  bool FreeSpace(const std::wstring&, uint64_t& freeBytes, uint64_t& volumeFreeBytes,
                 uint64_t& clusterBytes) override {
    volumeFreeBytes = free + hidden;
    freeBytes = free;
    clusterBytes = cluster;
    return true;
  }
  // A folder is held by number and follows the folder through a move, as a
  // handle does; a file or a link of the folder's name is refused.
  Reason OpenFolder(const std::wstring& path, FolderId& folder) override {
    if (files.count(path) || links.count(path)) return Reason::AccessDenied;
    if (!folders.count(path)) return Reason::NotFound;
    // Held without delete sharing: no one else may open it to remove it.
    for (const auto& [id, at] : heldFolders)
      if (at == path) return Reason::InUse;
    folder = ++lastFolder;
    heldFolders[folder] = path;
    return Reason::None;
  }
  Reason MakeFolder(const std::wstring& path, FolderId& folder) override {
    if (folders.count(path) || files.count(path) || links.count(path) || denied)
      return Reason::AccessDenied;
    folders[path] = true;
    return OpenFolder(path, folder);
  }
  Reason RemoveFolder(FolderId folder) override {
    const std::wstring path = heldFolders.at(folder);
    if (!folders.count(path)) return Reason::NotFound;
    for (const auto& [name, size] : files)
      if (name.rfind(path + L"\\", 0) == 0) return Reason::AccessDenied;
    if (stuck.count(path)) return Reason::AccessDenied;
    folders.erase(path);
    return Reason::None;
  }
  void CloseFolder(FolderId folder) override { heldFolders.erase(folder); }
  std::vector<std::wstring> FilesIn(FolderId id) override {
    const std::wstring folder = heldFolders.at(id);
    std::vector<std::wstring> names;
    for (const auto& [name, size] : files)
      if (name.rfind(folder + L"\\", 0) == 0) names.push_back(name.substr(folder.size() + 1));
    return names;
  }
  // Moves a folder and what is in it, as a program on the Linux side may
  // while the wipe holds it: the held number goes with it.
  void MoveFolder(const std::wstring& from, const std::wstring& to) {
    folders.erase(from);
    folders[to] = true;
    std::map<std::wstring, uint64_t> moved;
    for (const auto& [name, size] : files)
      moved[name.rfind(from + L"\\", 0) == 0 ? to + name.substr(from.size()) : name] = size;
    files = moved;
    for (std::wstring& name : open)
      if (name.rfind(from + L"\\", 0) == 0) name = to + name.substr(from.size());
    std::set<std::wstring> markers;
    for (const std::wstring& name : held)
      markers.insert(name.rfind(from + L"\\", 0) == 0 ? to + name.substr(from.size()) : name);
    held = markers;
    for (auto& [id, path] : heldFolders)
      if (path == from) path = to;
  }
  Reason CreateFill(FolderId folder, const std::wstring& name, bool direct, FileId& file) override {
    const std::wstring path = heldFolders.at(folder) + L"\\" + name;
    if (files.count(path) || deniedFiles) return Reason::AccessDenied;
    if (!direct && records <= 0) return Reason::DiskFull;
    if (direct && free < cluster) return Reason::DiskFull;
    if (!direct) --records;
    files[path] = 0;
    open.push_back(path);
    ++openFiles;
    file = FileId(open.size());
    return Reason::None;
  }
  Reason AppendRandom(FileId file, uint64_t length, uint64_t& written) override {
    ++appends;
    if (onAppend) onAppend(*this);
    if (throwAt && appends == throwAt) throw std::bad_alloc();
    if (failAt && total + length > failAt) return Reason::IoError;
    written = std::min(length, free - free % cluster);
    if (length < cluster) written = 0;  // small files live in their record
    free -= written;
    total += written;
    files[open.at(size_t(file) - 1)] += written;
    blocks.push_back(length);
    return written == length || length < cluster ? Reason::None : Reason::DiskFull;
  }
  // A journalling file system hands out what it freed once a flush commits.
  Reason Flush(FileId) override {
    if (!freedOnFlush.empty()) {
      free += freedOnFlush.front();
      freedOnFlush.erase(freedOnFlush.begin());
    }
    return Reason::None;
  }
  void Close(FileId file) override {
    held.erase(open.at(size_t(file) - 1));
    --openFiles;
  }
  Reason RemoveFile(FolderId folder, const std::wstring& name) override {
    const std::wstring path = heldFolders.at(folder) + L"\\" + name;
    const auto found = files.find(path);
    if (found == files.end()) return Reason::NotFound;
    if (inUse.count(path)) return Reason::InUse;
    if (lingers.count(path)) return Reason::None;  // said gone, and still there
    free += found->second;
    files.erase(found);
    return Reason::None;
  }

  WipeFolder CheckFolder(FolderId id) override {
    const std::wstring folder = heldFolders.at(id);
    const std::wstring marker = folder + L"\\" + kWipeMarkerName;
    if (!files.count(marker) || forged.count(marker)) return WipeFolder::NotOurs;
    return held.count(marker) ? WipeFolder::InUse : WipeFolder::Ours;
  }
  Reason PlaceMarker(FolderId folder, FileId& marker) override {
    const std::wstring path = heldFolders.at(folder) + L"\\" + kWipeMarkerName;
    if (files.count(path) || deniedFiles) return Reason::AccessDenied;
    files[path] = 0;
    held.insert(path);
    open.push_back(path);
    ++openFiles;
    marker = FileId(open.size());
    return Reason::None;
  }
  // A folder of the wipe's, marked and not in use, with its files.
  void LeaveFolder(const std::wstring& folder, std::initializer_list<const wchar_t*> names) {
    folders[folder] = true;
    files[folder + L"\\" + kWipeMarkerName] = 0;
    for (const wchar_t* name : names) files[folder + L"\\" + name] = 4096;
  }

  uint64_t free = 0, cluster = 4096, total = 0, failAt = 0, hidden = 0;
  int records = 3, appends = 0, throwAt = 0, openFiles = 0;
  bool denied = false, deniedFiles = false;  // the user may not write at the root / in the folder
  std::map<std::wstring, uint64_t> files;
  std::map<std::wstring, bool> folders;
  std::map<std::wstring, bool> stuck;
  std::set<std::wstring> links;  // links of a folder's name, never followed
  std::map<FolderId, std::wstring> heldFolders;
  FolderId lastFolder = 0;
  std::set<std::wstring> inUse;    // files another program holds open
  std::set<std::wstring> lingers;  // files whose deletion is taken and that stay
  std::set<std::wstring> held;     // markers a wipe holds open
  std::set<std::wstring> forged;   // a file of the marker's name with other contents
  std::vector<std::wstring> open;
  std::vector<uint64_t> blocks;
  std::vector<uint64_t> freedOnFlush;
  std::function<void(FakeDisk&)> onAppend;
};

struct CancelAfter : WipeMonitor {
  explicit CancelAfter(int checks) : left(checks) {}
  bool CancelRequested() override { return left-- <= 0; }
  int left;
};

const std::wstring kRoot = L"T:\\";
const std::wstring kFolder = kRoot + kWipeFolderName;

TEST(FreeSpaceWipe, EveryEndingRemovesWhatItMade) {
  struct Row {
    const char* name;
    uint64_t free;
    void (*setUp)(FakeDisk&);
    int cancelAfter;  // cancel checks that pass; -1 never
    bool complete, filled, recordsDone, cancelled;
    Reason reason;
    uint64_t written;
    int fills;      // fill files made
    bool leftover;  // its folder stays, and the result names it
  };
  const uint64_t MiB = 1 << 20;
  const Row rows[] = {
      {"done", 10 * MiB + 12288, [](FakeDisk&) {}, -1, true, true, true, false, Reason::None,
       10 * MiB + 12288, 1, false},
      {"an empty disk", 0, [](FakeDisk&) {}, -1, true, true, true, false, Reason::None, 0, 0,
       false},
      {"cancelled before the first block", 10 * MiB, [](FakeDisk&) {}, 0, false, false, false, true,
       Reason::None, 0, 0, false},
      {"cancelled in the middle", 10 * MiB, [](FakeDisk&) {}, 2, false, false, false, true,
       Reason::None, 8 * MiB, 1, false},
      {"cancelled in the record step", 1 * MiB, [](FakeDisk& d) { d.records = 100; }, 13, false,
       true, false, true, Reason::None, 1 * MiB, 1, false},
      {"a write fails", 10 * MiB, [](FakeDisk& d) { d.failAt = 5 * MiB; }, -1, false, false, false,
       false, Reason::IoError, 4 * MiB, 1, false},
      {"another program fills the disk meanwhile", 100 * MiB,
       [](FakeDisk& d) {
         d.onAppend = [](FakeDisk& d) {
           if (d.appends == 2) d.free = 0;
         };
       },
       -1, false, true, true, false, Reason::None, 4 * MiB, 1, false},
      {"each flush that frees more is written on until none does", MiB,
       // two commits of blocks freed moments ago
       [](FakeDisk& d) {
         d.freedOnFlush = {8192, 8192};
       },
       -1, true, true, true, false, Reason::None, MiB + 16384, 1, false},
      {"clusters smaller than a page: the last through the cache", 4 * MiB + 5 * 1024,
       [](FakeDisk& d) { d.cluster = 1024; }, -1, true, true, true, false, Reason::None,
       4 * MiB + 5 * 1024, 2, false},
      {"its folder cannot be made", MiB, [](FakeDisk& d) { d.denied = true; }, -1, false, false,
       false, false, Reason::AccessDenied, 0, 0, false},
      {"no file can be made in its folder", MiB, [](FakeDisk& d) { d.deniedFiles = true; }, -1,
       false, false, false, false, Reason::AccessDenied, 0, 0, false},
      {"a disk quota keeps it from most of the volume's free space", MiB,
       [](FakeDisk& d) { d.hidden = 100 * MiB; }, -1, false, true, true, false, Reason::None, MiB,
       1, false},
      {"another program puts a file in its folder", MiB,
       [](FakeDisk& d) { d.onAppend = [](FakeDisk& d) { d.stuck[kFolder] = true; }; }, -1, false,
       true, true, false, Reason::None, MiB, 1, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeDisk disk;
    disk.free = row.free;
    row.setUp(disk);
    CancelAfter cancel(row.cancelAfter);
    WipeMonitor never;
    WipeMonitor& monitor = row.cancelAfter >= 0 ? static_cast<WipeMonitor&>(cancel) : never;
    const WipeResult result = WipeFreeSpace(kRoot, disk, monitor);
    EXPECT_EQ(result.Complete(), row.complete);
    EXPECT_EQ(result.filled, row.filled);
    EXPECT_EQ(result.recordsDone, row.recordsDone);
    EXPECT_EQ(result.cancelled, row.cancelled);
    EXPECT_EQ(result.reason, row.reason);
    EXPECT_EQ(result.written, row.written);
    EXPECT_EQ(result.fills, row.fills);
    EXPECT_TRUE(disk.files.empty()) << "every file it made is gone";
    EXPECT_EQ(disk.openFiles, 0) << "and every handle, its marker's too";
    EXPECT_EQ(disk.folders.empty(), !row.leftover) << "and its folder";
    EXPECT_EQ(result.leftover, row.leftover ? kFolder : L"");
  }
}

// Out of memory in the middle of the fill: nothing the wipe opened stays
// open, so the next clean-up can remove its folder.
// A fill file another program holds when the wipe ends, or one whose
// deletion was taken and left it: the marker stays with it, the result names the folder, and the
// next start clears both.
TEST(FreeSpaceWipe, AFillItCannotRemoveKeepsTheMarker) {
  for (const bool said : {false, true}) {  // the failure said, or a deletion taken that left it
    FakeDisk disk;
    disk.free = 1 << 20;
    disk.onAppend = [said](FakeDisk& d) {
      (said ? d.inUse : d.lingers).insert(kFolder + L"\\fill-00000.bin");
    };
    WipeMonitor never;
    const WipeResult result = WipeFreeSpace(kRoot, disk, never);
    EXPECT_EQ(result.leftover, kFolder);
    EXPECT_EQ(disk.files.count(kFolder + L"\\" + kWipeMarkerName), 1u) << "the marker stays";
    EXPECT_EQ(disk.files.count(kFolder + L"\\fill-00000.bin"), 1u);
    disk.inUse.clear();
    disk.lingers.clear();
    EXPECT_EQ(ClearWipeFolder(kFolder, disk), Cleared::Gone) << "at the next start";
    EXPECT_TRUE(disk.files.empty());
    EXPECT_TRUE(disk.folders.empty());
  }
}

TEST(FreeSpaceWipe, AThrowLeavesNoHandleOpen) {
  FakeDisk disk;
  disk.free = 10 << 20;
  disk.throwAt = 2;
  WipeMonitor monitor;
  EXPECT_THROW(WipeFreeSpace(kRoot, disk, monitor), std::bad_alloc);
  EXPECT_EQ(disk.openFiles, 0);
  EXPECT_TRUE(disk.held.empty());
  EXPECT_EQ(ClearWipeFolder(kFolder, disk), Cleared::Gone);
  EXPECT_TRUE(disk.files.empty());
}

TEST(FreeSpaceWipe, LargeBlocksThenHalvedDownToOneCluster) {
  FakeDisk disk;
  disk.free = 4 * 1024 * 1024 + 3 * 4096;
  WipeMonitor monitor;
  const WipeResult result = WipeFreeSpace(kRoot, disk, monitor);
  EXPECT_TRUE(result.Complete());
  EXPECT_EQ(disk.blocks.front(), kWipeBlockBytes);
  // 4 MiB, then 4 MiB again (12 KiB of it fit), halving to 4 KiB, then the
  // small record files.
  // The last cluster is tried again after a flush, which lets a journalling
  // file system hand out what it freed moments ago.
  EXPECT_EQ(std::count(disk.blocks.begin(), disk.blocks.end(), 4096u), 2);
  EXPECT_EQ(disk.blocks[disk.blocks.size() - 4], 4096u) << "the last fill block is one cluster";
  EXPECT_EQ(result.written, uint64_t(4 * 1024 * 1024 + 3 * 4096));
  EXPECT_EQ(result.records, 3) << "records until no more could be made";
}

// What a wipe finds in a folder of its name: it clears only its own files,
// only from a folder with its marker, and never one another wipe works in.
TEST(FreeSpaceWipe, ItTouchesOnlyWhatItMade) {
  const std::wstring second = WipeFolderName(kRoot, 1);
  using Files = std::map<std::wstring, uint64_t>;
  struct Row {
    const char* name;
    void (*setUp)(FakeDisk&);
    Files after;  // besides T:\user.txt
    bool busy;
    std::vector<std::wstring> foreign;
  };
  const Row rows[] = {
      {"a killed wipe's folder",
       [](FakeDisk& d) {
         d.LeaveFolder(kFolder, {L"fill-00000.bin",
                                 L"record-000003-xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"});
       },
       {},
       false,
       {}},
      {"a user's folder of that name",
       [](FakeDisk& d) {
         d.folders[kFolder] = true;
         d.files[kFolder + L"\\fill-00000.bin"] = 4096;
       },
       {{kFolder + L"\\fill-00000.bin", 4096}},
       false,
       {}},
      {"a file of the marker's name that is not the marker",
       [](FakeDisk& d) {
         d.LeaveFolder(kFolder, {L"fill-00001.bin"});
         d.forged.insert(kFolder + L"\\" + kWipeMarkerName);
       },
       {{kFolder + L"\\" + kWipeMarkerName, 0}, {kFolder + L"\\fill-00001.bin", 4096}},
       false,
       {}},
      {"a user's file in a wipe's folder",
       [](FakeDisk& d) {
         d.LeaveFolder(kFolder, {L"fill-00000.bin", L"fill-1.bin", L"notes.txt"});
       },
       {{kFolder + L"\\" + kWipeMarkerName, 0},
        {kFolder + L"\\fill-1.bin", 4096},
        {kFolder + L"\\notes.txt", 4096}},
       false,
       {kFolder}},
      {"a wipe's folder that cannot be removed",
       [](FakeDisk& d) {
         d.LeaveFolder(kFolder, {L"fill-00000.bin"});
         d.stuck[kFolder] = true;
       },
       {},
       false,
       {kFolder}},
      {"its folder moved away while it works, and a user's folder made under its name",
       [](FakeDisk& d) {
         d.onAppend = [](FakeDisk& d) {
           if (d.appends != 1) return;
           d.MoveFolder(kFolder, kFolder + L".moved");
           d.folders[kFolder] = true;
           d.files[kFolder + L"\\fill-00000.bin"] = 4096;
         };
       },
       {{kFolder + L"\\fill-00000.bin", 4096}},
       false,
       {}},
      {"a link of its folder's name", [](FakeDisk& d) { d.links.insert(kFolder); }, {}, false, {}},
      {"another wipe holds its folder",
       [](FakeDisk& d) {
         d.LeaveFolder(kFolder, {});
         d.heldFolders[99] = kFolder;
       },
       {{kFolder + L"\\" + kWipeMarkerName, 0}},
       true,
       {}},
      {"another wipe works on the drive",
       [](FakeDisk& d) {
         d.LeaveFolder(kFolder, {L"fill-00000.bin"});
         d.held.insert(kFolder + L"\\" + kWipeMarkerName);
       },
       {{kFolder + L"\\" + kWipeMarkerName, 0}, {kFolder + L"\\fill-00000.bin", 4096}},
       true,
       {}},
      {"another wipe works on the drive in its second folder",
       [](FakeDisk& d) {
         d.LeaveFolder(kFolder, {L"fill-00000.bin"});
         d.LeaveFolder(WipeFolderName(kRoot, 1), {});
         d.held.insert(WipeFolderName(kRoot, 1) + L"\\" + kWipeMarkerName);
       },
       {{kFolder + L"\\" + kWipeMarkerName, 0},
        {kFolder + L"\\fill-00000.bin", 4096},
        {WipeFolderName(kRoot, 1) + L"\\" + kWipeMarkerName, 0}},
       true,
       {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeDisk disk;
    disk.free = 1 << 20;
    disk.files[L"T:\\user.txt"] = 4096;
    row.setUp(disk);
    uint64_t ours = 0;  // what the clearing gives back
    for (const auto& [name, size] : disk.files)
      if (name != L"T:\\user.txt" && !row.after.count(name)) ours += size;
    WipeMonitor monitor;
    const WipeResult result = WipeFreeSpace(kRoot, disk, monitor);
    Files after = row.after;
    after[L"T:\\user.txt"] = 4096;
    EXPECT_EQ(disk.files, after);
    EXPECT_EQ(result.busy, row.busy);
    EXPECT_EQ(result.foreign, row.foreign);
    if (row.busy) {
      EXPECT_EQ(disk.appends, 0) << "refused at once";
      EXPECT_EQ(WipeReport(kRoot, result), L"T: " + std::wstring(kWipeBusyText));
      continue;
    }
    EXPECT_TRUE(result.Complete());
    EXPECT_EQ(result.freeBefore, (1u << 20) + ours) << "the free space there really was";
    EXPECT_FALSE(disk.folders.count(second)) << "its own folder goes";
    EXPECT_FALSE(disk.folders.count(kFolder + L".moved")) << "wherever it went";
    EXPECT_TRUE(disk.heldFolders.empty());
    for (const std::wstring& folder : row.foreign) {
      EXPECT_NE(WipeReport(kRoot, result).find(folder + L"中有不是清除程序创建的文件，未删除"),
                std::wstring::npos);
    }
  }
}

TEST(FreeSpaceWipe, OnlyItsOwnNamesAreItsFiles) {
  const struct {
    std::wstring name;
    bool ours;
  } rows[] = {
      {L"fill-00000.bin", true},
      {L"fill-12345.bin", true},
      {L"record-000000-" + std::wstring(40, L'x'), true},
      {L"fill-1234.bin", false},
      {L"fill-123456.bin", false},
      {L"fill-0000a.bin", false},
      {L"fill-00000.txt", false},
      {L"Fill-00000.bin", false},
      {L"record-000000-" + std::wstring(39, L'x'), false},
      {L"record-000000-" + std::wstring(39, L'x') + L"y", false},
      {L"record-00000a-" + std::wstring(40, L'x'), false},
      {L"record-000000x" + std::wstring(40, L'x'), false},
      {kWipeMarkerName, false},
      {L"notes.txt", false},
  };
  for (const auto& row : rows) EXPECT_EQ(IsWipeFileName(row.name), row.ours) << row.name.c_str();
}

TEST(FreeSpaceWipe, OnlyADrivesRootOfAnExistingLocalWritableDrive) {
  const DriveFacts ok{true, false, false};
  const struct {
    const wchar_t* argument;
    DriveFacts facts;
    const wchar_t* root;
    const wchar_t* refusal;
  } rows[] = {
      {L"D:", ok, L"D:\\", L""},
      {L"d:\\", ok, L"D:\\", L""},
      {L"\\\\?\\E:\\", ok, L"E:\\", L""},
      {L"D:\\dir", ok, L"", L"不是驱动器的根目录（例如 D: 或 D:\\）"},
      {L"D", ok, L"", L"不是驱动器的根目录（例如 D: 或 D:\\）"},
      {L"\\\\srv\\share", ok, L"", L"不是驱动器的根目录（例如 D: 或 D:\\）"},
      {L"Q:", {false, false, false}, L"Q:\\", L"驱动器不存在"},
      {L"N:", {true, true, false}, L"N:\\", L"是网络驱动器，不予清除"},
      {L"R:", {true, false, true}, L"R:\\", L"驱动器只读"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(WipeRoot(row.argument), row.root) << row.argument;
    EXPECT_EQ(RefuseWipe(row.argument, row.facts), row.refusal) << row.argument;
  }
}

TEST(FreeSpaceWipe, TheReportSaysWhatWasDoneAndWhatNoWipeReaches) {
  WipeResult done;
  done.filled = done.recordsDone = true;
  done.freeBefore = 300u << 20;
  done.written = 299u << 20;
  done.records = 1200;
  EXPECT_EQ(
      WipeReport(L"T:\\", done),
      L"已清除 T: 的剩余空间：写入随机数据 299 MB（清除前剩余 300 MB），并覆盖了已释放的文件记录"
      L"（1200 个）。\r\n临时文件已全部删除。\r\n" +
          std::wstring(kWipeLimitsText));
  WipeResult cancelled = done;
  cancelled.cancelled = true;
  cancelled.filled = cancelled.recordsDone = false;
  cancelled.written = 10u << 20;
  EXPECT_EQ(WipeReport(L"T:\\", cancelled)
                .rfind(L"清除已取消：T: 的剩余空间写入了随机数据 10 MB（清除前剩余 300 MB）；"
                       L"未覆盖已释放的文件记录。\r\n",
                       0),
            0u);
  WipeResult taken = done;
  taken.takenElsewhere = true;
  taken.leftover = L"T:\\x";
  EXPECT_NE(WipeReport(L"T:\\", taken).find(L"清除未完成"), std::wstring::npos);
  EXPECT_NE(WipeReport(L"T:\\", taken).find(L"剩余空间在清除期间被其他程序占用"),
            std::wstring::npos);
  EXPECT_NE(WipeReport(L"T:\\", taken).find(L"临时文件夹未能删除，请手动删除：T:\\x"),
            std::wstring::npos);
  WipeResult quota = done;
  quota.partial = true;
  quota.volumeFree = 900u << 20;
  EXPECT_EQ(WipeReport(L"T:\\", quota)
                .rfind(L"清除未完成：T: 的剩余空间写入了随机数据 299 MB（清除前剩余 300 MB），"
                       L"只清除了一部分：磁盘配额只允许写入 300 MB，卷上的剩余空间为 900 MB；",
                       0),
            0u);
}

}  // namespace
}  // namespace shred
