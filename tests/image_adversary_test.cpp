// The two promises as invariants under Wine, on NTFS and ext4 images: random
// trees made from the Linux side (hard links, links to files and folders
// inside and outside, case twins where the file system keeps them, held and
// read-only files, small files that NTFS keeps in their records, names that
// hold backslashes and ".."), random
// selections walked as the command line walks them, and another program on
// the machine that acts between the run's steps (replaces, rewrites, appends,
// renames, deletes, creates, swaps a folder for a link). After every run:
//   I1  a file nobody chose and the other program did not touch is there,
//       under every name, with its contents;
//   I2  a file reported shredded has no name left, was chosen, and once the
//       image is unmounted not one copy of its contents is on the disk;
//   I3  the exit status and every entry's outcome agree with what is left;
//   I4  nothing is left open, and only folders handed over whole are gone;
//   I5  with nobody else acting, every file chosen that is neither held nor
//       read-only is gone.
// A few seeds a file system in the test run; TARVELLO_IMAGE_SEEDS sets how
// many, TARVELLO_IMAGE_SEED the first (scripts/soak.sh runs more). A failure
// prints the seed and what the seed made.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/folder_walk.h"
#include "engine/shred_cli.h"
#include "engine/win32/shred_services.h"
#include "engine/xoshiro.h"
#include "tests/raw_disk.h"
#include "tests/temp_folder.h"

namespace shred {
namespace {

using testing_util::RawDisk;
using testing_util::ReadBytes;
using testing_util::RunUnixCommand;
using testing_util::UnixPath;

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }
std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// The seed's own stream of choices.
class Choices {
 public:
  explicit Choices(uint64_t seed) {
    for (uint64_t& word : s_) {  // splitmix64
      seed += 0x9E3779B97F4A7C15ull;
      uint64_t z = seed;
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
      word = z ^ (z >> 31);
    }
  }
  int Below(int n) { return n <= 0 ? 0 : int(NextXoshiro(s_) % uint64_t(n)); }
  bool OneIn(int n) { return Below(n) == 0; }

 private:
  uint64_t s_[4];
};

// A file as the seed made it: its names (relative to the seed's folder, with
// "/"), its contents, marked by a text found nowhere else.
struct MadeFile {
  std::set<std::string> names;
  std::string token;
  std::string contents;
  bool held = false;
  bool readOnly = false;
};

// What one seed made, and what it did.
struct Scene {
  std::wstring base;  // the seed's folder, as Windows names it
  std::string unixBase;
  std::vector<std::string> folders;       // in the tree, each before those inside it; "o" outside
  std::map<std::string, MadeFile> files;  // by first name
  std::map<std::string, uint64_t> ids;    // by first name: the file number
  bool folderLink = false;                // r/fl leads to o
  // Names no Windows path reaches ("..\\c\\f3.txt" in r/a: joined to its
  // folder it names r/c/f3.txt), by where they are ("r/a/..\\c\\f3.txt"),
  // with the mark their own contents hold.
  std::map<std::string, std::string> odd;
  std::ostringstream story;
};

const char* const kFolders[] = {"r", "r/a", "r/a/b", "r/c"};

std::wstring WindowsPath(const Scene& scene, const std::string& rel) {
  std::wstring path = scene.base;
  for (char c : "\\" + rel) path += c == '/' ? L'\\' : wchar_t(c);
  return path;
}

// Every name under the seed's folder now: its file number and its kind
// ('f' file, 'd' folder, 'l' link), from the Linux side.
struct Entry {
  uint64_t id;
  char type;
};
std::map<std::string, Entry> ListNow(const Scene& scene) {
  std::string output;
  std::map<std::string, Entry> names;
  // No backslash on the way: Wine hands it over doubled.
  if (RunUnixCommand(
          "cd " + Quoted(scene.unixBase) + " && find . -mindepth 1 -exec stat -c '%i %A %n' {} +",
          output) != 0)
    return names;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t a = line.find(' '), b = line.find(' ', a + 1);
    if (a == line.npos || b == line.npos) continue;
    const char type = line[a + 1] == '-' ? 'f' : line[a + 1];  // "-rw-r--r--", "d...", "l..."
    names[line.substr(b + 3)] = {std::stoull(line.substr(0, a)), type};  // past "./"
  }
  return names;
}

