// A whole pass over SQL Server's wire: one small receipt is first transferred on the embedded
// backend, where every query and its answer is recorded; two scripted TDS servers (front and
// back office) then answer the same queries the same way while the same pass runs through
// the ODBC backend and FreeTDS. Both runs must send the same statements (in units of work,
// the same writes: SQL Server keeps fewer reads), log the same, and the SQL Server run must
// bind every value with a fixed declared type.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <regex>

#include "db/recordset.h"
#include "receipts/receipt_transfer.h"
#include "run/connections.h"
#include "run/guard.h"
#include "run/run_driver.h"
#include "testing/shop_fixture.h"
#include "testing/tds_server.h"
#include "util/text.h"
#include "warehouse/warehouse_transfer.h"

namespace velkaris {
namespace {

using db::Value;
using testing_support::TdsReply;
using testing_support::TdsRequest;
using testing_support::TdsResultSet;
using testing_support::TdsServer;
using testing_support::tds::Column;
using testing_support::tds::ColumnKind;

bool IsQuery(const std::string& sql) { return util::StartsWithNoCase(util::Trim(sql), "select"); }

// A recorded result as the server sends it: column types from the values they hold.
TdsResultSet ToTds(db::Recordset& rs) {
  TdsResultSet out;
  std::vector<std::vector<Value>> rows;
  for (; !rs.Eof(); rs.MoveNext()) {
    std::vector<Value> row;
    for (int i = 0; i < rs.FieldCount(); ++i) row.push_back(rs.Field(i));
    rows.push_back(std::move(row));
  }
  for (int i = 0; i < rs.FieldCount(); ++i) {
    Column c{rs.FieldName(i), ColumnKind::kNVarChar, 4000};
    for (const auto& row : rows) {
      switch (row[i].type()) {
        case db::Type::Long: c.kind = ColumnKind::kInt; break;
        case db::Type::LongLong:
        case db::Type::Double: c.kind = ColumnKind::kFloat; break;
        case db::Type::Boolean: c.kind = ColumnKind::kBit; break;
        case db::Type::Date: c.kind = ColumnKind::kDateTime; break;
        default: break;
      }
    }
    out.columns.push_back(c);
  }
  out.rows = std::move(rows);
  return out;
}

class SqlServerPassTest : public testing_support::ShopTest {
 protected:
  // Statement texts per database ("back", "front"), in order, as the pass sent them.
  using Log = std::map<std::string, std::vector<std::string>>;

  void Scenario() {
    PosReceipt(1);
    PosRow(11, 1, {{"Descrizione", Value("Łódź ő")}});
    PosPayment(1, 12.2);
    ctx.computer_name = "TILL1";
  }
  void Run() {
    Main(ctx, "/no_wait", TransferOps{PCassa_SincroScontrino, PCassa_AggiornaMagazzinoDaScontrino});
  }
  std::string Side(db::Connection& c) {
    return c.ConnectionString().find(dbs.back_path) != std::string::npos ? "back" : "front";
  }

  // The embedded run: every statement is logged, every query also answered once more on
  // the same connection, for the script.
  void RecordEmbeddedRun() {
    RegisterDatabases();
    ctx.connection_created = [this](db::Connection& c) {
      c.set_statement_hook([this, &c](const std::string& sql) {
        if (replaying_) return;
        std::string side = Side(c);
        embedded_[side].push_back(sql);
        if (!IsQuery(sql)) return;
        replaying_ = true;
        auto rs = c.OpenRecordset(sql);
        answers_[side][sql].push_back(ToTds(*rs));
        replaying_ = false;
      });
    };
    Run();
    ctx.connection_created = nullptr;
  }

  // A server that answers `side`'s recorded queries in their order (the last answer
  // repeats), GetNewID from a counter per table, the layer's column query from the
  // SQLite schema, and every data change with one row.
  // A query as the embedded run sent it: on SQL Server a unit of work reads counters and
  // stock rows with update locks.
  static std::string Unlocked(const std::string& sql) {
    return util::ReplaceAll(sql, " WITH (UPDLOCK, ROWLOCK)", "");
  }

