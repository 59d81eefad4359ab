#include <gtest/gtest.h>

#include "db/connection.h"
#include "db/recordset.h"
#include "testing/tds_server.h"

namespace db {
namespace {

using testing_support::TdsReply;
using testing_support::TdsServer;

TEST(OdbcSqlServer, Explore) {
  TdsServer server;
  TdsReply sel;
  sel.results.push_back({{{"a", testing_support::tds::ColumnKind::kInt}, {"b", testing_support::tds::ColumnKind::kNVarChar, 20}},
                         {{Value(1), Value("Łódź")}, {Value(), Value()}}});
  server.On("select", sel);
  Connection c;
  c.Open(server.OdbcString("UID=sa;PWD=secret;APP=Velkaris;Database=Negozio;"));
  auto rs = c.OpenRecordset("select a, b from t");
  EXPECT_EQ((*rs)["b"], Value("Łódź"));
  c.ExecuteWithParams("insert into t (a,b) values (?,?,?,?,?)", {Value(1), Value("Lodz"), Value(2.5), Value(true), Value(Date::FromParts(2026,12,4,19,5,11))});
  for (auto& l : server.logins()) printf("login user=%s pwd=%s app=%s host=%s db=%s\n", l.user_name.c_str(), l.password.c_str(), l.app_name.c_str(), l.host_name.c_str(), l.database.c_str());
  for (auto& r : server.requests()) {
    printf("req rpc=%d proc=%s sql=[%s] decl=[%s]\n", r.rpc, r.procedure.c_str(), r.sql.c_str(), r.declarations.c_str());
    for (auto& p : r.params) printf("   %s %s %u out=%d %s\n", p.name.c_str(), p.type.c_str(), p.max_length, p.output, p.value.DebugString().c_str());
  }
}

}  // namespace
}  // namespace db