std::string Filled(const std::string& token, size_t size) {
  std::string bytes;
  while (bytes.size() + token.size() <= size) bytes += token;
  return bytes + std::string(size - bytes.size(), '.');
}

// The way from a folder to a file, both relative with "/", as Windows would
// read it: "..\\c\\f3.txt" from r/a to r/c/f3.txt.
std::string WayTo(const std::string& folder, const std::string& target) {
  const auto split = [](const std::string& path) {
    std::vector<std::string> parts;
    for (size_t at = 0, end; at <= path.size(); at = end + 1) {
      end = std::min(path.find('/', at), path.size());
      parts.push_back(path.substr(at, end - at));
    }
    return parts;
  };
  const std::vector<std::string> from = split(folder), to = split(target);
  size_t common = 0;
  while (common < from.size() && common + 1 < to.size() && from[common] == to[common]) ++common;
  std::string way;
  for (size_t i = common; i < from.size(); ++i) way += "..\\";
  for (size_t i = common; i < to.size(); ++i) way += to[i] + (i + 1 < to.size() ? "\\" : "");
  return way;
}

// Lays out a random tree: folders and files as a Windows program makes
// them, then in one script from the Linux side what only Linux makes there
// (links, case twins) and hard links and read-only files; says what failed,
// if anything did.
std::string LayOut(Scene& scene, Choices& choose, const std::string& kind, uint64_t seed) {
  std::string script = "set -e; cd " + Quoted(scene.unixBase), readOnly;
  const int folders = 1 + choose.Below(4);
  for (int i = 0; i < folders; ++i) scene.folders.push_back(kFolders[i]);
  scene.folders.push_back("o");
  for (const std::string& folder : scene.folders) {
    if (!CreateDirectoryW(WindowsPath(scene, folder).c_str(), nullptr)) return "making " + folder;
  }
  int n = 0;
  for (const std::string& folder : scene.folders) {
    for (int i = choose.Below(4); i > 0; --i, ++n) {
      // Some with an extension a pattern of three letters must not take
      // (their short names end in ".TXT").
      const std::string ext = choose.OneIn(3) ? (choose.OneIn(2) ? ".txtx" : ".txt1") : ".txt";
      std::string name = folder + "/f" + std::to_string(n) + ext;
      // Outside, a file may bear the name of one in the tree: what a folder
      // swapped for a link to here would offer the run in its place.
      if (folder == "o" && !scene.files.empty() && choose.OneIn(2)) {
        auto twin = scene.files.begin();
        std::advance(twin, choose.Below(int(scene.files.size())));
        const std::string candidate = "o" + twin->first.substr(twin->first.rfind('/'));
        bool taken = false;  // Windows writes a name in any case to the file of that name
        for (const auto& [other, f] : scene.files)
          taken = taken || _stricmp(other.c_str(), candidate.c_str()) == 0;
        if (!taken) name = candidate;
      }
      MadeFile& file = scene.files[name];
      file.names.insert(name);
      file.token = "TVK" + kind.substr(0, 1) + std::to_string(seed) + "F" + std::to_string(n) + "Q";
      // From one copy of its mark to a few blocks; NTFS keeps the small ones
      // in the file record, and those around its room (480 to 680 bytes)
      // are the ones a careless write leaves there.
      const size_t sizes[] = {file.token.size(), size_t(480 + choose.Below(200)),
                              size_t(file.token.size() + choose.Below(8192)),
                              size_t(20000 + choose.Below(50000))};
      file.contents = Filled(file.token, sizes[choose.Below(4)]);
      if (!testing_util::WriteBytes(WindowsPath(scene, name), file.contents))
        return "writing " + name;
      scene.story << name << " (" << file.contents.size() << " bytes)";
      switch (choose.Below(8)) {
        case 0:
          readOnly += " " + name;
          file.readOnly = true;
          scene.story << " read-only";
          break;
        case 1:
          file.held = true;
          scene.story << " held";
          break;
        case 2:
        case 3: {
          const std::string other = scene.folders[size_t(choose.Below(int(scene.folders.size())))] +
                                    "/h" + std::to_string(n) + ".txt";
          script += "; ln " + name + " " + other;
          file.names.insert(other);
          scene.story << " also named " << other;
          break;
        }
        case 4:
          // A twin in another case, a file of its own, where the file system
          // keeps both.
          if (kind == "ext4") {
            const std::string twin = folder + "/F" + std::to_string(n) + ext;
            MadeFile& t = scene.files[twin];
            t.names.insert(twin);
            t.token = file.token.substr(0, file.token.size() - 1) + "W";
            t.contents = Filled(t.token, 64);
            // Written under a name of its own: Windows would open the file.
            const std::string temp = folder + "/t" + std::to_string(n) + ".tmp";
            if (!testing_util::WriteBytes(WindowsPath(scene, temp), t.contents))
              return "writing " + temp;
            script += "; mv " + temp + " " + twin;
            scene.story << " with a twin " << twin;
          }
          break;
      }
      scene.story << "\n";
    }
  }
  // Links the platform does not mark: to a file, and to the outside folder.
  if (!scene.files.empty() && choose.OneIn(2)) {
    auto it = scene.files.begin();
    std::advance(it, choose.Below(int(scene.files.size())));
    script += "; ln -s " + Quoted(scene.unixBase + "/" + it->first) + " r/u.txt";
    scene.story << "r/u.txt leads to " << it->first << "\n";
  }
  if (choose.OneIn(3)) {
    script += "; ln -s " + Quoted(scene.unixBase + "/o") + " r/fl";
    scene.folderLink = true;
    scene.story << "r/fl leads to o\n";
  }
  // Names made on Linux that, joined to their folder and read back, lead to
  // another file of the tree: down into a subfolder or up and across.
  script += "; b=$(awk 'BEGIN{printf \"%c\", 92}')";
  for (int i = scene.files.empty() ? 0 : 1 + choose.Below(3); i > 0; --i) {
    // Mostly in r, which patterns and walks take, leading into a subfolder
    // a pattern without /s does not reach.
    const bool top = !choose.OneIn(3);
    const std::string& folder =
        top ? scene.folders[0] : scene.folders[size_t(choose.Below(int(scene.folders.size())))];
    std::vector<std::string> targets;
    for (const auto& [first, file] : scene.files) {
      if (!top || (first.rfind("r/", 0) == 0 && first.find('/', 2) != first.npos))
        targets.push_back(first);
    }
    if (targets.empty()) continue;
    const std::string target = targets[size_t(choose.Below(int(targets.size())))];
    const std::string name = WayTo(folder, target);
    std::string word = "'";
    if (name.find('\\') == name.npos || scene.odd.count(folder + "/" + name)) continue;
    for (char c : name) word += c == '\\' ? std::string("'\"$b\"'") : std::string(1, c);
    const std::string mark = "TVO" + kind.substr(0, 1) + std::to_string(seed) + "N" +
                             std::to_string(scene.odd.size()) + "Q";
    script += "; printf " + mark + " > " + folder + "/" + word + "'";
    scene.odd[folder + "/" + name] = mark;
    scene.story << folder << "/" << name << " is one name, leading to " << target << "\n";
  }
  if (!readOnly.empty()) script += "; chmod a-w" + readOnly;
  std::string output;
  if (RunUnixCommand(script, output) != 0) return "the tree: " + output;
  const auto now = ListNow(scene);
  for (const auto& [name, file] : scene.files) {
    if (!now.count(name)) return "no " + name + " in the listing";
    scene.ids[name] = now.at(name).id;
  }
  return {};
}