  void Script(TdsServer& server, const std::string& side) {
    server.On("", [this, side](const TdsRequest& r) {
      TdsReply reply;
      auto& queue = answers_[side][Unlocked(r.sql)];
      if (!queue.empty()) {
        reply.results.push_back(queue.front());
        if (queue.size() > 1) queue.erase(queue.begin());
      } else if (!IsQuery(r.sql) && !r.sql.empty()) {
        reply.row_count = 1;
      }
      return reply;
    });
    server.On("GetNewID", [this, side](const TdsRequest& r) {
      TdsReply reply;
      reply.outputs = {Value(++ids_[side + CStr(r.params.at(1).value)])};
      return reply;
    });
    server.On("FROM sys.columns", [this](const TdsRequest& r) {
      std::smatch m;
      std::regex_search(r.sql, m, std::regex("dbo\\.(\\w+)'"));
      auto info = dbs.back->OpenRecordset("PRAGMA table_info(\"" + m[1].str() + "\")");
      TdsResultSet rs{{{"column_name", ColumnKind::kNVarChar, 128}, {"type_name", ColumnKind::kNVarChar, 128},
                       {"pk", ColumnKind::kInt}}, {}};
      for (; !info->Eof(); info->MoveNext()) {
        rs.rows.push_back({info->Field(1), info->Field(2), Value(db::CLng(info->Field(5)) > 0 ? 1 : 0)});
      }
      TdsReply reply;
      reply.results.push_back(rs);
      return reply;
    });
    TdsReply granted;
    granted.results.push_back({{{"granted", ColumnKind::kInt}}, {{Value(1)}}});
    server.On("HAS_PERMS_BY_NAME", granted);
  }

  // What a server received, as the embedded run logged it: parameters as "?", GetNewID as
  // the layer names its call, the session's own statements left out.
  static std::vector<std::string> Received(const TdsServer& server) {
    std::vector<std::string> out;
    for (const TdsRequest& r : server.requests()) {
      if (r.procedure == "transaction begin") {
        out.push_back("BEGIN TRANSACTION");
      } else if (r.procedure == "transaction commit") {
        out.push_back("COMMIT TRANSACTION");
      } else if (r.procedure == "transaction rollback") {
        // FreeTDS ends the transaction it began after the commit when autocommit comes back.
      } else if (r.procedure == "GetNewID") {
        out.push_back("{call GetNewID('" + CStr(r.params[0].value) + "', '" + CStr(r.params[1].value) + "', '" +
                      CStr(r.params[2].value) + "', " + CStr(r.params[3].value) + ")}");
      } else if (r.sql != "SET DATEFORMAT dmy" && r.sql.find("FROM sys.columns") == std::string::npos &&
                 r.sql.find("HAS_PERMS_BY_NAME") == std::string::npos) {
        out.push_back(std::regex_replace(Unlocked(r.sql), std::regex("@P[0-9]+"), "?"));
      }
    }
    return out;
  }

  void CheckPass();

  // What the embedded run sent to `side`, but the release of a savepoint and the read
  // transactions of the front office, which SQL Server does not have.
  std::vector<std::string> Sent(const std::string& side) {
    std::vector<std::string> out;
    for (const std::string& sql : embedded_[side]) {
      if (sql.rfind("RELEASE SAVEPOINT", 0) != 0 && sql != "BEGIN DEFERRED" && sql != "END TRANSACTION") {
        out.push_back(sql);
      }
    }
    return out;
  }

  static std::vector<std::string> Writes(const std::vector<std::string>& statements) {
    std::vector<std::string> out;
    for (const std::string& sql : statements) {
      if (!IsQuery(sql)) out.push_back(sql);
    }
    return out;
  }

