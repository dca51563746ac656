// A JSON document written as it is made, straight into one string: objects
// and arrays opened and closed in order, two blanks of indent a level, the
// layout a reader of the records is used to. Needs no Windows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace shred {

class JsonWriter {
 public:
  explicit JsonWriter(std::string& out) : out_(out) {}

  void OpenObject() { Open('{'); }
  void CloseObject() { Close('}'); }
  void OpenArray() { Open('['); }
  void CloseArray() { Close(']'); }
  // The key of the next value of the object open now.
  void Key(std::string_view key);

  // Values: text already in UTF-8, numbers, truth.
  void Text(std::string_view utf8);
  void Number(int64_t value);
  void Unsigned(uint64_t value);
  void Truth(bool value);

  // A key and its value, in one call.
  template <typename Value>
  void Field(std::string_view key, const Value& value) {
    Key(key);
    Put(value);
  }

  // Ends the document with its line end.
  void Finish() { out_ += '\n'; }

 private:
  void Put(std::string_view utf8) { Text(utf8); }
  void Put(const std::string& utf8) { Text(utf8); }
  void Put(const char* utf8) { Text(utf8); }
  void Put(bool value) { Truth(value); }
  void Put(int value) { Number(value); }
  void Put(long value) { Number(value); }
  void Put(long long value) { Number(value); }
  void Put(unsigned value) { Unsigned(value); }
  void Put(unsigned long value) { Unsigned(value); }
  void Put(unsigned long long value) { Unsigned(value); }

  void Open(char bracket);
  void Close(char bracket);
  // Before a value: the comma and new line an array's items take, nothing
  // after a key.
  void BeforeValue();
  void NewLine();
  // The text between quotes, escaped.
  void Quote(std::string_view utf8);

  std::string& out_;
  std::vector<int> counts_;  // the items so far of each container open, innermost last
  bool afterKey_ = false;
};

}  // namespace shred
