#include "db/odbc/update_locks.h"

#include <cctype>

#include "util/text.h"

namespace db::odbc {
namespace {

bool NameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '[' || c == ']'; }

// Where the word `word` starts in `lower` as a whole word, from `from`; npos when absent.
size_t FindWord(const std::string& lower, const std::string& word, size_t from = 0) {
  for (size_t at = lower.find(word, from); at != std::string::npos; at = lower.find(word, at + 1)) {
    bool before = at == 0 || !NameChar(lower[at - 1]);
    bool after = at + word.size() >= lower.size() || !NameChar(lower[at + word.size()]);
    if (before && after) return at;
  }
  return std::string::npos;
}

}  // namespace

std::string WithUpdateLocks(const std::string& sql) {
  std::string lower = util::ToLower(sql);
  if (lower.find_first_not_of(" \t\r\n") != lower.find("select")) return sql;
  if (lower.find("sum(") != std::string::npos || lower.find(" with (") != std::string::npos ||
      FindWord(lower, "join") != std::string::npos) {
    return sql;
  }
  size_t from = FindWord(lower, "from");
  if (from == std::string::npos) return sql;
  size_t start = lower.find_first_not_of(" \t\r\n", from + 4);
  if (start == std::string::npos) return sql;
  size_t end = start;
  while (end < lower.size() && NameChar(lower[end])) ++end;
  std::string table = lower.substr(start, end - start);
  for (const char* prefix : {"dbo.", "[dbo]."}) {
    if (table.rfind(prefix, 0) == 0) table = table.substr(std::string(prefix).size());
  }
  if (!table.empty() && table.front() == '[' && table.back() == ']') table = table.substr(1, table.size() - 2);
  if (table != "tabprogressivi" && table != "tabgiacenze" && table != "tabbuonimerce") return sql;
  return sql.substr(0, end) + " WITH (UPDLOCK, ROWLOCK)" + sql.substr(end);
}

}  // namespace db::odbc
