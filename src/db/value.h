// A database/variant value with the conversion rules of the platform the shops' data
// was written for: banker's rounding in CLng, "Invalid use of Null", decimal comma.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

namespace db {

// A run-time error with the platform's error number and description.
class VbError : public std::runtime_error {
 public:
  VbError(int number, const std::string& description)
      : std::runtime_error(description), number_(number) {}
  int number() const { return number_; }

  static VbError InvalidUseOfNull() { return VbError(94, "Invalid use of Null"); }
  static VbError TypeMismatch() { return VbError(13, "Type mismatch"); }
  static VbError Overflow() { return VbError(6, "Overflow"); }
  static VbError DivisionByZero() { return VbError(11, "Division by zero"); }

 private:
  int number_;
};

// A date as the platform keeps it: days since 30/12/1899, the fraction is the time.
struct Date {
  double serial = 0;

  static Date FromParts(int year, int month, int day, int hour = 0, int minute = 0,
                        int second = 0, int millisecond = 0);
  struct Parts {
    int year, month, day, hour, minute, second, millisecond;
  };
  // Broken down, rounded to the millisecond.
  Parts ToParts() const;
  Date DateOnly() const;
  bool HasTime() const;
  bool operator==(const Date& o) const { return serial == o.serial; }
};

enum class Type { Null, Boolean, Long, LongLong, Double, Text, Date };

class Value {
 public:
  Value() = default;  // Null
  Value(bool b) : v_(b) {}
  Value(int i) : v_(static_cast<int32_t>(i)) {}
  Value(int64_t i) : v_(i) {}
  Value(double d) : v_(d) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(std::string s) : v_(std::move(s)) {}
  Value(std::string_view s) : v_(std::string(s)) {}
  Value(Date d) : v_(d) {}
  static Value Null() { return Value(); }

  Type type() const { return static_cast<Type>(v_.index()); }
  bool IsNull() const { return type() == Type::Null; }
  bool IsText() const { return type() == Type::Text; }
  bool IsDate() const { return type() == Type::Date; }
  bool IsNumber() const;  // Boolean, Long, LongLong or Double

  bool AsBool() const { return std::get<bool>(v_); }
  int32_t AsLong() const { return std::get<int32_t>(v_); }
  int64_t AsLongLong() const { return std::get<int64_t>(v_); }
  double AsDouble() const { return std::get<double>(v_); }
  const std::string& AsText() const { return std::get<std::string>(v_); }
  Date AsDate() const { return std::get<Date>(v_); }

  // Same type and same content (Null equals Null).
  bool operator==(const Value& o) const;

  // Debug rendering, never used in SQL or logs.
  std::string DebugString() const;

 private:
  std::variant<std::monostate, bool, int32_t, int64_t, double, std::string, Date> v_;
};

// Readable values in test failures.
void PrintTo(const Value& v, std::ostream* os);

// The platform's conversions. All throw VbError as the platform raises its errors.
int32_t CLng(const Value& v);      // half to even; Null and out of range fail
int16_t CInt(const Value& v);      // the same on 16 bits
double CDbl(const Value& v);
bool CBool(const Value& v);
std::string CStr(const Value& v);  // Null fails; numbers with decimal comma
Date CDate(const Value& v);
bool IsNumeric(const Value& v);
bool IsDate(const Value& v);

// Rounds half to even, as the platform's integer conversions do.
double RoundHalfEven(double x);

// Text <-> number and date with the fixed regional convention.
bool ParseNumber(std::string_view text, double* out);
bool ParseDate(std::string_view text, Date* out);
std::string FormatDouble(double d);          // "1234,5", "1E+15"
std::string FormatDate(const Date& d);       // "04/12/2026 19:05:11", date or time alone
std::string FormatPattern(const Date& d, std::string_view pattern);  // dd MM yyyy HH hh mm ss
// Numeric format patterns of the kind "###,##0.00": grouping when the pattern has a
// comma, as many decimals as zeros after the point; thousands point, decimal comma.
std::string FormatNumber(double d, std::string_view pattern);
// ISO text as stored in SQLite ("2026-12-04 19:05:11"), and back.
std::string ToIso(const Date& d);
bool ParseIso(std::string_view text, Date* out);

}  // namespace db