// The paths a user hands over: names, other spellings, links, folders,
// patterns, duplicates and names of nothing; walked as the command line does.
std::vector<std::wstring> Select(Scene& scene, Choices& choose, const std::string& kind,
                                 bool& recurse) {
  std::vector<std::string> candidates;
  for (const auto& [first, file] : scene.files) {
    for (const std::string& name : file.names) {
      if (name.rfind("o/", 0) == 0) continue;
      candidates.push_back(name);
      // Another case of a name with no twin is the file on either system.
      std::string upper = name;
      for (char& c : upper) c = char(toupper(c));
      bool twin = false;
      for (const auto& [other, f] : scene.files)
        twin = twin || (other != name && _stricmp(other.c_str(), name.c_str()) == 0);
      if (!twin && kind == "ntfs") candidates.push_back(upper);
    }
  }
  for (const char* odd : {"r/u.txt", "r/missing.txt", "r/fl/f0.txt", "r/*.txt", "r/*.tx", "r/a"})
    candidates.push_back(odd);
  std::vector<std::wstring> paths;
  for (const std::string& candidate : candidates) {
    if (choose.OneIn(3)) paths.push_back(WindowsPath(scene, candidate));
  }
  if (choose.OneIn(3)) paths.push_back(WindowsPath(scene, "r"));
  if (!paths.empty() && choose.OneIn(4))
    paths.push_back(paths[size_t(choose.Below(int(paths.size())))]);
  recurse = choose.OneIn(2);
  scene.story << (recurse ? "/s" : "") << " entries:";
  for (const std::wstring& path : paths)
    scene.story << " " << Narrow(path.substr(scene.base.size() + 1));
  scene.story << "\n";
  return paths;
}

