// Small text helpers shared by every layer.
#pragma once

#include <string>
#include <string_view>

namespace util {

// Letters compare as in the "C" locale the program runs in: only A-Z have a lower case.
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

std::string_view Trim(std::string_view s);
std::string ToLower(std::string_view s);
std::string ToUpper(std::string_view s);
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}
// ASCII classes, as in the "C" locale, without a call into the C library.
constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsAsciiSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
constexpr bool IsAsciiAlnum(char c) {
  return IsAsciiDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
// A set of ASCII characters looked up in one step: letters and digits when `alnum`, and
// the characters of `extra`. Scanners of SQL texts test every character of long texts.
class CharSet {
 public:
  constexpr CharSet(bool alnum, std::string_view extra) {
    for (int c = 0; c < 128; ++c) {
      in_[c] = alnum && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'));
    }
    for (char c : extra) in_[static_cast<unsigned char>(c)] = true;
  }
  constexpr bool operator()(char c) const { return in_[static_cast<unsigned char>(c)]; }

 private:
  bool in_[256] = {};
};
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
// Whether `part` occurs in `s`, ASCII case aside.
bool ContainsNoCase(std::string_view s, std::string_view part);
// Replaces every occurrence of `from` (exact, case-sensitive).
std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to);

// UTF-8 and UTF-16 (the wide characters of ODBC and of SQL Server's nvarchar). A byte that
// is not valid UTF-8 is taken as a Latin-1 character, so legacy text is never dropped.
// Appends one Unicode code point as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);
std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s);

}  // namespace util
