#include "db/odbc/odbc_engine.h"

#include <sql.h>
#include <sqlext.h>

#include <sys/stat.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "db/column_type.h"
#include "db/connection_string.h"
#include "db/dialect.h"
#include "db/error.h"
#include "db/odbc/odbc_diagnostics.h"
#include "db/odbc/odbc_parameters.h"
#include "db/odbc/odbc_results.h"
#include "db/odbc/odbc_timeouts.h"
#include "db/odbc/update_locks.h"
#include "db/sqlite/new_id_sql.h"
#include "db/sqlite/shape_translator.h"
#include "util/text.h"

namespace db::odbc {
namespace {

// Integrated security is Kerberos on this system: say what it needs.
constexpr const char* kIntegratedSecurityHint =
    " Integrated Security (SSPI) logs in with Kerberos here: this till needs a Kerberos ticket of a domain "
    "account (kinit, or a keytab), and the server a registered SPN. Without one, give a SQL Server login "
    "(User ID and Password) instead; FreeTDS also takes a Windows account as User ID=DOMAIN\\user with its "
    "Password.";

// A statement handle freed on every way out, with the connection's query timeout.
class Statement {
 public:
  Statement(SQLHDBC dbc, int query_timeout) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h_))) throw Error(Diagnostics(SQL_HANDLE_DBC, dbc));
    SetQueryTimeout(h_, query_timeout);
  }
  ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, h_); }
  SQLHSTMT get() const { return h_; }

 private:
  SQLHSTMT h_ = SQL_NULL_HSTMT;
};

// INSERT, UPDATE, DELETE or MERGE: a statement that may fire triggers.
bool IsDataChange(std::string_view sql) {
  std::string_view text = util::Trim(sql);
  for (const char* verb : {"insert", "update", "delete", "merge"}) {
    size_t n = std::strlen(verb);
    if (util::StartsWithNoCase(text, verb) && (text.size() == n || std::isspace(static_cast<unsigned char>(text[n])))) {
      return true;
    }
  }
  return false;
}

// SQLite's driver prepares an INSERT, UPDATE or DELETE anew at every execution, but keeps a
// statement that starts as a query prepared. Behind an unused common table expression a data
// change is prepared once; the driver then reports no count for it, so its count is read
// with "SELECT changes()". "" when the text is not a single plain data change.
std::string AsKeptDataChange(const std::string& text) {
  std::string_view body = util::Trim(text);
  while (!body.empty() && body.back() == ';') body = util::Trim(body.substr(0, body.size() - 1));
  if (!IsDataChange(body) || body.find(';') != std::string_view::npos) return "";
  if (util::ContainsNoCase(body, "returning")) return "";
  std::string query = "WITH velkaris_changed AS (SELECT 1) ";
  query.append(body);
  return query;
}

constexpr const char* kChangesQuery = "SELECT changes()";

// The device and inode of a file, to tell a file replaced since; none when it cannot be read.
std::optional<std::pair<unsigned long long, unsigned long long>> FileIdentity(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  return std::pair<unsigned long long, unsigned long long>(st.st_dev, st.st_ino);
}

// One round trip: the text with its parameters bound goes straight to the server
// (sp_executesql on SQL Server), never prepared first. SQL Server gets the text in wide
// characters.
SQLRETURN ExecDirect(SQLHSTMT st, std::string& text, bool sqlite) {
  if (sqlite) return SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS);
  std::u16string wide = util::Utf8ToUtf16(text);
  return SQLExecDirectW(st, reinterpret_cast<SQLWCHAR*>(wide.data()), static_cast<SQLINTEGER>(wide.size()));
}

}  // namespace

// A statement of the driver prepared once, with what its executions keep.
struct PreparedStatement {
  SQLHSTMT handle = SQL_NULL_HSTMT;
  PreparedResults results;
  bool count_by_changes = false;  // a data change the driver reports no count for
  // The buffers its parameters stay bound to, from one execution to the next; never
  // resized once bound (the driver holds their addresses).
  std::vector<BoundParameter> params;
};

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
  SetLoginTimeout(dbc, target.login_timeout);
  query_timeout_ = target.query_timeout;
  SQLCHAR out[2048];
  SQLSMALLINT out_length = 0;
  std::string cs = target.connection_string;
  SQLRETURN rc = SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(cs.data()), SQL_NTS, out, sizeof out,
                                  &out_length, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    std::string why = Diagnostics(SQL_HANDLE_DBC, dbc);
    if (target.integrated_security) why += kIntegratedSecurityHint;
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
  sql_server_ = name.find("sql server") != std::string::npos;
  if (sql_server_) Execute("SET DATEFORMAT dmy", {});
  // The journals of savepoints and statements stay in memory, as on the embedded backend.
  if (sqlite_) Run("PRAGMA temp_store=MEMORY", {}, true, nullptr);
  if (sqlite_) {
    database_path_ = ConnectionString::Parse(target.connection_string).Get("Database").value_or("");
    database_file_ = FileIdentity(database_path_);
  }
}

