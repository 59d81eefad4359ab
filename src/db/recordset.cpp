#include "db/recordset.h"

#include <algorithm>
#include <cctype>

#include "db/column_type.h"
#include "db/error.h"
#include "util/text.h"

namespace db {
namespace {

const char kNoCurrentRecord[] =
    "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
    "requires a current record.";

// The table of "select ... from [dbo].[table] ...": the name after the first FROM.
std::string TableOfSelect(const std::string& sql) {
  std::string lower = util::ToLower(sql);
  size_t pos = 0;
  while ((pos = lower.find("from", pos)) != std::string::npos) {
    bool before = pos == 0 || !util::IsAsciiAlnum(lower[pos - 1]);
    bool after = pos + 4 < lower.size() && !util::IsAsciiAlnum(lower[pos + 4]);
    if (before && after) break;
    pos += 4;
  }
  if (pos == std::string::npos) return "";
  size_t i = pos + 4;
  while (i < sql.size() && util::IsAsciiSpace(sql[i])) ++i;
  std::string name;
  while (i < sql.size() && !util::IsAsciiSpace(sql[i]) && sql[i] != ',' &&
         sql[i] != '(' && sql[i] != ')') {
    if (sql[i] != '[' && sql[i] != ']') name += sql[i];
    ++i;
  }
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(dot + 1);
}

// Appends "name" to `out`, without a temporary.
void AppendQuoted(std::string& out, const std::string& name) {
  out += '"';
  out += name;
  out += '"';
}
std::string Quoted(const std::string& name) {
  std::string out;
  AppendQuoted(out, name);
  return out;
}

}  // namespace

Recordset::Recordset(Connection* connection, std::string sql, CursorType cursor, LockType lock,
                     std::shared_ptr<ResultSet> data)
    : connection_(connection),
      sql_(std::move(sql)),
      cursor_(cursor),
      lock_(lock),
      columns_(data->columns ? data->columns : std::make_shared<const std::vector<ColumnInfo>>()),
      data_(std::move(data)),
      index_(data_->index ? data_->index : MakeColumnIndex(*columns_)) {}

Recordset::Rows& Recordset::OwnRows() {
  if (data_) {
    // Alone with the rows: take them; shared with the cache: copy them.
    rows_ = data_.use_count() == 1 ? std::move(data_->rows) : data_->rows;
    data_.reset();
  }
  return rows_;
}

std::shared_ptr<const ColumnIndex> MakeColumnIndex(const std::vector<ColumnInfo>& columns) {
  auto index = std::make_shared<ColumnIndex>();
  for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
    index->Add(columns[i].name, i);  // the first of equal names wins
  }
  return index;
}

int Recordset::IndexOf(std::string_view name) const {
  return index_->Find(name);
}

int Recordset::RequireField(std::string_view name) const {
  int i = IndexOf(name);
  if (i < 0) {
    throw Error("Item cannot be found in the collection corresponding to the requested name or "
                "ordinal (field '" + std::string(name) + "').", 3265);
  }
  return i;
}

void Recordset::RequireOpen() const {
  if (!open_) throw Error("Operation is not allowed when the object is closed.", 3704);
}

void Recordset::RequireUpdatable() const {
  if (lock_ == kReadOnly) {
    throw Error("Current Recordset does not support updating. This may be a limitation of the "
                "provider, or of the selected locktype.", 3251);
  }
}

const std::string& Recordset::FieldName(int index) const { return columns_->at(index).name; }

const Value& Recordset::Field(int index) const {
  RequireOpen();
  if (index < 0 || index >= FieldCount()) {
    throw Error("Item cannot be found in the collection corresponding to the requested name or "
                "ordinal.", 3265);
  }
  if (adding_ || editing_) return buffer_[index];
  if (Eof()) throw Error(kNoCurrentRecord, 3021);
  return rows()[position_][index];
}

const Value& Recordset::Field(std::string_view name) const {
  RequireOpen();
  return Field(RequireField(name));
}

void Recordset::MoveNext() {
  RequireOpen();
  if (adding_ || editing_) Update();  // moving saves a pending change, as ADO does
  if (position_ >= rows().size()) throw Error(kNoCurrentRecord, 3021);
  ++position_;
}

void Recordset::MoveFirst() {
  RequireOpen();
  if (adding_ || editing_) Update();
  position_ = 0;
}

void Recordset::AddNew() {
  RequireOpen();
  RequireUpdatable();
  if (adding_ || editing_) Update();
  adding_ = true;
  buffer_.assign(columns_->size(), Value());
  assigned_.assign(columns_->size(), false);
}

void Recordset::Set(std::string_view name, const Value& value) {
  RequireOpen();
  RequireUpdatable();
  int i = RequireField(name);
  if (!adding_ && !editing_) {
    if (Eof()) throw Error(kNoCurrentRecord, 3021);
    editing_ = true;
    buffer_ = rows()[position_];
    assigned_.assign(columns_->size(), false);
  }
  buffer_[i] = ToColumnType(value, ColumnOf(i));
  assigned_[i] = true;
}

