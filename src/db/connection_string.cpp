#include "db/connection_string.h"

#include "util/text.h"

namespace db {

ConnectionString ConnectionString::Parse(std::string_view text) {
  ConnectionString cs;
  size_t i = 0;
  while (i < text.size()) {
    size_t eq = text.find('=', i);
    size_t semi = text.find(';', i);
    if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
      // A fragment without '=' carries no value; skip it.
      if (semi == std::string_view::npos) break;
      i = semi + 1;
      continue;
    }
    std::string key(util::Trim(text.substr(i, eq - i)));
    size_t v = eq + 1;
    while (v < text.size() && text[v] == ' ') ++v;
    std::string value;
    if (v < text.size() && (text[v] == '"' || text[v] == '\'')) {
      // Quoted value; a doubled quote stands for itself.
      char q = text[v++];
      while (v < text.size()) {
        if (text[v] == q) {
          if (v + 1 < text.size() && text[v + 1] == q) {
            value += q;
            v += 2;
            continue;
          }
          ++v;
          break;
        }
        value += text[v++];
      }
      size_t end = text.find(';', v);
      i = end == std::string_view::npos ? text.size() : end + 1;
    } else {
      size_t end = text.find(';', v);
      if (end == std::string_view::npos) end = text.size();
      value = std::string(util::Trim(text.substr(v, end - v)));
      i = end + 1;
    }
    if (!key.empty()) cs.items_.emplace_back(std::move(key), std::move(value));
  }
  return cs;
}

std::optional<std::string> ConnectionString::Get(std::string_view key) const {
  for (const auto& [k, v] : items_) {
    if (util::EqualsNoCase(k, key)) return v;
  }
  return std::nullopt;
}

}  // namespace db