bool OdbcEngine::Poolable() const { return idle_ && OnItsFile(); }

bool OdbcEngine::OnItsFile() const {
  return dbc_ && sqlite_ && database_file_ && FileIdentity(database_path_) == database_file_;
}

OdbcEngine::~OdbcEngine() { Close(); }

void OdbcEngine::Close() {
  ForgetPrepared();
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

// SQLite through its driver: the text is rewritten and its literals bound as for the
// embedded backend, and the statement of each shape is prepared once and kept.
bool OdbcEngine::RunShaped(const std::string& tsql, ResultSet* result, int64_t* rows) {
  sqlite::ParameterizedSql p = translator_.Translate(tsql);
  return RunPrepared(p.text, p.params, tsql, result, rows);
}

// Prepares `text` once; a data change behind a common table expression where the driver
// takes it.
// Null when the driver cannot prepare the text (the caller then runs it as written).
PreparedStatement* OdbcEngine::Prepare(const std::string& text) {
  auto it = prepared_.find(text);
  if (it != prepared_.end()) return it->second.get();
  if (prepared_.size() >= kMaxPrepared) ForgetPrepared();
  SQLHDBC dbc = static_cast<SQLHDBC>(dbc_);
  std::string kept = AsKeptDataChange(text);
  for (bool as_kept : {true, false}) {
    std::string candidate = as_kept ? kept : text;
    if (candidate.empty()) continue;
    SQLHSTMT h = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h))) throw Error(Diagnostics(SQL_HANDLE_DBC, dbc));
    SetQueryTimeout(h, query_timeout_);
    if (SQL_SUCCEEDED(SQLPrepare(h, reinterpret_cast<SQLCHAR*>(candidate.data()), SQL_NTS))) {
      auto statement = std::make_unique<PreparedStatement>();
      statement->handle = h;
      statement->count_by_changes = as_kept;
      return prepared_.emplace(text, std::move(statement)).first->second.get();
    }
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
  return nullptr;
}

bool OdbcEngine::RunPrepared(const std::string& text, const std::vector<Value>& params, const std::string& tsql,
                             ResultSet* result, int64_t* rows) {
  PreparedStatement* statement = Prepare(text);
  if (!statement) return false;  // the caller runs the text as written, and reports its own error
  SQLHSTMT h = statement->handle;
  std::vector<BoundParameter>& bound = statement->params;
  if (bound.size() != params.size()) {
    SQLFreeStmt(h, SQL_RESET_PARAMS);
    bound = std::vector<BoundParameter>(params.size());
  }
  try {
    for (size_t i = 0; i < params.size(); ++i) {
      RebindParameter(h, static_cast<SQLUSMALLINT>(i + 1), params[i], bound[i], tsql);
    }
    // Every result is read to its end: the statement is back to prepared, no cursor to close.
    StatementResults results = ReadResults(h, SQLExecute(h), true, tsql, &statement->results);
    if (rows) *rows = statement->count_by_changes ? Changes() : results.records_affected;
    if (result) *result = std::move(results.rows);
  } catch (...) {
    SQLFreeStmt(h, SQL_CLOSE);
    throw;
  }
  return true;
}

// The rows the last data change of the connection changed.
int64_t OdbcEngine::Changes() {
  static const std::string query = kChangesQuery;
  ResultSet count;
  if (!RunPrepared(query, {}, query, &count, nullptr) || count.rows.empty()) {
    throw Error("The driver did not report the rows changed [SQL: " + std::string(kChangesQuery) + "]");
  }
  return static_cast<int64_t>(CDbl(count.rows[0][0]));
}

void OdbcEngine::ForgetPrepared() {
  for (auto& [text, statement] : prepared_) SQLFreeHandle(SQL_HANDLE_STMT, statement->handle);
  prepared_.clear();
}

