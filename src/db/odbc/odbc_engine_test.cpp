#include "db/odbc/odbc_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "db/command.h"
#include "db/odbc_connection_string.h"
#include "db/recordset.h"
#include "receipts/receipt_transfer.h"
#include "run/connections.h"
#include "run/run_driver.h"
#include "testing/shop_fixture.h"
#include "warehouse/warehouse_transfer.h"

namespace db {
namespace {

TEST(OdbcConnectionString, SqlServerProvidersBecomeOdbcStrings) {
  struct Case {
    const char* ado;
    const char* driver;
    const char* odbc;
    int timeout;
  };
  const Case cases[] = {
      {"Provider=SQLOLEDB.1;Data Source=SRV\\SHOP;Initial Catalog=Negozio;User ID=sa;Password=pw;"
       "Application Name=Velkaris;",
       "FreeTDS",
       "Driver={FreeTDS};Server=SRV\\SHOP;Database=Negozio;UID=sa;PWD=pw;APP=Velkaris;TDS_Version=7.4;"
       "ClientCharset=UTF-8;",
       15},
      {"provider = sqlncli11 ; data source = tcp:10.0.0.5,1433 ; initial catalog = Front ; integrated security = SSPI ;"
       " application name = Velkaris ; connect timeout = 10",
       "FreeTDS",
       "Driver={FreeTDS};Server=10.0.0.5;Port=1433;Database=Front;Trusted_Connection=Yes;APP=Velkaris;"
       "TDS_Version=7.4;ClientCharset=UTF-8;",
       10},
      {"Provider=MSOLEDBSQL;Server=(local);Database=Back;UID=u;PWD='p;w';Timeout=10;Persist Security Info=False;"
       "Encrypt=yes;TrustServerCertificate=yes",
       "ODBC Driver 18 for SQL Server",
       "Driver={ODBC Driver 18 for SQL Server};Server=localhost;Database=Back;UID=u;PWD={p;w};Encrypt=yes;"
       "TrustServerCertificate=yes;",
       10},
      {"Provider=SQLOLEDB;Data Source=db1,14330;Trusted_Connection=yes;", "ODBC Driver 17 for SQL Server",
       "Driver={ODBC Driver 17 for SQL Server};Server=tcp:db1,14330;Trusted_Connection=Yes;Encrypt=no;", 15},
      {"Driver={FreeTDS};Server=a;Port=1433;Database=b", "FreeTDS", "Driver={FreeTDS};Server=a;Port=1433;Database=b;", 15},
      {"DSN=shop;", "FreeTDS", "DSN=shop;", 15},
  };
  for (const Case& c : cases) {
    OdbcOptions options;
    options.driver = c.driver;
    auto t = ToOdbc(c.ado, options);
    ASSERT_TRUE(t.has_value()) << c.ado;
    EXPECT_EQ(t->connection_string, c.odbc) << c.ado;
    EXPECT_EQ(t->login_timeout, c.timeout) << c.ado;
  }
  EXPECT_FALSE(ToOdbc("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.mdb").has_value());
  EXPECT_FALSE(ToOdbc("Provider=SQLite;Data Source=x.db").has_value());
}

class OdbcSqliteTest : public ::testing::Test {
 protected:
  std::string Odbc(const std::string& path) { return "Driver=SQLite3;Database=" + path + ";"; }
  testing_support::TempDatabases dbs;
};

TEST_F(OdbcSqliteTest, QueriesUpdatesTypesAndNewIdsThroughTheDriverManager) {
  Connection c;
  c.Open(Odbc(dbs.back_path));
  EXPECT_EQ(c.ConnectionString(), Odbc(dbs.back_path));
  auto rs = c.OpenRecordset("select * from tabTestateScontrini where 1=2", kStatic, kPessimistic);
  EXPECT_TRUE(rs->Eof());
  EXPECT_TRUE(rs->HasField("DataOraScontrino"));
  rs->AddNew();
  rs->Set("idTestata", Value(3));
  rs->Set("DataOraScontrino", Value("04/12/2026 19:05:11"));
  rs->Set("Printed", Value(true));
  rs->Set("bollettario", Value("Città"));
  rs->Set("TotaleImporto", Value(12.5));
  rs->Update();
  auto read = c.OpenRecordset("Select * from tabTestateScontrini where IdTestata=3", kStatic, kPessimistic);
  EXPECT_EQ((*read)["idTestata"], Value(3));
  EXPECT_EQ(CStr((*read)["DataOraScontrino"]), "04/12/2026 19:05:11");
  EXPECT_EQ((*read)["Printed"], Value(true));
  EXPECT_EQ((*read)["bollettario"], Value("Città"));
  EXPECT_EQ((*read)["TotaleImporto"], Value(12.5));
  EXPECT_TRUE((*read)["idCassa"].IsNull());
  EXPECT_EQ((*read)["TotaleIva"], Value(0.0));  // the column default
  // The dialect applies: date literals and isnull.
  EXPECT_EQ(c.OpenRecordset("select idTestata from tabTestateScontrini where DataOraScontrino>='04/12/2026' "
                            "and isnull(idCassa,0)=0")->RecordCount(), 1);
  // Expressions come back as numbers and dates, as from the embedded backend.
  auto sums = c.OpenRecordset("select sum(TotaleImporto) as s, count(*) as n, max(DataOraScontrino) as m, "
                              "'8001' as b from tabTestateScontrini");
  EXPECT_EQ((*sums)["s"], Value(12.5));
  EXPECT_EQ((*sums)["n"], Value(1));
  EXPECT_EQ(CStr((*sums)["m"]), "04/12/2026 19:05:11");
  EXPECT_EQ((*sums)["b"], Value(8001));
  read->Set("TotaleImporto", Value(13.0));
  read->Update();
  EXPECT_EQ(c.Execute("update tabTestateScontrini set idCassa=2 where idTestata=3"), 1);
  EXPECT_EQ(c.Execute("update tabTestateScontrini set idCassa=2 where idTestata=99"), 0);
  Command cmd(&c);
  cmd.set_command_type(kCmdStoredProc);
  cmd.set_command_text("GetNewID");
  for (const char* p : {"dbo", "tabTestateScontrini", "idTestata"}) cmd.Append({"", kAdVarChar, kParamInput, 255, Value(p)});
  cmd.Append({"", kAdInteger, kParamInput, 1, Value(1)});
  cmd.Append({"newID", kAdInteger, kParamOutput, 0, Value()});
  cmd.Execute();
  EXPECT_EQ(cmd.Item("newID").value, Value(4));
  cmd.Execute();
  EXPECT_EQ(cmd.Item("newID").value, Value(5));
  // A data change runs from its kept statement after the first time, and counts the same.
  for (int id : {10, 11, 12}) {
    EXPECT_EQ(c.Execute("insert into tabTestateScontrini (idTestata, idCassa) values (" + std::to_string(id) + ", 7);"), 1);
  }
  EXPECT_EQ(c.Execute("update tabTestateScontrini set Printed=1 where idCassa=7"), 3);
  EXPECT_EQ(c.Execute("update tabTestateScontrini set Printed=0 where idCassa=7"), 3);
  EXPECT_EQ(c.Execute("update tabTestateScontrini set Printed=0 where idCassa=8"), 0);
  EXPECT_EQ(c.Execute("delete from tabTestateScontrini where idCassa=7 and idTestata>=11"), 2);
  EXPECT_EQ(c.Execute("delete from tabTestateScontrini where idCassa=7 and idTestata>=12"), 0);
  EXPECT_EQ(c.OpenRecordset("select idTestata from tabTestateScontrini where idCassa=7")->RecordCount(), 1);
  try {
    c.Execute("delete from tabMissing");
    FAIL();
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("tabMissing"), std::string::npos) << e.what();
  }
}

// SQLite ends a transaction by itself on some errors (a full disk, an I/O error; here a
// trigger's RAISE(ROLLBACK)): through the driver too, nothing may then run on its own.
TEST_F(OdbcSqliteTest, NothingRunsOnItsOwnAfterSqliteEndedTheTransaction) {
  dbs.back->Execute("CREATE TRIGGER full_disk BEFORE INSERT ON tabValute WHEN NEW.Valuta = 'XXX' "
                    "BEGIN SELECT RAISE(ROLLBACK, 'database or disk is full'); END");
  Connection c;
  c.Open(Odbc(dbs.back_path));
  c.BeginTransaction();
  c.Execute("insert into tabValute (Valuta) values ('EUR')");
  EXPECT_THROW(c.Execute("insert into tabValute (Valuta) values ('XXX')"), Error);
  try {
    c.Execute("insert into tabValute (Valuta) values ('USD')");
    ADD_FAILURE() << "a statement ran outside the transaction";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("SQLite rolled back the open transaction"), std::string::npos) << e.what();
  }
  EXPECT_THROW(c.CommitTransaction(), Error);
  c.RollbackTransaction();
  EXPECT_EQ(CLng(testing_support::Scalar(*dbs.back, "select count(*) from tabValute")), 0);
  // A failure that leaves the transaction open changes nothing; a new one works again.
  c.BeginTransaction();
  c.Execute("insert into tabValute (Valuta) values ('CHF')");
  EXPECT_THROW(c.Execute("insert into tabMissing values (1)"), Error);
  c.Execute("insert into tabValute (Valuta) values ('GBP')");
  c.CommitTransaction();
  EXPECT_EQ(CLng(testing_support::Scalar(*dbs.back, "select count(*) from tabValute")), 2);
}

