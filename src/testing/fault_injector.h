// Test support: makes chosen statements of a connection fail, and records every
// statement text the connection sends (to check which deletes ran, in which order).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db/connection.h"

namespace testing_support {

class FaultInjector {
 public:
  FaultInjector();
  // The nth statement (1-based) sent after attaching fails with `message`.
  FaultInjector& FailNth(int n, std::string message);
  // Statements containing `pattern` (without regard to case) fail with `message`: the
  // first `skip` of them pass, then `times` of them fail (all when times < 0).
  FaultInjector& FailMatching(std::string pattern, std::string message, int times = -1, int skip = 0);
  // Installs the hook on a connection; several connections may share one injector.
  void Attach(db::Connection& connection);

  const std::vector<std::string>& statements() const;
  // Statements containing `pattern`, in the order sent.
  std::vector<std::string> StatementsMatching(const std::string& pattern) const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace testing_support
