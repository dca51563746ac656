// The record of what a run, a wipe or a Recycle Bin run destroyed, for
// whoever must account for it: one JSON document in UTF-8 with the tool, the
// method and the verification, when, who and on which computer, each volume
// touched, each entry with its outcome, and the totals (the items NIST SP
// 800-88 asks a record of sanitisation to hold). Needs no Windows: the
// platform side supplies the context and writes the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/folder_walk.h"
#include "engine/free_space_wipe.h"
#include "engine/recycle_bin.h"
#include "engine/shred_run.h"

namespace shred {

// What a volume is, as far as the platform says.
struct VolumeFacts {
  std::wstring root;        // "C:\\"
  std::wstring fileSystem;  // "NTFS", empty when unknown
  uint64_t serial = 0;      // as the volume tells its files' identities: 64 bits where it can
  std::wstring media = L"unknown";  // "hard disk", "solid-state", "unknown"
  std::wstring trim = L"unknown";   // "on", "off", "unknown"
};

// When, who, where, and the volumes the work touched.
struct RecordContext {
  std::wstring recordId;    // a random UUID, the record's own name: "8c0d…-4…"
  std::wstring version;     // the tool's
  std::wstring start, end;  // UTC, ISO 8601: "2026-12-08T03:04:05Z"
  std::wstring computer, user;
  std::vector<VolumeFacts> volumes;
};

// The text a record gives a 100-nanosecond count since 1601 (FILETIME):
// "2026-12-08T03:04:05Z".
std::wstring IsoTime(uint64_t fileTime);
// A text as UTF-8, an unpaired surrogate (or no character at all) as U+FFFD.
std::string Utf8(const std::wstring& text);

// A random UUID (version 4) from 16 bytes of the system's generator.
std::wstring UuidText(const uint8_t (&random)[16]);
// The bytes in lower-case hex, two digits each.
std::string HexOfBytes(const uint8_t* bytes, size_t count);

// How a record sums up what was chosen, in one of three words: "erased"
// (everything chosen is gone as promised), "erased with exceptions" (some
// of it went, and what was kept is listed with its reason), "not erased"
// (nothing went). `notes`: what the walk could not read or take; `unread`:
// the bins that could not be looked into.
const char* ShredStatus(const ShredJob& job, const std::vector<WalkNote>& notes = {});
// The word itself: `all` chosen went as promised, or `any` of it.
const char* StatusWord(bool all, bool any);
const char* WipeStatus(const WipeResult& result);
const char* BinStatus(const std::vector<BinOutcome>& outcomes,
                      const std::vector<BinOutcome>& unread = {});

std::string ShredRecord(const RecordContext& context, const ShredJob& job,
                        const std::vector<WalkNote>& notes = {});
std::string WipeRecord(const RecordContext& context, const std::wstring& root,
                       const WipeResult& result);
// `readBack`: the bin's run read every overwritten range back.
// `traces`: the Recent shortcuts and RecentDocs values that went with them.
std::string BinRecord(const RecordContext& context, const std::vector<BinOutcome>& outcomes,
                      bool readBack = false, const TracesResult& traces = {},
                      const std::vector<BinOutcome>& unread = {});

// One short line on what a solid-state drive means for files shredded on
// it, when any of the volumes is one: its old cells are erased by the drive
// later, through TRIM when TRIM is on. Empty when none is, or none says.
std::wstring MediaNote(const std::vector<VolumeFacts>& volumes);

// The outcome of an entry in the record's words.
const char* FateName(Fate fate);

}  // namespace shred
