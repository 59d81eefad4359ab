// On SQL Server a unit of work reads the rows it is about to change (document counters,
// stock levels, what is left on a goods voucher) with update locks, so that two tills writing one back office take turns on
// them instead of both reading the same value and one update overwriting the other.
#pragma once

#include <string>

namespace db::odbc {

// The query with "WITH (UPDLOCK, ROWLOCK)" after its table when it is a plain SELECT of
// tabProgressivi, tabGiacenze or tabBuoniMerce rows (not an aggregate) that carries no table hint yet;
// any other text comes back unchanged.
std::string WithUpdateLocks(const std::string& sql);

}  // namespace db::odbc
