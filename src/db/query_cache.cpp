#include "db/query_cache.h"

#include <algorithm>
#include <cctype>

#include "util/text.h"

namespace db {
namespace {

constexpr size_t kMaxEntries = 4096;
constexpr size_t kMaxWrites = 1024;

// Master data: no statement of a pass writes these tables.
bool IsMasterTable(const std::string& table) {
  static const char* kMaster[] = {"tabimpostazioni", "tabcausali", "tabaliquoteiva", "tabvalute",
                                  "tabpersonale",    "tabconti",   "tabclienti",     "tabfidelity_regole"};
  return std::any_of(std::begin(kMaster), std::end(kMaster), [&](const char* t) { return table == t; });
}

bool NameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '"' || c == '[' || c == ']';
}

// The names and the punctuation that matters, lower case, outside string literals.
std::vector<std::string> Words(const std::string& sql) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false;
  for (char c : sql) {
    if (c == '\'') quoted = !quoted;
    if (quoted) continue;
    if (NameChar(c)) {
      word += util::AsciiLower(c);
    } else {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
      if (c == '(' || c == ')' || c == ',' || c == '=' || c == '*') words.emplace_back(1, c);
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

// "dbo.tabx", "[dbo].[tabx]", "\"tabx\"" -> "tabx".
std::string Bare(std::string word) {
  word.erase(std::remove_if(word.begin(), word.end(), [](char c) { return c == '"' || c == '[' || c == ']'; }),
             word.end());
  size_t dot = word.rfind('.');
  return dot == std::string::npos ? word : word.substr(dot + 1);
}

bool IsEmptyColumnRead(const std::string& sql) {
  static const std::string kTail = " where 1=2";
  return sql.size() > kTail.size() && util::StartsWithNoCase(sql, "select * from ") &&
         util::EqualsNoCase(std::string_view(sql).substr(sql.size() - kTail.size()), kTail);
}

std::vector<std::string> TablesIn(const std::vector<std::string>& words) {
  std::vector<std::string> tables;
  for (size_t i = 0; i + 1 < words.size(); ++i) {
    if ((words[i] == "from" || words[i] == "join") && words[i + 1] != "(") tables.push_back(Bare(words[i + 1]));
  }
  return tables;
}

}  // namespace

std::vector<std::string> TablesRead(const std::string& sql) { return TablesIn(Words(sql)); }

std::string TableWritten(const std::string& sql) {
  std::vector<std::string> words = Words(sql);
  if (words.empty()) return "";
  size_t at = 1;
  if (words[0] == "insert" || words[0] == "delete") {
    if (at < words.size() && (words[at] == "into" || words[at] == "from")) ++at;
  } else if (words[0] != "update") {
    return "";
  }
  return at < words.size() ? Bare(words[at]) : "";
}

std::vector<std::string> ColumnsSet(const std::string& sql) {
  std::vector<std::string> words = Words(sql), columns;
  if (words.empty() || words[0] != "update") return columns;
  size_t i = 0;
  while (i < words.size() && words[i] != "set") ++i;
  // name = value, name = value ... up to FROM or WHERE outside parentheses
  int depth = 0;
  bool expect_name = true;
  for (++i; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (w == "(") ++depth;
    if (w == ")") --depth;
    if (depth == 0 && (w == "from" || w == "where")) break;
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
  std::vector<std::string> words = Words(sql);
  std::vector<std::string> tables = TablesIn(words);
  if (tables.empty()) return;
  bool columns_only = IsEmptyColumnRead(sql);
  bool master = columns_only || std::all_of(tables.begin(), tables.end(), IsMasterTable);
  if (!master && !(policy_ == ReadCache::kAll && exclusive)) return;
  if (entries_.size() >= kMaxEntries) Clear();
  Entry entry{result, tables, columns_only, master, false, {}};
  for (std::string& w : words) {
    if (w == "*") entry.star = true;
    entry.words.push_back(Bare(std::move(w)));
  }
  for (const std::string& t : tables) by_table_[t].push_back(sql);
  entries_[sql] = std::move(entry);
}

const QueryCache::Write& QueryCache::WriteOf(const std::string& sql) {
  auto it = writes_.find(sql);
  if (it != writes_.end()) return it->second;
  if (writes_.size() >= kMaxWrites) writes_.clear();
  Write w;
  std::string lower = util::ToLower(util::Trim(std::string_view(sql).substr(0, std::min<size_t>(sql.size(), 32))));
  w.read_only = lower.rfind("select", 0) == 0;
  if (!w.read_only) {
    w.table = TableWritten(sql);
    w.columns = ColumnsSet(sql);
  }
  return writes_.emplace(sql, std::move(w)).first->second;
}

void QueryCache::Written(const std::string& sql) {
  if (entries_.empty()) return;
  const Write& w = WriteOf(sql);
  if (w.read_only) return;
  if (w.table.empty()) {
    Clear();  // a statement we cannot read: forget everything
    return;
  }
  auto keys = by_table_.find(w.table);
  if (keys == by_table_.end()) return;
  // An UPDATE changes only the columns it sets: a read that names none of them (and does
  // not read "*") keeps its answer.
  auto touches = [&](const Entry& e) {
    if (e.columns_only) return false;
    if (w.columns.empty() || e.star) return true;
    return std::any_of(w.columns.begin(), w.columns.end(), [&](const std::string& c) {
      return std::find(e.words.begin(), e.words.end(), c) != e.words.end();
    });
  };
  std::vector<std::string> kept;
  for (const std::string& key : keys->second) {
    auto it = entries_.find(key);
    if (it == entries_.end()) continue;
    if (touches(it->second)) {
      entries_.erase(it);
    } else {
      kept.push_back(key);
    }
  }
  keys->second = std::move(kept);
}

}  // namespace db
