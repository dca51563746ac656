// A certificate of what a record says was destroyed, for a person to read,
// print and sign: one self-contained HTML page in Chinese (UTF-8, no script,
// nothing fetched, an A4 print style), made from the record's own bytes so
// that the two say the same. Needs no Windows.
#pragma once

#include <string>

namespace shred {

// The page for `record` (a record's JSON); `recordSha256`: the hash of the
// record's bytes as written beside it, in hex, empty when no record was
// written with it. Empty when the record cannot be read.
std::string CertificateHtml(const std::string& record, const std::string& recordSha256);

// Text from anywhere (a file name from another system) made safe for the
// page: the markup characters escaped, and the characters that reorder or
// hide text (U+202E and its kind, zero-width ones) shown as their code.
std::string HtmlText(const std::string& utf8);

// The record id and SHA-256 a certificate names; empty where it names none.
struct CertifiedRecord {
  std::string id, sha256;
};
CertifiedRecord ReadCertificate(const std::string& html);

}  // namespace shred
