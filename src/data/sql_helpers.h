// How values become SQL text and back: the program builds all SQL by concatenation, so
// the exact text these helpers produce is part of the dialect both databases receive.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "db/recordset.h"
#include "db/value.h"
#include "core/context.h"

namespace velkaris {

// The database kind callers pass: 2 is SQL Server.
inline constexpr int32_t kSqlServer = 2;

// The value, or the default when the value is Null. The typed value is returned; callers
// convert it (CLng, CDbl, CStr, CDate) with the same regional rules the text would have.
db::Value TestNull(Context& ctx, const db::Value& value, const db::Value& fallback);
// Doubles every apostrophe, for texts put inside '...' literals.
std::string Apice(Context& ctx, std::string_view text);
// "1" (kind 0: "-1") for True, "0" for False; kind -1 counts as 2.
std::string BooleanForSql(Context& ctx, bool value, int32_t kind = kSqlServer);
// A quoted date literal: '04/12/2026', '19:05:11:000' or '04/12/2026 19:05:11:000' (without
// the ":000" when without_ms). A kind of -1 is set to 2 in the caller's variable.
std::string DateForSql(Context& ctx, const std::string& date_text, bool time_only,
                       bool date_and_time, int32_t& kind, bool without_ms);
std::string DateForSql(Context& ctx, const db::Date& date, bool time_only, bool date_and_time,
                       bool without_ms);
// Rounds half up (towards plus infinity) to `decimals`; 0 for Null or non-numeric values.
double Euro(Context& ctx, const db::Value& value, int16_t decimals);
// Rounds to a multiple of the step, halves to even; a step of 0 leaves the value.
double ArrotondamentoValuta(Context& ctx, double value, double step);
// The date-time of the text Data & " " & Ora of a POS row; a Null Data is today, a Null
// Ora the current time.
db::Date DataOra(Context& ctx, const db::Value& data, const db::Value& ora);
// Closes the recordset when open and releases it; never fails.
void CloseRS(std::unique_ptr<db::Recordset>& rs) noexcept;

}  // namespace velkaris
