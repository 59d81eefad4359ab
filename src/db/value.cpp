#include "db/value.h"

#include "util/text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <ostream>
#include <utility>

namespace db {
namespace {

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yy + (*m <= 2));
}

const int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
  return kDays[m - 1];
}

// Splits "12:30:05" style groups of digits separated by any of `seps`.
bool SplitNumbers(std::string_view s, std::string_view seps, int max_parts, int* parts,
                  int* count, int* widths = nullptr) {
  *count = 0;
  size_t i = 0;
  while (i <= s.size()) {
    if (*count == max_parts) return false;
    size_t start = i;
    long value = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
      value = value * 10 + (s[i] - '0');
      if (value > 1000000) return false;
      ++i;
    }
    if (i == start) return false;
    if (widths) widths[*count] = static_cast<int>(i - start);
    parts[(*count)++] = static_cast<int>(value);
    if (i == s.size()) return true;
    if (seps.find(s[i]) == std::string_view::npos) return false;
    ++i;
  }
  return false;
}

bool ValidTime(int h, int mi, int s, int ms) {
  return h >= 0 && h < 24 && mi >= 0 && mi < 60 && s >= 0 && s < 60 && ms >= 0 && ms < 1000;
}

bool ValidDate(int y, int m, int d) {
  return y >= 100 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m);
}

bool ParseTimePart(std::string_view s, double* fraction) {
  int p[4] = {0, 0, 0, 0}, n = 0;
  if (!SplitNumbers(s, ":.", 4, p, &n) || n < 2) return false;
  if (!ValidTime(p[0], p[1], p[2], p[3])) return false;
  *fraction = (p[0] * 3600000.0 + p[1] * 60000.0 + p[2] * 1000.0 + p[3]) / 86400000.0;
  return true;
}

// Digits of |d| with 15 significant digits and the position of the decimal point.
struct Decimal {
  std::string digits;  // no leading zeros unless the value is 0
  int point = 0;       // digits before the decimal point (may be <= 0 or > size)
  bool negative = false;
};

Decimal ToDecimal(double d) {
  Decimal r;
  if (d == 0 || !std::isfinite(d)) {
    r.digits = "0";
    r.point = 1;
    return r;
  }
  r.negative = d < 0;
  char buf[64];
  // "d.dddddddddddddde+XX", correctly rounded as printf's "%.14e"
  char* end = std::to_chars(buf, buf + sizeof buf, std::fabs(d), std::chars_format::scientific, 14).ptr;
  std::string_view s(buf, end - buf);
  size_t e = s.find('e');
  r.digits.reserve(e);
  r.digits += s[0];
  r.digits.append(s.substr(2, e - 2));
  std::string_view exponent = s.substr(e + 1);  // "+XX" or "-XX"
  if (!exponent.empty() && exponent[0] == '+') exponent.remove_prefix(1);
  int x = 0;
  std::from_chars(exponent.data(), exponent.data() + exponent.size(), x);
  r.point = x + 1;
  return r;
}

// Rounds half away from zero to `decimals` places; returns integer and fraction digits.
void RoundDecimal(const Decimal& in, int decimals, std::string* int_part, std::string* frac) {
  std::string digits = in.digits;
  int point = in.point;
  int keep = point + decimals;
  if (keep < 0) {
    digits = "0";
    point = 1;
  } else if (keep < static_cast<int>(digits.size())) {
    bool up = digits[keep] >= '5';
    digits.resize(keep);
    if (up) {
      int i = keep - 1;
      while (i >= 0 && digits[i] == '9') digits[i--] = '0';
      if (i >= 0) {
        ++digits[i];
      } else {
        digits.insert(digits.begin(), '1');
        ++point;
      }
    }
    if (digits.empty()) {
      digits = "0";
      point = 1;
    }
  }
  // Lay the digits out around the point.
  std::string ip, fp;
  for (int i = 0; i < point; ++i) ip += i < static_cast<int>(digits.size()) ? digits[i] : '0';
  for (int i = point; i < point + decimals; ++i) {
    fp += (i >= 0 && i < static_cast<int>(digits.size())) ? digits[i] : '0';
  }
  size_t nz = ip.find_first_not_of('0');
  ip = nz == std::string::npos ? "" : ip.substr(nz);
  *int_part = ip;
  *frac = fp;
}