// The names the selection chose, as the model sees it: typed names (in any
// case where no twin is), every file in a folder handed over, the long names
// a pattern matches. A link is nobody's choice of its target.
std::set<std::string> NamesChosen(const Scene& scene, const std::vector<std::wstring>& paths,
                                  bool recurse) {
  std::set<std::string> all;
  for (const auto& [first, file] : scene.files) all.insert(file.names.begin(), file.names.end());
  std::set<std::string> chosen;
  for (const std::wstring& path : paths) {
    std::string rel = Narrow(path.substr(scene.base.size() + 1));
    for (char& c : rel) c = c == '\\' ? '/' : c;
    // A path typed through a link to a folder is the file it opens.
    if (rel.rfind("r/fl/", 0) == 0 && scene.folderLink) rel = "o/" + rel.substr(5);
    if (rel == "r" || rel == "r/a") {
      // Without /s a folder is no file: nothing in it is chosen.
      for (const std::string& name : all) {
        if (recurse && name.rfind(rel + "/", 0) == 0) chosen.insert(name);
      }
    } else if (rel == "r/*.txt") {
      for (const std::string& name : all) {
        const size_t slash = name.rfind('/');
        if (name.size() > 4 && name.substr(name.size() - 4) == ".txt" && name.rfind("r/", 0) == 0 &&
            (recurse || slash == 1))
          chosen.insert(name);
      }
    } else if (all.count(rel)) {
      chosen.insert(rel);
    } else {
      for (const std::string& name : all) {
        if (_stricmp(name.c_str(), rel.c_str()) == 0) chosen.insert(name);
      }
    }
  }
  return chosen;
}

enum class Act { Replace, Rewrite, Append, Rename, Remove, Create, SwapFolder };
const char* const kActNames[] = {"replaces", "rewrites",   "appends to",      "renames",
                                 "deletes",  "creates in", "swaps for a link"};
struct Interference {
  bool atDelete;
  int entry;
  Act act;
  std::string target;  // a file's first name, or a folder
};

// Another program on the machine, acting from the Linux side at the run's
// callbacks; keeps what it touched.
class Interferer : public ShredMonitor {
 public:
  Interferer(Scene& scene, std::vector<Interference> plan)
      : scene_(scene), plan_(std::move(plan)) {}
  void Overwriting(int index, const std::wstring&) override { Fire(false, index); }
  void Deleting(int index, const std::wstring&) override { Fire(true, index); }

  std::set<std::string> touched;       // files (first names) whose contents it changed or removed
  std::set<std::string> renamed;       // files that lost a name to it, contents kept
  std::set<std::string> touchedNames;  // names it took, moved or made
  std::set<std::string> madeNames;     // names it gave a new file