const WriteTarget& Recordset::Target() {
  if (target_) return *target_;
  target_ = connection_->KnownWriteTarget(columns_.get());
  if (target_) return *target_;
  auto target = std::make_shared<WriteTarget>();
  target->columns = columns_;
  target->table = TableOfSelect(sql_);
  if (target->table.empty()) throw Error("Cannot tell which table to update from: " + sql_);
  target->shape = connection_->Table(target->table);
  for (const ColumnInfo& c : *columns_) {
    target->column_of.push_back(target->shape->index.Find(c.name));
  }
  std::vector<bool> selected(target->shape->columns.size(), false);
  for (int t : target->column_of) {
    if (t >= 0) selected[t] = true;
  }
  target->every_column = std::find(selected.begin(), selected.end(), false) == selected.end();
  for (size_t t = 0; t < target->shape->columns.size(); ++t) {
    if (target->shape->columns[t].primary_key) {
      target->keys.emplace_back(static_cast<int>(t), IndexOf(target->shape->columns[t].name));
    }
  }
  connection_->KeepWriteTarget(columns_.get(), target);
  target_ = std::move(target);
  return *target_;
}

const TableColumn& Recordset::ColumnOf(int i) {
  const WriteTarget& target = Target();
  int t = target.column_of[i];
  if (t < 0) throw Error("Column '" + (*columns_)[i].name + "' is not a column of table '" + target.table + "'.");
  return target.shape->columns[t];
}

const std::string& Recordset::InsertSql() {
  const WriteTarget& target = Target();
  auto it = target.inserts.find(assigned_);
  if (it != target.inserts.end()) return it->second;
  std::string cols, marks;
  for (size_t i = 0; i < columns_->size(); ++i) {
    if (!assigned_[i]) continue;
    if (!cols.empty()) cols += ", ", marks += ", ";
    AppendQuoted(cols, (*columns_)[i].name);
    marks += "?";
  }
  std::string sql = cols.empty() ? "INSERT INTO " + Quoted(target.table) + " DEFAULT VALUES"
                                 : "INSERT INTO " + Quoted(target.table) + " (" + cols + ") VALUES (" + marks + ")";
  if (target.inserts.size() >= WriteTarget::kMaxTexts) target.inserts.clear();
  return target.inserts.emplace(assigned_, std::move(sql)).first->second;
}

const std::string& Recordset::UpdateSql() {
  const WriteTarget& target = Target();
  for (const auto& [column, field] : target.keys) {
    if (field < 0) {
      throw Error("The key column '" + target.shape->columns[column].name + "' of '" + target.table +
                  "' was not selected.");
    }
  }
  if (target.keys.empty()) throw Error("Table '" + target.table + "' has no primary key to update by.");
  auto it = target.updates.find(assigned_);
  if (it != target.updates.end()) return it->second;
  std::string set, where;
  for (size_t i = 0; i < columns_->size(); ++i) {
    if (!assigned_[i]) continue;
    if (!set.empty()) set += ", ";
    AppendQuoted(set, (*columns_)[i].name);
    set += " = ?";
  }
  for (const auto& [column, field] : target.keys) {
    if (!where.empty()) where += " AND ";
    AppendQuoted(where, target.shape->columns[column].name);
    where += " = ?";
  }
  if (target.updates.size() >= WriteTarget::kMaxTexts) target.updates.clear();
  return target.updates.emplace(assigned_, "UPDATE " + Quoted(target.table) + " SET " + set + " WHERE " + where)
      .first->second;
}

std::vector<Value> Recordset::AssignedValues() const {
  std::vector<Value> values;
  for (size_t i = 0; i < columns_->size(); ++i) {
    if (assigned_[i]) values.push_back(buffer_[i]);
  }
  return values;
}

void Recordset::Insert() {
  connection_->WriteWithParams(InsertSql(), AssignedValues());
  OwnRows().push_back(buffer_);
  position_ = rows_.size() - 1;
}

void Recordset::UpdateCurrent() {
  std::vector<Value> params = AssignedValues();
  if (params.empty()) return;
  const std::string& sql = UpdateSql();
  for (const auto& [column, field] : Target().keys) params.push_back(rows()[position_][field]);
  connection_->WriteWithParams(sql, params);
  OwnRows()[position_] = buffer_;
}

void Recordset::Update() {
  RequireOpen();
  if (!adding_ && !editing_) return;
  // Leave the pending state first: a failed write is not retried by a later move.
  bool adding = adding_;
  adding_ = editing_ = false;
  if (adding) {
    Insert();
  } else {
    UpdateCurrent();
  }
}

bool Recordset::PendingRowIsWhole() {
  if (!adding_) return false;
  const WriteTarget& target = Target();
  if (!target.every_column) return false;
  for (size_t i = 0; i < columns_->size(); ++i) {
    if (assigned_[i]) continue;
    int t = target.column_of[i];
    if (t < 0 || target.shape->columns[t].has_default) return false;
  }
  return true;
}

void Recordset::CancelUpdate() { adding_ = editing_ = false; }

void Recordset::Close() {
  RequireOpen();
  CancelUpdate();  // an unsaved change is dropped
  open_ = false;
  data_.reset();
  rows_.clear();
}

}  // namespace db