// A statement run again keeps its parameters and its result columns bound: each execution
// must still carry its own values, whatever types, lengths and Nulls follow one another.
TEST_F(OdbcSqliteTest, AStatementRunAgainWritesEachExecutionsOwnValues) {
  Connection c;
  c.Open(Odbc(dbs.back_path));
  const std::string insert =
      "insert into tabTestateScontrini (idTestata, idCassa, bollettario, TotaleImporto, DataOraScontrino) "
      "values (?, ?, ?, ?, ?)";
  const Date day = Date::FromParts(2026, 12, 7, 9, 30, 0);
  const std::vector<std::vector<Value>> rows = {
      {Value(1), Value(7), Value("ab"), Value(1.5), Value(day)},
      {Value(2), Value(), Value(), Value(), Value()},
      {Value(3), Value(int64_t{8}), Value(std::string(300, 'x')), Value(2.25), Value(day)},
      {Value(4), Value(9), Value("c"), Value(3), Value("2026-12-08 10:00:00")},
      {Value(5), Value(true), Value(""), Value(-4.5), Value()},
      {Value(6), Value(), Value("Città"), Value(0.1), Value(day)},
      // Texts come in a buffer of 128 bytes, longer ones are read again whole.
      {Value(7), Value(1), Value(std::string(127, 'y')), Value(1.0), Value()},
      {Value(8), Value(1), Value(std::string(128, 'z')), Value(1.0), Value()},
      {Value(9), Value(1), Value(std::string(126, 'a') + "à"), Value(1.0), Value()},
      {Value(10), Value(1), Value(std::string(125, 'b') + "à"), Value(1.0), Value()},
      {Value(11), Value(1), Value("d"), Value(1e-300), Value()},
      {Value(12), Value(1), Value("e"), Value(-1e300), Value()},
      {Value(13), Value(1), Value("f"), Value(5), Value()}};
  for (const auto& row : rows) c.ExecuteWithParams(insert, row);
  // Read back row by row with one kept statement, whose columns stay bound as well.
  auto text = [](const Value& v) { return v.IsNull() ? std::string("<null>") : CStr(v); };
  for (const auto& row : rows) {
    auto read = c.OpenRecordset(
        "select idTestata, idCassa, bollettario, TotaleImporto, DataOraScontrino "
        "from tabTestateScontrini where idTestata=" +
        CStr(row[0]));
    ASSERT_FALSE(read->Eof());
    SCOPED_TRACE("row " + CStr(row[0]));
    EXPECT_EQ((*read)["idTestata"], row[0]);
    EXPECT_EQ(text((*read)["idCassa"]), text(row[1].type() == Type::Boolean ? Value(1) : row[1]));
    EXPECT_EQ((*read)["bollettario"], row[2]);
    if (row[3].IsNull()) {
      EXPECT_TRUE((*read)["TotaleImporto"].IsNull());
    } else {
      EXPECT_EQ(CDbl((*read)["TotaleImporto"]), CDbl(row[3]));  // the very same double
    }
    EXPECT_EQ(text((*read)["DataOraScontrino"]),
              text(row[4].IsText() ? Value(Date::FromParts(2026, 12, 8, 10, 0, 0)) : row[4]));
  }
  // The driver keeps numbers as text of 15 digits: a number that needs more comes back as
  // that text reads; a text where a number is expected, as the driver converts it: Null.
  c.Execute("update tabTestateScontrini set TotaleImporto=1.0/3 where idTestata=1");
  c.Execute("update tabTestateScontrini set TotaleImporto='n/a' where idTestata=2");
  auto odd = c.OpenRecordset(
      "select idTestata, TotaleImporto from tabTestateScontrini where idTestata<=2 order by idTestata");
  EXPECT_EQ((*odd)["TotaleImporto"], Value(0.333333333333333));
  odd->MoveNext();
  EXPECT_TRUE((*odd)["TotaleImporto"].IsNull());
}

