// ADO-style connection strings: "Key=Value;Key2=Value2;" with optional quoting.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace db {

class ConnectionString {
 public:
  static ConnectionString Parse(std::string_view text);

  // Value of the first item whose key matches without regard to case or
  // surrounding blanks.
  std::optional<std::string> Get(std::string_view key) const;
  const std::vector<std::pair<std::string, std::string>>& items() const { return items_; }

 private:
  std::vector<std::pair<std::string, std::string>> items_;
};

}  // namespace db
