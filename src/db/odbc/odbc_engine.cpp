#include "db/odbc/odbc_engine.h"

#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <cstring>
#include <memory>

#include "db/column_type.h"
#include "db/dialect.h"
#include "db/error.h"
#include "db/sqlite/new_id_sql.h"
#include "util/text.h"

namespace db::odbc {
namespace {

std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::string all;
  SQLCHAR state[6], message[1024];
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  for (SQLSMALLINT i = 1; SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message, &length) == SQL_SUCCESS;
       ++i) {
    if (!all.empty()) all += " ";
    all += reinterpret_cast<char*>(message);
  }
  return all.empty() ? "ODBC call failed" : all;
}

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const std::string& sql) {
  if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return;
  throw Error(Diagnostics(type, handle) + (sql.empty() ? "" : " [SQL: " + sql + "]"));
}

// A statement handle freed on every way out.
class Statement {
 public:
  explicit Statement(SQLHDBC dbc) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h_))) throw Error(Diagnostics(SQL_HANDLE_DBC, dbc));
  }
  ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, h_); }
  SQLHSTMT get() const { return h_; }

 private:
  SQLHSTMT h_ = SQL_NULL_HSTMT;
};

// The buffers of one bound parameter; they must live until the statement has run.
struct Bound {
  SQLLEN indicator = 0;
  SQLINTEGER l = 0;
  SQLBIGINT ll = 0;
  double d = 0;
  unsigned char b = 0;
  std::string text;
  SQL_TIMESTAMP_STRUCT ts{};
};

void Bind(SQLHSTMT st, SQLUSMALLINT index, const Value& v, Bound& b, bool sqlite, const std::string& sql) {
  SQLSMALLINT c_type = SQL_C_CHAR, sql_type = SQL_VARCHAR;
  SQLPOINTER data = nullptr;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
  switch (v.type()) {
    case Type::Null: b.indicator = SQL_NULL_DATA, size = 1; break;
    case Type::Boolean: b.b = v.AsBool() ? 1 : 0, c_type = SQL_C_BIT, sql_type = SQL_BIT, data = &b.b; break;
    case Type::Long: b.l = v.AsLong(), c_type = SQL_C_SLONG, sql_type = SQL_INTEGER, data = &b.l; break;
    case Type::LongLong: b.ll = v.AsLongLong(), c_type = SQL_C_SBIGINT, sql_type = SQL_BIGINT, data = &b.ll; break;
    case Type::Double: b.d = v.AsDouble(), c_type = SQL_C_DOUBLE, sql_type = SQL_DOUBLE, data = &b.d; break;
    case Type::Text:
      b.text = v.AsText();
      b.indicator = static_cast<SQLLEN>(b.text.size());
      data = b.text.data();
      size = std::max<SQLULEN>(b.text.size(), 1);
      break;
    case Type::Date:
      if (sqlite) {  // kept as ISO text, the form the program compares with
        b.text = ToIso(v.AsDate());
        b.indicator = static_cast<SQLLEN>(b.text.size());
        data = b.text.data();
        size = b.text.size();
      } else {
        Date::Parts p = v.AsDate().ToParts();
        b.ts = {static_cast<SQLSMALLINT>(p.year), static_cast<SQLUSMALLINT>(p.month), static_cast<SQLUSMALLINT>(p.day),
                static_cast<SQLUSMALLINT>(p.hour), static_cast<SQLUSMALLINT>(p.minute),
                static_cast<SQLUSMALLINT>(p.second), static_cast<SQLUINTEGER>(p.millisecond * 1000000)};
        c_type = SQL_C_TYPE_TIMESTAMP, sql_type = SQL_TYPE_TIMESTAMP, data = &b.ts, size = 23, digits = 3;
      }
      break;
  }
  Check(SQLBindParameter(st, index, SQL_PARAM_INPUT, c_type, sql_type, size, digits, data, 0, &b.indicator),
        SQL_HANDLE_STMT, st, sql);
}

