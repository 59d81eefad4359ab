#include "db/pinned_columns.h"

#include <charconv>
#include <cstdint>
#include <optional>

#include "util/text.h"

namespace db {
namespace {

constexpr util::CharSet NameChar(true, "_.\"[]@#$");

enum class Kind { kName, kText, kNumber, kMark, kPunct };

struct Token {
  Kind kind;
  std::string_view text;
  int mark = -1;  // the position of a '?' among the statement's marks
};

// The statement as names, literals, '?' marks and single punctuation characters.
std::optional<std::vector<Token>> Tokens(std::string_view s) {
  std::vector<Token> out;
  int marks = 0;
  for (size_t i = 0; i < s.size();) {
    char c = s[i];
    if (util::IsAsciiSpace(c)) {
      ++i;
    } else if (c == '\'') {
      size_t end = i + 1;
      for (;; ++end) {
        if (end >= s.size()) return std::nullopt;
        if (s[end] != '\'') continue;
        if (end + 1 < s.size() && s[end + 1] == '\'') {
          ++end;
          continue;
        }
        break;
      }
      out.push_back({Kind::kText, s.substr(i, end + 1 - i)});
      i = end + 1;
    } else if (util::IsAsciiDigit(c)) {
      size_t end = i;
      while (end < s.size() && (util::IsAsciiDigit(s[end]) || s[end] == '.')) ++end;
      if (end < s.size() && NameChar(s[end])) return std::nullopt;  // 1e5, 0x1F: not read here
      out.push_back({Kind::kNumber, s.substr(i, end - i)});
      i = end;
    } else if (NameChar(c)) {
      size_t end = i;
      while (end < s.size()) {
        char d = s[end];
        if (d == '[' || d == '"') {
          size_t close = s.find(d == '[' ? ']' : '"', end + 1);
          if (close == std::string_view::npos) return std::nullopt;
          end = close + 1;
        } else if (NameChar(d)) {
          ++end;
        } else {
          break;
        }
      }
      out.push_back({Kind::kName, s.substr(i, end - i)});
      i = end;
    } else if (c == '?') {
      out.push_back({Kind::kMark, s.substr(i, 1), marks++});
      ++i;
    } else {
      out.push_back({Kind::kPunct, s.substr(i, 1)});
      ++i;
    }
  }
  return out;
}

bool Is(const Token& t, std::string_view word) { return t.kind == Kind::kName && util::EqualsNoCase(t.text, word); }
bool IsPunct(const Token& t, char c) { return t.kind == Kind::kPunct && t.text[0] == c; }

std::string Unquoted(std::string_view part) {
  while (!part.empty() && (part.front() == '"' || part.front() == '[')) part.remove_prefix(1);
  while (!part.empty() && (part.back() == '"' || part.back() == ']')) part.remove_suffix(1);
  return util::ToLower(part);
}

// "a.b.c" -> {"b", "c"}: the qualifier (empty when none) and the last part, unquoted.
std::pair<std::string, std::string> SplitName(std::string_view name) {
  if (name.find_first_of(".\"[") == std::string_view::npos) return {"", util::ToLower(name)};  // most names
  std::vector<std::string_view> parts;
  size_t start = 0;
  bool quoted = false;
  char close = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (quoted) {
      if (c == close) quoted = false;
    } else if (c == '[' || c == '"') {
      quoted = true;
      close = c == '[' ? ']' : '"';
    } else if (c == '.') {
      parts.push_back(name.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(name.substr(start));
  std::string column = Unquoted(parts.back());
  return {parts.size() > 1 ? Unquoted(parts[parts.size() - 2]) : "", column};
}

double ToDouble(std::string_view digits) {
  double d = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), d);
  return d;
}

std::string NumberKey(double d) {
  char buf[40] = {'n'};
  char* end;
  if (d == static_cast<double>(static_cast<int64_t>(d)) && d > -9e15 && d < 9e15) {
    end = std::to_chars(buf + 1, buf + sizeof buf, static_cast<int64_t>(d)).ptr;  // 5 and 5.0 alike
  } else {
    end = std::to_chars(buf + 1, buf + sizeof buf, d).ptr;
  }
  return std::string(buf, end);
}

// A number written as text: optional sign, digits, one optional point.
std::optional<double> NumberIn(std::string_view t) {
  t = util::Trim(t);
  size_t i = t.size() && (t[0] == '-' || t[0] == '+') ? 1 : 0;
  bool digit = false, point = false;
  for (size_t k = i; k < t.size(); ++k) {
    if (util::IsAsciiDigit(t[k])) {
      digit = true;
    } else if (t[k] == '.' && !point) {
      point = true;
    } else {
      return std::nullopt;
    }
  }
  if (!digit) return std::nullopt;
  if (t[0] == '+') t.remove_prefix(1);
  bool negative = t[0] == '-';
  double d = ToDouble(negative ? t.substr(1) : t);
  return negative ? -d : d;
}

// Text compares without regard to trailing spaces and to case; only ASCII case is folded
// here, so text with other letters is not given a key (SQL Server folds those too).
std::optional<std::string> TextKey(std::string_view text) {
  if (auto n = NumberIn(text)) return NumberKey(*n);
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
  }
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return "t" + util::ToLower(text);
}

std::optional<std::string> ParamKey(const Value& v) {
  switch (v.type()) {
    case Type::Boolean: return NumberKey(v.AsBool() ? 1 : 0);
    case Type::Long: return NumberKey(v.AsLong());
    case Type::LongLong: return NumberKey(static_cast<double>(v.AsLongLong()));
    case Type::Double: return NumberKey(v.AsDouble());
    case Type::Text: return TextKey(v.AsText());
    default: return std::nullopt;  // Null equals nothing; dates are not compared here
  }
}

// An operand of an equality: a column of a table, or a value ("=" + its key).
struct Operand {
  bool column = false;
  std::string key;           // a value's
  std::string table, name;   // a column's
  bool Same(const Operand& o) const {
    return column == o.column && (column ? table == o.table && name == o.name : key == o.key);
  }
};

class Parser {
 public:
  Parser(const std::vector<Token>& t, const std::vector<Value>& params) : t_(t), params_(params) {}

