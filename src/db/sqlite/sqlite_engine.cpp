#include "db/sqlite/sqlite_engine.h"
#include "db/sqlite/writable_database.h"

#include <sqlite3.h>

#include <cctype>
#include <chrono>
#include <memory>
#include <thread>

#include "db/column_type.h"
#include "db/dialect.h"
#include "db/error.h"
#include "db/sqlite/literal_parameters.h"
#include "db/sqlite/new_id_sql.h"
#include "util/text.h"

namespace db::sqlite {
namespace {

constexpr int kBusyTimeoutMs = 15000;
constexpr int kWalRetryMs = 20;
constexpr size_t kMaxCachedStatements = 1024;

struct Finalizer {
  void operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

bool IsIsoDateTime(const unsigned char* s, int n) {
  if (n != 19 && n != 23) return false;
  static const char kShape[] = "dddd-dd-dd dd:dd:dd.ddd";
  for (int i = 0; i < n; ++i) {
    if (kShape[i] == 'd' ? !std::isdigit(s[i]) : s[i] != kShape[i]) return false;
  }
  return true;
}

Value IntegerValue(sqlite3_int64 v) {
  if (v >= INT32_MIN && v <= INT32_MAX) return Value(static_cast<int32_t>(v));
  return Value(static_cast<int64_t>(v));
}

Value TextValue(sqlite3_stmt* st, int i) {
  const unsigned char* t = sqlite3_column_text(st, i);
  return Value(std::string(reinterpret_cast<const char*>(t), sqlite3_column_bytes(st, i)));
}

Value ReadColumn(sqlite3_stmt* st, int i, ColumnKind kind) {
  int storage = sqlite3_column_type(st, i);
  if (storage == SQLITE_NULL) return Value();
  switch (kind) {
    case ColumnKind::kInt:
    case ColumnKind::kSmallInt:
    case ColumnKind::kTinyInt:
      if (storage == SQLITE_INTEGER) return IntegerValue(sqlite3_column_int64(st, i));
      break;
    case ColumnKind::kBigInt:
      if (storage == SQLITE_INTEGER) return Value(static_cast<int64_t>(sqlite3_column_int64(st, i)));
      break;
    case ColumnKind::kBit:
      if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) {
        return Value(sqlite3_column_double(st, i) != 0);
      }
      break;
    case ColumnKind::kFloat:
      if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) {
        return Value(sqlite3_column_double(st, i));
      }
      break;
    case ColumnKind::kDateTime:
      if (storage == SQLITE_TEXT) {
        Value text = TextValue(st, i);
        Date d;
        if (ParseIso(text.AsText(), &d)) return Value(d);
        return text;
      }
      break;
    case ColumnKind::kText: return TextValue(st, i);
    case ColumnKind::kUntyped:
      if (storage == SQLITE_TEXT &&
          IsIsoDateTime(sqlite3_column_text(st, i), sqlite3_column_bytes(st, i))) {
        Date d;
        if (ParseIso(TextValue(st, i).AsText(), &d)) return Value(d);
      }
      break;
  }
  switch (storage) {
    case SQLITE_INTEGER: return IntegerValue(sqlite3_column_int64(st, i));
    case SQLITE_FLOAT: return Value(sqlite3_column_double(st, i));
    default: return TextValue(st, i);
  }
}

}  // namespace

SqliteEngine::SqliteEngine(const std::string& path) {
  int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw Error("Cannot open the SQLite database '" + path + "' (" + why +
                "): the file must exist and be readable and writable.");
  }
  if (std::string why = WhyNotWritable(db_, path); !why.empty()) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw Error(why);
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  sqlite3_extended_result_codes(db_, 0);
  try {
    // WAL lets other tills and readers use the file while a pass writes.
    UseWal();
    // The journals of savepoints and statements stay in memory: a receipt's savepoint would
    // otherwise copy every page it touches to a temporary file first.
    Run("PRAGMA temp_store=MEMORY");
  } catch (const Error& e) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw Error("'" + path + "' is not a usable SQLite database: " + e.what());
  }
}

// Turning a file to WAL takes its exclusive lock without waiting in the busy handler: a
// second till starting at the same moment on a file not yet in WAL is told "database is
// locked" at once. It tries again for as long as the busy handler would have waited.
void SqliteEngine::UseWal() {
  for (int waited = 0;; waited += kWalRetryMs) {
    int rc = sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) return;
    if (rc != SQLITE_BUSY || waited >= kBusyTimeoutMs) Fail("PRAGMA journal_mode=WAL");
    std::this_thread::sleep_for(std::chrono::milliseconds(kWalRetryMs));
  }
}

SqliteEngine::~SqliteEngine() { Close(); }

