// The two promises as invariants, under an adversary: random trees of files
// (hard links, other spellings, links the platform does and does not mark,
// held, read-only and multi-stream files, a folder that is a link), random
// selections (files by any of their names, whole folders, duplicates, bad
// entries, a Recycle Bin laid out in the same fakes) and an interferer that acts between the run's
// steps (renames, replaces, rewrites, appends, swaps a folder for a link, creates, deletes, holds
// and releases, reads attributes so that a deletion stays pending). After every run:
//   I1  a file nobody chose and the interferer did not touch is as it was,
//       byte for byte and name for name;
//   I2  a file reported shredded had every byte of every stream written over
//       before it went, and no name of it is left;
//   I3  the report, the exit status and the record agree with what is left;
//   I4  no handle is open, and only folders handed over whole are gone;
//   I5  with nobody else acting and no cancel, every file chosen that is
//       neither held nor read-only is gone.
// Seeded and replayable: --seed N replays a run of cases, --cases N sets how
// many (2,000 by default; scripts/soak.sh runs 100,000). A failure prints the
// seed, and the scenario shrunk to its smallest.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "engine/record_check.h"
#include "engine/recycle_bin.h"
#include "engine/shred_cli.h"
#include "engine/shred_record.h"
#include "tests/fake_shred.h"