// `v` with at least `width` digits, zeros in front, as printf's "%0<width>d".
void AppendPadded(std::string& out, int v, int width) {
  char b[16];
  char* end = std::to_chars(b, b + sizeof b, v).ptr;
  if (v < 0) {
    out += '-';
    --width;
  }
  const char* digits = v < 0 ? b + 1 : b;
  out.append(std::max(0, width - static_cast<int>(end - digits)), '0');
  out.append(digits, static_cast<size_t>(end - digits));
}

}  // namespace

// ---- Date -----------------------------------------------------------------

Date Date::FromParts(int year, int month, int day, int hour, int minute, int second,
                     int millisecond) {
  double days = static_cast<double>(DaysFromCivil(year, month, day) - kEpochDays);
  double frac = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / 86400000.0;
  // Before 30/12/1899 the whole part counts down while the time still counts up.
  return Date{days < 0 ? days - frac : days + frac};
}

Date::Parts Date::ToParts() const {
  double whole = std::trunc(serial);
  double frac = std::fabs(serial - whole);
  int64_t ms = std::llround(frac * 86400000.0);
  int64_t day = static_cast<int64_t>(whole);
  if (ms >= 86400000) {
    ms -= 86400000;
    day += serial < 0 ? -1 : 1;
  }
  Parts p{};
  CivilFromDays(day + kEpochDays, &p.year, &p.month, &p.day);
  p.hour = static_cast<int>(ms / 3600000);
  p.minute = static_cast<int>(ms / 60000 % 60);
  p.second = static_cast<int>(ms / 1000 % 60);
  p.millisecond = static_cast<int>(ms % 1000);
  return p;
}

Date Date::DateOnly() const {
  Parts p = ToParts();
  return FromParts(p.year, p.month, p.day);
}

bool Date::HasTime() const {
  Parts p = ToParts();
  return p.hour || p.minute || p.second || p.millisecond;
}

// ---- Value ----------------------------------------------------------------

bool Value::IsNumber() const {
  Type t = type();
  return t == Type::Boolean || t == Type::Long || t == Type::LongLong || t == Type::Double;
}

bool Value::operator==(const Value& o) const {
  if (type() != o.type()) return false;
  switch (type()) {
    case Type::Null: return true;
    case Type::Date: return AsDate().serial == o.AsDate().serial;
    default: return v_ == o.v_;
  }
}

std::string Value::DebugString() const {
  switch (type()) {
    case Type::Null: return "Null";
    case Type::Text: return "\"" + AsText() + "\"";
    case Type::Date: return "#" + FormatDate(AsDate()) + "#";
    default: return CStr(*this);
  }
}

void PrintTo(const Value& v, std::ostream* os) { *os << v.DebugString(); }

// ---- Parsing --------------------------------------------------------------

bool ParseNumber(std::string_view text, double* out) {
  std::string_view s = util::Trim(text);
  if (s.empty()) return false;
  bool neg = false;
  if (s.front() == '+' || s.front() == '-') {
    neg = s.front() == '-';
    s.remove_prefix(1);
    s = util::Trim(s);
  }
  std::string normal;
  bool digits = false, decimal = false;
  size_t i = 0;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (std::isdigit(static_cast<unsigned char>(c))) {
      normal += c;
      digits = true;
    } else if (c == '.' && !decimal) {
      continue;  // thousands separator
    } else if (c == ',' && !decimal) {
      decimal = true;
      normal += '.';
    } else {
      break;
    }
  }
  if (!digits) return false;
  if (i < s.size()) {
    if (s[i] != 'e' && s[i] != 'E') return false;
    std::string exp = "e";
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) exp += s[i++];
    if (i >= s.size()) return false;
    for (; i < s.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
      exp += s[i];
    }
    normal += exp;
  }
  double v = std::strtod(normal.c_str(), nullptr);
  if (!std::isfinite(v)) return false;
  *out = neg ? -v : v;
  return true;
}

bool ParseIso(std::string_view text, Date* out) {
  std::string_view s = util::Trim(text);
  if (s.size() >= 10 && s[4] == '-' && s[7] == '-') {
    int p[3], n = 0, w[3];
    if (!SplitNumbers(s.substr(0, 10), "-", 3, p, &n, w) || n != 3 || w[0] != 4) return false;
    if (!ValidDate(p[0], p[1], p[2])) return false;
    Date d = Date::FromParts(p[0], p[1], p[2]);
    if (s.size() > 10) {
      if (s[10] != ' ' && s[10] != 'T') return false;
      double frac = 0;
      if (!ParseTimePart(s.substr(11), &frac)) return false;
      d.serial += d.serial < 0 ? -frac : frac;
    }
    *out = d;
    return true;
  }
  double frac = 0;
  if (s.find(':') != std::string_view::npos && ParseTimePart(s, &frac)) {
    *out = Date{frac};
    return true;
  }
  return false;
}