bool IsIntegerType(SQLSMALLINT t) { return t == SQL_INTEGER || t == SQL_SMALLINT || t == SQL_TINYINT; }
bool IsFloatType(SQLSMALLINT t) {
  return t == SQL_DOUBLE || t == SQL_FLOAT || t == SQL_REAL || t == SQL_NUMERIC || t == SQL_DECIMAL;
}
bool IsDateType(SQLSMALLINT t) {
  return t == SQL_TYPE_TIMESTAMP || t == SQL_TYPE_DATE || t == SQL_TYPE_TIME || t == SQL_TIMESTAMP || t == SQL_DATE;
}

// The text of a column, read in pieces when it is long; false when Null.
bool ReadText(SQLHSTMT st, SQLUSMALLINT i, std::string* out, const std::string& sql) {
  out->clear();
  char buf[4096];
  for (;;) {
    SQLLEN ind = 0;
    SQLRETURN rc = SQLGetData(st, i, SQL_C_CHAR, buf, sizeof buf, &ind);
    if (rc == SQL_NO_DATA) break;
    Check(rc, SQL_HANDLE_STMT, st, sql);
    if (ind == SQL_NULL_DATA) return false;
    size_t got = (ind == SQL_NO_TOTAL || ind >= static_cast<SQLLEN>(sizeof buf)) ? sizeof buf - 1 : static_cast<size_t>(ind);
    out->append(buf, got);
    if (rc == SQL_SUCCESS) break;
  }
  return true;
}

// A value whose type the driver did not tell (an SQLite expression): numbers and ISO dates
// as SQLite stored them, anything else as text.
Value FromUntypedText(const std::string& text) {
  Date d;
  bool iso_shape = text.size() >= 19 && text.compare(4, 1, "-") == 0 && text.compare(10, 1, " ") == 0;
  if (iso_shape && ParseIso(text, &d)) return Value(d);
  char* end = nullptr;
  if (!text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-')) {
    long long ll = std::strtoll(text.c_str(), &end, 10);
    if (*end == '\0') return ll >= INT32_MIN && ll <= INT32_MAX ? Value(static_cast<int32_t>(ll)) : Value(static_cast<int64_t>(ll));
    double dv = std::strtod(text.c_str(), &end);
    if (*end == '\0') return Value(dv);
  }
  return Value(text);
}

// How a result column is read: its ODBC type, and whether SQLite's driver only guessed a
// text type for an expression.
struct ColumnType {
  SQLSMALLINT type;
  bool untyped;
};

Value ReadValue(SQLHSTMT st, SQLUSMALLINT i, ColumnType column, bool sqlite, const std::string& sql) {
  SQLSMALLINT type = column.type;
  SQLLEN ind = 0;
  if (IsIntegerType(type) || type == SQL_BIGINT) {
    SQLBIGINT v = 0;
    Check(SQLGetData(st, i, SQL_C_SBIGINT, &v, 0, &ind), SQL_HANDLE_STMT, st, sql);
    if (ind == SQL_NULL_DATA) return Value();
    if (type == SQL_BIGINT || v < INT32_MIN || v > INT32_MAX) return Value(static_cast<int64_t>(v));
    return Value(static_cast<int32_t>(v));
  }
  if (type == SQL_BIT) {
    SQLINTEGER v = 0;
    Check(SQLGetData(st, i, SQL_C_SLONG, &v, 0, &ind), SQL_HANDLE_STMT, st, sql);
    return ind == SQL_NULL_DATA ? Value() : Value(v != 0);
  }
  if (IsFloatType(type)) {
    double v = 0;
    Check(SQLGetData(st, i, SQL_C_DOUBLE, &v, 0, &ind), SQL_HANDLE_STMT, st, sql);
    return ind == SQL_NULL_DATA ? Value() : Value(v);
  }
  if (IsDateType(type) && !sqlite) {
    SQL_TIMESTAMP_STRUCT ts{};
    Check(SQLGetData(st, i, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &ind), SQL_HANDLE_STMT, st, sql);
    if (ind == SQL_NULL_DATA) return Value();
    return Value(Date::FromParts(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second,
                                 static_cast<int>(ts.fraction / 1000000)));
  }
  std::string text;
  if (!ReadText(st, i, &text, sql)) return Value();
  if (IsDateType(type)) {
    Date d;
    return ParseIso(text, &d) ? Value(d) : Value(text);
  }
  if (column.untyped) return FromUntypedText(text);
  return Value(std::move(text));
}

}  // namespace

