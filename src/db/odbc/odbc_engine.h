// The ODBC backend on unixODBC's C API: SQL Server through FreeTDS or Microsoft's driver,
// and SQLite through its ODBC driver (then the T-SQL texts are rewritten as for the embedded
// backend). On SQL Server the session reads dates as day/month/year.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "db/engine.h"
#include "db/odbc_connection_string.h"
#include "db/sqlite/shape_translator.h"

namespace db::odbc {

struct PreparedStatement;

class OdbcEngine : public Engine {
 public:
  // Connects; throws db::Error with the driver's diagnostics when it cannot.
  explicit OdbcEngine(const OdbcTarget& target);
  ~OdbcEngine() override;

  ResultSet Query(const std::string& sql) override;
  int64_t Execute(const std::string& sql, const std::vector<Value>& params) override;
  void Write(const std::string& sql, const std::vector<Value>& params) override;
  std::vector<TableColumn> Columns(const std::string& table) override;
  Value GetNewID(const std::string& schema, const std::string& table, const std::string& column,
                 int32_t check_conflict) override;
  void Close() override;

  void BeginTransaction() override;
  void CommitTransaction() override;
  void RollbackTransaction() override;
  void Savepoint(const std::string& name) override;
  void RollbackToSavepoint(const std::string& name) override;
  void ReleaseSavepoint(const std::string& name) override;
  bool BeginSnapshot() override;
  void EndSnapshot() override;
  // SQLite through its driver, idle and still on the file it opened, as the embedded engine;
  // a SQL Server login is never kept.
  bool Poolable() const override;
  bool OnItsFile() const override;

  bool is_sqlite() const { return sqlite_; }
  bool is_sql_server() const { return sql_server_; }
  // The timeouts the driver holds (seconds), as it reports them.
  int DriverLoginTimeout() const;
  int DriverQueryTimeout() const;

 private:
  ResultSet Run(const std::string& sql, const std::vector<Value>& params, bool translated, int64_t* rows);
  bool RunShaped(const std::string& tsql, ResultSet* result, int64_t* rows);
  PreparedStatement* Prepare(const std::string& text);
  bool RunPrepared(const std::string& text, const std::vector<Value>& params, const std::string& tsql, ResultSet* result,
                   int64_t* rows);
  int64_t Changes();
  void ForgetPrepared();
  void NoteFailure();
  bool TransactionOpen();
  Value NewId(const std::string& schema, const std::string& table, const std::string& column, int32_t check_conflict);
  void RequireTransactionIntact() const;
  std::string Translate(const std::string& sql) const;
  int64_t ExecuteAsRpc(const std::string& sql);

  void* env_ = nullptr;
  void* dbc_ = nullptr;
  bool sqlite_ = false;
  bool sql_server_ = false;
  int query_timeout_ = 0;
  bool in_transaction_ = false;
  bool transaction_lost_ = false;
  // SQLite: no transaction or read transaction of ours is open (false from its BEGIN until a
  // COMMIT or ROLLBACK that succeeded).
  bool idle_ = true;
  // SQLite: the database file as it was when connected (device and inode), to tell a file
  // replaced since.
  std::string database_path_;
  std::optional<std::pair<unsigned long long, unsigned long long>> database_file_;
  // SQLite through its driver: statements prepared once per shape.
  static constexpr size_t kMaxPrepared = 512;
  sqlite::ShapeTranslator translator_;
  std::unordered_map<std::string, std::unique_ptr<PreparedStatement>> prepared_;
};

}  // namespace db::odbc
