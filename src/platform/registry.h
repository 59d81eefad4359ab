// The per-user registry, read from a file in the format the Windows registry editor
// exports ("Windows Registry Editor Version 5.00"), UTF-8 or UTF-16LE with BOM. Key paths
// and value names match without regard to case. Text (REG_SZ) and 32-bit number (dword)
// values are kept; values of other types are kept only as "other".
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct RegistryValue {
  enum Type { kText, kDword, kOther } type = kOther;
  std::string text;  // kText: the string, without a terminating NUL
  uint32_t dword = 0;
};

class Registry {
 public:
  Registry() = default;
  // Reads a .reg file. A missing or unreadable file leaves the registry empty; loaded()
  // and source() tell what happened, for messages.
  static Registry Load(const std::string& path);
  static Registry Parse(std::string_view content);  // raw file bytes

  // key: the full path as exported, e.g. "HKEY_CURRENT_USER\SOFTWARE\KORV\ARN\Options".
  std::optional<RegistryValue> Get(std::string_view key, std::string_view name) const;
  void Set(std::string_view key, std::string_view name, RegistryValue value);

  bool loaded() const { return loaded_; }
  const std::string& source() const { return source_; }

 private:
  std::map<std::string, std::map<std::string, RegistryValue>> keys_;  // lower-case
  bool loaded_ = false;
  std::string source_;
};

// "-2147483647" (HKEY_CURRENT_USER's handle as decimal text) -> "HKEY_CURRENT_USER".
std::string RootKeyName(std::string_view root_decimal);

}  // namespace platform