 private:
  void Fire(bool atDelete, int index) {
    for (Interference& step : plan_) {
      if (step.atDelete != atDelete || step.entry != index) continue;
      step.entry = -1;
      Do(step);
    }
  }
  void Do(const Interference& step) {
    const std::string& t = step.target;
    // What it had in hand lies in a folder it swapped away: it acts no more.
    for (const std::string& folder : swapped_) {
      if (t == folder || t.rfind(folder + "/", 0) == 0) return;
    }
    const std::string path = Quoted(scene_.unixBase + "/" + t);
    std::string command, output;
    switch (step.act) {
      case Act::Replace:
        command = "test -f " + path + " && printf replaced > " + path + ".new && mv " + path +
                  ".new " + path;
        if (scene_.files[t].names.size() == 1) touched.insert(t);
        renamed.insert(t);
        touchedNames.insert(t);
        madeNames.insert(t);
        break;
      case Act::Rewrite:
        command = "test -f " + path + " && printf rewritten > " + path;
        touched.insert(t);
        break;
      case Act::Append:
        command = "test -f " + path + " && printf more >> " + path;
        touched.insert(t);
        break;
      case Act::Rename:
        command = "test -f " + path + " && mv " + path + " " + path + ".moved";
        renamed.insert(t);
        touchedNames.insert(t);
        touchedNames.insert(t + ".moved");
        break;
      case Act::Remove:
        command = "rm -f " + path;
        touched.insert(t);
        touchedNames.insert(t);
        break;
      case Act::Create:
        command = "test -d " + path + " && printf new > " + path + "/new.txt";
        touchedNames.insert(t + "/new.txt");
        madeNames.insert(t + "/new.txt");
        break;
      case Act::SwapFolder:
        // "mv folder folder.old && ln -s o folder": everything in it moves.
        command = "test -d " + path + " && mv " + path + " " + path + ".old && ln -s " +
                  Quoted(scene_.unixBase + "/o") + " " + path;
        for (const auto& [first, file] : scene_.files) {
          for (const std::string& name : file.names) {
            if (name.rfind(t + "/", 0) != 0) continue;
            renamed.insert(first);
            touchedNames.insert(name);
          }
        }
        for (const std::string& folder : scene_.folders) {
          if (folder == t || folder.rfind(t + "/", 0) == 0) touchedNames.insert(folder);
        }
        swapped_.push_back(t);
        break;
    }
    RunUnixCommand(command, output);
  }

  Scene& scene_;
  std::vector<Interference> plan_;
  std::vector<std::string> swapped_;
};

std::vector<Interference> Plan(Scene& scene, Choices& choose, size_t entries) {
  std::vector<Interference> plan;
  if (entries == 0) return plan;
  for (int i = choose.Below(3); i > 0; --i) {
    Interference step;
    step.atDelete = choose.OneIn(2);
    step.entry = choose.Below(int(entries));
    step.act = Act(choose.Below(7));
    const bool onFolder = step.act == Act::Create || step.act == Act::SwapFolder;
    if (onFolder) {
      step.target = scene.folders[size_t(choose.Below(int(scene.folders.size()) - 1))];
    } else {
      if (scene.files.empty()) continue;
      auto it = scene.files.begin();
      std::advance(it, choose.Below(int(scene.files.size())));
      step.target = it->first;
    }
    scene.story << "at the " << (step.atDelete ? "deletion" : "overwrite") << " of entry "
                << step.entry << " another program " << kActNames[int(step.act)] << " "
                << step.target << "\n";
    plan.push_back(step);
  }
  return plan;
}

class ImageAdversary : public ::testing::TestWithParam<const char*> {};