OdbcEngine::OdbcEngine(const OdbcTarget& target) {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) throw Error("Cannot start ODBC.");
  env_ = env;
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
    Close();
    throw Error("Cannot start ODBC: " + Diagnostics(SQL_HANDLE_ENV, env));
  }
  dbc_ = dbc;
  if (target.login_timeout > 0) {
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(target.login_timeout)),
                      0);
  }
  SQLCHAR out[2048];
  SQLSMALLINT out_length = 0;
  std::string cs = target.connection_string;
  SQLRETURN rc = SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(cs.data()), SQL_NTS, out, sizeof out,
                                  &out_length, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    std::string why = Diagnostics(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    dbc_ = nullptr;
    Close();
    throw Error(why);
  }
  char dbms[256] = {};
  SQLSMALLINT dbms_length = 0;
  SQLGetInfo(dbc, SQL_DBMS_NAME, dbms, sizeof dbms, &dbms_length);
  std::string name = util::ToLower(dbms);
  sqlite_ = name.find("sqlite") != std::string::npos;
  if (name.find("sql server") != std::string::npos) Execute("SET DATEFORMAT dmy", {});
}

OdbcEngine::~OdbcEngine() { Close(); }

void OdbcEngine::Close() {
  if (dbc_) {
    SQLDisconnect(static_cast<SQLHDBC>(dbc_));
    SQLFreeHandle(SQL_HANDLE_DBC, static_cast<SQLHDBC>(dbc_));
    dbc_ = nullptr;
  }
  if (env_) {
    SQLFreeHandle(SQL_HANDLE_ENV, static_cast<SQLHENV>(env_));
    env_ = nullptr;
  }
}

std::string OdbcEngine::Translate(const std::string& sql) const { return sqlite_ ? TsqlToSqlite(sql) : sql; }

ResultSet OdbcEngine::Run(const std::string& sql, const std::vector<Value>& params, bool prepared, int64_t* rows) {
  if (!dbc_) throw Error("Operation is not allowed when the object is closed.", 3704);
  Statement st(static_cast<SQLHDBC>(dbc_));
  std::string text = prepared ? sql : Translate(sql);
  std::vector<Bound> bound(params.size());
  SQLRETURN rc;
  if (params.empty()) {
    rc = SQLExecDirect(st.get(), reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS);
  } else {
    Check(SQLPrepare(st.get(), reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS), SQL_HANDLE_STMT, st.get(), sql);
    for (size_t i = 0; i < params.size(); ++i) {
      Bind(st.get(), static_cast<SQLUSMALLINT>(i + 1), params[i], bound[i], sqlite_, sql);
    }
    rc = SQLExecute(st.get());
  }
  Check(rc, SQL_HANDLE_STMT, st.get(), sql);
  ResultSet rs;
  if (rows) {
    SQLLEN count = 0;
    if (rc != SQL_NO_DATA) SQLRowCount(st.get(), &count);
    *rows = count < 0 ? 0 : count;
  }
  SQLSMALLINT n = 0;
  SQLNumResultCols(st.get(), &n);
  std::vector<ColumnType> types(n);
  for (SQLSMALLINT i = 1; i <= n; ++i) {
    SQLCHAR name[256];
    SQLSMALLINT name_length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    Check(SQLDescribeCol(st.get(), i, name, sizeof name, &name_length, &type, &size, &digits, &nullable),
          SQL_HANDLE_STMT, st.get(), sql);
    SQLCHAR type_name[128] = {};
    SQLSMALLINT type_name_length = 0;
    SQLColAttribute(st.get(), i, SQL_DESC_TYPE_NAME, type_name, sizeof type_name, &type_name_length, nullptr);
    std::string declared = reinterpret_cast<char*>(type_name);
    types[i - 1] = {type, sqlite_ && type == SQL_VARCHAR && declared == "varchar"};
    rs.columns.push_back({reinterpret_cast<char*>(name), declared});
  }
  if (n == 0) return rs;
  while ((rc = SQLFetch(st.get())) != SQL_NO_DATA) {
    Check(rc, SQL_HANDLE_STMT, st.get(), sql);
    std::vector<Value> row;
    row.reserve(n);
    for (SQLSMALLINT i = 1; i <= n; ++i) row.push_back(ReadValue(st.get(), i, types[i - 1], sqlite_, sql));
    rs.rows.push_back(std::move(row));
  }
  return rs;
}

