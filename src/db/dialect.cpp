#include "db/dialect.h"

#include <cctype>
#include <vector>

#include "db/value.h"
#include "util/text.h"

namespace db {
namespace {

struct Token {
  enum Kind { kWord, kString, kQuoted, kBracket, kNumber, kSpace, kPunct, kRaw } kind;
  std::string text;
};

bool IsWordStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '#';
}
bool IsWordChar(char c) {
  return IsWordStart(c) || util::IsAsciiDigit(c) || c == '$';
}

std::vector<Token> Tokenize(std::string_view s) {
  std::vector<Token> out;
  size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    size_t start = i;
    Token::Kind kind;
    if (c == '\'' || c == '"') {
      ++i;
      while (i < s.size()) {
        if (s[i] == c) {
          if (i + 1 < s.size() && s[i + 1] == c) {
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
      kind = c == '\'' ? Token::kString : Token::kQuoted;
    } else if (c == '[') {
      size_t end = s.find(']', i);
      i = end == std::string_view::npos ? s.size() : end + 1;
      kind = Token::kBracket;
    } else if (util::IsAsciiSpace(c)) {
      while (i < s.size() && util::IsAsciiSpace(s[i])) ++i;
      kind = Token::kSpace;
    } else if (IsWordStart(c)) {
      while (i < s.size() && IsWordChar(s[i])) ++i;
      kind = Token::kWord;
    } else if (util::IsAsciiDigit(c)) {
      while (i < s.size() && (util::IsAsciiDigit(s[i]) || s[i] == '.')) ++i;
      kind = Token::kNumber;
    } else {
      ++i;
      kind = Token::kPunct;
    }
    out.push_back({kind, std::string(s.substr(start, i - start))});
  }
  return out;
}

bool IsWord(const Token& t, std::string_view w) {
  if (t.kind == Token::kWord) return util::EqualsNoCase(t.text, w);
  return t.kind == Token::kBracket && t.text.size() == w.size() + 2 &&
         util::EqualsNoCase(std::string_view(t.text).substr(1, w.size()), w);
}
bool IsPunct(const Token& t, char c) { return t.kind == Token::kPunct && t.text[0] == c; }

// Index of the next token that is not white space, from i (or end).
size_t Next(const std::vector<Token>& t, size_t i, size_t end) {
  while (i < end && t[i].kind == Token::kSpace) ++i;
  return i;
}

bool IsName(const Token& t) {
  return t.kind == Token::kWord || t.kind == Token::kBracket || t.kind == Token::kQuoted;
}

// Index of the previous token that is not white space before i, or npos.
size_t Previous(const std::vector<Token>& t, size_t i) {
  while (i > 0) {
    if (t[--i].kind != Token::kSpace) return i;
  }
  return std::string::npos;
}

// First token of the column reference (name, or a.b qualified) that ends at `last`, or npos.
size_t ColumnStart(const std::vector<Token>& t, size_t last) {
  if (last == std::string::npos || !IsName(t[last])) return std::string::npos;
  size_t start = last;
  for (;;) {
    size_t dot = Previous(t, start);
    if (dot == std::string::npos || !IsPunct(t[dot], '.')) return start;
    size_t name = Previous(t, dot);
    if (name == std::string::npos || !IsName(t[name])) return start;
    start = name;
  }
}

// Index of the ')' closing the '(' at `open`, or end.
size_t Closing(const std::vector<Token>& t, size_t open, size_t end) {
  int depth = 0;
  for (size_t i = open; i < end; ++i) {
    if (IsPunct(t[i], '(')) ++depth;
    if (IsPunct(t[i], ')') && --depth == 0) return i;
  }
  return end;
}

// Splits the arguments between '(' at open and ')' at close on top-level commas.
std::vector<std::pair<size_t, size_t>> Arguments(const std::vector<Token>& t, size_t open,
                                                 size_t close) {
  std::vector<std::pair<size_t, size_t>> args;
  int depth = 0;
  size_t start = open + 1;
  for (size_t i = open + 1; i < close; ++i) {
    if (IsPunct(t[i], '(')) ++depth;
    if (IsPunct(t[i], ')')) --depth;
    if (depth == 0 && IsPunct(t[i], ',')) {
      args.emplace_back(start, i);
      start = i + 1;
    }
  }
  args.emplace_back(start, close);
  return args;
}

std::string DateLiteral(const std::string& literal) {
  std::string body = literal.substr(1, literal.size() - 2);
  std::string_view trimmed = util::Trim(body);
  // Only the shape DateForSql writes: dd/MM/yyyy, optionally followed by a time.
  auto digits = [&](size_t from, size_t count) {
    for (size_t k = from; k < from + count; ++k) {
      if (k >= trimmed.size() || !util::IsAsciiDigit(trimmed[k])) return false;
    }
    return true;
  };
  bool shape = digits(0, 2) && trimmed.size() >= 10 && trimmed[2] == '/' && digits(3, 2) &&
               trimmed[5] == '/' && digits(6, 4) && (trimmed.size() == 10 || trimmed[10] == ' ');
  Date d;
  if (!shape || !ParseDate(trimmed, &d)) return literal;
  return "'" + ToIso(d) + "'";
}

std::string DateAddUnit(std::string part) {
  part = util::ToLower(part);
  if (part.size() >= 2 && (part.front() == '"' || part.front() == '\'' || part.front() == '[')) {
    part = part.substr(1, part.size() - 2);
  }
  if (part == "mi" || part == "n" || part == "minute") return "minutes";
  if (part == "hh" || part == "hour") return "hours";
  if (part == "ss" || part == "s" || part == "second") return "seconds";
  if (part == "mm" || part == "m" || part == "month") return "months";
  if (part == "yy" || part == "yyyy" || part == "year") return "years";
  return "days";
}

std::string Render(const std::vector<Token>& t, size_t begin, size_t end);

std::string RenderTrimmed(const std::vector<Token>& t, std::pair<size_t, size_t> range) {
  return std::string(util::Trim(Render(t, range.first, range.second)));
}

std::string Render(const std::vector<Token>& t, size_t begin, size_t end) {
  std::string out;
  for (size_t i = begin; i < end; ++i) {
    const Token& tok = t[i];
    size_t n = Next(t, i + 1, end);
    bool call = n < end && IsPunct(t[n], '(');
    if (tok.kind == Token::kString) {
      out += DateLiteral(tok.text);
    } else if ((IsWord(tok, "dbo") || IsWord(tok, "sys")) && n < end && IsPunct(t[n], '.')) {
      i = n;  // drop the schema and its dot
    } else if (IsWord(tok, "isnull") && call) {
      out += "ifnull";
    } else if (IsWord(tok, "getdate") && call) {
      out += "datetime('now','localtime')";
      i = Closing(t, n, end);
    } else if (IsWord(tok, "dateadd") && call) {
      size_t close = Closing(t, n, end);
      auto args = Arguments(t, n, close);
      if (args.size() != 3) {
        out += Render(t, i, close + 1);
      } else {
        std::string unit = DateAddUnit(RenderTrimmed(t, args[0]));
        out += "datetime(" + RenderTrimmed(t, args[2]) + ", (" + RenderTrimmed(t, args[1]) +
               ") || ' " + unit + "')";
      }
      i = close;
    } else if (IsWord(tok, "year") && call) {
      size_t close = Closing(t, n, end);
      out += "CAST(strftime('%Y', " + Render(t, n + 1, close) + ") AS INTEGER)";
      i = close;
    } else {
      out += tok.text;
    }
  }
  return out;
}

// Position of the top-level keyword `word` at or after `from`, or end.
size_t FindKeyword(const std::vector<Token>& t, size_t from, size_t end, std::string_view word) {
  int depth = 0;
  for (size_t i = from; i < end; ++i) {
    if (IsPunct(t[i], '(')) ++depth;
    if (IsPunct(t[i], ')')) --depth;
    if (depth == 0 && IsWord(t[i], word)) return i;
  }
  return end;
}

std::string Join(const std::vector<Token>& t, size_t b, size_t e) {
  std::string s;
  for (size_t i = b; i < e; ++i) s += t[i].text;
  return std::string(util::Trim(s));
}

// Removes "target." in front of the assigned columns of a SET list.
std::string UnqualifySet(const std::vector<Token>& t, size_t b, size_t e,
                         const std::string& target) {
  std::string s;
  for (size_t i = b; i < e; ++i) {
    size_t n = Next(t, i + 1, e);
    bool qualifier = (t[i].kind == Token::kWord || t[i].kind == Token::kBracket) &&
                     IsWord(t[i], target) && n < e && IsPunct(t[n], '.');
    if (qualifier) {
      // Only on the left of '=': the token after the column must be '='.
      size_t col = Next(t, n + 1, e);
      size_t after = Next(t, col + 1, e);
      if (after < e && IsPunct(t[after], '=')) {
        i = n;
        continue;
      }
    }
    s += t[i].text;
  }
  return std::string(util::Trim(s));
}

// The join of an UPDATE ... FROM, "a.x = t.y" with t the updated table (the program's only
// such joins are on barcodes): a.x is taken without its trailing blanks, as SQL Server would
// compare it, and t.y stays bare so that its index serves the join. The stock rows (a) are
// what the pass writes from POS texts; the barcodes (t) are the shop's master data.
std::string PadJoin(const std::string& cond, const std::string& target) {
  std::vector<Token> t = Tokenize(cond);
  size_t end = t.size();
  size_t eq = 0;
  while (eq < end && !IsPunct(t[eq], '=')) ++eq;
  if (eq == end) return cond;
  size_t left_last = Previous(t, eq);
  size_t left = ColumnStart(t, left_last);
  size_t right = Next(t, eq + 1, end);
  size_t right_last = right;
  while (right_last + 1 < end && t[right_last + 1].kind != Token::kSpace) ++right_last;
  if (left != Next(t, 0, end) || right >= end || ColumnStart(t, right_last) != right ||
      Next(t, right_last + 1, end) != end) {
    return cond;
  }
  std::string a = Join(t, left, left_last + 1), b = Join(t, right, right_last + 1);
  if (IsWord(t[left], target)) std::swap(a, b);  // b: the updated table's column
  return b + " = rtrim(" + a + ")";
}

// "UPDATE t SET ... FROM a INNER JOIN t ON cond [WHERE w]" -> SQLite's UPDATE FROM,
// where the target may not appear again in the FROM list.
std::string RewriteUpdateFrom(const std::string& sql) {
  std::vector<Token> t = Tokenize(sql);
  size_t end = t.size();
  size_t upd = Next(t, 0, end);
  if (upd >= end || !IsWord(t[upd], "update")) return sql;
  size_t tgt = Next(t, upd + 1, end);
  if (tgt >= end) return sql;
  std::string target = t[tgt].text;
  if (t[tgt].kind == Token::kBracket) target = target.substr(1, target.size() - 2);
  size_t set = FindKeyword(t, tgt + 1, end, "set");
  if (set == end) return sql;
  size_t from = FindKeyword(t, set + 1, end, "from");
  std::string assignments = UnqualifySet(t, set + 1, from, target);
  if (from == end) {
    if (assignments == Join(t, set + 1, end)) return sql;
    return "UPDATE " + target + " SET " + assignments;
  }
  size_t where = FindKeyword(t, from + 1, end, "where");

  // FROM list: first table, then "INNER JOIN x ON cond" items.
  struct Item {
    std::string table, cond;
  };
  std::vector<Item> items;
  size_t i = Next(t, from + 1, where);
  size_t join = FindKeyword(t, i, where, "inner");
  items.push_back({Join(t, i, join), ""});
  while (join < where) {
    size_t jw = Next(t, join + 1, where);  // JOIN
    size_t tab = Next(t, jw + 1, where);
    size_t on = FindKeyword(t, tab, where, "on");
    size_t next = FindKeyword(t, on, where, "inner");
    items.push_back({Join(t, tab, on), PadJoin(Join(t, on + 1, next), target)});
    join = next;
  }
  std::vector<std::string> conds;
  std::string from_list;
  for (size_t k = 0; k < items.size(); ++k) {
    bool is_target = util::EqualsNoCase(items[k].table, target);
    if (!items[k].cond.empty()) conds.push_back(items[k].cond);
    if (is_target) continue;
    if (from_list.empty()) {
      from_list = items[k].table;
    } else {
      from_list += " INNER JOIN " + items[k].table + " ON " + items[k].cond;
      conds.pop_back();
    }
  }
  if (where < end) conds.push_back(Join(t, where + 1, end));
  std::string out = "UPDATE " + target + " SET " + assignments + " FROM " + from_list;
  for (size_t k = 0; k < conds.size(); ++k) {
    out += (k == 0 ? " WHERE (" : " AND (") + conds[k] + ")";
  }
  return out;
}

// SQL Server ignores trailing blanks when it compares texts; SQLite does not, and its only
// blank-blind collation (RTRIM) is case-sensitive. So "column = 'text'" becomes an index
// range on the column (same NOCASE collation) with an exact check on the column without its
// trailing blanks; "column <> 'text'" compares the trimmed column. The literal loses its
// trailing blanks. Assignments (SET lists) and date literals are left alone.
std::vector<Token> PadTextComparisons(const std::vector<Token>& t) {
  std::vector<Token> out;
  int depth = 0;
  int set_depth = -1;  // depth of the SET list being read, -1 outside one
  for (size_t i = 0; i < t.size(); ++i) {
    const Token& tok = t[i];
    if (IsPunct(tok, '(')) ++depth;
    if (IsPunct(tok, ')')) --depth;
    if (IsWord(tok, "set")) set_depth = depth;
    if (set_depth == depth && (IsWord(tok, "where") || IsWord(tok, "from"))) set_depth = -1;
    if (tok.kind != Token::kString || set_depth != -1 || DateLiteral(tok.text) != tok.text) {
      out.push_back(tok);
      continue;
    }
    size_t op = Previous(t, i);
    if (op == std::string::npos || !(IsPunct(t[op], '=') || IsPunct(t[op], '>'))) {
      out.push_back(tok);
      continue;
    }
    size_t before = Previous(t, op);  // '<' of "<>", '!' of "!=", or the column
    bool paired = before != std::string::npos && before + 1 == op;
    bool not_equal = paired && ((IsPunct(t[op], '>') && IsPunct(t[before], '<')) ||
                                (IsPunct(t[op], '=') && IsPunct(t[before], '!')));
    bool equal = IsPunct(t[op], '=') &&
                 !(paired && (IsPunct(t[before], '<') || IsPunct(t[before], '>') || IsPunct(t[before], '!')));
    size_t last = equal ? before : not_equal ? Previous(t, before) : std::string::npos;
    size_t start = ColumnStart(t, last);
    if (start == std::string::npos || (!equal && !not_equal)) {
      out.push_back(tok);
      continue;
    }
    std::string column;
    for (size_t k = start; k <= last; ++k) column += t[k].text;
    std::string body = tok.text.substr(1, tok.text.size() - 2);
    while (!body.empty() && body.back() == ' ') body.pop_back();
    std::string literal = "'" + body + "'";
    std::string expr =
        equal ? "(" + column + " >= " + literal + " AND " + column + " < '" + body + "!' AND rtrim(" + column +
                    ") = " + literal + " COLLATE NOCASE)"
              : "rtrim(" + column + ") <> " + literal + " COLLATE NOCASE";
    // Take the column and the operator back out of what was copied.
    size_t copied_from = out.size() - (i - start);
    out.resize(copied_from);
    out.push_back({Token::kRaw, expr});
  }
  return out;
}

}  // namespace

std::string SqliteDateText(const std::string& text) {
  if (text.size() < 10 || text.find('/') == std::string::npos || text.find('\'') != std::string::npos) return text;
  std::string converted = DateLiteral("'" + text + "'");
  return converted.substr(1, converted.size() - 2);
}

std::string TsqlToSqlite(std::string_view tsql) {
  std::vector<Token> tokens = PadTextComparisons(Tokenize(tsql));
  std::string out = Render(tokens, 0, tokens.size());
  size_t first = Next(tokens, 0, tokens.size());
  if (first < tokens.size() && IsWord(tokens[first], "update")) out = RewriteUpdateFrom(out);
  return out;
}

}  // namespace db
