#include "db/sqlite/shape_translator.h"

#include <cctype>

#include "db/dialect.h"
#include "util/text.h"

namespace db::sqlite {
namespace {

constexpr size_t kMaxPlans = 2048;
constexpr int64_t kMarkerBase = 7'770'000'000;  // marker numbers: far from any real value

// Marker texts: unique, with a trailing blank so that a dropped blank shows.
std::string TextMarker(size_t i) { return "\x01" + std::to_string(i) + "\x02 "; }
// Marker dates: a year of their own, so that each ISO form names its literal.
std::string DateMarker(size_t i) { return "01/01/" + std::to_string(1000 + i); }

std::string RightTrimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// 'n' number, 't' text, 'd' text the rewriting reads as a date.
char ClassOf(const Value& v) {
  if (v.type() != Type::Text) return 'n';
  return SqliteDateText(v.AsText()) != v.AsText() ? 'd' : 't';
}

// The shape with the markers in place of its numbered parameters.
std::string WithMarkers(const ParameterizedSql& shape, const std::string& classes) {
  std::string out;
  const std::string& s = shape.text;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\'' || s[i] == '"' || s[i] == '[') {  // a literal or a name kept in the shape
      char close = s[i] == '[' ? ']' : s[i];
      size_t end = s.find(close, i + 1);
      while (end != std::string::npos && close != ']' && end + 1 < s.size() && s[end + 1] == close) {
        end = s.find(close, end + 2);
      }
      end = end == std::string::npos ? s.size() : end + 1;
      out.append(s, i, end - i);
      i = end - 1;
      continue;
    }
    if (s[i] != '?' || i + 1 >= s.size() || !util::IsAsciiDigit(s[i + 1])) {
      out += s[i];
      continue;
    }
    size_t end = i + 1;
    while (end < s.size() && util::IsAsciiDigit(s[end])) ++end;
    size_t n = std::stoul(s.substr(i + 1, end - i - 1)) - 1;
    char c = n < classes.size() ? classes[n] : 'n';
    out += c == 'n' ? std::to_string(kMarkerBase + static_cast<int64_t>(n))
                    : "'" + (c == 'd' ? DateMarker(n) : TextMarker(n)) + "'";
    i = end - 1;
  }
  return out;
}

}  // namespace

ShapeTranslator::Plan ShapeTranslator::MakePlan(const ParameterizedSql& shape, const std::string& classes) const {
  Plan plan;
  ParameterizedSql marked = ParameterizeLiterals(TsqlToSqlite(WithMarkers(shape, classes)));
  if (marked.text.find('\x01') != std::string::npos) return plan;  // a marker left in the text
  std::vector<bool> used(classes.size(), false);
  for (const Value& v : marked.params) {
    Source src;
    bool found = false;
    for (size_t i = 0; i < classes.size() && !found; ++i) {
      src.literal = i;
      if (classes[i] == 'n') {
        found = v.type() == Type::LongLong && v.AsLongLong() == kMarkerBase + static_cast<int64_t>(i);
        src.from = From::kSame;
      } else if (v.type() == Type::Text) {
        const std::string& t = v.AsText();
        std::string marker = classes[i] == 'd' ? DateMarker(i) : TextMarker(i);
        if (classes[i] == 'd') {
          found = t == SqliteDateText(marker), src.from = From::kDate;
        } else if (t == marker) {
          found = true, src.from = From::kSame;
        } else if (t == RightTrimmed(marker)) {
          found = true, src.from = From::kTrimmed;
        } else if (t == RightTrimmed(marker) + "!") {
          found = true, src.from = From::kTrimmedBound;
        }
      }
    }
    if (found) {
      used[src.literal] = true;
    } else {
      if (v.type() == Type::Text && v.AsText().find('\x01') != std::string::npos) return plan;
      if (v.type() == Type::LongLong && v.AsLongLong() >= kMarkerBase) return plan;
      src.from = From::kConstant;  // a literal the rewriting writes itself
      src.constant = v;
    }
    plan.sources.push_back(std::move(src));
  }
  for (bool u : used) {
    if (!u) return plan;  // a value the rewriting consumed: it depends on the value
  }
  std::vector<int> uses(classes.size(), 0);
  plan.each_once = true;
  for (const Source& src : plan.sources) {
    if (src.from != From::kConstant && ++uses[src.literal] > 1) plan.each_once = false;
  }
  plan.by_shape = true;
  plan.text = std::move(marked.text);
  return plan;
}

ParameterizedSql ShapeTranslator::Translate(const std::string& tsql) {
  ParameterizedSql shape = ParameterizeLiterals(tsql);
  std::string classes;
  for (const Value& v : shape.params) classes += ClassOf(v);
  key_.assign(shape.text);
  key_ += '\x03';
  key_ += classes;
  auto it = plans_.find(key_);
  if (it == plans_.end()) {
    if (plans_.size() >= kMaxPlans) plans_.clear();
    it = plans_.emplace(key_, MakePlan(shape, classes)).first;
  }
  const Plan& plan = it->second;
  if (!plan.by_shape) return ParameterizeLiterals(TsqlToSqlite(tsql));
  ParameterizedSql out;
  out.text = plan.text;
  out.params.reserve(plan.sources.size());
  for (const Source& s : plan.sources) {
    switch (s.from) {
      case From::kSame:
        out.params.push_back(plan.each_once ? std::move(shape.params[s.literal]) : shape.params[s.literal]);
        break;
      case From::kTrimmed: out.params.push_back(Value(RightTrimmed(shape.params[s.literal].AsText()))); break;
      case From::kTrimmedBound:
        out.params.push_back(Value(RightTrimmed(shape.params[s.literal].AsText()) + "!"));
        break;
      case From::kDate: out.params.push_back(Value(SqliteDateText(shape.params[s.literal].AsText()))); break;
      case From::kConstant: out.params.push_back(s.constant); break;
    }
  }
  return out;
}

}  // namespace db::sqlite