ResultSet OdbcEngine::Query(const std::string& sql) { return Run(sql, {}, false, nullptr); }

int64_t OdbcEngine::Execute(const std::string& sql, const std::vector<Value>& params) {
  int64_t rows = 0;
  Run(sql, params, !params.empty(), &rows);
  return rows;
}

std::vector<TableColumn> OdbcEngine::Columns(const std::string& table) {
  std::vector<TableColumn> cols;
  if (!sqlite::IsPlainIdentifier(table)) return cols;
  if (sqlite_) {
    ResultSet info = Query("PRAGMA table_info(\"" + table + "\")");
    for (const auto& r : info.rows) {
      cols.push_back({CStr(r[1]), r[2].IsNull() ? "" : CStr(r[2]), !r[5].IsNull() && CLng(r[5]) > 0});
    }
    return cols;
  }
  ResultSet info = Query(
      "SELECT c.name AS column_name, t.name + CASE WHEN t.name IN ('nvarchar','varchar','nchar','char') THEN '(' + "
      "CASE WHEN c.max_length = -1 THEN 'max' WHEN t.name LIKE 'n%' THEN CAST(c.max_length / 2 AS varchar(10)) "
      "ELSE CAST(c.max_length AS varchar(10)) END + ')' ELSE '' END AS type_name, "
      "CASE WHEN EXISTS (SELECT 1 FROM sys.index_columns ic JOIN sys.indexes i ON i.object_id = ic.object_id AND "
      "i.index_id = ic.index_id WHERE i.is_primary_key = 1 AND ic.object_id = c.object_id AND ic.column_id = "
      "c.column_id) THEN 1 ELSE 0 END AS pk FROM sys.columns c JOIN sys.types t ON t.user_type_id = c.user_type_id "
      "WHERE c.object_id = OBJECT_ID(N'dbo." + table + "') ORDER BY c.column_id");
  for (const auto& r : info.rows) cols.push_back({CStr(r[0]), CStr(r[1]), CLng(r[2]) == 1});
  return cols;
}

