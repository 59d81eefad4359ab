// The per-user registry, read from a file in the format the Windows registry editor
// exports ("Windows Registry Editor Version 5.00" or "REGEDIT4"), in UTF-8 or UTF-16 (little
// or big endian, with or without BOM). Key paths and value names match without regard to
// case. Text (REG_SZ) and 32-bit number (dword) values are kept; values of other types are
// kept only as "other", values whose data cannot be read as "invalid" with their raw text.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct RegistryValue {
  enum Type { kText, kDword, kOther, kInvalid } type = kOther;
  std::string text;  // kText: the string, without a terminating NUL; kInvalid: the data as written
  uint32_t dword = 0;
};

class Registry {
 public:
  Registry() = default;
  // Reads a .reg file. A missing or unreadable file, or one that is not a registry export,
  // leaves the registry empty; loaded(), source() and problem() tell what happened.
  static Registry Load(const std::string& path);
  static Registry Parse(std::string_view content);  // raw file bytes

  // key: the full path as exported, e.g. "HKEY_CURRENT_USER\SOFTWARE\KORV\ARN\Options".
  std::optional<RegistryValue> Get(std::string_view key, std::string_view name) const;
  void Set(std::string_view key, std::string_view name, RegistryValue value);

  bool loaded() const { return loaded_; }
  const std::string& source() const { return source_; }
  // Empty when the file was read as a registry export; otherwise what is wrong with it,
  // naming the file and what to do.
  const std::string& problem() const { return problem_; }

 private:
  std::map<std::string, std::map<std::string, RegistryValue>> keys_;  // lower-case
  bool loaded_ = false;
  std::string source_;
  std::string problem_;
};

// What the registry file is expected to be, for messages.
extern const char kRegistryFormats[];

// "-2147483647" (HKEY_CURRENT_USER's handle as decimal text) -> "HKEY_CURRENT_USER".
std::string RootKeyName(std::string_view root_decimal);

}  // namespace platform