// The same shop, run once on the embedded backend and once through ODBC, ends the same.
class BackendParityTest : public testing_support::ShopTest {
 protected:
  void Scenario() {
    using db::Value;
    ctx.connDbLocale->Execute("insert into tabCausali (IdCausale, Causale, TipoMovimento, Gestionale) values "
                              "(40, 'SCARICO', 'S', 1)");
    ctx.connDbLocale->Execute("update tabCausali set CausaleMovimentoSecondario='SCARICO' where IdCausale=6");
    ctx.connDbLocale->Execute("insert into tabBuoniMerce (idBuono, Importo, ImportoResiduo) values (3, 50, 50)");
    PosReceipt(1, {{"idFidelityCard", Value(77)}, {"Fid_PuntiArticoli", Value(10.0)}, {"IdModoPunti", Value(1)}});
    PosRow(11, 1, {{"Quantita", Value(3.0)}, {"Sconto1", Value(10.0)}});
    PosRow(12, 1, {{"Barcode", Value("")}, {"Descrizione", Value("Auguri")}});
    PosRow(13, 1, {{"Barcode", Value("8002")}, {"idBuono", Value(3)}, {"IdCausale", Value(2)}, {"Prezzo", Value(20.0)},
                   {"TotaleNettoSconto", Value(20.0)}});
    PosPayment(1, 16.94);
    PosReceipt(2, {{"IdCausale", Value(5)}});
    PosRow(21, 2, {{"IdCausale", Value(2)}});
    PosPayment(2, -12.2, {{"Coefficiente", Value(-1)}});
    ctx.computer_name = "TILL1";
  }
  std::string Dump(db::Connection& c) { return testing_support::DumpTables(c); }
  // Runs the scenario natively and through the SQLite ODBC driver, and compares the databases.
  void CompareBackends();
  void Run() {
    velkaris::Main(ctx, "/no_wait",
                   velkaris::TransferOps{velkaris::PCassa_SincroScontrino, velkaris::PCassa_AggiornaMagazzinoDaScontrino});
  }
};

