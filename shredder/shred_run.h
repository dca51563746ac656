// The shred list and the shred run. Nothing here touches Windows: the run gets
// its message box, its file channel, file deletion and the list through the two
// interfaces below, so it is exercised natively with fakes.
#pragma once

#include <string>
#include <vector>

namespace shred {

// The ordered list of paths the user collected. Indices run from 0 to
// Count() - 1; Selection() is -1 when nothing is selected.
class ShredList {
 public:
  virtual ~ShredList() = default;
  virtual int Count() const = 0;
  virtual std::wstring Item(int index) const = 0;
  virtual bool Add(const std::wstring& path) = 0;
  virtual bool RemoveAt(int index) = 0;
  virtual void Clear() = 0;
  virtual int Selection() const = 0;
};

// The list holds at most this many entries, as the list box that stores them
// counts them in 16 bits.
inline constexpr int kMaxEntries = 32767;

bool AddEntry(ShredList& list, const std::wstring& path);
// Removes the selected entry; false (and no change) when nothing is selected.
bool RemoveSelectedEntry(ShredList& list);

enum class MessageKind {
  Confirm,  // OK + Cancel, question icon
  Info,     // OK, no icon
  Warning,  // OK, warning icon
};

class ShredServices {
 public:
  virtual ~ShredServices() = default;
  // Modal message box; true when the user answered OK.
  virtual bool ShowMessage(const std::wstring& text, const std::wstring& title,
                           MessageKind kind) = 0;
  // The one file channel: create or truncate `path` for writing text.
  virtual bool OpenChannel(const std::wstring& path) = 0;
  // Writes the line in code page 936 followed by CR LF; false when not open.
  virtual bool PrintLine(const std::wstring& text) = 0;
  // Flushes and closes the channel; does nothing when it is not open.
  virtual void CloseChannel() = 0;
  virtual bool RemoveFile(const std::wstring& path) = 0;
  // True when anything (file, folder, link) exists at the path.
  virtual bool PathExists(const std::wstring& path) = 0;
};

// The texts of the run, exactly as the user sees them.
extern const wchar_t kConfirmText[];
extern const wchar_t kConfirmTitle[];
extern const wchar_t kEmptyListText[];
extern const wchar_t kInfoTitle[];
extern const wchar_t kDoneText[];

// The two lines written into every file before it is deleted.
std::wstring BannerLine();
std::wstring NoticeLine();

// True for a path the run must never open for writing nor delete: devices,
// raw volumes and disks, and paths with wildcard characters.
bool IsUnsafeShredPath(const std::wstring& path);

// The text of the message that names the entries a run could not shred.
std::wstring FailureReport(const std::wstring* survivors, int survivorCount, int total);

// One shred run: the entries as the run found them and how far it got.
struct ShredJob {
  std::vector<std::wstring> paths;
  int processed = 0;          // entries the overwrite pass has finished
  std::vector<bool> deleted;  // the delete pass removed the entry's file
  bool cancelled = false;
};

// Watches a run from the thread that does the work: asked between two files
// whether to stop, told which file is being worked on.
class ShredMonitor {
 public:
  virtual ~ShredMonitor() = default;
  virtual bool CancelRequested() { return false; }
  virtual void Overwriting(int /*index*/, const std::wstring& /*path*/) {}
  virtual void Deleting(int /*index*/, const std::wstring& /*path*/) {}
};

// The Shred button's run in three steps, so that the middle one can run on a
// worker thread while the window stays responsive:
// the confirmation and the empty-list message; false when the run stops there.
bool PrepareShred(ShredList& list, ShredServices& services, ShredJob& job);
// The overwrite pass over every entry, then the delete pass. Touches files only.
void ShredFiles(ShredJob& job, ShredServices& services, ShredMonitor& monitor);
// The list keeps the survivors and the untouched entries; the closing message.
void FinishShred(ShredList& list, ShredServices& services, const ShredJob& job);
// All three on the calling thread.
void RunShred(ShredList& list, ShredServices& services);

}  // namespace shred
