#include "db/column_type.h"

#include <cmath>
#include <string>

#include "db/error.h"
#include "util/text.h"

namespace db {

// Read at every assignment: compared in place, without copies.
ColumnKind KindOf(std::string_view decl_type) {
  std::string_view t = util::Trim(decl_type);
  std::string_view base = util::Trim(t.substr(0, t.find('(')));
  auto is = [base](std::string_view name) { return util::EqualsNoCase(base, name); };
  if (is("int") || is("integer")) return ColumnKind::kInt;
  if (is("bigint")) return ColumnKind::kBigInt;
  if (is("smallint")) return ColumnKind::kSmallInt;
  if (is("tinyint")) return ColumnKind::kTinyInt;
  if (is("bit")) return ColumnKind::kBit;
  if (is("float") || is("real") || is("money") || is("decimal") || is("numeric") || is("double")) {
    return ColumnKind::kFloat;
  }
  if (is("datetime") || is("date") || is("smalldatetime") || is("datetime2")) return ColumnKind::kDateTime;
  if (util::ContainsNoCase(base, "char") || is("text") || is("ntext")) return ColumnKind::kText;
  return ColumnKind::kUntyped;
}

int TextLength(std::string_view decl_type) {
  size_t open = decl_type.find('(');
  if (open == std::string_view::npos) return 0;
  std::string inner(decl_type.substr(open + 1));
  if (util::StartsWithNoCase(inner, "max")) return 0;
  return std::atoi(inner.c_str());
}

namespace {

Error Refused(const TableColumn& c, const std::string& what) {
  return Error("Column '" + c.name + "': " + what);
}

double Number(const Value& v, const TableColumn& c, const char* type_name) {
  try {
    return CDbl(v);
  } catch (const VbError&) {
    std::string text = v.IsText() ? v.AsText() : CStr(v);
    throw Refused(c, "Conversion failed when converting the value '" + text +
                         "' to data type " + type_name + ".");
  }
}

Value Integer(const Value& v, const TableColumn& c, double lo, double hi, const char* type_name) {
  double d = v.IsDate() ? v.AsDate().serial : Number(v, c, type_name);
  double r = RoundHalfEven(d);
  if (!(r >= lo && r <= hi)) {
    throw Refused(c, std::string("Arithmetic overflow error converting expression to data type ") +
                         type_name + ".");
  }
  if (hi > 2147483647.0) return Value(static_cast<int64_t>(r));
  return Value(static_cast<int32_t>(r));
}

}  // namespace

Value ToColumnType(const Value& v, const TableColumn& column) {
  if (v.IsNull()) return v;
  switch (column.kind) {
    case ColumnKind::kInt: return Integer(v, column, -2147483648.0, 2147483647.0, "int");
    case ColumnKind::kBigInt:
      return Integer(v, column, -9223372036854775808.0, 9223372036854775807.0, "bigint");
    case ColumnKind::kSmallInt: return Integer(v, column, -32768, 32767, "smallint");
    case ColumnKind::kTinyInt: return Integer(v, column, 0, 255, "tinyint");
    case ColumnKind::kBit:
      try {
        return Value(CBool(v));
      } catch (const VbError&) {
        throw Refused(column, "Conversion failed when converting the value '" + CStr(v) +
                                  "' to data type bit.");
      }
    case ColumnKind::kFloat: return Value(Number(v, column, "float"));
    case ColumnKind::kDateTime:
      try {
        return Value(CDate(v));
      } catch (const VbError&) {
        throw Refused(column, "Conversion failed when converting date and/or time from '" +
                                  CStr(v) + "'.");
      }
    case ColumnKind::kText: {
      std::string s = CStr(v);
      int max = column.max_length;
      if (max > 0 && static_cast<int>(s.size()) > max) {
        // Lengths count characters; count UTF-8 lead bytes only.
        int chars = 0;
        for (unsigned char ch : s) chars += (ch & 0xC0) != 0x80;
        if (chars > max) {
          throw Refused(column, "String or binary data would be truncated (" +
                                    std::to_string(chars) + " characters, at most " +
                                    std::to_string(max) + ").");
        }
      }
      return Value(std::move(s));
    }
    case ColumnKind::kUntyped: return v;
  }
  return v;
}

}  // namespace db
