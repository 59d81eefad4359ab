// What a database backend provides to the connection, recordset and command layer.
// Engines see SQL texts already addressed to them; they never print anything.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <string>
#include <string_view>
#include <vector>

#include "db/value.h"
#include "util/text.h"

namespace db {

struct ColumnInfo {
  std::string name;
  std::string decl_type;  // as declared in the table ("int", "nvarchar(50)"), "" for expressions
};

// Column names compared without regard to case, looked up without copying the name.
struct NoCaseHash {
  using is_transparent = void;
  // Not noexcept, so that the map keeps each name's hash instead of computing it again.
  size_t operator()(std::string_view s) const {
    size_t h = 14695981039346656037ull;
    for (char c : s) h = (h ^ static_cast<unsigned char>(util::AsciiLower(c))) * 1099511628211ull;
    return h;
  }
};
struct NoCaseEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept { return util::EqualsNoCase(a, b); }
};
// Column name -> index of the first column of that name.
using ColumnIndex = std::unordered_map<std::string, int, NoCaseHash, NoCaseEqual>;

struct ResultSet {
  // The columns, shared by every result of a statement; null when there are none.
  std::shared_ptr<const std::vector<ColumnInfo>> columns;
  std::vector<std::vector<Value>> rows;
  // The index of `columns`, when the backend keeps one per statement; built on demand if null.
  std::shared_ptr<const ColumnIndex> index;
};

// The index of a list of columns.
std::shared_ptr<const ColumnIndex> MakeColumnIndex(const std::vector<ColumnInfo>& columns);

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
