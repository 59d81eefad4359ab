#include "db/connection.h"

#include "db/column_type.h"
#include "db/connection_string.h"
#include "db/recordset.h"
#include "db/odbc/odbc_engine.h"
#include "db/odbc_connection_string.h"
#include "db/sqlite/sqlite_engine.h"
#include "util/text.h"

namespace db {

Connection::Connection() = default;
Connection::~Connection() = default;

void Connection::Open(const std::string& connection_string) {
  if (engine_) throw Error("Operation is not allowed when the object is open.", 3705);
  if (util::Trim(connection_string).empty()) {
    throw Error("The connection string is empty: there is no database to connect to.");
  }
  table_columns_.clear();
  write_targets_.clear();
  // The key of the pool: the string, and the query timeout a driver's connection was given.
  opened_with_ = PoolKey(connection_string, odbc_options_);
  if (pool_) {
    EnginePool::Kept kept = pool_->Take(opened_with_);
    // An engine whose file was replaced since is closed as `kept` goes.
    if (kept.engine && kept.engine->Poolable()) {
      engine_ = std::move(kept.engine);
      connection_string_ = std::move(kept.connection_string);
      sqlite_ = kept.sqlite;
      return;
    }
  }
  db::ConnectionString cs = db::ConnectionString::Parse(connection_string);
  std::string provider = util::ToLower(cs.Get("Provider").value_or(""));
  if (provider == "sqlite") {
    std::string path = cs.Get("Data Source").value_or("");
    if (path.empty()) {
      throw Error("The connection string names no database file (Data Source is empty): " +
                  connection_string);
    }
    engine_ = std::make_unique<sqlite::SqliteEngine>(path);
    connection_string_ = connection_string;
    sqlite_ = true;
  } else if (auto target = ToOdbc(connection_string, odbc_options_)) {
    auto odbc = std::make_unique<odbc::OdbcEngine>(*target);
    sqlite_ = odbc->is_sqlite();
    engine_ = std::move(odbc);
    connection_string_ = target->connection_string;  // as the open connection reports it
  } else {
    throw Error("Unsupported connection string (no known Provider or Driver): " + connection_string);
  }
}

bool Connection::IsSqlServer() const {
  auto* odbc = dynamic_cast<const odbc::OdbcEngine*>(engine_.get());
  return odbc && odbc->is_sql_server();
}

void Connection::Close() {
  if (!engine_) throw Error("Operation is not allowed when the object is closed.", 3704);
  if (!GiveToPool()) engine_->Close();  // an open transaction is rolled back by the backend
  engine_.reset();
  in_transaction_ = snapshot_ = false;
  ForgetKeptNewIds();
  cache_.Clear();
  deferred_.clear();
}

std::string Connection::PoolKey(const std::string& connection_string, const OdbcOptions& options) {
  return connection_string + '\x1f' + std::to_string(options.query_timeout);
}

bool Connection::ReopensAsIs(const std::string& connection_string, const OdbcOptions& options) const {
  return pool_ && engine_ && engine_->OnItsFile() && opened_with_ == PoolKey(connection_string, options);
}

bool Connection::GiveToPool() {
  if (!pool_) return false;
  try {
    if (in_transaction_) engine_->RollbackTransaction();
    if (snapshot_) engine_->EndSnapshot();
  } catch (const Error&) {
    return false;  // not idle: closed instead
  }
  if (!engine_->Poolable()) return false;  // a transaction still open, or its file replaced
  pool_->Give(opened_with_, {std::move(engine_), connection_string_, sqlite_});
  return true;
}

void Connection::RunDeferredWrites() {
  std::vector<std::pair<std::string, std::vector<Value>>> writes = std::move(deferred_);
  deferred_.clear();
  bool defer = defer_writes_;
  defer_writes_ = false;
  try {
    for (const auto& [sql, params] : writes) WriteWithParams(sql, params);  // their counts were given when held back
  } catch (...) {
    defer_writes_ = defer;
    throw;
  }
  defer_writes_ = defer;
}

void Connection::BeginSnapshot() {
  if (in_transaction_ || snapshot_ || !sqlite_) return;
  Before("BEGIN DEFERRED");
  snapshot_ = Counted([&] { return engine_->BeginSnapshot(); });
}

void Connection::EndSnapshot() {
  if (!snapshot_) return;
  snapshot_ = false;
  cache_.Clear();  // others may have written since
  Before("END TRANSACTION");
  Counted([&] {
    engine_->EndSnapshot();
    return 0;
  });
}

void Connection::BeginTransaction() {
  if (in_transaction_) throw Error("A transaction is already open on this connection.");
  EndSnapshot();
  Before("BEGIN TRANSACTION");
  cache_.Clear();  // a new snapshot: what others wrote since is visible again
  engine_->BeginTransaction();
  in_transaction_ = true;
}

void Connection::CommitTransaction() {
  if (!in_transaction_) throw Error("No transaction is open on this connection.");
  WriteKeptNewIds();
  Before("COMMIT TRANSACTION");
  engine_->CommitTransaction();
  ForgetKeptNewIds();  // others may take ids again
  in_transaction_ = false;
  cache_.Clear();  // others may write again
}

void Connection::RollbackTransaction() {
  ForgetKeptNewIds();
  if (!in_transaction_) return;
  in_transaction_ = false;
  engine();
  ++statements_;
  cache_.Clear();
  engine_->RollbackTransaction();  // no hook: a rollback must not be made to fail
}

void Connection::Savepoint(const std::string& name) {
  if (!in_transaction_) throw Error("A savepoint needs an open transaction.");
  Before("SAVE TRANSACTION " + name);
  engine_->Savepoint(name);
  kept_at_savepoint_.push_back({name, keep_ids_, kept_ids_});
}

std::vector<Connection::KeptAtSavepoint>::iterator Connection::KeptAt(const std::string& savepoint) {
  for (auto it = kept_at_savepoint_.end(); it != kept_at_savepoint_.begin();) {
    if ((--it)->savepoint == savepoint) return it;
  }
  return kept_at_savepoint_.end();
}

void Connection::RollbackToSavepoint(const std::string& name) {
  auto kept = KeptAt(name);
  if (kept == kept_at_savepoint_.end()) {
    ForgetKeptNewIds();
  } else {
    // The savepoint stays open; the ones taken after it are gone.
    keep_ids_ = kept->keep;
    kept_ids_ = kept->ids;
    kept_at_savepoint_.erase(kept + 1, kept_at_savepoint_.end());
  }
  engine();
  ++statements_;
  cache_.Clear();
  try {
    engine_->RollbackToSavepoint(name);  // no hook, as for a rollback
  } catch (...) {
    // What the database's counters hold is not known any more: the caller must roll the
    // whole transaction back.
    ForgetKeptNewIds();
    throw;
  }
}

void Connection::ReleaseSavepoint(const std::string& name) {
  Before("RELEASE SAVEPOINT " + name);
  engine_->ReleaseSavepoint(name);
  auto kept = KeptAt(name);
  if (kept != kept_at_savepoint_.end()) kept_at_savepoint_.erase(kept, kept_at_savepoint_.end());
}

Engine& Connection::engine() {
  if (!engine_) throw Error("Operation is not allowed when the object is closed.", 3704);
  return *engine_;
}

void Connection::Before(const std::string& sql) {
  engine();
  ++statements_;
  if (hook_) hook_(sql);
}

int64_t Connection::Execute(const std::string& sql) { return ExecuteWithParams(sql, {}); }

void Connection::ExecuteNoRecords(const std::string& sql) { Send(sql, {}, false); }

int64_t Connection::ExecuteWithParams(const std::string& sql, const std::vector<Value>& params) {
  return Send(sql, params, true);
}

void Connection::WriteWithParams(const std::string& sql, const std::vector<Value>& params) {
  Send(sql, params, false);
}

int64_t Connection::Send(const std::string& sql, const std::vector<Value>& params, bool count) {
  if (defer_writes_ && !util::StartsWithNoCase(util::Trim(sql), "select")) {
    engine();
    deferred_.emplace_back(sql, params);
    return 1;
  }
  return Counted([&]() -> int64_t {
    Before(sql);
    cache_.Written(sql, params);
    if (count) return engine_->Execute(sql, params);
    engine_->Write(sql, params);
    return 0;
  });
}

std::shared_ptr<ResultSet> Connection::Answer(const std::string& sql) {
  std::shared_ptr<ResultSet> kept = cache_.Take(sql);
  if (!kept) kept = cache_.Find(sql);
  if (kept) {
    engine();
    if (kept_read_check_) kept_read_check_(sql, engine_->Query(sql).rows == kept->rows);
    return kept;
  }
  auto result = std::make_shared<ResultSet>(Counted([&] {
    Before(sql);
    return engine_->Query(sql);
  }));
  cache_.Store(sql, result, in_transaction_ || snapshot_);
  return result;
}

std::unique_ptr<Recordset> Connection::OpenRecordset(const std::string& sql, CursorType cursor,
                                                     LockType lock) {
  return std::make_unique<Recordset>(this, sql, cursor, lock, Answer(sql));
}

std::shared_ptr<const Connection::TableShape> Connection::Table(const std::string& table) {
  std::string key = util::ToLower(table);
  auto it = table_columns_.find(key);
  if (it == table_columns_.end()) {
    auto shape = std::make_shared<TableShape>();
    shape->columns = engine().Columns(table);
    if (shape->columns.empty()) throw Error("Invalid object name '" + table + "'.");
    for (TableColumn& c : shape->columns) c.kind = KindOf(c.decl_type), c.max_length = TextLength(c.decl_type);
    for (size_t i = 0; i < shape->columns.size(); ++i) shape->index.Add(shape->columns[i].name, static_cast<int>(i));
    it = table_columns_.emplace(key, std::move(shape)).first;
  }
  return it->second;
}

std::shared_ptr<const WriteTarget> Connection::KnownWriteTarget(const std::vector<ColumnInfo>* columns) const {
  auto it = write_targets_.find(columns);
  return it == write_targets_.end() ? nullptr : it->second;
}

void Connection::KeepWriteTarget(const std::vector<ColumnInfo>* columns, std::shared_ptr<const WriteTarget> target) {
  constexpr size_t kMaxTargets = 1024;
  if (write_targets_.size() >= kMaxTargets) write_targets_.clear();
  write_targets_[columns] = std::move(target);
}

Value Connection::CallGetNewID(const std::string& schema, const std::string& table,
                               const std::string& column, int32_t check_conflict) {
  if (keep_ids_) {
    auto key = std::make_pair(util::ToLower(table), util::ToLower(column));
    auto it = kept_ids_.find(key);
    if (it != kept_ids_.end()) {
      it->second.written = false;
      return Value(static_cast<int32_t>(++it->second.last));
    }
    Value id = AskNewID(schema, table, column, check_conflict);
    if (id.type() == Type::Long && id.AsLong() > 0 && id.AsLong() < INT32_MAX) kept_ids_[key] = {id.AsLong(), true};
    return id;
  }
  return AskNewID(schema, table, column, check_conflict);
}

void Connection::WriteKeptNewIds() {
  for (auto& [key, kept] : kept_ids_) {
    if (kept.written) continue;
    ExecuteWithParams("UPDATE tabContatoriID SET UltimoID = ? WHERE NomeTabella = ? AND NomeColonna = ?",
                      {Value(static_cast<int32_t>(kept.last)), Value(key.first), Value(key.second)});
    kept.written = true;
  }
}

Value Connection::AskNewID(const std::string& schema, const std::string& table,
                           const std::string& column, int32_t check_conflict) {
  return Counted([&] {
    Before("{call GetNewID('" + schema + "', '" + table + "', '" + column + "', " +
           std::to_string(check_conflict) + ")}");
    cache_.Written("update tabContatoriID");
    return engine_->GetNewID(schema, table, column, check_conflict);
  });
}

}  // namespace db