  // Reads the statement; false when it is not of the shape this understands.
  bool Read() {
    if (t_.empty()) return false;
    if (Is(t_[0], "update")) {
      if (t_.size() < 3 || t_[1].kind != Kind::kName || !Is(t_[2], "set")) return false;
      tables_.push_back({SplitName(t_[1].text).second, ""});
      i_ = 3;
      SkipTo({"from", "where"});
    } else if (Is(t_[0], "select")) {
      i_ = 1;
      SkipTo({"from"});
      if (!At("from")) return false;
    } else {
      return false;
    }
    if (At("from") && !FromList()) return false;
    if (At("where")) {
      ++i_;
      if (!Conditions()) return false;
    }
    if (At("order")) return true;  // the order does not change which rows
    return i_ >= t_.size() || IsPunct(t_[i_], ';');
  }

  std::vector<PinnedColumn> Pinned(const std::string& table) {
    // The value each class of equal operands holds; a class of two values matches no row.
    std::vector<const std::string*> value(nodes_.size(), nullptr);
    for (size_t n = 0; n < nodes_.size(); ++n) {
      if (nodes_[n].column) continue;
      const std::string*& v = value[Find(static_cast<int>(n))];
      if (v && *v != nodes_[n].key) return {};  // not worth knowing which rows it is about
      v = &nodes_[n].key;
    }
    std::vector<PinnedColumn> out;
    for (size_t n = 0; n < nodes_.size(); ++n) {
      const Operand& o = nodes_[n];
      const std::string* v = value[Find(static_cast<int>(n))];
      if (!o.column || !v || o.table != table) continue;
      out.push_back({o.name, v->substr(1)});
    }
    return out;
  }

 private:
  bool At(std::string_view word) const { return i_ < t_.size() && Is(t_[i_], word); }

  // Skips to one of `words` outside parentheses.
  void SkipTo(std::initializer_list<std::string_view> words) {
    int depth = 0;
    for (; i_ < t_.size(); ++i_) {
      if (IsPunct(t_[i_], '(')) ++depth;
      if (IsPunct(t_[i_], ')')) --depth;
      if (depth != 0) continue;
      for (std::string_view w : words) {
        if (Is(t_[i_], w)) return;
      }
    }
  }

