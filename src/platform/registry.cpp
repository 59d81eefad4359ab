#include "platform/registry.h"

#include <fstream>
#include <sstream>
#include <vector>

#include "util/text.h"

namespace platform {
namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// UTF-16LE bytes to UTF-8.
std::string FromUtf16(std::string_view bytes) {
  std::string out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    uint32_t u = static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
      uint32_t lo = static_cast<uint8_t>(bytes[i + 2]) | (static_cast<uint8_t>(bytes[i + 3]) << 8);
      if (lo >= 0xDC00 && lo < 0xE000) {
        u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
        i += 2;
      }
    }
    AppendUtf8(out, u);
  }
  return out;
}

std::string Decode(std::string_view raw) {
  if (raw.size() >= 2 && static_cast<uint8_t>(raw[0]) == 0xFF && static_cast<uint8_t>(raw[1]) == 0xFE) {
    return FromUtf16(raw.substr(2));
  }
  if (raw.size() >= 3 && raw.substr(0, 3) == "\xEF\xBB\xBF") return std::string(raw.substr(3));
  return std::string(raw);
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
    v.type = RegistryValue::kDword;
    v.dword = static_cast<uint32_t>(std::stoul(data.substr(6), nullptr, 16));
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
    try {
      auto value = ParseData(std::string(util::Trim(line.substr(i + 1))));
      if (value) r.keys_[current][util::ToLower(name)] = *value;
    } catch (const std::exception&) {
      // An unreadable value is treated as missing.
    }
  }
  return r;
}

Registry Registry::Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Registry r;
    r.source_ = path;
    return r;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  Registry r = Parse(ss.str());
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