  bool replaying_ = false;
  Log embedded_;
  std::map<std::string, std::map<std::string, std::vector<TdsResultSet>>> answers_;
  std::map<std::string, int> ids_;
};

TEST_F(SqlServerPassTest, OneReceiptGoesThroughFreeTdsAsOnTheEmbeddedBackend) {
  CheckPass();
}

TEST_F(SqlServerPassTest, OneReceiptAsAUnitOfWorkGoesThroughFreeTdsAsOnTheEmbeddedBackend) {
  UseUnitsOfWork();
  CheckPass();
}

void SqlServerPassTest::CheckPass() {
  Scenario();
  // On SQL Server, where triggers may change a row, rows are read back after a write (new
  // rows for their amounts, stock rows for what is available), every receipt totals its
  // movement headers, and the front office is not read as one snapshot (each POS row reads
  // for itself): the embedded run that scripts the server does the same.
  ctx.uow.no_read_back = false;
  ctx.uow.movement_totals_per_batch = false;
  ctx.uow.prefetch_reads = false;
  RecordEmbeddedRun();
  std::vector<std::string> embedded_errors = ErrorLogLines();
  std::vector<std::string> embedded_sync = SyncLogLines();
  ASSERT_GT(Count("tabDettaglioScontrini"), 0) << "the embedded run transferred the receipt";
  ASSERT_GT(embedded_["back"].size(), 30u);

  TdsServer back, front;
  Script(back, "back");
  Script(front, "front");
  auto ado = [](const TdsServer& s, const char* db) {
    return "Provider=SQLOLEDB.1;Data Source=127.0.0.1," + std::to_string(s.port()) + ";Initial Catalog=" + db +
           ";User ID=velkaris;Password=secret;";
  };
  SetRegistryText("Velkarys.ConnDBLocale.ConnectionString", ado(back, "Backoffice"));
  SetRegistryText("Velkarys.ConnDBPuntoCassa.ConnectionString", ado(front, "Frontoffice"));
  std::filesystem::remove_all(ctx.logs.dir());
  std::filesystem::create_directories(ctx.logs.dir());
  Run();

  EXPECT_EQ(ErrorLogLines(), embedded_errors);
  for (auto [server, side] : {std::pair<const TdsServer*, const char*>{&back, "back"}, {&front, "front"}}) {
    if (ctx.uow.per_receipt) {
      // A back office on SQLite keeps every read of the unit of work that holds its write
      // lock; on SQL Server only master data is kept, so more reads go to the server. The
      // writes, ids and transactions must be the same, in the same order.
      EXPECT_EQ(Writes(Received(*server)), Writes(Sent(side))) << side;
      std::vector<std::string> sent = Sent(side);
      std::set<std::string> known(sent.begin(), sent.end());
      for (const std::string& sql : Received(*server)) EXPECT_TRUE(known.count(sql)) << side << ": " << sql;
      // Counters and stock rows are read with update locks, so that two tills take turns.
      int locked = 0, counter_reads = 0;
      for (const TdsRequest& r : server->requests()) {
        bool counters = util::StartsWithNoCase(r.sql, "SELECT * From tabProgressivi") ||
                        util::StartsWithNoCase(r.sql, "Select * from tabGiacenze");
        counter_reads += counters;
        locked += counters && r.sql.find(" WITH (UPDLOCK, ROWLOCK)") != std::string::npos;
      }
      EXPECT_EQ(locked, counter_reads) << side;
      if (std::string(side) == "back") {
        EXPECT_GT(counter_reads, 0);
      }
    } else {
      EXPECT_EQ(Received(*server), Sent(side)) << side;
    }
  }
  // The sync log tells the same story, but for the connection strings of its start lines.
  auto sync = SyncLogLines();
  ASSERT_EQ(sync.size(), embedded_sync.size());
  for (size_t i = 0; i < sync.size(); ++i) {
    if (sync[i].find("Avviata connessione") == std::string::npos) {
      EXPECT_EQ(sync[i], embedded_sync[i]);
    }
  }
  // Every login presents the program and this till; every value is bound with a fixed type.
  for (const TdsServer* s : {&back, &front}) {
    ASSERT_FALSE(s->logins().empty());
    for (const auto& login : s->logins()) {
      EXPECT_EQ(login.app_name, "Velkaris");
      EXPECT_EQ(login.host_name, "TILL1");
      EXPECT_EQ(login.password, "secret");
    }
    for (const TdsRequest& r : s->requests()) {
      EXPECT_TRUE(r.procedure.empty() || r.procedure == "sp_executesql" || r.procedure == "GetNewID" ||
                  r.procedure.rfind("transaction ", 0) == 0)
          << r.procedure;
      for (const auto& p : r.params) {
        EXPECT_TRUE(p.type == "int" || p.type == "float" || p.type == "bit" || p.type == "datetime2(7)" ||
                    p.type == "nvarchar(4000)")
            << p.type << " in " << r.sql;
      }
    }
  }
  // The row's description reached the back office whole.
  bool found = false;
  for (const TdsRequest& r : back.RequestsWith("INSERT INTO \"tabDettaglioScontrini\"")) {
    for (const auto& p : r.params) found = found || p.value == Value("Łódź ő");
  }
  EXPECT_TRUE(found);
  // A unit of work flags the receipt's rows in one statement, the original mode one by one.
  EXPECT_EQ(front.RequestsWith(ctx.uow.per_receipt ? "update tabDettaglio SET FlagExport=1 where idDettaglio in (11)"
                                                   : "update tabDettaglio SET FlagExport=1 where idDettaglio=11")
                .size(),
            1u);
}

}  // namespace
}  // namespace velkaris