ResultSet OdbcEngine::Run(const std::string& sql, const std::vector<Value>& params, bool translated, int64_t* rows) {
  if (!dbc_) throw Error("Operation is not allowed when the object is closed.", 3704);
  ResultSet shaped;
  if (sqlite_ && !translated && params.empty() && RunShaped(sql, &shaped, rows)) return shaped;
  // Our own texts (transactions, savepoints) are kept prepared too: a statement handle
  // allocated and freed for each costs more in the driver than running it.
  if (sqlite_ && translated && RunPrepared(sql, params, sql, &shaped, rows)) return shaped;
  Statement st(static_cast<SQLHDBC>(dbc_), query_timeout_);
  std::string text = translated ? sql : Translate(sql);
  std::vector<BoundParameter> bound(params.size());
  for (size_t i = 0; i < params.size(); ++i) {
    BindParameter(st.get(), static_cast<SQLUSMALLINT>(i + 1), params[i], bound[i], sqlite_, sql);
  }
  StatementResults results = ReadResults(st.get(), ExecDirect(st.get(), text, sqlite_), sqlite_, sql);
  if (rows) *rows = results.records_affected;
  return std::move(results.rows);
}

ResultSet OdbcEngine::Query(const std::string& sql) {
  RequireTransactionIntact();
  try {
    if (sql_server_ && in_transaction_) return Run(WithUpdateLocks(sql), {}, false, nullptr);
    return Run(sql, {}, false, nullptr);
  } catch (...) {
    NoteFailure();
    throw;
  }
}

int64_t OdbcEngine::Execute(const std::string& sql, const std::vector<Value>& params) {
  RequireTransactionIntact();
  try {
    if (sql_server_ && params.empty() && IsDataChange(sql)) return ExecuteAsRpc(sql);
    int64_t rows = 0;
    Run(sql, params, !params.empty(), &rows);
    return rows;
  } catch (...) {
    NoteFailure();
    throw;
  }
}

// SQL Server ends a transaction by itself on some errors (a deadlock victim, XACT_ABORT),
// SQLite on some others (a full disk, an I/O error): the statements after it would run in
// a transaction of their own, outside the caller's unit of work. After a failure inside a
// transaction the database is asked whether it is still open; if not, nothing more runs
// until the caller rolls back.
void OdbcEngine::NoteFailure() {
  if (!in_transaction_ || transaction_lost_ || (!sql_server_ && !sqlite_)) return;
  try {
    transaction_lost_ = !TransactionOpen();
  } catch (...) {
    transaction_lost_ = true;
  }
}

bool OdbcEngine::TransactionOpen() {
  if (sql_server_) {
    ResultSet rs = Run("SELECT @@TRANCOUNT", {}, false, nullptr);
    return !rs.rows.empty() && !rs.rows[0].empty() && CLng(rs.rows[0][0]) > 0;
  }
  // SQLite refuses a BEGIN inside a transaction; one it takes began a transaction of its own,
  // which is ended at once.
  try {
    Run("BEGIN", {}, true, nullptr);
  } catch (const Error& e) {
    return std::string(e.what()).find("within a transaction") != std::string::npos;
  }
  Run("ROLLBACK", {}, true, nullptr);
  return false;
}

void OdbcEngine::RequireTransactionIntact() const {
  if (transaction_lost_) {
    throw Error(std::string(sql_server_ ? "The server" : "SQLite") +
                " rolled back the open transaction after an earlier error; nothing more is written in it.");
  }
}

// In a plain batch FreeTDS reports the count of a trigger without NOCOUNT as the statement's
// own; through sp_executesql every count is a result of its own and the last is the
// statement's. So a data change without parameters goes that way too.
// Through SQLite's driver a kept data change is counted with a query of its own: not run
// when the count is not read.
void OdbcEngine::Write(const std::string& sql, const std::vector<Value>& params) {
  if (!sqlite_) {
    Execute(sql, params);
    return;
  }
  RequireTransactionIntact();
  try {
    Run(sql, params, !params.empty(), nullptr);
  } catch (...) {
    NoteFailure();
    throw;
  }
}

int64_t OdbcEngine::ExecuteAsRpc(const std::string& sql) {
  if (!dbc_) throw Error("Operation is not allowed when the object is closed.", 3704);
  Statement st(static_cast<SQLHDBC>(dbc_), query_timeout_);
  std::string call = "{call sp_executesql(?)}";
  BoundParameter statement;
  BindParameter(st.get(), 1, Value(sql), statement, false, sql);
  return ReadResults(st.get(), ExecDirect(st.get(), call, false), false, sql).records_affected;
}

