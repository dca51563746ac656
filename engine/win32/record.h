// The record's Windows side: what the computer, the user and each volume
// are, and the file written so that a reader never sees half of it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine/shred_record.h"

namespace shred {

// Now, as the record's clock counts (FILETIME, UTC).
uint64_t RecordClock();
// The roots ("C:\\") of the volumes a run's files were on.
std::vector<std::wstring> RootsOf(const ShredJob& job);
std::vector<std::wstring> RootsOf(const std::vector<BinItem>& items);
// The media note for those of the `volumes` (already asked) that hold a
// file the run shredded.
std::wstring MediaNoteFor(const ShredJob& job, const std::vector<VolumeFacts>& volumes);
// The file system, serial number and media of a volume. The media is asked
// through a handle with no access rights (enough for the device's
// properties without administrator rights): seek penalty and TRIM.
VolumeFacts QueryVolume(const std::wstring& root);
// The context of a record: the tool's version, `start` and now, the
// computer, the user, the volumes at `roots`.
RecordContext GatherRecordContext(uint64_t start, const std::vector<std::wstring>& roots);
// Writes the record under a temporary name beside `path`, flushes it and
// renames it over `path`: a reader sees the old file or the whole new one.
Reason WriteRecordFile(const std::wstring& path, const std::string& bytes);
// The SHA-256 of the bytes, in lower-case hex; empty when the system
// cannot make one.
std::string Sha256Hex(const std::string& bytes);
// Reads a whole file (a record read back), at most 1 GiB.
Reason ReadWholeFile(const std::wstring& path, std::string& bytes);

}  // namespace shred