void SqliteEngine::Close() {
  ForgetStatements();
  if (db_) sqlite3_close(db_);
  db_ = nullptr;
}

void SqliteEngine::Fail(const std::string& sql) {
  throw Error(std::string(sqlite3_errmsg(db_)) + " [SQL: " + sql + "]");
}

void SqliteEngine::RequireTransactionIntact() const {
  if (in_transaction_ && db_ && sqlite3_get_autocommit(db_)) {
    throw Error("SQLite rolled back the open transaction after an earlier error; nothing more is written in it.");
  }
}

void SqliteEngine::RollbackTransaction() {
  bool open = db_ && !sqlite3_get_autocommit(db_);
  in_transaction_ = false;
  if (open) Run("ROLLBACK");
}

bool SqliteEngine::Poolable() const { return db_ && sqlite3_get_autocommit(db_) && OnItsFile(); }

// A file deleted or replaced since it was opened (a restored copy) must be opened anew.
bool SqliteEngine::OnItsFile() const {
  int moved = 1;
  return db_ && sqlite3_file_control(db_, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && !moved;
}

void SqliteEngine::EndSnapshot() {
  if (db_ && !sqlite3_get_autocommit(db_)) Run("COMMIT");
}

void SqliteEngine::Run(const std::string& sql) {
  if (!db_) throw Error("Operation is not allowed when the object is closed.", 3704);
  RequireTransactionIntact();
  char* message = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string why = message ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    throw Error(why + " [SQL: " + sql + "]");
  }
}

sqlite3_stmt* SqliteEngine::Prepare(const std::string& sql) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &st, nullptr) != SQLITE_OK) {
    sqlite3_finalize(st);
    Fail(sql);
  }
  if (!st) throw Error("Empty SQL statement [SQL: " + sql + "]");
  return st;
}

sqlite3_stmt* SqliteEngine::Cached(const std::string& sql) {
  auto it = cache_.find(sql);
  if (it != cache_.end()) return it->second;
  if (cache_.size() >= kMaxCachedStatements) ForgetStatements();
  sqlite3_stmt* st = Prepare(sql);
  cache_.emplace(sql, st);
  return st;
}

// Texts are bound in place (SQLITE_STATIC): `params` outlives the statement's steps, which
// end with its reset before the caller's values go.
void SqliteEngine::Bind(sqlite3_stmt* st, const std::vector<Value>& params, const std::string& sql) {
  for (size_t k = 0; k < params.size(); ++k) {
    int i = static_cast<int>(k) + 1;
    const Value& v = params[k];
    int rc = SQLITE_OK;
    switch (v.type()) {
      case Type::Null: rc = sqlite3_bind_null(st, i); break;
      case Type::Boolean: rc = sqlite3_bind_int(st, i, v.AsBool() ? 1 : 0); break;
      case Type::Long: rc = sqlite3_bind_int(st, i, v.AsLong()); break;
      case Type::LongLong: rc = sqlite3_bind_int64(st, i, v.AsLongLong()); break;
      case Type::Double: rc = sqlite3_bind_double(st, i, v.AsDouble()); break;
      case Type::Text:
        rc = sqlite3_bind_text(st, i, v.AsText().data(), static_cast<int>(v.AsText().size()), SQLITE_STATIC);
        break;
      case Type::Date: {
        std::string iso = ToIso(v.AsDate());
        rc = sqlite3_bind_text(st, i, iso.data(), static_cast<int>(iso.size()), SQLITE_TRANSIENT);
        break;
      }
    }
    if (rc != SQLITE_OK) {
      std::string why = sqlite3_errmsg(db_);
      sqlite3_clear_bindings(st);  // nothing bound in place may outlive the caller's values
      throw Error(why + " [SQL: " + sql + "]");
    }
  }
}

// The statement of a T-SQL text, prepared once per shape: once rewritten for SQLite, its
// literals become parameters. A shape that does not prepare is tried as the whole text, so
// that its error reads as before.
sqlite3_stmt* SqliteEngine::Reusable(const std::string& tsql) {
  RequireTransactionIntact();
  ParameterizedSql p = translator_.Translate(tsql);
  sqlite3_stmt* st = nullptr;
  auto it = shapes_.find(p.text);
  if (it != shapes_.end()) {
    st = it->second;
  } else {
    if (shapes_.size() >= kMaxCachedStatements) ForgetStatements();
    if (sqlite3_prepare_v2(db_, p.text.c_str(), static_cast<int>(p.text.size()), &st, nullptr) != SQLITE_OK || !st) {
      sqlite3_finalize(st);
      return Cached(TsqlToSqlite(tsql));  // prepares the text as written, and throws its own error
    }
    shapes_.emplace(p.text, st);
  }
  shape_params_ = std::move(p.params);  // kept until the next statement: bound in place
  Bind(st, shape_params_, tsql);
  return st;
}

