// The embedded backend on the sqlite3 C API. T-SQL texts are rewritten by the dialect;
// dates are kept as ISO text; "GetNewID" is answered natively.
#pragma once

#include <string>
#include <unordered_map>

#include "db/column_type.h"
#include "db/engine.h"
#include "db/sqlite/shape_translator.h"

struct sqlite3;
struct sqlite3_stmt;

namespace db::sqlite {

class SqliteEngine : public Engine {
 public:
  // Opens an existing database file (never creates one) in WAL mode with a busy timeout.
  explicit SqliteEngine(const std::string& path);
  ~SqliteEngine() override;

  ResultSet Query(const std::string& sql) override;
  int64_t Execute(const std::string& sql, const std::vector<Value>& params) override;
  std::vector<TableColumn> Columns(const std::string& table) override;
  Value GetNewID(const std::string& schema, const std::string& table, const std::string& column,
                 int32_t check_conflict) override;
  void Close() override;

  void BeginTransaction() override {
    Run("BEGIN IMMEDIATE");
    in_transaction_ = true;
  }
  void CommitTransaction() override {
    Run("COMMIT");
    in_transaction_ = false;
  }
  void RollbackTransaction() override;
  void Savepoint(const std::string& name) override { Run("SAVEPOINT " + name); }
  void RollbackToSavepoint(const std::string& name) override { Run("ROLLBACK TO " + name); }
  void ReleaseSavepoint(const std::string& name) override { Run("RELEASE " + name); }
  bool BeginSnapshot() override {
    Run("BEGIN DEFERRED");
    return true;
  }
  void EndSnapshot() override;
  bool Poolable() const override;
  bool OnItsFile() const override;

 private:
  sqlite3_stmt* Prepare(const std::string& sql);
  sqlite3_stmt* Cached(const std::string& sql);
  sqlite3_stmt* Reusable(const std::string& tsql);
  void Bind(sqlite3_stmt* st, const std::vector<Value>& params, const std::string& sql);
  [[noreturn]] void Fail(const std::string& sql);
  // Runs a statement of our own (no dialect, no parameters).
  void Run(const std::string& sql);

  sqlite3* db_ = nullptr;
  void ForgetStatements();
  void UseWal();
  // Throws when SQLite rolled back the open transaction by itself (a full disk, an I/O
  // error): no statement may then run on its own, outside the caller's unit of work.
  void RequireTransactionIntact() const;
  bool in_transaction_ = false;
  struct StatementColumns {
    std::shared_ptr<const std::vector<ColumnInfo>> info;
    std::vector<ColumnKind> kinds;
    std::shared_ptr<const ColumnIndex> index;
  };
  const StatementColumns& ColumnsOf(sqlite3_stmt* st);

  std::unordered_map<std::string, sqlite3_stmt*> cache_;   // statements by their SQLite text
  std::unordered_map<std::string, sqlite3_stmt*> shapes_;  // statements by their literal-free shape
  std::unordered_map<sqlite3_stmt*, StatementColumns> columns_;
  ShapeTranslator translator_;
  std::vector<Value> shape_params_;  // the literals of the last statement of a shape, as bound
};

}  // namespace db::sqlite
