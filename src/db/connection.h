// ADO-shaped connection: Open from a connection string, Execute, recordsets, "GetNewID".
// The backend is chosen by the connection string; callers never see which one it is.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/engine.h"
#include "db/engine_pool.h"
#include "db/error.h"
#include "db/odbc_connection_string.h"
#include "db/query_cache.h"
#include "db/value.h"

namespace db {

class Recordset;
struct WriteTarget;

enum CursorType { kForwardOnly = 0, kKeyset = 1, kDynamic = 2, kStatic = 3 };
enum LockType { kReadOnly = 1, kPessimistic = 2, kOptimistic = 3, kBatchOptimistic = 4 };

class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Opens the database the string names. "Provider=SQLite;Data Source=PATH;" selects
  // the embedded backend; "Driver=..." / "DSN=..." strings and SQL Server providers
  // (SQLOLEDB, SQLNCLI*, MSOLEDBSQL, translated for the ODBC driver set below) go through
  // ODBC. Throws db::Error with a readable reason on failure.
  void Open(const std::string& connection_string);
  // The ODBC driver that SQL Server provider strings are translated for, and what else the
  // translation adds (workstation id, application name, query timeout).
  void set_odbc_driver(std::string driver) { odbc_options_.driver = std::move(driver); }
  void set_odbc_options(OdbcOptions options) { odbc_options_ = std::move(options); }
  // Where Close leaves an SQLite engine for the next Open of the same string, and Open takes
  // it from (see EnginePool); null: every Open connects anew.
  void set_engine_pool(EnginePool* pool) { pool_ = pool; }
  // Whether closing this connection and opening it again with `connection_string` and
  // `options` would only hand back an idle engine on the same, unreplaced database file (the
  // pool keeps it): staying open instead, with what is open on it (a transaction included),
  // changes nothing in the database.
  bool ReopensAsIs(const std::string& connection_string, const OdbcOptions& options) const;
  // True when the open connection is to Microsoft SQL Server (through ODBC).
  bool IsSqlServer() const;
  void Close();
  int State() const { return engine_ ? 1 : 0; }  // 0 closed, 1 open
  // The string as the open connection reports it.
  const std::string& ConnectionString() const { return connection_string_; }

  // Runs a statement; returns the records affected.
  int64_t Execute(const std::string& sql);
  // Runs a statement whose records affected the caller does not read (ADO's
  // adExecuteNoRecords): a backend that counts them with a statement of its own (SQLite's
  // ODBC driver) is spared it.
  void ExecuteNoRecords(const std::string& sql);
  std::unique_ptr<Recordset> OpenRecordset(const std::string& sql, CursorType cursor = kStatic,
                                           LockType lock = kReadOnly);

  // Transactions (none is open unless asked for: every statement commits on its own).
  // Begin takes the write lock at once; a savepoint rolls back alone inside the transaction.
  void BeginTransaction();
  void CommitTransaction();
  void RollbackTransaction();
  bool InTransaction() const { return in_transaction_; }
  // Reads only, until EndSnapshot: one read transaction where the backend has one (see
  // Engine::BeginSnapshot). A transaction begun meanwhile ends the snapshot first.
  void BeginSnapshot();
  void EndSnapshot();
  void Savepoint(const std::string& name);
  void RollbackToSavepoint(const std::string& name);
  void ReleaseSavepoint(const std::string& name);

  // Writes held back: while set, every statement that is not a read is kept (and reported
  // as affecting one record) until RunDeferredWrites sends them in order. A unit of work
  // spanning two databases uses it to write the second only once the first has committed.
  void set_defer_writes(bool defer) { defer_writes_ = defer; }
  bool defers_writes() const { return defer_writes_; }
  size_t deferred_writes() const { return deferred_.size(); }
  void DropDeferredWrites(size_t keep) {
    if (keep < deferred_.size()) deferred_.resize(keep);
  }
  void RunDeferredWrites();

  // New ids continued in memory. Inside a transaction on SQLite, which holds the database's
  // write lock so that no one else can take an id meanwhile, "GetNewID" asks the database
  // once per counter and hands out the following ids itself until WriteKeptNewIds writes the
  // counters back. A commit writes them first; a rollback forgets them, and a rollback to a
  // savepoint goes back to those kept when the savepoint was taken (the database's counters
  // go back with it). Elsewhere (SQL Server, no transaction) every call reaches the
  // database, as before.
  void KeepNewIds() { keep_ids_ = in_transaction_ && sqlite_; }
  void WriteKeptNewIds();

