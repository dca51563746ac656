#include "engine/certificate.h"

#include <cstdio>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/shred_record.h"

namespace shred {

namespace {

using nlohmann::json;

// Characters that reorder text or hide: bidirectional marks, embeddings,
// overrides and isolates, the zero-width ones, the byte order mark.
bool IsHiddenControl(uint32_t c) {
  return (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069) || c == 0x061C || c == 0xFEFF || c == 0x2060;
}

std::string Text(const json& object, const char* key) {
  const auto found = object.find(key);
  return found != object.end() && found->is_string() ? found->get<std::string>() : "";
}

std::string Number(const json& object, const char* key) {
  const auto found = object.find(key);
  return found != object.end() && found->is_number_integer() ? std::to_string(found->get<int64_t>())
                                                             : "—";
}

// A path as a person reads it: without the "\\?\" the platform needs.
std::string Plain(const std::string& path) {
  if (path.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + path.substr(8);
  if (path.rfind("\\\\?\\", 0) == 0) return path.substr(4);
  return path;
}

// The totals' names in words.
std::string TotalInWords(const std::string& key) {
  static const std::pair<const char*, const char*> words[] = {{"entries", "条目"},
                                                              {"files", "文件"},
                                                              {"items", "项目"},
                                                              {"shredded", "已粉碎"},
                                                              {"not_shredded", "未能粉碎"},
                                                              {"bytes_overwritten", "覆盖的字节数"},
                                                              {"cancelled", "已取消"}};
  for (const auto& [name, word] : words) {
    if (key == name) return word;
  }
  return key;
}

const char* StatusInWords(const std::string& status) {
  if (status == "erased") return "已销毁：所选内容已全部按承诺销毁";
  if (status == "erased with exceptions") return "已销毁，有例外：部分内容保留，原因见下";
  return "未销毁：没有任何内容被销毁";
}

const char* MethodInWords(const std::string& action) {
  if (action == "free-space wipe")
    return "用系统加密随机数生成器产生的随机数据写满驱动器的剩余空间并写入磁盘，再以小文件覆盖已释"
           "放的"
           "文件记录，然后全部删除。";
  return "每个数据流用系统加密随机数生成器产生的随机数据覆盖一遍，直至其分配的大小，写入磁盘后截断"
         "；"
         "写入两行说明文字；改为随机名称；再通过同一个已核对的句柄删除。";
}

class Page {
 public:
  std::string html;
  void Row(const char* name, const std::string& value) {
    html += "<tr><th>" + std::string(name) + "</th><td>" + HtmlText(value) + "</td></tr>\n";
  }
  void Heading(const char* text) { html += "<h2>" + std::string(text) + "</h2>\n"; }
  void Item(const std::string& text) { html += "<li>" + HtmlText(text) + "</li>\n"; }
};

}  // namespace

std::string HtmlText(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    uint32_t c = length == 1 ? lead : lead & (0xFF >> (length + 1));
    for (int k = 1; k < length && i + k < utf8.size(); ++k)
      c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    const std::string piece = utf8.substr(i, size_t(length));
    i += size_t(length);
    if (IsHiddenControl(c) || c < 0x20 || c == 0x7F) {
      // Shown by its code; the ones that reorder or hide text framed.
      char code[16];
      std::snprintf(code, sizeof code, "[U+%04X]", unsigned(c));
      out += IsHiddenControl(c) ? "<span class=\"ctl\">" + std::string(code) + "</span>" : code;
    } else if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else if (c == '"') {
      out += "&quot;";
    } else if (c == '\'') {
      out += "&#39;";
    } else {
      out += piece;
    }
  }
  return out;
}

std::string CertificateHtml(const std::string& bytes, const std::string& recordSha256) {
  const json record = json::parse(bytes, nullptr, false);
  if (record.is_discarded() || !record.is_object()) return {};
  const std::string action = Text(record, "action"), status = Text(record, "status");
  Page page;
  page.html =
      "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>数据销毁证书 " +
      HtmlText(Text(record, "record_id")) +
      "</title>\n<style>\n"
      "@page { size: A4; margin: 18mm; }\n"
      "body { font-family: sans-serif; font-size: 10.5pt; color: #000; }\n"
      "h1 { font-size: 18pt; margin: 0 0 4mm; } h2 { font-size: 12pt; margin: 6mm 0 2mm; }\n"
      "table { border-collapse: collapse; width: 100%; }\n"
      "th, td { border: 1px solid #555; padding: 1.5mm 2mm; text-align: left; vertical-align: top; "
      "}\n"
      "th { width: 32%; background: #eee; }\n"
      ".status { font-size: 14pt; font-weight: bold; border: 2px solid #000; padding: 3mm; }\n"
      ".ctl { border: 1px solid #000; font-family: monospace; }\n"
      ".sign td { height: 9mm; }\n"
      "li { word-break: break-all; }\n"
      "</style>\n</head>\n<body>\n<h1>数据销毁证书</h1>\n";
  page.html += "<p class=\"status\">" + std::string(StatusInWords(status)) + "（" +
               HtmlText(status) + "）</p>\n<table>\n";
  page.Row("记录编号", Text(record, "record_id"));
  const auto tool = record.find("tool");
  if (tool != record.end() && tool->is_object())
    page.Row("工具及版本", Text(*tool, "name") + " " + Text(*tool, "version"));
  page.Row("操作", action == "shred" ? "粉碎文件"
                   : action == "free-space wipe"
                       ? "清除驱动器剩余空间（" + Text(record, "drive") + "）"
                       : "粉碎回收站");
  page.Row("方法", MethodInWords(action));
  page.Row("校验", Text(record, "verification").rfind("read-back", 0) == 0
                       ? "写入磁盘后逐字节读回，与写入的数据比较；不一致的文件不删除。"
                       : "未读回校验：每次写入由文件系统报告完成。");
  page.Row("开始（UTC）", Text(record, "start"));
  page.Row("结束（UTC）", Text(record, "end"));
  page.Row("计算机", Text(record, "computer"));
  page.Row("用户", Text(record, "user"));
  page.Row("JSON 记录的 SHA-256", recordSha256.empty() ? "未随本证书写入 JSON 记录" : recordSha256);
  page.html += "</table>\n";

  page.Heading("卷");
  page.html += "<table>\n";
  const auto volumes = record.find("volumes");
  if (volumes != record.end() && volumes->is_array()) {
    for (const json& v : *volumes) {
      if (!v.is_object()) continue;
      const std::string media = Text(v, "media"), trim = Text(v, "trim");
      const VolumeFacts facts{{},
                              {},
                              0,
                              std::wstring(media.begin(), media.end()),
                              std::wstring(trim.begin(), trim.end())};
      const std::string meaning = media == "solid-state" ? Utf8(MediaNote({facts}))
                                  : media == "hard disk" ? "机械硬盘：覆盖写在原位置上。"
                                                         : "介质类型未知。";
      page.Row(Text(v, "root").c_str(), Text(v, "file_system") + "，序列号 " + Text(v, "serial") +
                                            "，介质 " + media + "，TRIM " + trim + "。" + meaning);
    }
  }
  page.html += "</table>\n";

  page.Heading("合计");
  page.html += "<table>\n";
  const auto totals = record.find("totals");
  if (totals != record.end() && totals->is_object()) {
    for (const auto& [key, value] : totals->items())
      page.Row(TotalInWords(key).c_str(),
               value.is_boolean() ? (value.get<bool>() ? "是" : "否") : value.dump());
  }
  const auto result = record.find("result");
  if (result != record.end() && result->is_object()) {
    page.Row("写入字节数", Number(*result, "bytes_written"));
    page.Row("清除前的剩余字节数", Number(*result, "free_bytes_before"));
  }
  page.html += "</table>\n";

  // Every exception with its reason, then what was destroyed.
  std::vector<std::string> exceptions, destroyed;
  const auto each = [&](const char* key, auto&& take) {
    const auto list = record.find(key);
    if (list == record.end() || !list->is_array()) return;
    for (const json& item : *list) {
      if (item.is_object()) take(item);
    }
  };
  each("entries", [&](const json& e) {
    if (e.contains("same_file_as_entry")) return;
    const std::string outcome = Text(e, "outcome");
    const std::string where = Plain(Text(e, "path").empty() ? Text(e, "entry") : Text(e, "path"));
    if (outcome == "shredded")
      destroyed.push_back(where);
    else
      exceptions.push_back(where + "：" +
                           (Text(e, "reason").empty() ? outcome : Text(e, "reason")));
  });
  each("folders", [&](const json& f) {
    if (Text(f, "outcome") == "removed")
      destroyed.push_back(Text(f, "path") + "（文件夹）");
    else
      exceptions.push_back(Text(f, "path") + "：文件夹保留，" + Text(f, "reason"));
  });
  each("not_walked",
       [&](const json& n) { exceptions.push_back(Text(n, "path") + "：" + Text(n, "reason")); });
  each("items", [&](const json& b) {
    if (Text(b, "outcome") == "shredded")
      destroyed.push_back(Text(b, "original_path"));
    else
      exceptions.push_back(Text(b, "original_path") + "：" + Text(b, "reason"));
  });
  each("not_read",
       [&](const json& n) { exceptions.push_back(Text(n, "where") + "：" + Text(n, "reason")); });
  if (result != record.end() && result->is_object() && !Text(*result, "reason").empty())
    exceptions.push_back(Text(record, "drive") + "：" + Text(*result, "reason"));
  page.Heading("例外");
  page.html += exceptions.empty() ? "<p>无。</p>\n" : "<ul>\n";
  for (const std::string& e : exceptions) page.Item(e);
  if (!exceptions.empty()) page.html += "</ul>\n";
  page.Heading("已销毁的项目");
  page.html += destroyed.empty() ? "<p>无。</p>\n" : "<ul>\n";
  for (const std::string& d : destroyed) page.Item(d);
  if (!destroyed.empty()) page.html += "</ul>\n";

  page.Heading("签名");
  page.html += "<table class=\"sign\">\n<tr><th></th><th>执行人</th><th>核查人</th></tr>\n";
  for (const char* line : {"姓名", "职务", "日期", "地点", "签名"})
    page.html += "<tr><th>" + std::string(line) + "</th><td></td><td></td></tr>\n";
  page.html += "</table>\n</body>\n</html>\n";
  return page.html;
}

CertifiedRecord ReadCertificate(const std::string& html) {
  // The two rows as the page writes them.
  const auto cell = [&](const std::string& name) {
    const std::string head = "<tr><th>" + name + "</th><td>";
    const size_t at = html.find(head);
    if (at == std::string::npos) return std::string();
    const size_t start = at + head.size(), end = html.find("</td>", start);
    return end == std::string::npos ? std::string() : html.substr(start, end - start);
  };
  return {cell("记录编号"), cell("JSON 记录的 SHA-256")};
}

}  // namespace shred
