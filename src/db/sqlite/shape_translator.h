// T-SQL texts rewritten for SQLite once per shape. The program writes its values into its
// SQL texts, so nearly every text is new while its shape (the text without its literals)
// repeats. The rewriting treats a literal by its class only (number, text, day/month/year
// date): it keeps it, drops its trailing blanks (text comparisons), adds a bound to it
// (index ranges) or turns it into ISO (dates). So a shape is rewritten once with marker
// values, and from where the markers land each later text's values are placed directly.
// A shape whose rewriting depends on the values themselves is rewritten every time.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "db/sqlite/literal_parameters.h"

namespace db::sqlite {

class ShapeTranslator {
 public:
  // The SQLite text (with numbered parameters) and the values for a T-SQL text: the same
  // as ParameterizeLiterals(TsqlToSqlite(tsql)).
  ParameterizedSql Translate(const std::string& tsql);

 private:
  enum class From { kSame, kTrimmed, kTrimmedBound, kDate, kConstant };
  struct Source {
    From from = From::kSame;
    size_t literal = 0;
    Value constant;
  };
  struct Plan {
    bool by_shape = false;  // false: the values steer the rewriting; rewrite each text
    bool each_once = false;  // no literal feeds two parameters: a kept value may be moved
    std::string text;
    std::vector<Source> sources;
  };
  Plan MakePlan(const ParameterizedSql& shape, const std::string& classes) const;

  std::unordered_map<std::string, Plan> plans_;
  std::string key_;  // the key of the last text, its buffer kept from one text to the next
};

}  // namespace db::sqlite