namespace shred {
namespace {

using testing::CallLog;
using testing::FakeServices;
using testing::FakeTraces;

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The world before the run: every file by its first name, with its contents
// and identity; its other names; where the links lead.
struct World {
  std::vector<std::wstring> folders;  // in the tree, each before those inside it
  std::vector<std::wstring> files;    // first names, in the tree and outside it
  std::map<std::wstring, std::wstring> contents;
  std::map<std::wstring, uint64_t> ids;
  std::map<std::wstring, std::set<std::wstring>> names;  // every name of a file, first included
  std::set<std::wstring> faulty;  // files whose bytes the disk fails to take, one way or another
};

// The folders the tree may hold; "C:\o" lies outside it, where links lead.
const wchar_t* const kFolders[] = {L"C:\\r", L"C:\\r\\a", L"C:\\r\\a\\b", L"C:\\r\\c"};
constexpr wchar_t kOutside[] = L"C:\\o";
// The tree's top folder's twin in another case (a case-sensitive volume),
// holding files of its names: a link to it from the top folder's name
// offers the run paths that differ from its entries only in case.
constexpr wchar_t kTwin[] = L"C:\\R";
constexpr wchar_t kShare[] = L"\\\\srv\\r";
constexpr char kShareText[] = "\\\\srv\\r";

std::wstring Parent(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

// Lays out a random tree in the fake, and says what it laid out.
World LayOut(FakeServices& s, std::ostringstream& story, bool verify) {
  World world;
  s.folders.insert(kOutside);
  const int folders = *rc::gen::inRange(1, 5);
  for (int i = 0; i < folders; ++i) {
    world.folders.push_back(kFolders[i]);
    s.folders.insert(kFolders[i]);
  }
  world.folders.push_back(kOutside);
  int n = 0;
  for (const std::wstring& folder : world.folders) {
    const int files = *rc::gen::inRange(0, 4);
    for (int i = 0; i < files; ++i, ++n) {
      std::wstring name = folder + L"\\f" + std::to_wstring(n) + L".txt";
      // Outside, a file may bear the name of one in the tree: what a folder
      // swapped for a link to here would offer the run in its place.
      if (folder == kOutside && !world.files.empty() && *rc::gen::inRange(0, 2)) {
        const std::wstring& twin =
            world.files[size_t(*rc::gen::inRange(0, int(world.files.size())))];
        const std::wstring candidate = folder + twin.substr(twin.find_last_of(L'\\'));
        if (!s.files.count(candidate)) name = candidate;
      }
      std::wstring bytes;
      const int length = *rc::gen::inRange(1, 40);
      while (int(bytes.size()) < length) bytes += L"c" + std::to_wstring(n) + L"-";
      s.files[name] = bytes;
      world.files.push_back(name);
      world.names[name].insert(name);
      const int kind = *rc::gen::inRange(0, 10);
      story << Narrow(name) << " (" << length << " bytes)";
      if (kind == 0) {
        s.attributes[name] = attr::kReadOnly;
        story << " read-only";
      } else if (kind == 1) {
        s.locked.insert(name);
        story << " held";
      } else if (kind == 2) {
        s.files[name + L":s:$DATA"] = L"stream" + std::to_wstring(n);
        story << " with a stream";
      } else if (kind == 3 || kind == 4) {
        // Another name, in the tree or outside it.
        const std::wstring other =
            world.folders[size_t(*rc::gen::inRange(0, int(world.folders.size())))] + L"\\h" +
            std::to_wstring(n) + L".txt";
        s.hardLinks[other] = name;
        world.names[name].insert(other);
        story << " hard-linked as " << Narrow(other);
      } else if (kind == 6) {
        // Explorer or an indexer reads its attributes: a deletion stays pending.
        s.pendingDelete.insert(name);
        story << " peeked at";
      } else if (kind == 5) {
        // Another spelling of the same name (case, a short name).
        s.aliases[folder + L"\\F" + std::to_wstring(n) + L".TXT"] = name;
        story << " also spelt F" << n << ".TXT";
      }
      // The disk's ways to fail with the bytes, on its contents or its stream:
      // a write refused, a flush refused, a write it says it took and lost
      // (which only a read-back sees).
      const int disk = *rc::gen::inRange(0, 8);
      const std::wstring stream = kind == 2 && *rc::gen::inRange(0, 2) ? name + L":s:$DATA" : name;
      if (disk == 0) {
        s.writeFault[stream] = {*rc::gen::inRange(0, 2), Reason::DiskFull};
        story << ", a write to " << Narrow(stream) << " refused";
      } else if (disk == 1) {
        s.flushError[stream] = Reason::IoError;
        story << ", a flush of " << Narrow(stream) << " refused";
      } else if (disk == 2 && verify) {
        s.lostWrite[stream] = 0;
        story << ", a write to " << Narrow(stream) << " lost";
      }
      if (disk < 2 || (disk == 2 && verify)) world.faulty.insert(name);
      story << "\n";
    }
  }
  // Links in the tree to files anywhere: the platform's marked ones, and
  // those it does not mark (Unix links under Wine).
  if (!world.files.empty() && *rc::gen::inRange(0, 2)) {
    const std::wstring target = world.files[size_t(*rc::gen::inRange(0, int(world.files.size())))];
    s.unmarkedLinks[L"C:\\r\\u.txt"] = target;
    story << "C:\\r\\u.txt leads to " << Narrow(target) << " (unmarked)\n";
  }
  if (*rc::gen::inRange(0, 2)) {
    s.links.insert(L"C:\\r\\m.lnk");
    story << "C:\\r\\m.lnk is a link\n";
  }
  // A share onto the tree's top folder: every name in it has a second
  // spelling, whose handles tell the share's path.
  if (*rc::gen::inRange(0, 2)) {
    s.shares[kShare] = kFolders[0];
    story << kShareText << " is a share onto C:\\r\n";
  }
  if (*rc::gen::inRange(0, 3) == 0) {
    s.folderLinks[L"C:\\r\\fl"] = kOutside;
    story << "C:\\r\\fl leads to C:\\o (unmarked)\n";
  }
  if (*rc::gen::inRange(0, 3) == 0) {
    s.folders.insert(kTwin);
    for (const std::wstring& file : std::vector<std::wstring>(world.files)) {
      if (Parent(file) != kFolders[0]) continue;
      const std::wstring twin = kTwin + file.substr(file.find_last_of(L'\\'));
      s.files[twin] = L"twin of " + s.files[file];
      world.files.push_back(twin);
      world.names[twin].insert(twin);
    }
    story << "C:\\R, the twin of C:\\r, holds its names\n";
  }
  for (const std::wstring& file : world.files) {
    world.contents[file] = s.files[file];
    world.ids[file] = s.IdOf(file).low;
  }
  return world;
}

// The selection: files by any of their names and spellings (a short name,
// another case, a share onto the folder; with a final path or none), whole
// folders as a walk would hand them over, duplicates and entries that name
// nothing to shred.
void Select(FakeServices& s, const World& world, ShredJob& job, std::ostringstream& story) {
  std::vector<std::wstring> candidates;
  for (const auto& [file, names] : world.names) {
    if (Parent(file) == kOutside || Parent(file) == kTwin) continue;
    candidates.insert(candidates.end(), names.begin(), names.end());
  }
  for (const auto& [spelling, file] : s.aliases) candidates.push_back(spelling);
  // The same names through the share; and names whose handles tell no
  // final path (past 260 characters under Wine), spelt either way.
  for (size_t i = 0, n = candidates.size(); i < n; ++i) {
    const std::wstring top = std::wstring(kFolders[0]) + L"\\";
    if (s.shares.count(kShare) && candidates[i].rfind(top, 0) == 0)
      candidates.push_back(kShare + candidates[i].substr(top.size() - 1));
  }
  for (const std::wstring& candidate : candidates) {
    if (*rc::gen::inRange(0, 4) == 0) s.noFinalPath.insert(candidate);
  }
  for (const wchar_t* odd : {L"C:\\r\\u.txt", L"C:\\r\\m.lnk", L"C:\\r\\missing.txt", L"f0.txt",
                             L"C:\\r\\a", L"C:\\r\\fl\\f0.txt", L"C:\\r\\*.txt"})
    candidates.push_back(odd);
  for (const std::wstring& candidate : candidates) {
    if (*rc::gen::inRange(0, 3) == 0) job.entries.push_back(candidate);
  }
  // A folder handed over whole: its regular files (links left out, as the
  // walk leaves them), then its subfolders', each folder known by identity.
  if (world.folders.size() > 1 && *rc::gen::inRange(0, 3) == 0) {
    const std::wstring top =
        world.folders[size_t(*rc::gen::inRange(0, int(world.folders.size()) - 1))];
    story << "folder handed over whole: " << Narrow(top) << "\n";
    for (const std::wstring& folder : world.folders) {
      if (folder != top && folder.rfind(top + L"\\", 0) != 0) continue;
      job.folders.push_back({folder, s.IdOf(folder)});
      for (const auto& [name, bytes] : s.files) {
        if (Parent(name) == folder && name.find(L':', 2) == name.npos) job.entries.push_back(name);
      }
      for (const auto& [name, file] : s.hardLinks) {
        if (Parent(name) == folder) job.entries.push_back(name);
      }
    }
  }
  if (!job.entries.empty() && *rc::gen::inRange(0, 4) == 0)
    job.entries.push_back(job.entries[size_t(*rc::gen::inRange(0, int(job.entries.size())))]);
  story << "entries:";
  for (const std::wstring& entry : job.entries) story << " " << Narrow(entry);
  story << "\n";
}

// What the interferer can do, and to what.
enum class Act {
  Rewrite,
  Append,
  Replace,
  ReuseNumber,
  Rename,
  Remove,
  Create,
  SwapFolder,
  Hold,
  Release,
  Peek,
  MoveAway
};
const char* const kActNames[] = {"rewrites",
                                 "appends to",
                                 "replaces",
                                 "reuses the number of",
                                 "renames",
                                 "deletes",
                                 "creates in",
                                 "swaps for a link",
                                 "holds",
                                 "releases",
                                 "reads the attributes of",
                                 "moves away and makes anew"};
struct Interference {
  bool atDelete;  // at the delete step of the entry, else as it is overwritten
  int entry;
  Act act;
  std::wstring target;  // a file's first name, or a folder
};

// Acts at the run's callbacks, and keeps what it touched: its files by
// identity and the names it made, which the invariants leave to it.
class Interferer : public ShredMonitor {
 public:
  Interferer(FakeServices& s, std::vector<Interference> plan, int cancelAt)
      : s_(s), plan_(std::move(plan)), cancelAt_(cancelAt) {}
  // The user's Cancel, at the given question (never when negative).
  bool CancelRequested() override { return cancelAt_ >= 0 && asked_++ >= cancelAt_; }
  void Overwriting(int index, const std::wstring&) override { Fire(false, index); }
  void Deleting(int index, const std::wstring&) override { Fire(true, index); }

  std::set<uint64_t> touched;
  std::set<std::wstring> touchedNames;
  std::set<uint64_t> renamed;  // files that kept their contents and lost a name
  // Files it made that nobody chose, by identity, with their contents:
  // each must stay as it was made unless it touched it again.
  std::map<uint64_t, std::wstring> made;

 private:
  void Fire(bool atDelete, int index) {
    for (Interference& step : plan_) {
      if (step.atDelete != atDelete || step.entry != index) continue;
      step.entry = -1;  // once
      Do(step);
    }
  }
  void TouchFile(const std::wstring& name) {
    touched.insert(s_.IdOf(s_.Target(name)).low);
    touchedNames.insert(name);
  }
  size_t NamesOf(const std::wstring& name) {
    size_t n = 1;
    for (const auto& [other, first] : s_.hardLinks) n += first == name;
    return n;
  }
  void Do(const Interference& step) {
    const std::wstring& t = step.target;
    const bool isFile = s_.files.count(t) > 0;
    switch (step.act) {
      case Act::Rewrite:
        if (isFile) TouchFile(t), s_.Rewrite(t, L"rewritten");
        break;
      case Act::Append:
        if (isFile) TouchFile(t), s_.Rewrite(t, s_.files[t] + L"more");
        break;
      case Act::Replace:
        // A new file saved under the name; the old one keeps its other names,
        // and is gone only when it had none.
        if (isFile) {
          if (NamesOf(t) == 1) TouchFile(t);
          renamed.insert(s_.IdOf(t).low);
          touchedNames.insert(t);
          s_.Unlink(t);
          s_.Replace(t, L"replaced");
          TouchFile(t);
        }
        break;
      case Act::ReuseNumber:
        if (isFile) TouchFile(t), s_.ReuseNumber(t, L"reused");
        break;
      case Act::Rename:
        if (isFile) {
          TouchFile(t);
          s_.files[t + L".moved"] = s_.files[t];
          s_.ids[t + L".moved"] = s_.IdOf(t).low;
          s_.times[t + L".moved"] = s_.times[t];
          s_.files.erase(t);
          touchedNames.insert(t + L".moved");
        }
        break;
      case Act::Remove:
        if (isFile) TouchFile(t), s_.files.erase(t);
        break;
      case Act::Create:
        if (s_.folders.count(t)) {
          s_.Replace(t + L"\\new.txt", L"new");
          TouchFile(t + L"\\new.txt");
        }
        break;
      case Act::SwapFolder:
        if (s_.folders.count(t)) SwapFolder(t);
        break;
      case Act::MoveAway:
        // A new folder of its name, with new files of its files' names: a
        // rename by the old path would reach them.
        if (s_.folders.count(t)) {
          std::vector<std::wstring> names;
          for (const auto& [name, bytes] : s_.files) {
            if (Parent(name) == t && name.find(L':', 2) == name.npos) names.push_back(name);
          }
          MoveAway(t);
          s_.folders.insert(t);
          for (const std::wstring& name : names) {
            s_.Replace(name, L"made anew");
            made[s_.IdOf(name).low] = L"made anew";
          }
        }
        break;
      case Act::Hold:
        if (isFile) s_.locked.insert(t);
        break;
      case Act::Release:
        s_.locked.erase(t);
        break;
      case Act::Peek:
        // A handle that reads attributes only: a deletion stays pending.
        if (isFile) s_.pendingDelete.insert(t);
        break;
    }
  }
  // "mv folder folder.old && ln -s C:\o folder" (the top folder's case twin
  // instead of C:\o, where there is one): everything in it moves.
  void SwapFolder(const std::wstring& folder) {
    MoveAway(folder);
    s_.folderLinks[folder] = folder == kFolders[0] && s_.folders.count(kTwin) ? kTwin : kOutside;
  }
  // "mv folder folder.old": everything in it moves, each keeping its number.
  void MoveAway(const std::wstring& folder) {
    const std::wstring from = folder + L"\\", to = folder + L".old\\";
    for (const auto* names : {&s_.files, &s_.hardLinks}) {
      for (const auto& [name, unused] : *names) {
        if (name.rfind(from, 0) != 0) continue;
        TouchFile(name);
        touchedNames.insert(to + name.substr(from.size()));
      }
    }
    for (const std::wstring& f : s_.folders) {
      if (f == folder || f.rfind(from, 0) == 0) touchedNames.insert(f);
    }
    s_.MoveFolder(folder, folder + L".old");
    touchedNames.insert(folder);
  }

  FakeServices& s_;
  std::vector<Interference> plan_;
  int cancelAt_;
  int asked_ = 0;
};

std::vector<Interference> Plan(const World& world, const ShredJob& job, std::ostringstream& story) {
  std::vector<Interference> plan;
  if (job.entries.empty()) return plan;
  const int steps = *rc::gen::inRange(0, 3);
  for (int i = 0; i < steps; ++i) {
    Interference step;
    step.atDelete = *rc::gen::inRange(0, 2) == 1;
    step.entry = *rc::gen::inRange(0, int(job.entries.size()));
    step.act = Act(*rc::gen::inRange(0, 12));
    const bool onFolder =
        step.act == Act::Create || step.act == Act::SwapFolder || step.act == Act::MoveAway;
    const auto& pool = onFolder ? world.folders : world.files;
    if (pool.empty()) continue;
    step.target = pool[size_t(*rc::gen::inRange(0, int(pool.size())))];
    if (onFolder && step.target == kOutside) continue;
    story << "at the " << (step.atDelete ? "deletion" : "overwrite") << " of entry " << step.entry
          << " another program " << kActNames[int(step.act)] << " " << Narrow(step.target) << "\n";
    plan.push_back(step);
  }
  return plan;
}

// Every name that leads to the file with this identity now.
std::set<std::wstring> NamesNow(FakeServices& s, uint64_t id) {
  std::set<std::wstring> names;
  for (const auto& [name, bytes] : s.files) {
    if (name.find(L':', 2) == name.npos && s.ids.count(name) && s.ids[name] == id)
      names.insert(name);
  }
  for (const auto& [name, file] : s.hardLinks) {
    if (s.files.count(file) && s.ids.count(file) && s.ids[file] == id) names.insert(name);
  }
  return names;
}

// The name an entry spells: through a folder that leads elsewhere (a path
// the user typed through a link or a mapped drive is the file it opens),
// and another spelling of a name (case, a short name). A link at the end is
// not its target.
std::wstring NameSpelt(const FakeServices& s, std::wstring entry) {
  entry = s.Local(entry);
  for (const auto& [from, to] : s.folderLinks) {
    if (entry.rfind(from + L"\\", 0) == 0) entry = to + entry.substr(from.size());
  }
  const auto alias = s.aliases.find(entry);
  return alias == s.aliases.end() ? entry : alias->second;
}

// The files the selection chose: a file every one of whose names an entry
// names (by any spelling), or that a folder handed over whole held.
std::set<uint64_t> Chosen(FakeServices& s, const World& world, const ShredJob& job) {
  std::set<std::wstring> named;
  for (const std::wstring& entry : job.entries) named.insert(NameSpelt(s, entry));
  std::set<uint64_t> chosen;
  for (const auto& [file, names] : world.names) {
    bool all = true;
    for (const std::wstring& name : names) all = all && named.count(name);
    if (all) chosen.insert(world.ids.at(file));
  }
  return chosen;
}

void CheckPromises() {
  std::ostringstream story;
  CallLog log;
  FakeServices s{log};
  ShredJob job;
  job.verify = *rc::gen::inRange(0, 2) == 1;
  const World world = LayOut(s, story, job.verify);
  Select(s, world, job, story);
  // The user's Recent folder: shortcuts of the tree's files and folders and
  // of the outside ones, some spelt in another case, some unreadable.
  FakeTraces traces{s};
  traces.recent = L"C:\\Recent";
  s.folders.insert(traces.recent);
  std::vector<std::wstring> targets(world.folders.begin(), world.folders.end());
  for (const auto& [file, names] : world.names)
    targets.insert(targets.end(), names.begin(), names.end());
  std::map<std::wstring, std::wstring> shortcuts;  // path, target
  std::set<std::wstring> byHand;                   // renamed: not named after the target
  const int count = targets.empty() ? 0 : *rc::gen::inRange(0, 6);
  for (int k = 0; k < count; ++k) {
    std::wstring target = targets[*rc::gen::inRange<size_t>(0, targets.size())];
    if (*rc::gen::inRange(0, 3) == 0) target = ComparablePath(target);
    // Named after its target as the shell names it, a second one of a name
    // as Wine does, or renamed by hand.
    const bool renamed = *rc::gen::inRange(0, 5) == 0;
    std::wstring path =
        traces.recent + L"\\" +
        (renamed ? L"r" + std::to_wstring(k) : target.substr(target.rfind(L'\\') + 1));
    if (s.files.count(path + L".lnk")) path += L" (" + std::to_wstring(k + 2) + L")";
    path += L".lnk";
    if (renamed) byHand.insert(path);
    s.Replace(path, L"shortcut to " + target);
    if (*rc::gen::inRange(0, 6) != 0) traces.targets[path] = target;
    // The shell saves it anew, the same bytes, once the step has read it.
    if (*rc::gen::inRange(0, 4) == 0) traces.savedAnewAfterRead.insert(path);
    shortcuts[path] = target;
    story << "a Recent shortcut " << Narrow(path) << " to " << Narrow(target)
          << (traces.targets.count(path) ? "" : " (unreadable)")
          << (traces.savedAnewAfterRead.count(path) ? ", saved anew once read\n" : "\n");
  }
  const std::vector<Interference> plan = Plan(world, job, story);
  const int cancelAt = *rc::gen::inRange(0, 4) == 0 ? *rc::gen::inRange(0, 12) : -1;
  if (cancelAt >= 0) story << "the user cancels at the run's question " << cancelAt << "\n";
  const int previewCancelAt = *rc::gen::inRange(0, 6) == 0 ? *rc::gen::inRange(0, 12) : -1;
  if (previewCancelAt >= 0)
    story << "Ctrl+C stops the preview at question " << previewCancelAt << "\n";
  RC_LOG() << story.str();
  const std::set<uint64_t> chosen = Chosen(s, world, job);
  const std::set<std::wstring> foldersBefore = s.folders;

  // A preview first: every check of the run, nothing done, now and then
  // stopped by a Ctrl+C.
  ShredJob preview = job;
  preview.preview = true;
  const auto filesBefore = s.files;
  const size_t callsBefore = log.calls.size();
  Interferer looking(s, {}, previewCancelAt);
  ShredFiles(preview, s, looking);
  RC_ASSERT(s.files == filesBefore);
  RC_ASSERT(s.folders == foldersBefore);
  RC_ASSERT(s.openHandles == 0);
  for (size_t c = callsBefore; c < log.calls.size(); ++c) {
    for (const wchar_t* done :
         {L"write:", L"truncate:", L"notice:", L"rename:", L"delete:", L"opendelete:", L"unlink:"})
      RC_ASSERT(log.calls[c].rfind(done, 0) != 0);
  }

  Interferer interferer(s, plan, cancelAt);
  ShredFiles(job, s, interferer);
  // What the preview said would go is what went, where nobody else acted:
  // all of it, but for what the disk refused or another program held.
  for (size_t i = 0; i < job.results.size() && plan.empty() && cancelAt < 0; ++i) {
    const Fate said = preview.results[i].fate, done = job.results[i].fate;
    if (preview.cancelled && said == Fate::NotReached) continue;  // not looked at
    if (done == Fate::Shredded) RC_ASSERT(said == Fate::Overwritten);
    if (said != Fate::Overwritten || done == Fate::Shredded || done == Fate::ShreddedCloud)
      continue;
    bool excused = false;
    for (const std::wstring& file : world.files) {
      const bool it = world.ids.at(file) == job.results[i].identity.low;
      excused = excused || (it && (world.faulty.count(file) || s.pendingDelete.count(file) ||
                                   s.heldFor.count(file)));
    }
    RC_ASSERT(excused);
  }
  // Each entry's folder is held once, however many entries lie in it.
  std::set<std::wstring> entryFolders;
  for (const std::wstring& entry : job.entries) {
    const ResolvedPath resolved = ResolveEntry(entry);
    if (resolved.reason == Reason::None) entryFolders.insert(FolderOfPath(resolved.path));
  }
  RC_ASSERT(s.mostFoldersHeld <= int(entryFolders.size()));
  // Another program saves a new file where a shortcut points, by its very
  // spelling (on a case-sensitive folder, a twin of a shredded name).
  std::set<std::wstring> savedSince;
  for (const auto& [path, target] : shortcuts) {
    if (s.PathExists(target) || *rc::gen::inRange(0, 3) != 0) continue;
    s.files[target] = L"saved since";
    savedSince.insert(target);
    story << "a new file is saved as " << Narrow(target) << " after the run\n";
  }
  job.traces = ClearRecentTraces(ShreddedPlaces(job), s, traces);
  for (const std::wstring& file : savedSince) {
    const bool untouched = s.files[file] == L"saved since";
    RC_ASSERT(untouched);
  }

  // I6: a Recent shortcut goes only when what it names, or a folder it lies
  // in, is gone and was reported so, and nothing is there now; one named
  // after a file reported shredded by the very text goes, or a line says
  // why not, unless a file is there again.
  for (const auto& [path, target] : shortcuts) {
    const bool readable = traces.targets.count(path) > 0;
    bool named = false;  // a shredded file or removed folder by that path, in any case
    bool exact = false;  // a file reported shredded by that very text
    for (size_t i = 0; i < job.results.size(); ++i) {
      const EntryResult& r = job.results[i];
      if (r.fate != Fate::Shredded && r.fate != Fate::ShreddedCloud) continue;
      RC_ASSERT(NamesNow(s, r.identity.low).empty());
      named = named || ComparablePath(job.entries[i]) == ComparablePath(target) ||
              ComparablePath(r.path) == ComparablePath(target) ||
              ComparablePath(r.finalPath) == ComparablePath(target);
      exact = exact || job.entries[i] == target;
    }
    for (const FolderResult& f : job.folderResults) {
      const std::wstring folder = ComparablePath(f.path);
      const std::wstring t = ComparablePath(target);
      named = named || (f.removed && (t == folder || t.rfind(folder + L"\\", 0) == 0));
    }
    if (!s.files.count(path)) RC_ASSERT(readable && named && !s.PathExists(target));
    // Saved anew after it was read: not the shortcut that was read.
    if (traces.savedAnewAfterRead.count(path)) RC_ASSERT(s.files.count(path) == 1u);
    bool said = false;
    for (const TraceOutcome& o : job.traces.outcomes)
      said = said || (o.trace == path && !o.removed);
    if (exact && readable && !byHand.count(path) && !s.PathExists(target))
      RC_ASSERT(!s.files.count(path) || said);
  }

  // I1: what nobody chose, and the interferer left alone, is as it was.
  for (const std::wstring& file : world.files) {
    const uint64_t id = world.ids.at(file);
    if (chosen.count(id) || interferer.touched.count(id) || interferer.renamed.count(id)) continue;
    for (const std::wstring& name : world.names.at(file)) {
      if (interferer.touchedNames.count(name)) continue;
      RC_ASSERT(NamesNow(s, id).count(name) == 1u);
      RC_ASSERT(s.files[s.Target(name)] == world.contents.at(file));
    }
  }
  // What the interferer made is as it made it.
  for (const auto& [id, contents] : interferer.made) {
    if (interferer.touched.count(id)) continue;
    const std::set<std::wstring> names = NamesNow(s, id);
    RC_ASSERT(names.size() == 1u);
    RC_ASSERT(s.files[*names.begin()] == contents);
  }
  // I2, I3: a file reported shredded was written over whole, every stream,
  // and no name of it is left; one reported left is there.
  for (size_t i = 0; i < job.results.size(); ++i) {
    const EntryResult& r = job.results[i];
    const uint64_t id = r.identity.low;
    if (r.fate == Fate::Shredded) {
      RC_ASSERT(r.identity.Known());
      RC_ASSERT((s.covered[{id, L""}] >= r.size));
      RC_ASSERT(NamesNow(s, id).empty());
      // No file it did not choose went this way.
      RC_ASSERT(chosen.count(id) || interferer.touched.count(id) || interferer.renamed.count(id));
    }
    if (r.fate == Fate::Survived && r.identity.Known() && !interferer.touched.count(id) &&
        !interferer.renamed.count(id) && r.reason != Reason::MovedAway)
      RC_ASSERT(!NamesNow(s, id).empty());
  }
  // And from the files' side: a file that lost every name, and that the
  // interferer did not remove, had every byte written over first.
  for (const std::wstring& file : world.files) {
    const uint64_t id = world.ids.at(file);
    if (interferer.touched.count(id) || !NamesNow(s, id).empty()) continue;
    RC_ASSERT(chosen.count(id) || interferer.renamed.count(id));
    RC_ASSERT((s.covered[{id, L""}] >= int64_t(world.contents.at(file).size())));
  }
  // I5: and all of it: with nobody else acting and no cancel, a chosen file
  // that is neither held nor read-only has no name left.
  if (plan.empty() && cancelAt < 0) {
    for (const std::wstring& file : world.files) {
      const auto a = s.attributes.find(file);
      if (!chosen.count(world.ids.at(file)) || s.locked.count(file) || world.faulty.count(file) ||
          s.pendingDelete.count(file) || (a != s.attributes.end() && (a->second & attr::kReadOnly)))
        continue;
      RC_ASSERT(NamesNow(s, world.ids.at(file)).empty());
    }
  }
  bool all = true;
  for (const EntryResult& r : job.results) all = all && r.fate == Fate::Shredded;
  for (const FolderResult& f : job.folderResults) all = all && f.removed;
  RC_ASSERT((CliExitStatus(job, {}, false) == kCliAllShredded) == all);
  // The record says of every entry what the file system shows: "shredded"
  // only where no name of the file is left.
  RecordContext named;
  named.recordId = L"0f8fad5b-d9cb-469f-a165-70867728950e";
  const std::string written = ShredRecord(named, job);
  RC_ASSERT(CheckRecord(written).empty());  // its totals and status agree with its entries
  const auto record = nlohmann::json::parse(written);
  RC_ASSERT(record["entries"].size() == job.entries.size());
  struct Claimed {
    int64_t bytes = 0;
    int streams = 0;
    bool verified = false, shredded = false;
  };
  std::map<uint64_t, Claimed> claimed;  // what the record says was done to each file
  std::map<uint64_t, std::wstring> fileOf;
  for (const auto& [file, id] : world.ids) fileOf.emplace(id, file);
  for (size_t i = 0; i < job.entries.size(); ++i) {
    const auto& entry = record["entries"][i];
    const EntryResult& r = job.results[i];
    RC_ASSERT(entry["outcome"].get<std::string>() == FateName(r.fate));
    if (entry["outcome"] == "shredded") RC_ASSERT(NamesNow(s, r.identity.low).empty());
    // Each name by its own path.
    if (!r.path.empty()) RC_ASSERT(r.path == ResolveEntry(job.entries[i]).path);
    if (r.sameAs < 0 && r.identity.Known()) {
      Claimed& claim = claimed[r.identity.low];
      claim.bytes += entry["bytes_overwritten"].get<int64_t>();
      claim.streams += entry["streams"].get<int>();
      claim.verified = claim.verified || entry["verified"].get<bool>();
      claim.shredded = claim.shredded || r.fate == Fate::Shredded;
    }
    // The length it had when it was opened, for a file nobody else touched.
    const auto made = fileOf.find(r.identity.low);
    if (r.fate == Fate::Shredded && made != fileOf.end() &&
        !interferer.touched.count(r.identity.low))
      RC_ASSERT(entry["size"].get<size_t>() == world.contents.at(made->second).size());
  }
  // Its numbers are what the disk took: the bytes written and flushed, the
  // streams whose every byte was, each time, what was read back (a file
  // whose other name was taken meanwhile may be worked by a later entry:
  // by file).
  for (const auto& [id, claim] : claimed) {
    int64_t flushed = 0;
    int streams = 0;
    bool readBack = true;
    for (const auto& [stream, bytes] : s.flushed) {
      if (stream.first != id) continue;
      flushed += bytes;
      for (const size_t handle : s.flushedBy[stream]) {
        const bool good = !s.readBackFailed.count(handle);
        streams += good ? 1 : 0;
        readBack = readBack && good;
      }
    }
    RC_ASSERT(claim.bytes == flushed);
    RC_ASSERT(claim.streams <= streams);
    if (claim.verified) RC_ASSERT(job.verify && readBack && streams > 0);
    if (claim.shredded) RC_ASSERT(claim.streams == streams && claim.verified == job.verify);
  }
  // I4: nothing left open; only folders handed over whole are gone.
  RC_ASSERT(s.openHandles == 0);
  for (const std::wstring& folder : foldersBefore) {
    if (s.folders.count(folder) || interferer.touchedNames.count(folder)) continue;
    bool handed = false;
    for (const WalkedFolder& walked : job.folders) handed = handed || walked.path == folder;
    RC_ASSERT(handed);
  }
}

RC_GTEST_PROP(Adversary, OnlyWhatTheUserChoseAndAllOfIt, ()) { CheckPromises(); }

// A $I record as Windows 10 writes it, naming where the item was.
std::string RecordBytes(const std::wstring& path) {
  std::string bytes(24, '\0');
  bytes[0] = 2;
  std::u16string text(path.begin(), path.end());
  text.push_back(u'\0');
  const uint32_t count = uint32_t(text.size());
  bytes.append(reinterpret_cast<const char*>(&count), 4);
  return bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

// The Recycle Bin in the same fakes: items whose data is a file, a folder, a
// held file, another name of a live file outside the bin, a link the listing
// refused, or missing; records missing too; and names made on another system
// that, joined to the bin's path, lead to a live file. Another program acts on the live
// files and the bin's between the steps. After the run: the live files are
// as they were; an item said shredded has no data and no record left, its
// every byte written over first; one not shredded keeps its record; with
// nobody acting, every plain item goes.
void CheckTheBin() {
  std::ostringstream story;
  CallLog log;
  FakeServices s{log};
  const std::wstring bin = L"C:\\$Recycle.Bin\\S-1";
  World world;  // the live files and the bin's, by first name
  world.folders = {L"C:\\docs", bin};
  s.folders = {L"C:\\docs", bin};
  const auto make = [&](const std::wstring& name, const std::wstring& bytes) {
    s.files[name] = bytes;
    world.files.push_back(name);
    world.names[name].insert(name);
    world.contents[name] = bytes;
    world.ids[name] = s.IdOf(name).low;
  };
  for (int i = *rc::gen::inRange(1, 4); i > 0; --i)
    make(L"C:\\docs\\live" + std::to_wstring(i), L"live" + std::to_wstring(i) + L"-bytes");
  const int lives = int(world.files.size());
  enum Kind { File, Folder, Held, OtherName, Link, NoData, NoRecord, OddName, UnmarkedLink };
  const char* const kKinds[] = {"a file",
                                "a folder",
                                "a held file",
                                "another name of a live file",
                                "a link",
                                "no data left",
                                "no record left",
                                "a name leading out",
                                "a link the listing shows as a file"};
  // The bin's listing as the platform gives it, and the records' bytes; an
  // item's kind by the path of its data or its record.
  std::vector<BinEntry> listing;
  std::vector<std::string> recordBytes;
  std::map<std::wstring, Kind> kindOf;
  std::map<std::wstring, BinItem> walked;  // a folder item's files, as the walk finds them
  for (int n = *rc::gen::inRange(0, 6), k = 0; k < n; ++k) {
    const Kind kind = Kind(*rc::gen::inRange(0, 9));
    const std::wstring id = std::to_wstring(k), data = bin + L"\\$R" + id;
    story << "item " << k << ": " << kKinds[kind] << "\n";
    if (kind == OddName) {
      // A name made on another system, that joined to the bin's path and
      // read back leads to a live file: "$R3\..\..\..\docs\live1".
      const std::wstring& live = world.files[size_t(*rc::gen::inRange(0, lives))];
      const bool record = *rc::gen::inRange(0, 2);
      listing.push_back({(record ? L"$I" : L"$R") + id + L"\\..\\..\\.." + live.substr(2)});
      recordBytes.push_back(record ? RecordBytes(live) : std::string());
      story << "  listed as " << Narrow(listing.back().name) << "\n";
      continue;
    }
    if (kind != NoRecord) {
      const std::wstring record = bin + L"\\$I" + id;
      s.files[record] = L"record" + id;
      listing.push_back({L"$I" + id});
      recordBytes.push_back(RecordBytes(L"C:\\was\\" + id));
      kindOf[record] = kind;
    }
    if (kind == NoData) continue;
    kindOf[data] = kind;
    listing.push_back({L"$R" + id, kind == Folder || kind == Link, kind == Link});
    recordBytes.emplace_back();
    switch (kind) {
      case File:
      case Held:
      case NoRecord:
        make(data, L"data" + id + L"-bytes");
        if (kind == Held) s.locked.insert(data);
        break;
      case Folder: {
        BinItem& item = walked[data];
        s.folders.insert(data);
        make(data + L"\\a", L"in" + id + L"-a");
        item.files = {data + L"\\a"};
        item.folders = {{data, s.IdOf(data)}};
        if (*rc::gen::inRange(0, 2)) {
          s.folders.insert(data + L"\\sub");
          make(data + L"\\sub\\b", L"in" + id + L"-b");
          item.files.push_back(data + L"\\sub\\b");
          item.folders.push_back({data + L"\\sub", s.IdOf(data + L"\\sub")});
        }
        break;
      }
      case OtherName:
        s.hardLinks[data] = world.files[size_t(*rc::gen::inRange(0, lives))];
        world.names[s.hardLinks[data]].insert(data);
        break;
      case Link:
        // The listing marks it; nothing in it is walked.
        s.folderLinks[data] = L"C:\\docs";
        break;
      case UnmarkedLink:
        // A Unix link under Wine: a plain file to the listing, a live file's contents to an open.
        s.unmarkedLinks[data] = world.files[size_t(*rc::gen::inRange(0, lives))];
        break;
      default:
        break;
    }
  }
  std::vector<BinItem> items = PairBinItems(bin, listing, recordBytes);
  std::vector<Kind> kinds;
  for (BinItem& item : items) {
    if (const auto w = walked.find(item.data); w != walked.end() && item.refused.empty()) {
      item.files = w->second.files;
      item.folders = w->second.folders;
    }
    const auto k = kindOf.find(item.data.empty() ? item.record : item.data);
    kinds.push_back(k == kindOf.end() ? OddName : k->second);
  }
  size_t steps = 0;
  for (const BinItem& item : items) steps += item.files.size() + 1;
  std::vector<Interference> plan;
  for (int i = steps ? *rc::gen::inRange(0, 3) : 0; i > 0; --i) {
    Interference step;
    step.atDelete = *rc::gen::inRange(0, 2) == 1;
    step.entry = *rc::gen::inRange(0, int(steps));
    step.act = Act(*rc::gen::inRange(0, 11));
    if (step.act == Act::Create || step.act == Act::SwapFolder) continue;
    step.target = world.files[size_t(*rc::gen::inRange(0, int(world.files.size())))];
    story << "at the " << (step.atDelete ? "deletion" : "overwrite") << " of entry " << step.entry
          << " another program " << kActNames[int(step.act)] << " " << Narrow(step.target) << "\n";
    plan.push_back(step);
  }
  RC_LOG() << story.str();
  Interferer interferer(s, plan, -1);
  const std::vector<BinOutcome> outcomes =
      ShredBinItems(items, s, interferer, *rc::gen::inRange(0, 2));

  // The live files, outside the bin, are as they were, under every name.
  for (const std::wstring& file : world.files) {
    const uint64_t id = world.ids.at(file);
    if (file.rfind(bin, 0) == 0 || interferer.touched.count(id) || interferer.renamed.count(id))
      continue;
    for (const std::wstring& name : world.names.at(file)) {
      if (interferer.touchedNames.count(name) || name.rfind(bin, 0) == 0) continue;
      RC_ASSERT(NamesNow(s, id).count(name) == 1u);
      RC_ASSERT(s.files[s.Target(name)] == world.contents.at(file));
    }
  }
  for (size_t i = 0; i < items.size(); ++i) {
    const BinItem& item = items[i];
    bool touched = false;
    for (const std::wstring& f : item.files) {
      touched = touched || interferer.touchedNames.count(f) ||
                (world.ids.count(f) && interferer.touched.count(world.ids.at(f)));
    }
    if (outcomes[i].shredded) {
      RC_ASSERT(item.refused.empty());
      RC_ASSERT(item.record.empty() || !s.files.count(item.record));
      for (const std::wstring& f : item.files) {
        if (!world.ids.count(f)) continue;  // another name: the live file's
        const uint64_t id = world.ids.at(f);
        RC_ASSERT(NamesNow(s, id).empty());
        if (!touched) RC_ASSERT((s.covered[{id, L""}] >= int64_t(world.contents.at(f).size())));
      }
    } else if (!item.record.empty()) {
      RC_ASSERT(s.files.count(item.record) == 1u);  // it stays visible and restorable
    }
    if (kinds[i] == Link || kinds[i] == OddName || kinds[i] == UnmarkedLink)
      RC_ASSERT(!outcomes[i].shredded);
    if (!plan.empty()) continue;
    const bool plain =
        kinds[i] == File || kinds[i] == Folder || kinds[i] == NoData || kinds[i] == NoRecord;
    RC_ASSERT(outcomes[i].shredded == plain);
  }
  RC_ASSERT(s.openHandles == 0);
}

RC_GTEST_PROP(Adversary, TheBinTakesItsOwnAndAllOfIt, ()) { CheckTheBin(); }

}  // namespace
}  // namespace shred

// --seed N replays a run; --cases N sets how many cases it checks.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::string seed, cases = "2000";
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--seed") seed = argv[i + 1];
    if (std::string(argv[i]) == "--cases") cases = argv[i + 1];
  }
  if (!std::getenv("RC_PARAMS")) {
    const std::string params =
        "max_success=" + cases + (seed.empty() ? "" : " seed=" + seed) + " verbose_progress=0";
    setenv("RC_PARAMS", params.c_str(), 1);
  }
  return RUN_ALL_TESTS();
}
