// What a database backend provides to the connection, recordset and command layer.
// Engines see SQL texts already addressed to them; they never print anything.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/value.h"

namespace db {

struct ColumnInfo {
  std::string name;
  std::string decl_type;  // as declared in the table ("int", "nvarchar(50)"), "" for expressions
};

struct ResultSet {
  std::vector<ColumnInfo> columns;
  std::vector<std::vector<Value>> rows;
};

// A column of a base table, for the conversion of assigned values and updates by key.
struct TableColumn {
  std::string name;
  std::string decl_type;
  bool primary_key = false;
};

class Engine {
 public:
  virtual ~Engine() = default;
  // Runs a query and reads all its rows (the snapshot of a static cursor).
  virtual ResultSet Query(const std::string& sql) = 0;
  // Runs a statement with positional parameters; returns the records affected.
  virtual int64_t Execute(const std::string& sql, const std::vector<Value>& params) = 0;
  // The columns of a table, in table order; empty when the table does not exist.
  virtual std::vector<TableColumn> Columns(const std::string& table) = 0;
  // The "GetNewID" stored procedure: the newID output value.
  virtual Value GetNewID(const std::string& schema, const std::string& table,
                         const std::string& column, int32_t check_conflict) = 0;
  // Any other stored procedure is unknown to the embedded backend.
  virtual void Close() = 0;

  // Transactions. Begin takes the write lock at once where the backend can, so that
  // counters and stock read inside the transaction cannot change under it. Savepoints
  // nest inside an open transaction.
  virtual void BeginTransaction() = 0;
  virtual void CommitTransaction() = 0;
  virtual void RollbackTransaction() = 0;
  virtual void Savepoint(const std::string& name) = 0;
  virtual void RollbackToSavepoint(const std::string& name) = 0;
  virtual void ReleaseSavepoint(const std::string& name) = 0;
};

}  // namespace db