  bool IsKeyword(const Token& t) const {
    for (const char* k : {"where", "inner", "join", "on", "left", "right", "full", "cross", "outer", "order", "group",
                          "having", "union", "as", "and", "or", "not", "null", "set", "from"}) {
      if (Is(t, k)) return true;
    }
    return false;
  }

  bool TableRef() {
    if (i_ >= t_.size() || t_[i_].kind != Kind::kName || IsKeyword(t_[i_])) return false;
    std::string name = SplitName(t_[i_].text).second, alias;
    ++i_;
    if (At("as")) ++i_;
    if (i_ < t_.size() && t_[i_].kind == Kind::kName && !IsKeyword(t_[i_])) alias = Unquoted(t_[i_++].text);
    tables_.push_back({name, alias});
    return true;
  }

  bool FromList() {
    ++i_;  // FROM
    if (!TableRef()) return false;
    while (i_ < t_.size()) {
      if (IsPunct(t_[i_], ',')) {
        ++i_;
        if (!TableRef()) return false;
      } else if (At("inner") || At("join")) {
        if (At("inner")) ++i_;
        if (!At("join")) return false;
        ++i_;
        if (!TableRef() || !At("on")) return false;
        ++i_;
        if (!Conditions()) return false;
      } else {
        break;  // WHERE, the end, or what Read refuses
      }
    }
    return true;
  }

  // Equalities joined by AND, up to the end of the clause.
  bool Conditions() {
    for (;;) {
      std::optional<Operand> a = ReadOperand(), b;
      if (!a || i_ >= t_.size() || !IsPunct(t_[i_], '=')) return false;
      ++i_;
      if (!(b = ReadOperand())) return false;
      Union(Node(std::move(*a)), Node(std::move(*b)));
      if (!At("and")) return true;
      ++i_;
    }
  }

  std::optional<Operand> ReadOperand() {
    if (i_ >= t_.size()) return std::nullopt;
    const Token& t = t_[i_];
    bool negative = IsPunct(t, '-');
    if (negative && (i_ + 1 >= t_.size() || t_[i_ + 1].kind != Kind::kNumber)) return std::nullopt;
    const Token& v = negative ? t_[i_ + 1] : t;
    i_ += negative ? 2 : 1;
    switch (v.kind) {
      case Kind::kNumber: {
        double d = ToDouble(v.text);
        return Operand{false, "=" + NumberKey(negative ? -d : d), {}, {}};
      }
      case Kind::kText: {
        std::optional<std::string> key = TextKey(util::ReplaceAll(v.text.substr(1, v.text.size() - 2), "''", "'"));
        if (!key) return std::nullopt;
        return Operand{false, "=" + *key, {}, {}};
      }
      case Kind::kMark: {
        if (v.mark >= static_cast<int>(params_.size())) return std::nullopt;
        std::optional<std::string> key = ParamKey(params_[v.mark]);
        if (!key) return std::nullopt;
        return Operand{false, "=" + *key, {}, {}};
      }
      case Kind::kName: {
        if (IsKeyword(v)) return std::nullopt;
        auto [qualifier, name] = SplitName(v.text);
        const std::string* table = TableOf(qualifier);
        if (!table) return std::nullopt;
        return Operand{true, {}, *table, std::move(name)};
      }
      default: return std::nullopt;
    }
  }

  // The table a column belongs to: by its qualifier (an alias or a table), or the only one.
  const std::string* TableOf(const std::string& qualifier) const {
    const std::string* only = nullptr;
    bool one = true;
    for (const auto& [name, alias] : tables_) {
      if (!qualifier.empty() && (qualifier == alias || qualifier == name)) return &name;
      if (only && *only != name) one = false;
      only = &name;
    }
    return qualifier.empty() && one ? only : nullptr;
  }

