#include "testing/builders.h"

#include <stdexcept>

#include "db/recordset.h"

namespace testing_support {

void Insert(db::Connection& connection, const std::string& table, Columns columns) {
  auto rs = connection.OpenRecordset("select * from " + table + " where 1=2", db::kStatic, db::kPessimistic);
  rs->AddNew();
  for (const auto& [name, value] : columns) rs->Set(name, value);
  rs->Update();
  rs->Close();
}

db::Value Scalar(db::Connection& connection, const std::string& sql) {
  auto rs = connection.OpenRecordset(sql);
  if (rs->Eof()) throw std::runtime_error("no row: " + sql);
  return rs->Field(0);
}

}  // namespace testing_support
