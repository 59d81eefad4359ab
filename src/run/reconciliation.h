// Reconciliation of one till's front office with the back office over a range of days:
// printed POS receipts and their totals against back-office receipts, POS rows flagged
// exported against receipt rows, a movement for every receipt row of an article, receipts
// that failed, and stock rows against their movements. Reads only; plain SQL on either
// backend.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/value.h"

namespace velkaris {

struct DayRange {
  std::optional<db::Date> from, to;  // whole days, both included; none: no bound
};

struct Check {
  explicit Check(std::string what) : what(std::move(what)) {}
  std::string what;
  std::string front, back;  // the two figures as shown ("" where a side has none)
  enum Result { kAgrees, kDiffers, kUnknown } result = kAgrees;
  std::vector<std::string> details;  // lines that explain a difference
};

std::vector<Check> Reconcile(db::Connection& front, db::Connection& back, int32_t till, const DayRange& days);

// The table of the checks, one line each, with their details below.
std::string FormatChecks(const std::vector<Check>& checks);

}  // namespace velkaris