bool ParseDate(std::string_view text, Date* out) {
  std::string_view s = util::Trim(text);
  if (s.empty()) return false;
  if (ParseIso(s, out)) return true;
  size_t space = s.find(' ');
  std::string_view date_part = s.substr(0, space);
  std::string_view time_part = space == std::string_view::npos ? "" : util::Trim(s.substr(space + 1));
  int p[3], n = 0, w[3];
  if (!SplitNumbers(date_part, "/-.", 3, p, &n, w) || n != 3) return false;
  int year = p[2];
  if (w[2] <= 2) year += year < 30 ? 2000 : 1900;
  if (!ValidDate(year, p[1], p[0])) return false;
  Date d = Date::FromParts(year, p[1], p[0]);
  if (!time_part.empty()) {
    double frac = 0;
    if (!ParseTimePart(time_part, &frac)) return false;
    d.serial += d.serial < 0 ? -frac : frac;
  }
  *out = d;
  return true;
}

// ---- Formatting -----------------------------------------------------------

std::string FormatDouble(double d) {
  if (d == 0) return "0";
  char buf[64];
  // as printf's "%.15G" ("1E+20", "INF"), with a decimal comma
  char* end = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15).ptr;
  std::string s(buf, end);
  for (char& c : s) {
    if (c == '.') c = ',';
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

std::string FormatPattern(const Date& d, std::string_view pattern) {
  // Round to the second, as the platform shows dates.
  Date rounded{d.serial};
  Date::Parts p = rounded.ToParts();
  if (p.millisecond >= 500) {
    rounded.serial += (rounded.serial < 0 ? -1 : 1) * (1000 - p.millisecond) / 86400000.0;
  } else {
    rounded.serial -= (rounded.serial < 0 ? -1 : 1) * p.millisecond / 86400000.0;
  }
  p = rounded.ToParts();
  std::string out;
  for (size_t i = 0; i < pattern.size();) {
    std::string_view rest = pattern.substr(i);
    if (rest.substr(0, 4) == "yyyy") {
      AppendPadded(out, p.year, 4), i += 4;
    } else if (rest.substr(0, 2) == "dd") {
      AppendPadded(out, p.day, 2), i += 2;
    } else if (rest.substr(0, 2) == "MM") {
      AppendPadded(out, p.month, 2), i += 2;
    } else if (rest.substr(0, 2) == "HH" || rest.substr(0, 2) == "hh") {
      AppendPadded(out, p.hour, 2), i += 2;
    } else if (rest.substr(0, 2) == "mm") {
      AppendPadded(out, p.minute, 2), i += 2;
    } else if (rest.substr(0, 2) == "ss") {
      AppendPadded(out, p.second, 2), i += 2;
    } else {
      out += pattern[i++];
    }
  }
  return out;
}

std::string FormatDate(const Date& d) {
  // The day 30/12/1899 prints as the time alone (midnight too), a time of 00:00:00 as the
  // date alone.
  Date::Parts p = Date{d.serial}.ToParts();
  bool date_zero = p.year == 1899 && p.month == 12 && p.day == 30;
  if (date_zero) return FormatPattern(d, "HH:mm:ss");
  bool time_zero = std::llround(std::fabs(d.serial - std::trunc(d.serial)) * 86400.0) % 86400 == 0;
  if (time_zero) return FormatPattern(d, "dd/MM/yyyy");
  return FormatPattern(d, "dd/MM/yyyy HH:mm:ss");
}

std::string FormatNumber(double d, std::string_view pattern) {
  size_t point = pattern.find('.');
  std::string_view int_pat = pattern.substr(0, point);
  std::string_view frac_pat = point == std::string_view::npos ? "" : pattern.substr(point + 1);
  bool grouping = int_pat.find(',') != std::string_view::npos;
  int min_int = 0;
  for (char c : int_pat) min_int += c == '0';
  int max_frac = 0, min_frac = 0;
  for (char c : frac_pat) {
    if (c == '0') ++max_frac, ++min_frac;
    if (c == '#') ++max_frac;
  }
  std::string ip, fp;
  Decimal dec = ToDecimal(d);
  RoundDecimal(dec, max_frac, &ip, &fp);
  while (static_cast<int>(fp.size()) > min_frac && !fp.empty() && fp.back() == '0') fp.pop_back();
  while (static_cast<int>(ip.size()) < min_int) ip.insert(ip.begin(), '0');
  if (grouping) {
    std::string g;
    int n = static_cast<int>(ip.size());
    for (int i = 0; i < n; ++i) {
      g += ip[i];
      int left = n - i - 1;
      if (left > 0 && left % 3 == 0) g += '.';
    }
    ip = g;
  }
  std::string out = ip;
  if (!fp.empty()) out += "," + fp;
  bool all_zero = out.find_first_not_of("0.,") == std::string::npos;
  if (dec.negative && !all_zero) out = "-" + out;
  return out;
}

std::string ToIso(const Date& d) {
  Date::Parts p = d.ToParts();
  std::string s;
  s.reserve(23);
  AppendPadded(s, p.year, 4);
  for (auto [sep, v] : {std::pair{'-', p.month}, {'-', p.day}, {' ', p.hour}, {':', p.minute}, {':', p.second}}) {
    s += sep;
    AppendPadded(s, v, 2);
  }
  if (p.millisecond) {
    s += '.';
    AppendPadded(s, p.millisecond, 3);
  }
  return s;
}

// ---- Conversions ----------------------------------------------------------

double RoundHalfEven(double x) { return std::nearbyint(x); }

namespace {
double RoundToRange(double x, double lo, double hi) {
  double r = RoundHalfEven(x);
  if (!(r >= lo && r <= hi)) throw VbError::Overflow();
  return r;
}
}  // namespace

double CDbl(const Value& v) {
  switch (v.type()) {
    case Type::Null: throw VbError::InvalidUseOfNull();
    case Type::Boolean: return v.AsBool() ? -1.0 : 0.0;
    case Type::Long: return v.AsLong();
    case Type::LongLong: return static_cast<double>(v.AsLongLong());
    case Type::Double: return v.AsDouble();
    case Type::Date: return v.AsDate().serial;
    case Type::Text: {
      double d;
      if (!ParseNumber(v.AsText(), &d)) throw VbError::TypeMismatch();
      return d;
    }
  }
  throw VbError::TypeMismatch();
}

int32_t CLng(const Value& v) {
  if (v.type() == Type::Long) return v.AsLong();
  return static_cast<int32_t>(RoundToRange(CDbl(v), -2147483648.0, 2147483647.0));
}

int16_t CInt(const Value& v) {
  return static_cast<int16_t>(RoundToRange(CDbl(v), -32768.0, 32767.0));
}

bool CBool(const Value& v) {
  if (v.type() == Type::Boolean) return v.AsBool();
  if (v.IsText()) {
    std::string_view t = util::Trim(v.AsText());
    if (util::EqualsNoCase(t, "true")) return true;
    if (util::EqualsNoCase(t, "false")) return false;
  }
  return CDbl(v) != 0;
}

std::string CStr(const Value& v) {
  switch (v.type()) {
    case Type::Null: throw VbError::InvalidUseOfNull();
    case Type::Boolean: return v.AsBool() ? "True" : "False";
    case Type::Long: return std::to_string(v.AsLong());
    case Type::LongLong: return std::to_string(v.AsLongLong());
    case Type::Double: return FormatDouble(v.AsDouble());
    case Type::Date: return FormatDate(v.AsDate());
    case Type::Text: return v.AsText();
  }
  return "";
}

Date CDate(const Value& v) {
  switch (v.type()) {
    case Type::Null: throw VbError::InvalidUseOfNull();
    case Type::Date: return v.AsDate();
    case Type::Text: {
      Date d;
      if (!ParseDate(v.AsText(), &d)) throw VbError::TypeMismatch();
      return d;
    }
    default: return Date{CDbl(v)};
  }
}

bool IsNumeric(const Value& v) {
  double d;
  switch (v.type()) {
    case Type::Null:
    case Type::Date: return false;
    case Type::Text: return ParseNumber(v.AsText(), &d);
    default: return true;
  }
}

bool IsDate(const Value& v) {
  Date d;
  if (v.IsDate()) return true;
  return v.IsText() && ParseDate(v.AsText(), &d);
}

}  // namespace db
