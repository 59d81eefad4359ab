#include "db/query_cache.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "util/text.h"

namespace db {
namespace {

constexpr size_t kMaxEntries = 4096;

constexpr util::CharSet NameChar(true, "_.\"[]");

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

// "dbo.tabx", "[dbo].[tabx]", "\"tabx\"" -> "tabx", without copying.
std::string_view BareView(std::string_view word) {
  if (size_t dot = word.rfind('.'); dot != std::string_view::npos) word.remove_prefix(dot + 1);
  while (!word.empty() && (word.front() == '"' || word.front() == '[')) word.remove_prefix(1);
  while (!word.empty() && (word.back() == '"' || word.back() == ']')) word.remove_suffix(1);
  return word;
}

// The same in lower case.
std::string Bare(std::string_view word) { return util::ToLower(BareView(word)); }

bool Is(std::string_view word, std::string_view w) { return util::EqualsNoCase(word, w); }

bool IsEmptyColumnRead(const std::string& sql) {
  static const std::string kTail = " where 1=2";
  return sql.size() > kTail.size() && util::StartsWithNoCase(sql, "select * from ") &&
         util::EqualsNoCase(std::string_view(sql).substr(sql.size() - kTail.size()), kTail);
}


// Calls `on_table` with each name a statement reads from (after FROM and JOIN), as written,
// until it returns false.
template <class OnTable>
void ForEachTableRead(std::string_view sql, OnTable on_table) {
  Scanner scan(sql);
  bool after = false;    // the next name is a table
  bool in_from = false;  // in a FROM list, where a comma starts another table
  for (std::string_view w = scan.Next(); !w.empty(); w = scan.Next()) {
    if (after && w == "(") continue;  // FROM (a INNER JOIN b ...): a is still a table
    if (after && !on_table(w)) return;
    if (Is(w, "from")) in_from = true;
    if (Is(w, "where") || Is(w, "group") || Is(w, "order") || Is(w, "on") || Is(w, "select")) in_from = false;
    after = Is(w, "from") || Is(w, "join") || (in_from && w == ",");
  }
}

bool IsMasterName(std::string_view word) {
  word = BareView(word);
  static const char* kMaster[] = {"tabimpostazioni", "tabcausali", "tabaliquoteiva", "tabvalute",
                                  "tabpersonale",    "tabconti",   "tabclienti",     "tabfidelity_regole"};
  return std::any_of(std::begin(kMaster), std::end(kMaster), [&](const char* t) { return Is(word, t); });
}

// A table a receipt reads again and again between its own writes.
bool IsReReadName(std::string_view word) {
  word = BareView(word);
  return Is(word, "tabarticoli") || Is(word, "tabbarcode") || Is(word, "tabtestatemagazzino") ||
         Is(word, "tabgiustificasconto");
}

// Whether the word FROM appears anywhere (in a literal too: then the caller only looks closer).
bool HasFromWord(std::string_view s) {
  for (size_t i = 0; i + 4 <= s.size(); ++i) {
    if (util::AsciiLower(s[i]) != 'f' || !Is(s.substr(i, 4), "from")) continue;
    if ((i == 0 || !NameChar(s[i - 1])) && (i + 4 == s.size() || !NameChar(s[i + 4]))) return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> TablesRead(const std::string& sql) {
  std::vector<std::string> tables;
  ForEachTableRead(sql, [&](std::string_view w) {
    tables.push_back(Bare(w));
    return true;
  });
  return tables;
}

std::string TableWritten(const std::string& sql) {
  Scanner scan(sql);
  std::string_view verb = scan.Next(), word = scan.Next();
  if (Is(verb, "insert") || Is(verb, "delete")) {
    if (Is(word, "or")) scan.Next(), word = scan.Next();  // INSERT OR REPLACE INTO
    if (Is(word, "into") || Is(word, "from")) word = scan.Next();
  } else if (!Is(verb, "update")) {
    return "";
  }
  return Bare(word);
}

bool ColumnsSet(const std::string& sql, std::vector<std::string>* columns) {
  Scanner scan(sql);
  if (!Is(scan.Next(), "update") || scan.Next().empty() || !Is(scan.Next(), "set")) return false;
  columns->clear();
  for (;;) {
    std::string_view name = scan.Next();
    if (name.empty() || name == "=" || name == "(" || name == ")" || name == "," || scan.Next() != "=") return false;
    columns->push_back(Bare(name));
    int depth = 0;  // the value: up to a comma, FROM or WHERE outside parentheses
    std::string_view w = scan.Next();
    for (; !w.empty(); w = scan.Next()) {
      if (w == "(") ++depth;
      if (w == ")") --depth;
      if (depth == 0 && (w == "," || Is(w, "from") || Is(w, "where"))) break;
    }
    if (w != ",") return true;
  }
}

std::shared_ptr<ResultSet> QueryCache::Find(const std::string& sql) const {
  if (policy_ == ReadCache::kOff) return nullptr;
  auto it = entries_.find(sql);
  return it == entries_.end() ? nullptr : it->second;
}

std::shared_ptr<ResultSet> QueryCache::Take(const std::string& sql) {
  if (prefetched_.empty()) return nullptr;
  auto it = prefetched_.find(sql);
  if (it == prefetched_.end()) return nullptr;
  std::shared_ptr<ResultSet> result = std::move(it->second);
  prefetched_.erase(it);
  return result;
}

std::shared_ptr<const QueryCache::ReadFacts> QueryCache::FactsOf(const std::string& sql, const ResultSet& result) {
  const void* key = result.columns.get();
  if (key) {
    auto it = facts_.find(key);
    if (it != facts_.end()) return it->second;
  }
  auto facts = std::make_shared<ReadFacts>();
  facts->shape = result.columns;
  facts->master_only = facts->kept_in_transaction = true;
  ForEachTableRead(sql, [&](std::string_view w) {
    facts->tables.push_back(Bare(w));
    facts->master_only = facts->master_only && IsMasterName(w);
    facts->kept_in_transaction = facts->kept_in_transaction && (IsMasterName(w) || IsReReadName(w));
    return true;
  });
  Scanner scan(sql);
  for (std::string_view w = scan.Next(); !w.empty(); w = scan.Next()) {
    if (w == "*") facts->every_column = true;
    if (w.size() > 1 || NameChar(w[0])) facts->names.push_back(Bare(w));
  }
  facts->point_read = facts->tables.size() == 1 && PinnedByWhereTail(sql, facts->tables[0]).has_value();
  std::sort(facts->names.begin(), facts->names.end());
  facts->names.erase(std::unique(facts->names.begin(), facts->names.end()), facts->names.end());
  if (key) {
    if (facts_.size() >= kMaxEntries) facts_.clear();
    facts_.emplace(key, facts);
  }
  return facts;
}

void QueryCache::Store(const std::string& sql, std::shared_ptr<ResultSet> result, bool frozen) {
  if (policy_ == ReadCache::kOff) return;
  bool columns_only = IsEmptyColumnRead(sql);
  std::shared_ptr<const ReadFacts> facts = FactsOf(sql, *result);
  if (facts->tables.empty()) return;
  // Master data: no statement of a pass writes these tables. What a receipt reads again:
  // only this connection writes it while its transaction (or snapshot) is open.
  bool re_read = policy_ == ReadCache::kInTransaction && frozen;
  if (!columns_only && !facts->master_only && !(re_read && facts->kept_in_transaction)) return;
  if (entries_.size() >= kMaxEntries) Clear();
  if (!entries_.emplace(sql, std::move(result)).second) return;
  std::vector<PinnedColumn> pinned;
  if (!columns_only && facts->point_read) {
    if (auto p = PinnedByWhereTail(sql, facts->tables[0])) pinned.push_back(std::move(*p));
  }
  for (const std::string& t : facts->tables) {
    std::vector<Group>& groups = by_table_[t];
    auto g = std::find_if(groups.begin(), groups.end(),
                          [&](const Group& x) { return x.facts == facts && x.columns_only == columns_only; });
    if (g == groups.end()) {
      g = groups.insert(groups.end(), Group{facts, columns_only, {}, pinned.empty() ? "" : pinned[0].column, {}});
    }
    auto point = std::find_if(pinned.begin(), pinned.end(),
                              [&](const PinnedColumn& p) { return p.column == g->point_column; });
    if (!g->point_column.empty() && point != pinned.end()) {
      g->by_value[point->value].push_back(sql);
    } else {
      g->keys.push_back(sql);
    }
  }
}

void QueryCache::Written(const std::string& sql, const std::vector<Value>& params) {
  if (entries_.empty() && prefetched_.empty()) return;
  Scanner scan(sql);
  std::string_view verb = scan.Next();
  if (Is(verb, "select")) return;
  prefetched_.clear();
  if (entries_.empty()) return;
  std::string table = TableWritten(sql);
  if (table.empty()) {
    Clear();  // a statement we cannot read (DDL, a procedure): nothing kept is trusted
    return;
  }
  if (!Is(verb, "update")) {
    Forget(table, nullptr);
    return;
  }
  scan.Next();  // the table
  if (!Is(scan.Next(), "set")) {
    // "update t" alone stands for a write we know no more of; any other form (a join
    // before SET, an alias) may write another table.
    if (scan.Next().empty()) {
      Forget(table, nullptr);
    } else {
      Clear();
    }
    return;
  }
  bool from = HasFromWord(sql);
  std::vector<std::string> read;
  if (from) read = TablesRead(sql);
  bool target_named = std::find(read.begin(), read.end(), table) != read.end();
  if (!from && by_table_.find(table) == by_table_.end()) return;
  std::vector<std::string> set;
  bool known = ColumnsSet(sql, &set);
  std::optional<std::vector<PinnedColumn>> pinned;
  Forget(table, known ? &set : nullptr, [&]() -> const std::vector<PinnedColumn>& {
    if (pinned) return *pinned;
    pinned.emplace();
    if (!known) return *pinned;
    if (from) return *pinned = JoinPinned(sql, table, params);  // a join may pin it
    if (auto p = PinnedByWhereTail(sql, table, params)) pinned->push_back(std::move(*p));
    return *pinned;
  });
  // UPDATE t SET ... FROM a, b: t is written, the others only read, unless t is an alias
  // of one of them: then any may be written.
  if (from && !target_named) {
    for (const std::string& t : read) Forget(t, known ? &set : nullptr);
  }
}

std::vector<PinnedColumn> QueryCache::JoinPinned(const std::string& sql, const std::string& table,
                                                 const std::vector<Value>& params) {
  if (!params.empty()) return PinnedColumns(sql, table, params);
  auto it = join_pinned_.find(sql);
  if (it != join_pinned_.end()) return it->second;
  if (join_pinned_.size() >= kMaxEntries) join_pinned_.clear();
  return join_pinned_.emplace(sql, PinnedColumns(sql, table)).first->second;
}

void QueryCache::Forget(const std::string& table, const std::vector<std::string>* set,
                        const std::function<const std::vector<PinnedColumn>&()>& pinned_by) {
  const std::vector<PinnedColumn> none;
  auto groups = by_table_.find(table);
  if (groups == by_table_.end()) return;
  auto names = [](const ReadFacts& facts, const std::string& c) {
    return std::binary_search(facts.names.begin(), facts.names.end(), c);
  };
  auto untouched = [&](const ReadFacts& facts) {
    return set && !facts.every_column &&
           std::none_of(set->begin(), set->end(), [&](const std::string& c) { return names(facts, c); });
  };
  auto forget = [&](const std::vector<std::string>& keys) {
    for (const std::string& key : keys) entries_.erase(key);
  };
  std::vector<Group>& list = groups->second;
  list.erase(std::remove_if(list.begin(), list.end(),
                            [&](Group& g) {
                              if (g.columns_only || untouched(*g.facts)) return false;
                              const std::vector<PinnedColumn>& pinned =
                                  g.point_column.empty() || !pinned_by ? none : pinned_by();
                              auto point = std::find_if(pinned.begin(), pinned.end(), [&](const PinnedColumn& p) {
                                return p.column == g.point_column;
                              });
                              bool about_one_value = !g.point_column.empty() && point != pinned.end() && set &&
                                                     std::find(set->begin(), set->end(), g.point_column) == set->end();
                              forget(g.keys);
                              g.keys.clear();
                              if (about_one_value) {
                                // Only the reads of the rows it writes.
                                auto same = g.by_value.find(point->value);
                                if (same != g.by_value.end()) {
                                  forget(same->second);
                                  g.by_value.erase(same);
                                }
                                return g.by_value.empty();
                              }
                              for (const auto& [value, keys] : g.by_value) forget(keys);
                              return true;
                            }),
             list.end());
  if (list.empty()) by_table_.erase(groups);
}

}  // namespace db
