#include "data/sql_helpers.h"

#include <cmath>

#include "core/failure.h"
#include "util/text.h"

namespace velkaris {

db::Value TestNull(Context& ctx, const db::Value& value, const db::Value& fallback) {
  return value.IsNull() ? fallback : value;
}

std::string Apice(Context& ctx, std::string_view text) {
  std::string result;
  Guarded(ctx, "Apice", [&] { result = util::ReplaceAll(text, "'", "''"); });
  return result;
}

std::string BooleanForSql(Context& ctx, bool value, int32_t kind) {
  if (kind == -1) kind = kSqlServer;
  if (kind == 0) return value ? "-1" : "0";
  return value ? "1" : "0";
}

std::string DateForSql(Context& ctx, const std::string& date_text, bool time_only,
                       bool date_and_time, int32_t& kind, bool without_ms) {
  std::string result;
  Guarded(ctx, "DateForSql", [&] {
    if (kind == -1) kind = kSqlServer;
    db::Date d;
    bool is_date = db::ParseDate(date_text, &d);
    auto format = [&](std::string_view pattern) {
      return is_date ? db::FormatPattern(d, pattern) : date_text;
    };
    if (date_and_time || time_only) {
      std::string formatted = format(date_and_time ? "dd/MM/yyyy hh:mm:ss" : "hh:mm:ss");
      result = without_ms ? "'" + formatted + "'" : "'" + formatted + ".000'";
      result = util::ReplaceAll(result, ".", ":");
    } else {
      result = "'" + format("dd/MM/yyyy") + "'";
    }
  });
  return result;
}

std::string DateForSql(Context& ctx, const db::Date& date, bool time_only, bool date_and_time,
                       bool without_ms) {
  int32_t kind = kSqlServer;
  return DateForSql(ctx, db::CStr(db::Value(date)), time_only, date_and_time, kind, without_ms);
}

double Euro(Context& ctx, const db::Value& value, int16_t decimals) {
  double result = 0;
  Guarded(ctx, "Euro", [&] {
    if (value.IsNull() || !db::IsNumeric(value)) return;
    double x = db::CDbl(value);
    double p = std::pow(10.0, decimals);
    double t = p * x + 0.5;
    // Round to decimals + 5 places first, to drop the noise of the binary representation.
    double scale = std::pow(10.0, decimals + 5);
    double scaled = t * scale;
    if (!std::isfinite(scaled)) throw db::VbError::Overflow();
    t = db::RoundHalfEven(scaled) / scale;
    result = std::floor(t) / p;
  });
  return result;
}

double ArrotondamentoValuta(Context& ctx, double value, double step) {
  double result = 0;
  Guarded(ctx, "ArrotondamentoValuta", [&] {
    if (step == 0) {
      result = value;
      return;
    }
    double q = value / step;
    if (!std::isfinite(q)) throw db::VbError::Overflow();
    result = db::RoundHalfEven(q) * step;
  });
  return result;
}

db::Date DataOra(Context& ctx, const db::Value& data, const db::Value& ora) {
  db::Date now = ctx.clock.Now();
  db::Date today = now.DateOnly();
  std::string day = db::CStr(TestNull(ctx, data, db::Value(today)));
  std::string time = db::CStr(TestNull(ctx, ora, db::Value(db::Date{now.serial - today.serial})));
  return db::CDate(db::Value(day + " " + time));
}

void CloseRS(std::unique_ptr<db::Recordset>& rs) noexcept {
  try {
    if (rs && rs->State() != 0) rs->Close();
  } catch (...) {
  }
  rs.reset();
}

}  // namespace velkaris