std::vector<TableColumn> OdbcEngine::Columns(const std::string& table) {
  std::vector<TableColumn> cols;
  if (!sqlite::IsPlainIdentifier(table)) return cols;
  if (sqlite_) {
    ResultSet info = Query("PRAGMA table_info(\"" + table + "\")");
    for (const auto& r : info.rows) {
      TableColumn c{CStr(r[1]), r[2].IsNull() ? "" : CStr(r[2]), !r[5].IsNull() && CLng(r[5]) > 0};
      c.has_default = !r[4].IsNull();
      cols.push_back(std::move(c));
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
  RequireTransactionIntact();
  try {
    return NewId(schema, table, column, check_conflict);
  } catch (...) {
    NoteFailure();
    throw;
  }
}

Value OdbcEngine::NewId(const std::string& schema, const std::string& table, const std::string& column,
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
  Statement st(static_cast<SQLHDBC>(dbc_), query_timeout_);
  std::string sql = "{call GetNewID(?,?,?,?,?)}";
  std::vector<BoundParameter> in(4);
  BindParameter(st.get(), 1, Value(schema), in[0], false, sql);
  BindParameter(st.get(), 2, Value(table), in[1], false, sql);
  BindParameter(st.get(), 3, Value(column), in[2], false, sql);
  BindParameter(st.get(), 4, Value(check_conflict), in[3], false, sql);
  SQLINTEGER id = 0;
  SQLLEN id_indicator = 0;
  Check(SQLBindParameter(st.get(), 5, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, &id_indicator),
        SQL_HANDLE_STMT, st.get(), sql);
  // Output parameters arrive once every result has been read.
  ReadResults(st.get(), ExecDirect(st.get(), sql, false), false, sql);
  return id_indicator == SQL_NULL_DATA ? Value() : Value(static_cast<int32_t>(id));
}

int OdbcEngine::DriverLoginTimeout() const { return dbc_ ? LoginTimeout(static_cast<SQLHDBC>(dbc_)) : -1; }

int OdbcEngine::DriverQueryTimeout() const {
  if (!dbc_) return -1;
  Statement st(static_cast<SQLHDBC>(dbc_), query_timeout_);
  return QueryTimeout(st.get());
}

// SQLite through its driver takes our own BEGIN IMMEDIATE (the driver's own transactions
// would start deferred); SQL Server runs with autocommit off and SAVE TRANSACTION.
void OdbcEngine::BeginTransaction() {
  if (!dbc_) throw Error("Operation is not allowed when the object is closed.", 3704);
  if (sqlite_) {
    idle_ = false;
    Run("BEGIN IMMEDIATE", {}, true, nullptr);
  } else {
    SQLHDBC dbc = static_cast<SQLHDBC>(dbc_);
    Check(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
          SQL_HANDLE_DBC, dbc, "");
  }
  in_transaction_ = true;
}

// SQLite through its driver: a deferred transaction, as on the embedded backend.
bool OdbcEngine::BeginSnapshot() {
  if (!dbc_ || !sqlite_) return false;
  idle_ = false;
  Run("BEGIN DEFERRED", {}, true, nullptr);
  return true;
}

void OdbcEngine::EndSnapshot() {
  if (!dbc_ || !sqlite_) return;
  Run("COMMIT", {}, true, nullptr);
  idle_ = true;
}

void OdbcEngine::CommitTransaction() {
  if (!dbc_) throw Error("Operation is not allowed when the object is closed.", 3704);
  RequireTransactionIntact();
  if (sqlite_) {
    Run("COMMIT", {}, true, nullptr);
    idle_ = true;
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
  const bool lost = transaction_lost_;
  transaction_lost_ = false;
  if (sqlite_) {
    try {
      Run("ROLLBACK", {}, true, nullptr);
    } catch (const Error&) {
      if (!lost) throw;  // SQLite has ended a lost one already
    }
    idle_ = true;
  } else {
    SQLHDBC dbc = static_cast<SQLHDBC>(dbc_);
    Check(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK), SQL_HANDLE_DBC, dbc, "ROLLBACK");
    SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
  }
}

void OdbcEngine::Savepoint(const std::string& name) {
  RequireTransactionIntact();
  Run(sqlite_ ? "SAVEPOINT " + name : "SAVE TRANSACTION " + name, {}, true, nullptr);
}

void OdbcEngine::RollbackToSavepoint(const std::string& name) {
  RequireTransactionIntact();
  Run(sqlite_ ? "ROLLBACK TO " + name : "ROLLBACK TRANSACTION " + name, {}, true, nullptr);
}

void OdbcEngine::ReleaseSavepoint(const std::string& name) {
  if (sqlite_) Run("RELEASE " + name, {}, true, nullptr);  // SQL Server has no release
}

}  // namespace db::odbc
