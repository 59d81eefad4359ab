#include "db/sqlite/literal_parameters.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string_view>

#include "util/text.h"

namespace db::sqlite {
namespace {

constexpr util::CharSet WordChar(true, "_$@");

// What a character starts, for the scan of a statement.
enum CharClass : unsigned char { kOther, kSpace, kWord, kDigit, kQuote, kOpen, kClose };
struct ClassTable {
  constexpr ClassTable() {
    for (int c = 0; c < 256; ++c) {
      char ch = static_cast<char>(c);
      of[c] = util::IsAsciiDigit(ch)    ? kDigit
              : WordChar(ch)           ? kWord
              : util::IsAsciiSpace(ch) ? kSpace
              : ch == '\'' || ch == '"' || ch == '[' ? kQuote
              : ch == '('              ? kOpen
              : ch == ')'              ? kClose
                                       : kOther;
    }
  }
  CharClass operator[](unsigned char c) const { return of[c]; }
  CharClass of[256] = {};
};
constexpr ClassTable kClassOf;

bool Is(std::string_view word, std::string_view w) { return util::EqualsNoCase(word, w); }

bool StartsWithVerb(const std::string& sql) {
  size_t i = 0;
  while (i < sql.size() && util::IsAsciiSpace(sql[i])) ++i;
  size_t j = i;
  while (j < sql.size() && WordChar(sql[j])) ++j;
  std::string_view verb(sql.data() + i, j - i);
  return Is(verb, "select") || Is(verb, "insert") || Is(verb, "update") || Is(verb, "delete");
}

bool IsTypeName(std::string_view word) {
  static const char* kTypes[] = {"varchar", "nvarchar", "char", "nchar", "decimal", "numeric", "float", "varbinary"};
  for (const char* t : kTypes) {
    if (util::EqualsNoCase(word, t)) return true;
  }
  return false;
}

// The end of the quoted text that starts at i (quote character q, doubled to escape it).
size_t QuotedEnd(const std::string& s, size_t i, char q) {
  for (++i; i < s.size(); ++i) {
    if (s[i] != q) continue;
    if (i + 1 < s.size() && s[i + 1] == q) {
      ++i;
      continue;
    }
    return i + 1;
  }
  return std::string::npos;
}

// "?n", the placeholder of the n-th value.
void AppendPlaceholder(std::string& out, size_t n) {
  char digits[24];
  auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  out += '?';
  out.append(digits, end);
}

Value NumberValue(std::string_view digits) {
  if (digits.find('.') != std::string_view::npos) return Value(std::strtod(std::string(digits).c_str(), nullptr));
  int64_t i = 0;
  if (std::from_chars(digits.data(), digits.data() + digits.size(), i).ec == std::errc()) return Value(i);
  return Value(static_cast<int64_t>(std::strtoll(std::string(digits).c_str(), nullptr, 10)));  // saturates
}

}  // namespace

ParameterizedSql ParameterizeLiterals(const std::string& sql) {
  ParameterizedSql out;
  if (!StartsWithVerb(sql)) return {sql, {}};
  out.text.reserve(sql.size());
  size_t copied = 0;  // the text is copied as it stands up to here; only literals change
  auto replace = [&](size_t from, size_t to, Value value) {
    out.text.append(sql, copied, from - copied);
    out.params.push_back(std::move(value));
    AppendPlaceholder(out.text, out.params.size());
    copied = to;
  };
  std::string_view last_word;    // the last word seen
  std::string_view word_before;  // the word before an open parenthesis
  bool select_list = false;  // between SELECT and its FROM, at the same depth
  int depth = 0, select_depth = 0;
  bool frozen = false;       // ORDER BY / GROUP BY reached: the rest stays as it is...
  int group_depth = -1;      // ...up to the HAVING of a GROUP BY at this depth
  char prev = ' ';           // the last character that is not white space
  int type_depth = -1;       // inside a type's parentheses (decimal(18,2)): numbers stay
  const size_t n = sql.size();
  for (size_t i = 0; i < n;) {
    char c = sql[i];
    switch (kClassOf[static_cast<unsigned char>(c)]) {
      case kSpace:
        ++i;
        continue;
      case kQuote: {
        size_t end = c == '[' ? sql.find(']', i) : QuotedEnd(sql, i, c);
        if (end == std::string::npos) return {sql, {}};  // unbalanced: leave it to SQLite
        if (c == '[') ++end;
        bool literal = c == '\'' && !select_list && !frozen;
        if (literal) {
          std::string_view inside(sql.data() + i + 1, end - i - 2);
          replace(i, end,
                  Value(inside.find('\'') == std::string_view::npos ? std::string(inside)
                                                                    : util::ReplaceAll(inside, "''", "'")));
        }
        i = end;
        prev = 'x';
        continue;
      }
      case kDigit:
        if (!WordChar(prev) && prev != '.') {
          size_t end = i;
          while (end < n && (util::IsAsciiDigit(sql[end]) || sql[end] == '.')) ++end;
          bool in_type = type_depth != -1;
          bool literal = !select_list && !frozen && !in_type && (end >= n || !WordChar(sql[end]));
          if (literal) replace(i, end, NumberValue(std::string_view(sql).substr(i, end - i)));
          i = end;
          prev = '0';
          continue;
        }
        [[fallthrough]];  // a digit that continues a name
      case kWord: {
        size_t end = i + 1;
        while (end < n && WordChar(sql[end])) ++end;
        std::string_view word(sql.data() + i, end - i);
        if (Is(word, "select")) {
          select_list = true;
          select_depth = depth;
        } else if (Is(word, "from") && select_list && depth == select_depth) {
          select_list = false;
        } else if (Is(word, "by") && (Is(last_word, "order") || Is(last_word, "group"))) {
          group_depth = !frozen && Is(last_word, "group") ? depth : -1;
          frozen = true;
        } else if (Is(word, "having") && frozen && depth == group_depth) {
          frozen = false;
          group_depth = -1;
        }
        last_word = word;
        i = end;
        prev = 'x';
        continue;
      }
      case kOpen:
        word_before = last_word;
        ++depth;
        if (IsTypeName(word_before)) type_depth = depth;
        prev = c;
        ++i;
        continue;
      case kClose:
        if (depth == type_depth) type_depth = -1;
        --depth;
        [[fallthrough]];
      default:
        prev = c;
        last_word = {};
        ++i;
    }
  }
  out.text.append(sql, copied, std::string::npos);
  return out;
}

}  // namespace db::sqlite