TEST_F(BackendParityTest, TheOdbcPathWritesWhatTheEmbeddedBackendWrites) {
  CompareBackends();
}

// Receipts as units of work: transactions, savepoints and ids inside them through the driver.
TEST_F(BackendParityTest, TheOdbcPathWritesWhatTheEmbeddedBackendWritesAsUnitsOfWork) {
  UseUnitsOfWork();
  CompareBackends();
  EXPECT_EQ(Count("tabSincroScontrini"), 2);
}

void BackendParityTest::CompareBackends() {
  Scenario();
  // A second shop with the same data, reached through the SQLite ODBC driver.
  testing_support::TempDir other_dir;
  std::string front2 = other_dir.File("front.db"), back2 = other_dir.File("back.db");
  for (auto [from, to] : {std::pair<std::string, std::string>{dbs.front_path, front2}, {dbs.back_path, back2}}) {
    auto src = testing_support::OpenSqlite(from);
    src->Execute("VACUUM INTO '" + to + "'");
  }
  RegisterDatabases();
  Run();
  std::string native_back = Dump(*dbs.back), native_front = Dump(*dbs.front);
  ASSERT_NE(native_back.find("tabDettaglioMagazzino\n"), std::string::npos);

  SetRegistryText("Velkarys.ConnDBLocale.ConnectionString", "Driver=SQLite3;Database=" + back2 + ";");
  SetRegistryText("Velkarys.ConnDBPuntoCassa.ConnectionString", "Driver=SQLite3;Database=" + front2 + ";");
  std::filesystem::remove_all(ctx.logs.dir());
  std::filesystem::create_directories(ctx.logs.dir());
  Run();
  EXPECT_EQ(ErrorsFrom("Main").size(), 0u);
  auto back_odbc = testing_support::OpenSqlite(back2);
  auto front_odbc = testing_support::OpenSqlite(front2);
  EXPECT_EQ(Dump(*back_odbc), native_back);
  EXPECT_EQ(Dump(*front_odbc), native_front);
  EXPECT_GT(Count("tabDettaglioMagazzino"), 3);
}

TEST_F(BackendParityTest, AnUnreachableSqlServerIsLoggedAndTheRunEndsWithinTheLoginTimeout) {
  SetRegistryText("Velkarys.ConnDBLocale.ConnectionString",
                  "Provider=SQLOLEDB;Data Source=127.0.0.1,1;Initial Catalog=Negozio;User ID=sa;Password=x;"
                  "Application Name=Velkaris;Connect Timeout=3;");
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(velkaris::AvviaConnessioneBackoffice(ctx, true));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  auto lines = ErrorsFrom("AvviaConnessioneBackoffice");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("connect"), std::string::npos) << lines[0];
  EXPECT_TRUE(SyncLogLines().empty());
}

}  // namespace
}  // namespace db