  int Node(Operand o) {
    for (size_t n = 0; n < nodes_.size(); ++n) {
      if (nodes_[n].Same(o)) return static_cast<int>(n);
    }
    nodes_.push_back(std::move(o));
    parent_.push_back(static_cast<int>(parent_.size()));
    return static_cast<int>(nodes_.size()) - 1;
  }
  int Find(int n) {
    while (parent_[n] != n) n = parent_[n] = parent_[parent_[n]];
    return n;
  }
  void Union(int a, int b) { parent_[Find(a)] = Find(b); }

  const std::vector<Token>& t_;
  const std::vector<Value>& params_;
  size_t i_ = 0;
  std::vector<std::pair<std::string, std::string>> tables_;  // (table, alias), lower case
  std::vector<Operand> nodes_;
  std::vector<int> parent_;
};

}  // namespace

std::optional<PinnedColumn> PinnedByWhereTail(std::string_view sql, std::string_view table,
                                              const std::vector<Value>& params) {
  size_t end = sql.size();
  while (end > 0 && (util::IsAsciiSpace(sql[end - 1]) || sql[end - 1] == ';')) --end;
  if (end == 0) return std::nullopt;
  // The value, from its last character back.
  size_t start;
  std::optional<std::string> value;
  char last = sql[end - 1];
  if (last == '?') {
    start = end - 1;
    int mark = 0;  // the marks before it, outside literals
    bool quoted = false;
    for (size_t i = 0; i < start; ++i) {
      if (sql[i] == '\'') quoted = !quoted;  // a doubled quote toggles twice
      if (sql[i] == '?' && !quoted) ++mark;
    }
    if (quoted || mark >= static_cast<int>(params.size())) return std::nullopt;
    value = ParamKey(params[mark]);
  } else if (last == '\'') {
    size_t q = end - 1;
    for (;;) {
      if (q == 0) return std::nullopt;
      size_t p = sql.rfind('\'', q - 1);
      if (p == std::string_view::npos) return std::nullopt;
      if (p > 0 && sql[p - 1] == '\'') {
        q = p - 1;  // a doubled quote inside the text
        continue;
      }
      start = p;
      break;
    }
    value = TextKey(util::ReplaceAll(sql.substr(start + 1, end - start - 2), "''", "'"));  // may be none
  } else if (util::IsAsciiDigit(last)) {
    start = end;
    while (start > 0 && (util::IsAsciiDigit(sql[start - 1]) || sql[start - 1] == '.')) --start;
    if (start > 0 && NameChar(sql[start - 1])) return std::nullopt;  // part of a name
    double d = ToDouble(sql.substr(start, end - start));
    size_t sign = start;
    while (sign > 0 && util::IsAsciiSpace(sql[sign - 1])) --sign;
    if (sign > 0 && sql[sign - 1] == '-') start = sign - 1, d = -d;
    value = NumberKey(d);
  } else {
    return std::nullopt;
  }
  if (!value) return std::nullopt;
  // "<column> =" before it, then WHERE.
  size_t i = start;
  auto skip_spaces = [&] {
    while (i > 0 && util::IsAsciiSpace(sql[i - 1])) --i;
  };
  skip_spaces();
  if (i == 0 || sql[i - 1] != '=') return std::nullopt;
  --i;
  if (i > 0 && (sql[i - 1] == '<' || sql[i - 1] == '>' || sql[i - 1] == '!')) return std::nullopt;
  skip_spaces();
  size_t name_end = i;
  while (i > 0 && NameChar(sql[i - 1])) --i;
  if (i == name_end) return std::nullopt;
  auto [qualifier, column] = SplitName(sql.substr(i, name_end - i));
  std::string lower_table = util::ToLower(table);
  if (!qualifier.empty() && qualifier != lower_table) return std::nullopt;
  skip_spaces();
  if (i < 5 || !util::EqualsNoCase(sql.substr(i - 5, 5), "where") || (i > 5 && NameChar(sql[i - 6]))) {
    return std::nullopt;
  }
  return PinnedColumn{column, *value};
}

std::vector<PinnedColumn> PinnedColumns(std::string_view sql, std::string_view table,
                                        const std::vector<Value>& params) {
  std::optional<std::vector<Token>> tokens = Tokens(sql);
  if (!tokens) return {};
  Parser parser(*tokens, params);
  if (!parser.Read()) return {};
  return parser.Pinned(util::ToLower(table));
}

}  // namespace db
