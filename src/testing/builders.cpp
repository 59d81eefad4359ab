#include "testing/builders.h"

#include <stdexcept>

#include "db/recordset.h"

namespace testing_support {

void Insert(db::Connection& connection, const std::string& table, Columns columns, Columns overrides) {
  auto rs = connection.OpenRecordset("select * from " + table + " where 1=2", db::kStatic, db::kPessimistic);
  rs->AddNew();
  for (const auto& [name, value] : columns) rs->Set(name, value);
  for (const auto& [name, value] : overrides) rs->Set(name, value);
  rs->Update();
  rs->Close();
}

std::string DumpTables(db::Connection& connection) {
  std::string all;
  auto tables = connection.OpenRecordset("select name from sqlite_master where type='table' order by name");
  for (; !tables->Eof(); tables->MoveNext()) {
    std::string table = db::CStr(tables->Field(0));
    all += table + "\n";
    auto rs = connection.OpenRecordset("select * from \"" + table + "\" order by 1, 2");
    for (; !rs->Eof(); rs->MoveNext()) {
      for (int i = 0; i < rs->FieldCount(); ++i) all += rs->Field(i).DebugString() + "|";
      all += "\n";
    }
  }
  return all;
}

db::Value Scalar(db::Connection& connection, const std::string& sql) {
  auto rs = connection.OpenRecordset(sql);
  if (rs->Eof()) throw std::runtime_error("no row: " + sql);
  return rs->Field(0);
}

}  // namespace testing_support
