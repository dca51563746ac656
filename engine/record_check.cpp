#include "engine/record_check.h"

#include <cctype>

#include <nlohmann/json.hpp>

#include "engine/certificate.h"
#include "engine/shred_record.h"

namespace shred {

const wchar_t kRecordWholeText[] = L"记录完好";

namespace {

using nlohmann::json;

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

bool IsUuid(const json& value) {
  if (!value.is_string()) return false;
  const std::string text = value.get<std::string>();
  if (text.size() != 36) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash != (text[i] == '-')) return false;
    if (!dash && !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

class Checker {
 public:
  explicit Checker(const json& record) : record_(record) {}
  std::vector<std::wstring> lines;

  // The member `key` of `object` of the given kind; null when it is not.
  const json* Member(const json& object, const char* key, json::value_t kind,
                     const char* where = "") {
    const auto found = object.find(key);
    const bool right = found != object.end() &&
                       (found->type() == kind ||
                        (kind == json::value_t::number_unsigned && found->is_number_integer()));
    if (!right) lines.push_back(L"缺少 " + Wide(where) + Wide(key) + L" 或其类型不对");
    return right ? &*found : nullptr;
  }
  void Agree(const json& totals, const char* key, int64_t expected) {
    const auto found = totals.find(key);
    if (found == totals.end() || !found->is_number_integer()) {
      lines.push_back(L"缺少 totals." + Wide(key));
    } else if (found->get<int64_t>() != expected) {
      lines.push_back(L"totals." + Wide(key) + L" 为 " + std::to_wstring(found->get<int64_t>()) +
                      L"，按条目应为 " + std::to_wstring(expected));
    }
  }
  void Status(const char* expected) {
    const auto found = record_.find("status");
    if (found == record_.end() || !found->is_string()) return;  // said already
    if (found->get<std::string>() != expected)
      lines.push_back(L"status 为“" + Wide(found->get<std::string>()) + L"”，按内容应为“" +
                      Wide(expected) + L"”");
  }
  std::string Text(const json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : "";
  }
  bool Truth(const json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_boolean() && found->get<bool>();
  }

  void CheckShred() {
    const json* entries = Member(record_, "entries", json::value_t::array);
    const json* folders = Member(record_, "folders", json::value_t::array);
    const json* notWalked = Member(record_, "not_walked", json::value_t::array);
    const json* totals = Member(record_, "totals", json::value_t::object);
    if (!entries || !folders || !notWalked || !totals) return;
    int64_t files = 0, shredded = 0, bytes = 0;
    bool all = notWalked->empty() && !Truth(*totals, "cancelled"), any = false;
    for (const json& entry : *entries) {
      if (!entry.is_object()) {
        lines.push_back(L"entries 中有不是对象的项");
        return;
      }
      const std::string outcome = Text(entry, "outcome");
      const bool gone =
          outcome == FateName(Fate::Shredded) || outcome == FateName(Fate::ShreddedCloud);
      all = all && outcome == FateName(Fate::Shredded);
      any = any || gone;
      if (entry.contains("same_file_as_entry")) continue;
      ++files;
      shredded += gone ? 1 : 0;
      const auto overwritten = entry.find("bytes_overwritten");
      if (overwritten != entry.end() && overwritten->is_number_integer())
        bytes += overwritten->get<int64_t>();
    }
    for (const json& folder : *folders) {
      const bool removed = folder.is_object() && Text(folder, "outcome") == "removed";
      all = all && removed;
      any = any || removed;
    }
    Agree(*totals, "entries", int64_t(entries->size()));
    Agree(*totals, "files", files);
    Agree(*totals, "shredded", shredded);
    Agree(*totals, "not_shredded", files - shredded);
    Agree(*totals, "bytes_overwritten", bytes);
    Status(StatusWord(all, any));
  }

  void CheckWipe() {
    const json* result = Member(record_, "result", json::value_t::object);
    if (!result) return;
    const auto written = result->find("bytes_written");
    const bool any =
        written != result->end() && written->is_number_integer() && written->get<int64_t>() > 0;
    Status(StatusWord(Truth(*result, "complete"), any));
  }

  void CheckBin() {
    const json* items = Member(record_, "items", json::value_t::array);
    const json* notRead = Member(record_, "not_read", json::value_t::array);
    const json* totals = Member(record_, "totals", json::value_t::object);
    if (!items || !notRead || !totals) return;
    int64_t shredded = 0;
    for (const json& item : *items)
      shredded += item.is_object() && Text(item, "outcome") == "shredded";
    Agree(*totals, "items", int64_t(items->size()));
    Agree(*totals, "shredded", shredded);
    Agree(*totals, "not_shredded", int64_t(items->size()) - shredded);
    Status(StatusWord(notRead->empty() && shredded == int64_t(items->size()), shredded > 0));
  }

  void Check() {
    if (!record_.is_object()) {
      lines.push_back(L"不是 JSON 对象");
      return;
    }
    const auto id = record_.find("record_id");
    if (id == record_.end() || !IsUuid(*id)) lines.push_back(L"record_id 缺少或不是 UUID");
    const json* status = Member(record_, "status", json::value_t::string);
    if (status && *status != "erased" && *status != "erased with exceptions" &&
        *status != "not erased")
      lines.push_back(L"status 不是 erased、erased with exceptions 或 not erased");
    if (const json* tool = Member(record_, "tool", json::value_t::object))
      Member(*tool, "name", json::value_t::string, "tool.");
    for (const char* key : {"method", "verification", "start", "end", "computer", "user"})
      Member(record_, key, json::value_t::string);
    Member(record_, "volumes", json::value_t::array);
    const std::string action = Text(record_, "action");
    if (action == "shred") {
      CheckShred();
    } else if (action == "free-space wipe") {
      CheckWipe();
    } else if (action == "recycle bin") {
      CheckBin();
    } else {
      lines.push_back(L"action 不是 shred、free-space wipe 或 recycle bin");
    }
  }

 private:
  const json& record_;
};

}  // namespace

std::vector<std::wstring> CheckRecord(const std::string& bytes) {
  const json record = json::parse(bytes, nullptr, false);
  if (record.is_discarded()) return {L"不是完好的 JSON：无法读出"};
  Checker checker(record);
  checker.Check();
  return checker.lines;
}

std::vector<std::wstring> CheckCertificate(const std::string& record,
                                           const std::string& recordSha256,
                                           const std::string& page) {
  std::vector<std::wstring> lines;
  const CertifiedRecord named = ReadCertificate(page);
  const json parsed = json::parse(record, nullptr, false);
  const std::string id =
      parsed.is_object() && parsed.contains("record_id") && parsed["record_id"].is_string()
          ? parsed["record_id"].get<std::string>()
          : "";
  if (named.id.empty()) {
    lines.push_back(L"证书中没有记录编号：不是本工具的证书");
  } else if (named.id != id) {
    lines.push_back(L"证书所记的记录编号为 " + Wide(named.id) + L"，记录的为 " + Wide(id));
  }
  if (named.sha256.size() != 64) {
    lines.push_back(L"证书未记 JSON 记录的 SHA-256");
  } else if (named.sha256 != recordSha256) {
    lines.push_back(L"记录的 SHA-256 与证书所记的不符：记录在证书写成后被改动过");
  }
  return lines;
}

}  // namespace shred