  // Which reads this connection may answer from what it read before (see QueryCache).
  void set_read_cache(ReadCache policy) { cache_.set_policy(policy); }
  // The rows a read gives, as OpenRecordset reads them.
  std::shared_ptr<const ResultSet> ReadRows(const std::string& sql) { return Answer(sql); }
  // Whether nothing can change what this connection reads until its snapshot ends: it reads
  // one snapshot, holds its own writes back, and keeps reads.
  bool ReadsFrozenSnapshot() const { return snapshot_ && defer_writes_ && cache_.policy() != ReadCache::kOff; }
  // The answer of `sql` worked out by the caller from a wider read of the same frozen
  // snapshot, kept for the one read of `sql` that follows (ignored unless the snapshot is
  // frozen). ForgetPrefetched drops what was not read.
  void KeepPrefetched(const std::string& sql, std::shared_ptr<ResultSet> answer) {
    if (ReadsFrozenSnapshot()) cache_.KeepPrefetched(sql, std::move(answer));
  }
  void ForgetPrefetched() { cache_.ForgetPrefetched(); }

  // True when the open database is SQLite (embedded or through its ODBC driver).
  bool IsSqlite() const { return sqlite_; }

  // Statements sent since the connection was created.
  uint64_t statement_count() const { return statements_; }
  // Statements the database (or a closed connection) refused, caught or not by the caller.
  uint64_t refused_count() const { return refused_; }

  // Called with the text of every statement before it runs; a hook may throw to make the
  // statement fail (tests use it to inject faults).
  using StatementHook = std::function<void(const std::string& sql)>;
  void set_statement_hook(StatementHook hook) { hook_ = std::move(hook); }
  // Called with every read answered from what the connection kept, after reading it again
  // from the database (uncounted, past the statement hook): `same` tells whether both agree.
  // Tests use it to hold the read cache to the database.
  using KeptReadCheck = std::function<void(const std::string& sql, bool same)>;
  void set_kept_read_check(KeptReadCheck check) { kept_read_check_ = std::move(check); }

  // Used by Recordset and Command.
  int64_t ExecuteWithParams(const std::string& sql, const std::vector<Value>& params);
  // The same, for a caller that does not read the records affected.
  void WriteWithParams(const std::string& sql, const std::vector<Value>& params);
  const std::vector<TableColumn>& TableColumns(const std::string& table) { return Table(table)->columns; }
  struct TableShape {
    std::vector<TableColumn> columns;
    ColumnIndex index;  // column name -> its position in `columns`
  };
  std::shared_ptr<const TableShape> Table(const std::string& table);
  Value CallGetNewID(const std::string& schema, const std::string& table,
                     const std::string& column, int32_t check_conflict);
  // What recordsets of a shape (their result columns) write to, once known; or null.
  std::shared_ptr<const WriteTarget> KnownWriteTarget(const std::vector<ColumnInfo>* columns) const;
  void KeepWriteTarget(const std::vector<ColumnInfo>* columns, std::shared_ptr<const WriteTarget> target);

 private:
  template <class Body>
  auto Counted(Body&& body) {
    try {
      return body();
    } catch (...) {
      ++refused_;
      throw;
    }
  }
  Engine& engine();
  void Before(const std::string& sql);
  int64_t Send(const std::string& sql, const std::vector<Value>& params, bool count);
  // The answer of a read: kept (prefetched or read before) or read now.
  std::shared_ptr<ResultSet> Answer(const std::string& sql);
  Value AskNewID(const std::string& schema, const std::string& table, const std::string& column,
                 int32_t check_conflict);

  std::unique_ptr<Engine> engine_;
  std::string connection_string_;
  OdbcOptions odbc_options_;
  std::map<std::string, std::shared_ptr<const TableShape>> table_columns_;  // lower-case table name
  std::unordered_map<const void*, std::shared_ptr<const WriteTarget>> write_targets_;  // by result columns
  StatementHook hook_;
  KeptReadCheck kept_read_check_;
  uint64_t statements_ = 0;
  uint64_t refused_ = 0;
  bool in_transaction_ = false;
  bool snapshot_ = false;
  // Leaves the engine, idle, in the pool; false when it is to be closed instead.
  bool GiveToPool();
  bool sqlite_ = false;
  EnginePool* pool_ = nullptr;
  std::string opened_with_;  // what Open was given: the key of the pool
  static std::string PoolKey(const std::string& connection_string, const OdbcOptions& options);
  QueryCache cache_;
  bool defer_writes_ = false;
  struct KeptId {
    int64_t last = 0;
    bool written = true;  // the database's counter holds `last`
  };
  using KeptIds = std::map<std::pair<std::string, std::string>, KeptId>;  // (table, column), lower case
  struct KeptAtSavepoint {
    std::string savepoint;
    bool keep = false;
    KeptIds ids;
  };
  // The open savepoints, innermost last, as SQLite stacks them.
  std::vector<KeptAtSavepoint>::iterator KeptAt(const std::string& savepoint);
  void ForgetKeptNewIds() {
    keep_ids_ = false;
    kept_ids_.clear();
    kept_at_savepoint_.clear();
  }
  bool keep_ids_ = false;
  KeptIds kept_ids_;
  std::vector<KeptAtSavepoint> kept_at_savepoint_;
  std::vector<std::pair<std::string, std::vector<Value>>> deferred_;
};

}  // namespace db
