#include "engine/json_writer.h"

#include <cstdio>

namespace shred {

void JsonWriter::NewLine() {
  out_ += '\n';
  out_.append(2 * counts_.size(), ' ');
}

void JsonWriter::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (counts_.empty()) return;
  if (counts_.back()++ > 0) out_ += ',';
  NewLine();
}

void JsonWriter::Key(std::string_view key) {
  BeforeValue();
  Quote(key);
  out_ += ": ";
  afterKey_ = true;
}

void JsonWriter::Open(char bracket) {
  BeforeValue();
  out_ += bracket;
  counts_.push_back(0);
}

void JsonWriter::Close(char bracket) {
  const bool empty = counts_.back() == 0;
  counts_.pop_back();
  if (!empty) NewLine();
  out_ += bracket;
}

void JsonWriter::Text(std::string_view utf8) {
  BeforeValue();
  Quote(utf8);
}

void JsonWriter::Quote(std::string_view utf8) {
  out_ += '"';
  for (const char c : utf8) {
    switch (c) {
      case '"':
        out_ += "\\\"";
        break;
      case '\\':
        out_ += "\\\\";
        break;
      case '\b':
        out_ += "\\b";
        break;
      case '\f':
        out_ += "\\f";
        break;
      case '\n':
        out_ += "\\n";
        break;
      case '\r':
        out_ += "\\r";
        break;
      case '\t':
        out_ += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
          out_ += escaped;
        } else {
          out_ += c;
        }
    }
  }
  out_ += '"';
}

void JsonWriter::Number(int64_t value) {
  BeforeValue();
  out_ += std::to_string(value);
}

void JsonWriter::Unsigned(uint64_t value) {
  BeforeValue();
  out_ += std::to_string(value);
}

void JsonWriter::Truth(bool value) {
  BeforeValue();
  out_ += value ? "true" : "false";
}

}  // namespace shred
