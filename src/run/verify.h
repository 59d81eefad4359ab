// `velkaris verify`: connects to the front office and the back office named in the registry
// (reading only, writing no log) and prints the reconciliation of this till for a range of
// days.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "db/value.h"
#include "platform/registry.h"

namespace velkaris {

// "dd/mm/yyyy" or "yyyy-mm-dd"; nothing when the text is not a day of the calendar.
std::optional<db::Date> ParseDay(const std::string& text);

// Returns the exit status: 0 everything agrees (checks that cannot be made on this back
// office are shown as unknown), 1 something differs,
// 2 the check could not be made (registry, days, connections).
int Verify(const platform::Registry& registry, const std::string& from, const std::string& to, FILE* out,
           FILE* err);

}  // namespace velkaris
