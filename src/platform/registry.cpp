#include "platform/registry.h"

#include <fstream>
#include <sstream>
#include <vector>

#include "util/text.h"

namespace platform {
namespace {

// UTF-16 bytes (little endian unless `big`) to UTF-8.
std::string FromUtf16(std::string_view bytes, bool big = false) {
  auto unit = [&](size_t i) -> uint32_t {
    uint32_t a = static_cast<uint8_t>(bytes[i]), b = static_cast<uint8_t>(bytes[i + 1]);
    return big ? (a << 8) | b : a | (b << 8);
  };
  std::string out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    uint32_t u = unit(i);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
      uint32_t lo = unit(i + 2);
      if (lo >= 0xDC00 && lo < 0xE000) {
        u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
        i += 2;
      }
    }
    util::AppendUtf8(out, u);
  }
  return out;
}

std::string Decode(std::string_view raw) {
  auto byte = [&](size_t i) { return i < raw.size() ? static_cast<uint8_t>(raw[i]) : 0x100; };
  if (byte(0) == 0xFF && byte(1) == 0xFE) return FromUtf16(raw.substr(2));
  if (byte(0) == 0xFE && byte(1) == 0xFF) return FromUtf16(raw.substr(2), true);
  if (byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) return std::string(raw.substr(3));
  // UTF-16 without a BOM: an ASCII first character beside a zero byte.
  if (raw.size() >= 2 && byte(0) != 0 && byte(1) == 0) return FromUtf16(raw);
  if (raw.size() >= 2 && byte(0) == 0 && byte(1) != 0) return FromUtf16(raw, true);
  return std::string(raw);
}

// The first line of a registry export.
bool HasRegistryHeader(const std::string& text) {
  size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) return false;
  size_t end = text.find_first_of("\r\n", start);
  std::string_view first = util::Trim(std::string_view(text).substr(start, end == std::string::npos ? end : end - start));
  return first == "Windows Registry Editor Version 5.00" || first == "REGEDIT4";
}

// Joins lines continued with a trailing backslash (long hex values).
std::vector<std::string> LogicalLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line, pending;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string_view t = util::Trim(line);
    if (!pending.empty()) {
      pending += std::string(t);
    } else {
      pending = std::string(t);
    }
    if (!pending.empty() && pending.back() == '\\' && pending.find("=hex") != std::string::npos) {
      pending.pop_back();
      continue;
    }
    lines.push_back(pending);
    pending.clear();
  }
  if (!pending.empty()) lines.push_back(pending);
  return lines;
}

// Reads a quoted string starting at s[i] == '"'; handles \\ and \" escapes.
bool ReadQuoted(const std::string& s, size_t& i, std::string* out) {
  if (i >= s.size() || s[i] != '"') return false;
  ++i;
  while (i < s.size()) {
    char c = s[i++];
    if (c == '\\' && i < s.size()) {
      *out += s[i++];
    } else if (c == '"') {
      return true;
    } else {
      *out += c;
    }
  }
  return false;
}

std::string HexBytes(std::string_view list) {
  std::string bytes;
  std::string item;
  for (char c : list) {
    if (c == ',') {
      if (!item.empty()) bytes += static_cast<char>(std::stoul(item, nullptr, 16));
      item.clear();
    } else if (!std::isspace(static_cast<unsigned char>(c))) {
      item += c;
    }
  }
  if (!item.empty()) bytes += static_cast<char>(std::stoul(item, nullptr, 16));
  return bytes;
}