TEST_P(ImageAdversary, OnlyWhatTheUserChoseAndAllOfIt) {
  const std::string kind = GetParam();
  RawDisk disk(kind, kind == "ntfs" ? L'R' : L'S', 128);
  if (!disk.missing().empty()) GTEST_SKIP() << kind << ": " << disk.missing();
  const char* count = std::getenv("TARVELLO_IMAGE_SEEDS");
  const char* first = std::getenv("TARVELLO_IMAGE_SEED");
  const uint64_t seeds = count ? std::strtoull(count, nullptr, 10) : 5;
  const uint64_t start = first ? std::strtoull(first, nullptr, 10) : 1;
  // The marks of files reported shredded (or gone unreported), to be looked
  // for in the image once it is unmounted; with the seed's story.
  std::map<std::string, std::string> gone;
  int entries = 0, shredded = 0, known = 0, steps = 0, odd = 0, oddNoted = 0;
  for (uint64_t seed = start; seed < start + seeds; ++seed) {
    Scene scene;
    Choices choose(seed);
    scene.base = disk.root() + L"s" + std::to_wstring(seed);
    ASSERT_TRUE(CreateDirectoryW(scene.base.c_str(), nullptr));
    scene.unixBase = UnixPath(scene.base);
    if (scene.unixBase.empty()) GTEST_SKIP() << "no Linux side";
    ASSERT_EQ(LayOut(scene, choose, kind, seed), "") << "seed " << seed << "\n"
                                                     << scene.story.str();
    bool recurse = false;
    const std::vector<std::wstring> paths = Select(scene, choose, kind, recurse);
    const std::set<std::string> namesChosen = NamesChosen(scene, paths, recurse);
    std::set<std::string> chosen;
    for (const auto& [name, file] : scene.files) {
      bool all = true;
      for (const std::string& n : file.names) all = all && namesChosen.count(n);
      if (all) chosen.insert(name);
    }
    std::vector<HANDLE> held;
    for (const auto& [name, file] : scene.files) {
      if (!file.held) continue;
      held.push_back(CreateFileW(WindowsPath(scene, name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                 nullptr, OPEN_EXISTING, 0, nullptr));
    }
    ShredJob job;
    job.verify = choose.OneIn(2);
    std::vector<WalkNote> notes;
    job.entries =
        ExpandFolders(paths, recurse, notes, true, nullptr, nullptr, &job.folders, &job.walked);
    std::vector<Interference> plan = Plan(scene, choose, job.entries.size());
    const bool quiet = plan.empty();
    steps += int(plan.size());
    Interferer interferer(scene, std::move(plan));
    const auto before = ListNow(scene);
    SCOPED_TRACE("seed " + std::to_string(seed) + " on " + kind + "\n" + scene.story.str());
    Win32ShredServices services;
    ShredFiles(job, services, interferer);
    for (HANDLE h : held) CloseHandle(h);
    const auto after = ListNow(scene);
    std::map<uint64_t, std::set<std::string>> namesOf;
    // A new file, folder or link may take a number the run just freed (ext4
    // gives it at once): its names are not the old file's.
    for (const auto& [name, entry] : after) {
      if (entry.type == 'f' && !interferer.madeNames.count(name)) namesOf[entry.id].insert(name);
    }

    // I1: what nobody chose, and the other program left alone, is as it was.
    for (const auto& [first, file] : scene.files) {
      if (chosen.count(first) || interferer.touched.count(first) || interferer.renamed.count(first))
        continue;
      for (const std::string& name : file.names) {
        if (interferer.touchedNames.count(name)) continue;
        EXPECT_TRUE(after.count(name) && after.at(name).id == scene.ids[first]) << name;
        EXPECT_EQ(ReadBytes(WindowsPath(scene, name)), file.contents) << name;
      }
    }
    // I2, I3: every entry's outcome is what the disk shows.
    bool all = true;
    for (size_t i = 0; i < job.results.size(); ++i) {
      const EntryResult& r = job.results[i];
      all = all && r.fate == Fate::Shredded;
      std::string file;
      for (const auto& [name, id] : scene.ids) file = id == r.identity.low ? name : file;
      if (r.fate == Fate::Survived && !file.empty() && !interferer.touched.count(file) &&
          !interferer.renamed.count(file) && r.reason != Reason::MovedAway) {
        EXPECT_TRUE(namesOf.count(r.identity.low))
            << Narrow(job.entries[i]) << " said kept, and gone";
      }
      if (r.fate != Fate::Shredded) continue;
      ++shredded;
      known += !file.empty();
      EXPECT_TRUE(r.identity.Known()) << Narrow(job.entries[i]);
      EXPECT_FALSE(namesOf.count(r.identity.low)) << Narrow(job.entries[i]) << " has a name left";
      if (file.empty()) continue;  // a file the other program made
      EXPECT_TRUE(chosen.count(file) || interferer.touched.count(file) ||
                  interferer.renamed.count(file))
          << file << " went, and nobody chose it";
    }
    // Each folder handed over whole is reported as the disk shows it.
    for (const FolderResult& f : job.folderResults) {
      all = all && f.removed;
      std::string rel = Narrow(f.path.substr(scene.base.size() + 1));
      for (char& c : rel) c = c == '\\' ? '/' : c;
      if (interferer.touchedNames.count(rel) || !f.renamed.empty()) continue;
      EXPECT_EQ(after.count(rel) == 1, !f.removed)
          << rel << (f.removed ? " said removed" : " said kept");
    }
    EXPECT_EQ(CliExitStatus(job, notes, false) == kCliAllShredded, all && notes.empty());
    // I5: and all of it: with nobody else acting, a chosen file that is
    // neither held nor read-only has no name left.
    for (const auto& [first, file] : scene.files) {
      if (!quiet || !chosen.count(first) || file.held || file.readOnly) continue;
      EXPECT_FALSE(namesOf.count(scene.ids[first])) << first << " was chosen and is still there";
    }
    // From the files' side: one that lost every name, and that the other
    // program did not remove, was chosen; its contents must be gone too.
    for (const auto& [first, file] : scene.files) {
      if (namesOf.count(scene.ids[first]) || interferer.touched.count(first)) continue;
      EXPECT_TRUE(chosen.count(first) || interferer.renamed.count(first)) << first;
      gone[file.token] =
          "seed " + std::to_string(seed) + " on " + kind + ": " + first + "\n" + scene.story.str();
    }
    // A name no path reaches is never opened: it is there with its contents.
    for (const auto& [name, mark] : scene.odd) {
      if (interferer.touchedNames.count(name.substr(0, name.rfind('/')))) continue;  // moved
      EXPECT_TRUE(after.count(name) && after.at(name).id == before.at(name).id) << name;
      std::string count;
      RunUnixCommand("grep -rl " + mark + " " + Quoted(scene.unixBase) + " | wc -l", count);
      EXPECT_EQ(atoi(count.c_str()), 1) << name << " lost its contents";
    }
    // I4: nothing left open; only folders handed over whole are gone.
    for (const auto& [name, entry] : after) {
      // A name with a backslash, where it now is, no path reaches.
      if (entry.type != 'f' || name.find('\\') != name.npos) continue;
      HANDLE h = CreateFileW(WindowsPath(scene, name).c_str(), GENERIC_READ | DELETE, 0, nullptr,
                             OPEN_EXISTING, 0, nullptr);
      EXPECT_NE(h, INVALID_HANDLE_VALUE) << name << " is still held";
      if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    // With nobody else acting, a folder handed over whole that is left empty
    // is gone too (reached twice or not).
    for (const WalkedFolder& walked : job.folders) {
      std::string rel = Narrow(walked.path.substr(scene.base.size() + 1));
      for (char& c : rel) c = c == '\\' ? '/' : c;
      bool holds = false;
      for (const auto& [name, entry] : after) holds = holds || name.rfind(rel + "/", 0) == 0;
      EXPECT_TRUE(!quiet || holds || !after.count(rel)) << rel << " is empty and stays";
    }
    for (const auto& [name, entry] : before) {
      if (entry.type != 'd' || after.count(name) || interferer.touchedNames.count(name)) continue;
      bool handed = false;
      for (const WalkedFolder& walked : job.folders)
        handed = handed || walked.path == WindowsPath(scene, name);
      EXPECT_TRUE(handed) << name << " went, and was not handed over whole";
    }
    entries += int(job.entries.size());
    odd += int(scene.odd.size());
    for (const WalkNote& note : notes) oddNoted += note.reason.rfind(L"文件名无效", 0) == 0;
    if (HasFailure()) break;
  }
  // A file number the run reports is the one Linux shows, or nothing above
  // was checked.
  if (shredded > 0) {
    EXPECT_GT(known, 0);
  }
  printf(
      "%s: %d seeds, %d entries, %d shredded, %d steps of another program, %d marks sought, "
      "%d names no path reaches (%d said)\n",
      kind.c_str(), int(seeds), entries, shredded, steps, int(gone.size()), odd, oddNoted);
  disk.Unmount();
  std::vector<std::wstring> tokens;
  for (const auto& [token, story] : gone) tokens.push_back(Wide(token));
  const std::vector<size_t> found = disk.Count(tokens);
  size_t i = 0;
  for (const auto& [token, story] : gone) {
    EXPECT_EQ(found[i++], 0u) << token << " is still on the disk; " << story;
  }
}

INSTANTIATE_TEST_SUITE_P(FileSystems, ImageAdversary, ::testing::Values("ntfs", "ext4"));

}  // namespace
}  // namespace shred
