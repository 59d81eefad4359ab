#include "db/query_cache.h"

#include <algorithm>
#include <cctype>

#include "util/text.h"

namespace db {
namespace {

constexpr size_t kMaxEntries = 4096;

// Master data: no statement of a pass writes these tables.
bool IsMasterTable(const std::string& table) {
  static const char* kMaster[] = {"tabimpostazioni", "tabcausali", "tabaliquoteiva", "tabvalute",
                                  "tabpersonale",    "tabconti",   "tabclienti",     "tabfidelity_regole"};
  return std::any_of(std::begin(kMaster), std::end(kMaster), [&](const char* t) { return table == t; });
}

// Tables read again and again while a receipt is written (articles, barcodes, stock, the
// summary movement of the day): worth keeping under the write lock. Reads of the
// documents being written are not asked twice and are not kept.
bool IsLookupTable(const std::string& table) {
  static const char* kLookup[] = {"tabarticoli", "tabbarcode", "tabgiacenze", "tabtestatemagazzino"};
  return IsMasterTable(table) ||
         std::any_of(std::begin(kLookup), std::end(kLookup), [&](const char* t) { return table == t; });
}

bool NameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '"' || c == '[' || c == ']';
}

// Reads a statement one name or mark at a time, outside string literals, without copying.
class Scanner {
 public:
  explicit Scanner(std::string_view sql) : s_(sql) {}
  // The next name, or one of ( ) , = * ; empty at the end.
  std::string_view Next() {
    while (i_ < s_.size()) {
      char c = s_[i_];
      if (c == '\'') {
        size_t end = s_.find('\'', i_ + 1);
        while (end != std::string_view::npos && end + 1 < s_.size() && s_[end + 1] == '\'') end = s_.find('\'', end + 2);
        i_ = end == std::string_view::npos ? s_.size() : end + 1;
        continue;
      }
      if (NameChar(c)) {
        size_t start = i_;
        while (i_ < s_.size() && NameChar(s_[i_])) ++i_;
        return s_.substr(start, i_ - start);
      }
      ++i_;
      if (c == '(' || c == ')' || c == ',' || c == '=' || c == '*') return s_.substr(i_ - 1, 1);
    }
    return {};
  }

 private:
  std::string_view s_;
  size_t i_ = 0;
};

// "dbo.tabx", "[dbo].[tabx]", "\"tabx\"" -> "tabx".
std::string Bare(std::string_view word) {
  std::string out;
  for (char c : word) {
    if (c == '.') {
      out.clear();
    } else if (c != '"' && c != '[' && c != ']') {
      out += util::AsciiLower(c);
    }
  }
  return out;
}

bool Is(std::string_view word, std::string_view w) { return util::EqualsNoCase(word, w); }

bool IsEmptyColumnRead(const std::string& sql) {
  static const std::string kTail = " where 1=2";
  return sql.size() > kTail.size() && util::StartsWithNoCase(sql, "select * from ") &&
         util::EqualsNoCase(std::string_view(sql).substr(sql.size() - kTail.size()), kTail);
}

}  // namespace

std::vector<std::string> TablesRead(const std::string& sql) {
  std::vector<std::string> tables;
  Scanner scan(sql);
  bool after = false;
  for (std::string_view w = scan.Next(); !w.empty(); w = scan.Next()) {
    if (after && w != "(") tables.push_back(Bare(w));
    after = Is(w, "from") || Is(w, "join");
  }
  return tables;
}

std::string TableWritten(const std::string& sql) {
  Scanner scan(sql);
  std::string_view verb = scan.Next(), word = scan.Next();
  if (Is(verb, "insert") || Is(verb, "delete")) {
    if (Is(word, "into") || Is(word, "from")) word = scan.Next();
  } else if (!Is(verb, "update")) {
    return "";
  }
  return Bare(word);
}

std::vector<std::string> ColumnsSet(const std::string& sql) {
  std::vector<std::string> columns;
  Scanner scan(sql);
  if (!Is(scan.Next(), "update")) return columns;
  std::string_view w;
  while (!(w = scan.Next()).empty() && !Is(w, "set")) {
  }
  // name = value, name = value ... up to FROM or WHERE outside parentheses
  int depth = 0;
  bool expect_name = true;
  while (!(w = scan.Next()).empty()) {
    if (w == "(") ++depth;
    if (w == ")") --depth;
    if (depth == 0 && (Is(w, "from") || Is(w, "where"))) break;
    if (depth == 0 && w == ",") {
      expect_name = true;
    } else if (expect_name && w != "(" && w != ")") {
      columns.push_back(Bare(w));
      expect_name = false;
    }
  }
  return columns;
}

const ResultSet* QueryCache::Find(const std::string& sql, bool exclusive) const {
  if (policy_ == ReadCache::kOff) return nullptr;
  auto it = entries_.find(sql);
  if (it == entries_.end()) return nullptr;
  bool all = policy_ == ReadCache::kAll && exclusive;
  return all || it->second.master ? &it->second.result : nullptr;
}

void QueryCache::Store(const std::string& sql, const ResultSet& result, bool exclusive) {
  if (policy_ == ReadCache::kOff) return;
  std::vector<std::string> tables = TablesRead(sql);
  if (tables.empty()) return;
  bool columns_only = IsEmptyColumnRead(sql);
  bool master = columns_only || std::all_of(tables.begin(), tables.end(), IsMasterTable);
  if (!master && !(policy_ == ReadCache::kAll && exclusive && std::all_of(tables.begin(), tables.end(), IsLookupTable))) {
    return;
  }
  if (entries_.size() >= kMaxEntries) Clear();
  Entry entry{result, tables, columns_only, master, false, {}};
  Scanner scan(sql);
  for (std::string_view w = scan.Next(); !w.empty(); w = scan.Next()) {
    if (w == "*") entry.star = true;
    entry.words.push_back(Bare(w));
  }
  for (const std::string& t : tables) by_table_[t].push_back(sql);
  entries_[sql] = std::move(entry);
}

void QueryCache::Written(const std::string& sql) {
  if (entries_.empty()) return;
  Scanner scan(sql);
  std::string_view verb = scan.Next();
  if (Is(verb, "select")) return;
  std::string table = TableWritten(sql);
  if (table.empty()) {
    Clear();  // a statement we cannot read: forget everything
    return;
  }
  auto keys = by_table_.find(table);
  if (keys == by_table_.end()) return;
  // An UPDATE changes only the columns it sets: a read that names none of them (and does
  // not read "*") keeps its answer.
  const std::vector<std::string> set = ColumnsSet(sql);
  auto touches = [&](const Entry& e) {
    if (e.columns_only) return false;
    if (set.empty() || e.star) return true;
    return std::any_of(set.begin(), set.end(), [&](const std::string& c) {
      return std::find(e.words.begin(), e.words.end(), c) != e.words.end();
    });
  };
  std::vector<std::string>& list = keys->second;
  size_t kept = 0;
  for (size_t k = 0; k < list.size(); ++k) {
    auto it = entries_.find(list[k]);
    if (it == entries_.end()) continue;
    if (touches(it->second)) {
      entries_.erase(it);
    } else {
      if (kept != k) list[kept] = std::move(list[k]);
      ++kept;
    }
  }
  list.resize(kept);
}

}  // namespace db