void SqliteEngine::ForgetStatements() {
  for (auto& [text, st] : cache_) sqlite3_finalize(st);
  for (auto& [text, st] : shapes_) sqlite3_finalize(st);
  cache_.clear();
  shapes_.clear();
  columns_.clear();
}

// The columns of a prepared statement, read once: names, kinds and their index.
const SqliteEngine::StatementColumns& SqliteEngine::ColumnsOf(sqlite3_stmt* st) {
  auto it = columns_.find(st);
  if (it != columns_.end()) return it->second;
  StatementColumns c;
  auto info = std::make_shared<std::vector<ColumnInfo>>();
  int n = sqlite3_column_count(st);
  for (int i = 0; i < n; ++i) {
    const char* decl = sqlite3_column_decltype(st, i);
    info->push_back({sqlite3_column_name(st, i), decl ? decl : ""});
    c.kinds.push_back(KindOf(info->back().decl_type));
  }
  c.index = MakeColumnIndex(*info);
  c.info = std::move(info);
  return columns_.emplace(st, std::move(c)).first->second;
}

ResultSet SqliteEngine::Query(const std::string& tsql) {
  sqlite3_stmt* st = Reusable(tsql);
  ResultSet rs;
  const StatementColumns& meta = ColumnsOf(st);
  const int n = static_cast<int>(meta.info->size());
  const std::vector<ColumnKind>& kinds = meta.kinds;
  rs.columns = meta.info;
  rs.index = meta.index;
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    std::vector<Value> row;
    row.reserve(n);
    for (int i = 0; i < n; ++i) row.push_back(ReadColumn(st, i, kinds[i]));
    rs.rows.push_back(std::move(row));
  }
  std::string error = rc == SQLITE_DONE ? "" : sqlite3_errmsg(db_);
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  if (!error.empty()) throw Error(error + " [SQL: " + tsql + "]");
  return rs;
}

int64_t SqliteEngine::Execute(const std::string& sql, const std::vector<Value>& params) {
  if (params.empty()) {
    sqlite3_stmt* st = Reusable(sql);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    }
    std::string error = rc == SQLITE_DONE ? "" : sqlite3_errmsg(db_);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (!error.empty()) throw Error(error + " [SQL: " + sql + "]");
    return sqlite3_changes64(db_);
  }
  RequireTransactionIntact();
  sqlite3_stmt* st = Cached(sql);
  Bind(st, params, sql);
  int rc = sqlite3_step(st);
  std::string error = rc == SQLITE_DONE || rc == SQLITE_ROW ? "" : sqlite3_errmsg(db_);
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  if (!error.empty()) throw Error(error + " [SQL: " + sql + "]");
  return sqlite3_changes64(db_);
}

std::vector<TableColumn> SqliteEngine::Columns(const std::string& table) {
  std::vector<TableColumn> cols;
  if (!IsPlainIdentifier(table)) return cols;
  Statement st(Prepare("PRAGMA table_info(\"" + table + "\")"));
  while (sqlite3_step(st.get()) == SQLITE_ROW) {
    TableColumn c;
    c.name = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 1));
    const unsigned char* type = sqlite3_column_text(st.get(), 2);
    c.decl_type = type ? reinterpret_cast<const char*>(type) : "";
    c.primary_key = sqlite3_column_int(st.get(), 5) > 0;
    c.has_default = sqlite3_column_type(st.get(), 4) != SQLITE_NULL;
    cols.push_back(std::move(c));
  }
  return cols;
}

Value SqliteEngine::GetNewID(const std::string& schema, const std::string& table,
                             const std::string& column, int32_t check_conflict) {
  RequireTransactionIntact();
  // One statement, so concurrent callers are serialised by SQLite's write lock.
  std::string sql = NewIdStatement(table, column, check_conflict);
  sqlite3_stmt* st = Cached(sql);
  const std::vector<Value> key = {Value(util::ToLower(table)), Value(util::ToLower(column))};  // bound in place
  Bind(st, key, sql);
  int rc = sqlite3_step(st);
  Value id;
  if (rc == SQLITE_ROW) id = IntegerValue(sqlite3_column_int64(st, 0));
  // Step to the end so the statement completes and commits.
  while (rc == SQLITE_ROW) rc = sqlite3_step(st);
  std::string error = rc == SQLITE_DONE ? "" : sqlite3_errmsg(db_);
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  if (!error.empty()) throw Error(error + " [SQL: " + sql + "]");
  return id;
}

}  // namespace db::sqlite
