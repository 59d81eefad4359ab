// The ODBC backend on unixODBC's C API: SQL Server through FreeTDS or Microsoft's driver,
// and SQLite through its ODBC driver (then the T-SQL texts are rewritten as for the embedded
// backend). On SQL Server the session reads dates as day/month/year.
#pragma once

#include <string>

#include "db/engine.h"
#include "db/odbc_connection_string.h"

namespace db::odbc {

class OdbcEngine : public Engine {
 public:
  // Connects; throws db::Error with the driver's diagnostics when it cannot.
  explicit OdbcEngine(const OdbcTarget& target);
  ~OdbcEngine() override;

  ResultSet Query(const std::string& sql) override;
  int64_t Execute(const std::string& sql, const std::vector<Value>& params) override;
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

  bool is_sqlite() const { return sqlite_; }

 private:
  ResultSet Run(const std::string& sql, const std::vector<Value>& params, bool prepared, int64_t* rows);
  std::string Translate(const std::string& sql) const;

  void* env_ = nullptr;
  void* dbc_ = nullptr;
  bool sqlite_ = false;
  bool in_transaction_ = false;
};

}  // namespace db::odbc
