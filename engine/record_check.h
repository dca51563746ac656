// Reads a record back and checks that it holds together: well-formed, with
// what every record has, and with totals and a status that agree with its
// entries, items or result. Needs no Windows.
#pragma once

#include <string>
#include <vector>

namespace shred {

// What differs, a line each; empty when the record is whole.
std::vector<std::wstring> CheckRecord(const std::string& bytes);

extern const wchar_t kRecordWholeText[];  // "记录完好"

}  // namespace shred
