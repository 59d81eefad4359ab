// What a database backend provides to the connection, recordset and command layer.
// Engines see SQL texts already addressed to them; they never print anything.
#pragma once

#include <cstdint>
#include <cstring>
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
// Setting bit 0x20 of every byte folds ASCII upper case onto lower case (and leaves equal
// bytes equal), so the hash reads eight bytes at a time; an exact match is compared first.
struct NoCaseHash {
  using is_transparent = void;
  // Not noexcept, so that the map keeps each name's hash instead of computing it again.
  size_t operator()(std::string_view s) const {
    constexpr uint64_t kFold = 0x2020202020202020ull, kMul = 0x9E3779B97F4A7C15ull;
    uint64_t h = s.size();
    size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
      uint64_t w;
      std::memcpy(&w, s.data() + i, 8);
      h = (h ^ (w | kFold)) * kMul;
      h ^= h >> 29;
    }
    if (size_t rest = s.size() - i; rest > 0) {
      uint64_t tail = 0;
      std::memcpy(&tail, s.data() + i, rest);
      h = (h ^ (tail | (kFold >> (8 * (8 - rest))))) * kMul;
    }
    return static_cast<size_t>(h ^ (h >> 32));
  }
};
struct NoCaseEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept {
    return a.size() == b.size() && (a == b || util::EqualsNoCase(a, b));
  }
};
// Column name -> index of the first column of that name. Callers ask for the same few names
// again and again, mostly through the same string literals: the answer last found for a
// name at that address is checked with one comparison before the names are hashed.
class ColumnIndex {
 public:
  void Add(std::string name, int index) { names_.emplace(std::move(name), index); }  // the first one stays
  int Find(std::string_view name) const {
    Recent& r = recent_[(reinterpret_cast<uintptr_t>(name.data()) >> 3) % kRecent];
    if (r.data == name.data() && r.key && NoCaseEqual()(*r.key, name)) return r.index;
    auto it = names_.find(name);
    if (it == names_.end()) return -1;
    r = {name.data(), &it->first, it->second};
    return it->second;
  }

 private:
  static constexpr size_t kRecent = 64;
  struct Recent {
    const char* data = nullptr;
    const std::string* key = nullptr;  // the name as kept: nodes of the map do not move
    int index = -1;
  };
  std::unordered_map<std::string, int, NoCaseHash, NoCaseEqual> names_;
  mutable Recent recent_[kRecent] = {};
};

struct ResultSet {
  // The columns, shared by every result of a statement; null when there are none.
  std::shared_ptr<const std::vector<ColumnInfo>> columns;
  std::vector<std::vector<Value>> rows;
  // The index of `columns`, when the backend keeps one per statement; built on demand if null.
  std::shared_ptr<const ColumnIndex> index;
};

// The index of a list of columns.
std::shared_ptr<const ColumnIndex> MakeColumnIndex(const std::vector<ColumnInfo>& columns);

// What a declared column type converts assigned values to.
enum class ColumnKind { kInt, kBigInt, kSmallInt, kTinyInt, kBit, kFloat, kDateTime, kText, kUntyped };

// A column of a base table, for the conversion of assigned values and updates by key.
struct TableColumn {
  std::string name;
  std::string decl_type;
  bool primary_key = false;
  bool has_default = true;  // a new row may get a value it was not given (unknown: assume so)
  // Read from decl_type by the connection that describes the table.
  ColumnKind kind = ColumnKind::kUntyped;
  int max_length = 0;  // of a text column, 0 when unbounded
};

class Engine {
 public:
  virtual ~Engine() = default;
  // Runs a query and reads all its rows (the snapshot of a static cursor).
  virtual ResultSet Query(const std::string& sql) = 0;
  // Runs a statement with positional parameters; returns the records affected.
  virtual int64_t Execute(const std::string& sql, const std::vector<Value>& params) = 0;
  // The same, for a caller that does not read the count (which may cost a round trip).
  virtual void Write(const std::string& sql, const std::vector<Value>& params) { Execute(sql, params); }
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

  // A read transaction: the reads that follow see one snapshot of the database and take its
  // read lock once instead of once each, without keeping anyone from writing. False where
  // the backend has none worth taking (SQL Server, whose reads hold no snapshot).
  virtual bool BeginSnapshot() { return false; }
  virtual void EndSnapshot() {}

  // Whether this engine, idle (no transaction open) and still on the database it opened,
  // may serve the next connection to the same database instead of being closed (see
  // EnginePool).
  virtual bool Poolable() const { return false; }
  // Whether the engine is on an SQLite file that is still the one it opened (not deleted or
  // replaced since); false where it cannot tell.
  virtual bool OnItsFile() const { return false; }
};

}  // namespace db