std::optional<RegistryValue> ParseData(const std::string& data) {
  RegistryValue v;
  size_t i = 0;
  if (!data.empty() && data[0] == '"') {
    if (!ReadQuoted(data, i, &v.text)) return std::nullopt;
    v.type = RegistryValue::kText;
    return v;
  }
  std::string lower = util::ToLower(data);
  if (lower.rfind("dword:", 0) == 0) {
    // Exactly eight hex digits or fewer, nothing else: "dword:zz" is no number.
    std::string digits = data.substr(6);
    if (digits.empty() || digits.size() > 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
      v.type = RegistryValue::kInvalid;
      v.text = data;
      return v;
    }
    v.type = RegistryValue::kDword;
    v.dword = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
    return v;
  }
  if (lower.rfind("hex(1):", 0) == 0) {
    // A string written as its UTF-16LE bytes, possibly with its terminating NUL: one NUL is
    // dropped, as the value is read on Windows.
    v.type = RegistryValue::kText;
    v.text = FromUtf16(HexBytes(data.substr(7)));
    if (!v.text.empty() && v.text.back() == '\0') v.text.pop_back();
    return v;
  }
  if (lower.rfind("hex(4):", 0) == 0) {
    std::string b = HexBytes(data.substr(7));
    if (b.size() < 4) return std::nullopt;
    v.type = RegistryValue::kDword;
    for (int k = 3; k >= 0; --k) v.dword = (v.dword << 8) | static_cast<uint8_t>(b[k]);
    return v;
  }
  v.type = RegistryValue::kOther;
  return v;
}

}  // namespace

Registry Registry::Parse(std::string_view content) {
  Registry r;
  std::string current;
  for (const std::string& line : LogicalLines(Decode(content))) {
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      current = util::ToLower(line.substr(1, line.size() - 2));
      if (!current.empty() && current[0] == '-') current.clear();  // a deletion entry
      continue;
    }
    if (current.empty()) continue;
    std::string name;
    size_t i = 0;
    if (line[0] == '@') {
      i = 1;
    } else if (!ReadQuoted(line, i, &name)) {
      continue;
    }
    if (i >= line.size() || line[i] != '=') continue;
    std::string data(util::Trim(line.substr(i + 1)));
    std::optional<RegistryValue> value;
    try {
      value = ParseData(data);
    } catch (const std::exception&) {
    }
    // Data that cannot be read is kept as invalid, so that messages can show it.
    if (!value) value = RegistryValue{RegistryValue::kInvalid, data, 0};
    r.keys_[current][util::ToLower(name)] = *value;
  }
  return r;
}

const char kRegistryFormats[] =
    "a registry export begins with \"Windows Registry Editor Version 5.00\" (or \"REGEDIT4\") and is written "
    "in UTF-16 or UTF-8, as `reg export \"HKCU\\SOFTWARE\\KORV\\ARN\" FILE` writes it";

Registry Registry::Load(const std::string& path) {
  Registry r;
  r.source_ = path;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    r.problem_ = "the registry file '" + path + "' was not found or cannot be read: give its place with --registry "
                 "FILE or $VELKARIS_REGISTRY";
    return r;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  if (!HasRegistryHeader(Decode(ss.str()))) {
    r.problem_ = "the file '" + path + "' is not a registry export (" + std::string(kRegistryFormats) + ")";
    return r;
  }
  r = Parse(ss.str());
  r.loaded_ = true;
  r.source_ = path;
  return r;
}

std::optional<RegistryValue> Registry::Get(std::string_view key, std::string_view name) const {
  auto k = keys_.find(util::ToLower(key));
  if (k == keys_.end()) return std::nullopt;
  auto v = k->second.find(util::ToLower(name));
  if (v == k->second.end()) return std::nullopt;
  return v->second;
}

void Registry::Set(std::string_view key, std::string_view name, RegistryValue value) {
  keys_[util::ToLower(key)][util::ToLower(name)] = std::move(value);
}

std::string RootKeyName(std::string_view root_decimal) {
  long long handle = 0;
  try {
    handle = std::stoll(std::string(root_decimal));
  } catch (const std::exception&) {
    return std::string(root_decimal);
  }
  switch (static_cast<uint32_t>(handle)) {
    case 0x80000000u: return "HKEY_CLASSES_ROOT";
    case 0x80000001u: return "HKEY_CURRENT_USER";
    case 0x80000002u: return "HKEY_LOCAL_MACHINE";
    case 0x80000003u: return "HKEY_USERS";
    default: return std::string(root_decimal);
  }
}

}  // namespace platform
