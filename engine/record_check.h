// Reads a record back and checks that it holds together: well-formed, with
// what every record has, and with totals and a status that agree with its
// entries, items or result. Needs no Windows.
#pragma once

#include <string>
#include <vector>

namespace shred {

// What differs, a line each; empty when the record is whole.
std::vector<std::wstring> CheckRecord(const std::string& bytes);

// Whether the certificate `page` names this record: its id, and the SHA-256
// of its bytes (`recordSha256`); what differs, a line each.
std::vector<std::wstring> CheckCertificate(const std::string& record,
                                           const std::string& recordSha256,
                                           const std::string& page);

extern const wchar_t kRecordWholeText[];  // "记录完好"

}  // namespace shred
