// ADO-shaped recordset over a snapshot of a query's rows. Fields are found by name
// without regard to case. AddNew/Set/Update inserts only the assigned columns; Set/Update
// on the current row updates that row by the table's primary key.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/connection.h"
#include "db/engine.h"
#include "db/value.h"

namespace db {

// What the recordsets of one statement shape write to: the table after the select's first
// FROM, its columns, and for each result column the table column it is (-1: none, as for
// an expression). Worked out on a shape's first write and kept by the connection.
struct WriteTarget {
  std::shared_ptr<const std::vector<ColumnInfo>> columns;  // the shape; keeps its address unique
  std::string table;
  std::shared_ptr<const Connection::TableShape> shape;
  std::vector<int> column_of;
  std::vector<std::pair<int, int>> keys;  // primary key: (table column, result column or -1)
  bool every_column = false;              // every column of the table is a result column
  // The INSERT and UPDATE texts written so far, by the fields they assign.
  static constexpr size_t kMaxTexts = 64;
  mutable std::unordered_map<std::vector<bool>, std::string> inserts, updates;
};

class Recordset {
 public:
  // `data` may be shared with the connection's read cache: its rows are copied only when
  // this recordset changes them while the cache still holds them.
  Recordset(Connection* connection, std::string sql, CursorType cursor, LockType lock,
            std::shared_ptr<ResultSet> data);

  bool Eof() const { return position_ >= rows().size() && !adding_; }
  void MoveNext();
  void MoveFirst();
  int64_t RecordCount() const { return static_cast<int64_t>(rows().size()); }

  int FieldCount() const { return static_cast<int>(columns_->size()); }
  const std::string& FieldName(int index) const;
  const Value& Field(int index) const;
  // The value of the named field of the current record; throws db::Error when the field
  // does not exist or there is no current record.
  const Value& Field(std::string_view name) const;
  const Value& operator[](std::string_view name) const { return Field(name); }
  bool HasField(std::string_view name) const { return IndexOf(name) >= 0; }

  void AddNew();
  // Assigns a field of the new or current record, converted to the column's type.
  void Set(std::string_view name, const Value& value);
  // Writes the pending new or changed record.
  void Update();
  void CancelUpdate();
  // Whether the pending new record shows field for field what the table will hold once it
  // is inserted: every column of the table is a field, and no field left unassigned has a
  // default (it stays Null). What a trigger might change is not known here.
  bool PendingRowIsWhole();
  // The pending record's values, to put back after an attempt that failed halfway.
  struct Pending {
    std::vector<Value> values;
    std::vector<bool> assigned;
  };
  Pending SavePending() const { return {buffer_, assigned_}; }
  void RestorePending(Pending pending) {
    buffer_ = std::move(pending.values);
    assigned_ = std::move(pending.assigned);
  }
  void Close();
  int State() const { return open_ ? 1 : 0; }

 private:
  int IndexOf(std::string_view name) const;
  int RequireField(std::string_view name) const;
  void RequireOpen() const;
  void RequireUpdatable() const;
  const WriteTarget& Target();
  const std::string& Table() { return Target().table; }
  // The table column behind result column `i` (its name, type and key flag).
  const TableColumn& ColumnOf(int i);
  // The values of the assigned fields, in field order: the parameters of both texts.
  std::vector<Value> AssignedValues() const;
  const std::string& InsertSql();
  const std::string& UpdateSql();
  void Insert();
  void UpdateCurrent();
  using Rows = std::vector<std::vector<Value>>;
  const Rows& rows() const { return data_ ? data_->rows : rows_; }
  Rows& OwnRows();

  Connection* connection_;
  std::string sql_;
  CursorType cursor_;
  LockType lock_;
  std::shared_ptr<const std::vector<ColumnInfo>> columns_;  // never null
  std::shared_ptr<ResultSet> data_;  // the rows as read, until this recordset changes them
  Rows rows_;                         // its own rows from then on
  std::shared_ptr<const ColumnIndex> index_;
  size_t position_ = 0;
  bool open_ = true;

  // Pending change.
  bool adding_ = false;
  bool editing_ = false;
  std::vector<Value> buffer_;
  std::vector<bool> assigned_;
  std::shared_ptr<const WriteTarget> target_;  // found on the first write
};

}  // namespace db
