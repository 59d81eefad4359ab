#include "testing/fault_injector.h"

#include "db/error.h"
#include "util/text.h"

namespace testing_support {

struct FaultInjector::State {
  struct Rule {
    int nth = 0;  // 0: match by pattern
    std::string pattern, message;
    int times = -1;
    int skip = 0;
  };
  std::vector<Rule> rules;
  std::vector<std::string> statements;

  void Check(const std::string& sql) {
    statements.push_back(sql);
    int n = static_cast<int>(statements.size());
    std::string lower = util::ToLower(sql);
    for (Rule& r : rules) {
      bool hit = r.nth > 0 ? r.nth == n
                           : r.times != 0 && lower.find(util::ToLower(r.pattern)) != std::string::npos;
      if (!hit) continue;
      if (r.skip > 0) {
        --r.skip;
        continue;
      }
      if (r.times > 0) --r.times;
      throw db::Error(r.message);
    }
  }
};

FaultInjector::FaultInjector() : state_(std::make_shared<State>()) {}

FaultInjector& FaultInjector::FailNth(int n, std::string message) {
  state_->rules.push_back({n, "", std::move(message), -1, 0});
  return *this;
}

FaultInjector& FaultInjector::FailMatching(std::string pattern, std::string message, int times, int skip) {
  state_->rules.push_back({0, std::move(pattern), std::move(message), times, skip});
  return *this;
}

void FaultInjector::Attach(db::Connection& connection) {
  std::shared_ptr<State> state = state_;
  connection.set_statement_hook([state](const std::string& sql) { state->Check(sql); });
}

const std::vector<std::string>& FaultInjector::statements() const { return state_->statements; }

std::vector<std::string> FaultInjector::StatementsMatching(const std::string& pattern) const {
  std::vector<std::string> out;
  for (const std::string& s : state_->statements) {
    if (util::ToLower(s).find(util::ToLower(pattern)) != std::string::npos) out.push_back(s);
  }
  return out;
}

}  // namespace testing_support