Value OdbcEngine::GetNewID(const std::string& schema, const std::string& table, const std::string& column,
                           int32_t check_conflict) {
  if (!dbc_) throw Error("Operation is not allowed when the object is closed.", 3704);
  if (sqlite_ && in_transaction_) {
    // Inside the caller's transaction the write lock is already held.
    std::vector<Value> key = {Value(util::ToLower(table)), Value(util::ToLower(column))};
    Run(sqlite::NewIdStatement(table, column, check_conflict, false), key, true, nullptr);
    ResultSet rs = Run(sqlite::kNewIdCounterQuery, key, true, nullptr);
    return rs.rows.empty() ? Value() : rs.rows[0][0];
  }
  if (sqlite_) {
    // SQLite's ODBC driver returns no RETURNING rows: advance and read the counter in one
    // transaction, which keeps concurrent callers apart.
    SQLHDBC dbc = static_cast<SQLHDBC>(dbc_);
    std::vector<Value> key = {Value(util::ToLower(table)), Value(util::ToLower(column))};
    Check(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
          SQL_HANDLE_DBC, dbc, "");
    Value id;
    try {
      Run(sqlite::NewIdStatement(table, column, check_conflict, false), key, true, nullptr);
      ResultSet rs = Run(sqlite::kNewIdCounterQuery, key, true, nullptr);
      if (!rs.rows.empty()) id = rs.rows[0][0];
      Check(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_HANDLE_DBC, dbc, "");
    } catch (...) {
      SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
      SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
      throw;
    }
    SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    return id;
  }
  Statement st(static_cast<SQLHDBC>(dbc_));
  std::string sql = "{call GetNewID(?,?,?,?,?)}";
  Check(SQLPrepare(st.get(), reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS), SQL_HANDLE_STMT, st.get(), sql);
  std::vector<Bound> in(4);
  Bind(st.get(), 1, Value(schema), in[0], false, sql);
  Bind(st.get(), 2, Value(table), in[1], false, sql);
  Bind(st.get(), 3, Value(column), in[2], false, sql);
  Bind(st.get(), 4, Value(check_conflict), in[3], false, sql);
  SQLINTEGER id = 0;
  SQLLEN id_indicator = 0;
  Check(SQLBindParameter(st.get(), 5, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, &id_indicator),
        SQL_HANDLE_STMT, st.get(), sql);
  Check(SQLExecute(st.get()), SQL_HANDLE_STMT, st.get(), sql);
  // Output parameters arrive once every result has been read.
  SQLRETURN rc;
  while ((rc = SQLMoreResults(st.get())) != SQL_NO_DATA) Check(rc, SQL_HANDLE_STMT, st.get(), sql);
  return id_indicator == SQL_NULL_DATA ? Value() : Value(static_cast<int32_t>(id));
}

// SQLite through its driver takes our own BEGIN IMMEDIATE (the driver's own transactions
// would start deferred); SQL Server runs with autocommit off and SAVE TRANSACTION.
void OdbcEngine::BeginTransaction() {
  if (!dbc_) throw Error("Operation is not allowed when the object is closed.", 3704);
  if (sqlite_) {
    Run("BEGIN IMMEDIATE", {}, true, nullptr);
  } else {
    SQLHDBC dbc = static_cast<SQLHDBC>(dbc_);
    Check(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
          SQL_HANDLE_DBC, dbc, "");
  }
  in_transaction_ = true;
}

void OdbcEngine::CommitTransaction() {
  if (!dbc_) throw Error("Operation is not allowed when the object is closed.", 3704);
  if (sqlite_) {
    Run("COMMIT", {}, true, nullptr);
  } else {
    SQLHDBC dbc = static_cast<SQLHDBC>(dbc_);
    Check(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_HANDLE_DBC, dbc, "COMMIT");
    SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
  }
  in_transaction_ = false;
}

void OdbcEngine::RollbackTransaction() {
  if (!dbc_) return;
  in_transaction_ = false;
  if (sqlite_) {
    Run("ROLLBACK", {}, true, nullptr);
  } else {
    SQLHDBC dbc = static_cast<SQLHDBC>(dbc_);
    Check(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK), SQL_HANDLE_DBC, dbc, "ROLLBACK");
    SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
  }
}

void OdbcEngine::Savepoint(const std::string& name) {
  Run(sqlite_ ? "SAVEPOINT " + name : "SAVE TRANSACTION " + name, {}, true, nullptr);
}

void OdbcEngine::RollbackToSavepoint(const std::string& name) {
  Run(sqlite_ ? "ROLLBACK TO " + name : "ROLLBACK TRANSACTION " + name, {}, true, nullptr);
}

void OdbcEngine::ReleaseSavepoint(const std::string& name) {
  if (sqlite_) Run("RELEASE " + name, {}, true, nullptr);  // SQL Server has no release
}

}  // namespace db::odbc
