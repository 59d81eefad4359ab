// The ODBC backend driven through FreeTDS against the scripted TDS server: what goes over the
// wire to SQL Server, and how its answers are read.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <chrono>

#include "db/command.h"
#include "db/connection.h"
#include "db/odbc/odbc_engine.h"
#include "db/recordset.h"
#include "testing/tds_server.h"

namespace db {
namespace {

using testing_support::TdsMessage;
using testing_support::TdsReply;
using testing_support::TdsRequest;
using testing_support::TdsResultSet;
using testing_support::TdsServer;
using testing_support::tds::Column;
using testing_support::tds::ColumnKind;

class OdbcSqlServerTest : public ::testing::Test {
 protected:
  // An ADO string of the old provider for the test server.
  std::string Ado(const std::string& more = "User ID=velkaris;Password=secret;") const {
    return "Provider=SQLOLEDB.1;Data Source=127.0.0.1," + std::to_string(server.port()) +
           ";Initial Catalog=Negozio;" + more;
  }
  std::unique_ptr<Connection> Open(const std::string& ado, OdbcOptions options = {}) {
    auto c = std::make_unique<Connection>();
    c->set_odbc_options(std::move(options));
    c->Open(ado);
    return c;
  }
  std::string ErrorOf(const std::function<void()>& f) {
    try {
      f();
    } catch (const Error& e) {
      return e.what();
    }
    return "(no error)";
  }
  // The statements that reached the server, other than the session's own set-up.
  std::vector<TdsRequest> Statements() {
    std::vector<TdsRequest> out;
    for (const TdsRequest& r : server.requests()) {
      if (r.sql != "SET DATEFORMAT dmy") out.push_back(r);
    }
    return out;
  }

  TdsServer server;
};

TEST_F(OdbcSqlServerTest, LoginSessionSetUpAndEveryColumnTypeAsTheProgramReadsIt) {
  TdsResultSet rs;
  rs.columns = {{"IdArticolo", ColumnKind::kInt},  {"Prezzo", ColumnKind::kFloat},
                {"Costo", ColumnKind::kMoney},     {"Aliquota", ColumnKind::kDecimal, 0, 18, 4},
                {"Attivo", ColumnKind::kBit},      {"DataOra", ColumnKind::kDateTime},
                {"Descrizione", ColumnKind::kNVarChar, 50}, {"Note", ColumnKind::kNVarCharMax}};
  std::string long_note(9000, 'x');
  long_note += "Łódź ő 😀";
  Date when = Date::FromParts(2026, 12, 4, 19, 5, 11, 500);
  rs.rows = {{Value(7), Value(12.2), Value(-1234.5678), Value(22.0), Value(true), Value(when), Value("Città Ł"),
              Value(long_note)},
             {Value(), Value(), Value(), Value(), Value(), Value(), Value(), Value()}};
  TdsReply reply;
  reply.results.push_back(rs);
  server.On("from tabArticoli", reply);

  auto c = Open(Ado("User ID=velkaris;Password=s3cret;Application Name=Velkaris;"));
  auto read = c->OpenRecordset("select * from tabArticoli");
  EXPECT_EQ((*read)["IdArticolo"], Value(7));
  EXPECT_EQ((*read)["Prezzo"], Value(12.2));
  EXPECT_EQ((*read)["Costo"], Value(-1234.5678));
  EXPECT_EQ((*read)["Aliquota"], Value(22.0));
  EXPECT_EQ((*read)["Attivo"], Value(true));
  Date::Parts parts = CDate((*read)["DataOra"]).ToParts();
  EXPECT_EQ(std::vector<int>({parts.year, parts.month, parts.day, parts.hour, parts.minute, parts.second,
                              parts.millisecond}),
            std::vector<int>({2026, 12, 4, 19, 5, 11, 500}));
  EXPECT_EQ((*read)["Descrizione"], Value("Città Ł"));
  EXPECT_EQ((*read)["Note"], Value(long_note));
  read->MoveNext();
  for (int i = 0; i < read->FieldCount(); ++i) EXPECT_TRUE(read->Field(i).IsNull()) << read->FieldName(i);

  ASSERT_EQ(server.logins().size(), 1u);
  const auto& login = server.logins()[0];
  EXPECT_EQ(login.user_name, "velkaris");
  EXPECT_EQ(login.password, "s3cret");
  EXPECT_EQ(login.app_name, "Velkaris");
  EXPECT_EQ(login.database, "Negozio");
  // Day/month/year literals: the session's first batch, then the query.
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_FALSE(requests[0].rpc);
  EXPECT_EQ(requests[0].sql, "SET DATEFORMAT dmy");
  EXPECT_EQ(requests[1].sql, "select * from tabArticoli");
}

TEST_F(OdbcSqlServerTest, ParametersGoAsFixedSizeNVarCharInOneRoundTripAndNothingIsCut) {
  server.On("insert into", TdsReply::RowCount(1));
  auto c = Open(Ado());
  std::string long_text(5000, 'a');
  long_text += "ő";  // 5001 characters, over 8,000 bytes
  Date when = Date::FromParts(2026, 12, 4, 19, 5, 11);
  EXPECT_EQ(c->ExecuteWithParams("insert into t (a, b, c, d, e, f, g) values (?, ?, ?, ?, ?, ?, ?)",
                                 {Value(5), Value("Łódź ő 😀"), Value(2.5), Value(true), Value(when), Value(),
                                  Value(long_text)}),
            1);
  EXPECT_EQ(c->ExecuteWithParams("insert into t (a, b, c, d, e, f, g) values (?, ?, ?, ?, ?, ?, ?)",
                                 {Value(6), Value("x"), Value(3.0), Value(false), Value(when), Value("not null"),
                                  Value("short")}),
            1);
  auto statements = Statements();
  ASSERT_EQ(statements.size(), 2u) << "one round trip a statement, no prepare or unprepare";
  for (const TdsRequest& r : statements) {
    EXPECT_EQ(r.procedure, "sp_executesql");
    EXPECT_EQ(r.sql, "insert into t (a, b, c, d, e, f, g) values (@P1, @P2, @P3, @P4, @P5, @P6, @P7)");
    ASSERT_EQ(r.params.size(), 7u);
  }
  const auto& p = statements[0].params;
  EXPECT_EQ(p[0].type, "int");
  EXPECT_EQ(p[0].value, Value(5));
  EXPECT_EQ(p[1].type, "nvarchar(4000)");
  EXPECT_EQ(p[1].value, Value("Łódź ő 😀"));
  EXPECT_EQ(p[2].type, "float");
  EXPECT_EQ(p[2].value, Value(2.5));
  EXPECT_EQ(p[3].type, "bit");
  EXPECT_EQ(p[3].value, Value(true));
  EXPECT_EQ(p[4].value, Value(when));
  EXPECT_EQ(p[5].type, "nvarchar(4000)");
  EXPECT_TRUE(p[5].value.IsNull());
  EXPECT_EQ(p[6].type, "nvarchar(max)");
  EXPECT_EQ(p[6].value, Value(long_text));
  // The same declarations whatever the lengths, so the server keeps one plan; only a text
  // beyond 4,000 characters declares MAX.
  const auto& q = statements[1].params;
  for (int i : {0, 1, 2, 3, 4, 5}) EXPECT_EQ(q[i].type, p[i].type) << i;
  EXPECT_EQ(q[6].type, "nvarchar(4000)");
  EXPECT_EQ(statements[0].declarations.substr(0, 40), statements[1].declarations.substr(0, 40));
  EXPECT_NE(statements[0].declarations.find("@P2 NVARCHAR(4000)"), std::string::npos) << statements[0].declarations;
}

TEST_F(OdbcSqlServerTest, GetNewIdIsOneCallWhoseOutputIsReadAfterTheResultsBeforeIt) {
  TdsReply reply;
  reply.trigger_counts = {3};
  reply.results.push_back({{{"noise", ColumnKind::kInt}}, {{Value(1)}}});
  reply.outputs = {Value(4711)};
  server.On("GetNewID", reply);
  auto c = Open(Ado());
  Command cmd(c.get());
  cmd.set_command_type(kCmdStoredProc);
  cmd.set_command_text("GetNewID");
  for (const char* p : {"dbo", "tabTestateScontrini", "idTestata"}) cmd.Append({"", kAdVarChar, kParamInput, 255, Value(p)});
  cmd.Append({"", kAdInteger, kParamInput, 1, Value(1)});
  cmd.Append({"newID", kAdInteger, kParamOutput, 0, Value()});
  cmd.Execute();
  EXPECT_EQ(cmd.Item("newID").value, Value(4711));

  auto calls = server.RequestsWith("GetNewID");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_TRUE(calls[0].rpc);
  EXPECT_EQ(calls[0].procedure, "GetNewID");
  ASSERT_EQ(calls[0].params.size(), 5u);
  EXPECT_EQ(calls[0].params[1].value, Value("tabTestateScontrini"));
  EXPECT_EQ(calls[0].params[3].type, "int");
  EXPECT_EQ(calls[0].params[3].value, Value(1));
  EXPECT_TRUE(calls[0].params[4].output);
  EXPECT_FALSE(calls[0].params[3].output);
  EXPECT_EQ(Statements().size(), 1u);
}

TEST_F(OdbcSqlServerTest, ATriggersOwnRowCountIsNotTakenForTheStatements) {
  TdsReply reply;
  reply.trigger_counts = {7, 12};  // a trigger without NOCOUNT
  reply.row_count = 1;
  server.On("update tabGiacenze", reply);
  server.On("insert into tabGiacenze", reply);
  auto c = Open(Ado());
  EXPECT_EQ(c->Execute("update tabGiacenze set Giacenza=Giacenza-1 where IdArticolo=5"), 1);
  EXPECT_EQ(c->ExecuteWithParams("insert into tabGiacenze (IdArticolo) values (?)", {Value(5)}), 1);
  // Nothing was left unread: no attention had to cancel a pending result.
  EXPECT_EQ(server.attentions(), 0);
}

TEST_F(OdbcSqlServerTest, EveryDiagnosticRecordIsReportedWholeWithItsStateAndNumber) {
  TdsReply reply;
  std::string long_text = "Violation of PRIMARY KEY constraint 'PK_tabTestateScontrini'. " + std::string(3000, 'k') + " END";
  reply.messages = {{2627, 14, long_text}, {3621, 16, "The statement has been terminated."}};
  server.On("insert into tabTestateScontrini", reply);
  TdsReply many;
  for (int i = 1; i <= 12; ++i) many.messages.push_back({50000 + i, 16, "message number " + std::to_string(i)});
  server.On("exec Many", many);
  auto c = Open(Ado());
  std::string e = ErrorOf([&] { c->Execute("insert into tabTestateScontrini (IdTestata) values (1)"); });
  EXPECT_NE(e.find("[23000/2627] [FreeTDS][SQL Server]Violation of PRIMARY KEY"), std::string::npos) << e;
  EXPECT_NE(e.find(std::string(3000, 'k') + " END"), std::string::npos) << e.substr(0, 200);
  EXPECT_NE(e.find("/3621] [FreeTDS][SQL Server]The statement has been terminated."), std::string::npos) << e;
  EXPECT_NE(e.find("[SQL: insert into tabTestateScontrini (IdTestata) values (1)]"), std::string::npos);
  std::string all = ErrorOf([&] { c->Execute("exec Many"); });
  for (int i = 1; i <= 12; ++i) {
    EXPECT_NE(all.find("/" + std::to_string(50000 + i) + "] [FreeTDS][SQL Server]message number " + std::to_string(i)),
              std::string::npos)
        << i << ": " << all;
  }
  // Informational messages do not fail a statement.
  TdsReply info = TdsReply::RowCount(1);
  info.messages = {{0, 0, "just saying"}};
  server.On("print", info);
  EXPECT_EQ(c->Execute("print 'x'; update x set y=1"), 1);
}

TEST_F(OdbcSqlServerTest, AStatementThatNeverReturnsEndsAtTheQueryTimeoutAndTheConnectionGoesOn) {
  server.On("update tabContatori", TdsReply::Hang());
  TdsReply one;
  one.results.push_back(TdsResultSet{{Column{"one", ColumnKind::kInt}}, {{Value(1)}}});
  server.On("select 1", one);
  OdbcOptions options;
  options.query_timeout = 1;
  auto c = Open(Ado(), options);
  auto start = std::chrono::steady_clock::now();
  std::string e = ErrorOf([&] { c->Execute("update tabContatori set Valore=Valore+1"); });
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_NE(e.find("[HYT00/"), std::string::npos) << e;
  EXPECT_NE(e.find("Velkarys.CommandTimeout"), std::string::npos) << e;
  EXPECT_EQ(server.attentions(), 1) << "the statement is cancelled on the server";
  EXPECT_EQ(c->OpenRecordset("select 1 as one")->Field(0), Value(1));
}

TEST_F(OdbcSqlServerTest, TheDriverGetsAdosTimeoutsUnlessTheStringOrTheRegistrySaysOtherwise) {
  auto target = ToOdbc(Ado());
  ASSERT_TRUE(target);
  EXPECT_EQ(target->login_timeout, 15);
  EXPECT_EQ(target->query_timeout, 30);
  odbc::OdbcEngine engine(*target);
  EXPECT_EQ(engine.DriverLoginTimeout(), 15);
  EXPECT_EQ(engine.DriverQueryTimeout(), 30);
  OdbcOptions options;
  options.query_timeout = 120;
  auto own = ToOdbc(Ado("User ID=a;Password=b;Connect Timeout=40;"), options);
  odbc::OdbcEngine engine2(*own);
  EXPECT_EQ(engine2.DriverLoginTimeout(), 40);
  EXPECT_EQ(engine2.DriverQueryTimeout(), 120);
  // A string that is ODBC already gets ADO's defaults too.
  auto odbc_string = ToOdbc(server.OdbcString());
  EXPECT_EQ(odbc_string->login_timeout, 15);
}

TEST(OdbcSqlServerLogin, AServerThatAcceptsAndNeverAnswersFailsWithinTheLoginTimeout) {
  TdsServer silent(TdsServer::Mode::kSilent);
  Connection c;
  auto start = std::chrono::steady_clock::now();
  try {
    c.Open("Provider=SQLOLEDB;Data Source=127.0.0.1," + std::to_string(silent.port()) +
           ";User ID=a;Password=b;Connect Timeout=1;");
    FAIL() << "connected to a server that never answers";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("[FreeTDS]"), std::string::npos) << e.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  EXPECT_EQ(c.State(), 0);
  EXPECT_GE(silent.connections(), 1);
}

TEST_F(OdbcSqlServerTest, ValuesWithSemicolonsBracesAndEqualsSignsReachTheServerWhole) {
  struct Case {
    const char* ado_items;
    const char* user;
    const char* password;
  };
  const Case cases[] = {
      {"User ID=velkaris;Password=\"p;w\";", "velkaris", "p;w"},
      {"User ID=velkaris;Password='it''s;{x}';", "velkaris", "it's;{x}"},
      {"User ID=velkaris;Password={abc}x;", "velkaris", "{abc}x"},
      {"User ID=velkaris;Password=a}b=c;", "velkaris", "a}b=c"},
      {"User ID=\" ve;lk \";Password=\" edge \";", " ve;lk ", " edge "},
  };
  OdbcOptions options;
  options.default_application = "Velkaris";
  for (const Case& k : cases) {
    Open(Ado(std::string(k.ado_items) + "Application Name=Velkaris;"), options);
    ASSERT_FALSE(server.logins().empty());
    const auto& login = server.logins().back();
    EXPECT_EQ(login.user_name, k.user) << k.ado_items;
    EXPECT_EQ(login.password, k.password) << k.ado_items;
    EXPECT_EQ(login.app_name, "Velkaris") << k.ado_items;
    EXPECT_EQ(login.database, "Negozio") << k.ado_items;
  }
  EXPECT_EQ(OdbcItem("PWD", "p;w"), "PWD={p;w};");
  EXPECT_EQ(OdbcItem("PWD", "a}b"), "PWD={a}}b};");
  EXPECT_EQ(OdbcItem("PWD", "a=b"), "PWD=a=b;");
  // FreeTDS reads "}}" literally and ends a braced value at "};".
  EXPECT_EQ(OdbcItem("PWD", "a}b", true), "PWD={a}b};");
  EXPECT_THROW(OdbcItem("PWD", "x};y", true), Error);
}

TEST_F(OdbcSqlServerTest, TheWorkstationIsThisMachinesWholeNameAndTheApplicationIsVelkarisByDefault) {
  OdbcOptions options;
  options.workstation_id = "till-with-a-rather-long-host-name-of-the-shop-01";
  options.default_application = "Velkaris";
  Open(Ado("User ID=a;Password=b;Workstation ID=OLDTILL;"), options);
  Open(Ado("User ID=a;Password=b;Workstation ID=OLDTILL;Application Name=Cassa;"), options);
  auto logins = server.logins();
  ASSERT_EQ(logins.size(), 2u);
  EXPECT_EQ(logins[0].host_name, options.workstation_id);
  EXPECT_EQ(logins[0].app_name, "Velkaris");
  EXPECT_EQ(logins[1].host_name, options.workstation_id);
  EXPECT_EQ(logins[1].app_name, "Cassa");
}

TEST_F(OdbcSqlServerTest, EncryptionAndIntegratedSecurityFailWithAReasonThatSaysWhatIsNeeded) {
  // The test server offers no TLS: a string that insists on encryption cannot log in.
  std::string e = ErrorOf([&] { Open(Ado("User ID=a;Password=b;Encrypt=True;")); });
  EXPECT_NE(e.find("[FreeTDS]"), std::string::npos) << e;
  EXPECT_TRUE(server.logins().empty());
  ASSERT_FALSE(server.prelogins().empty());
  EXPECT_EQ(server.prelogins().back().encryption, testing_support::tds::kEncryptOn);
  // Encrypt=False logs in without TLS.
  Open(Ado("User ID=a;Password=b;Encrypt=False;"));
  EXPECT_EQ(server.logins().size(), 1u);
  EXPECT_EQ(server.prelogins().back().encryption, testing_support::tds::kEncryptNotSupported);

  std::string k = ErrorOf([&] { Open(Ado("Integrated Security=SSPI;")); });
  EXPECT_NE(k.find("Kerberos ticket"), std::string::npos) << k;
  EXPECT_NE(k.find("DOMAIN\\user"), std::string::npos) << k;
}

// The test server also answers the driver's own transaction requests, so that code with
// autocommit off can be driven against it.
TEST_F(OdbcSqlServerTest, TheDriversTransactionRequestsAreAnsweredAndRecorded) {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)));
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc)));
  std::string cs = server.OdbcString();
  ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(cs.data()), SQL_NTS, nullptr, 0,
                                             nullptr, SQL_DRIVER_NOPROMPT)));
  EXPECT_TRUE(SQL_SUCCEEDED(
      SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)));
  EXPECT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT)));
  EXPECT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK)));
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  std::string seen;
  for (const TdsRequest& r : server.requests()) seen += (r.procedure.empty() ? r.sql : r.procedure) + "\n";
  EXPECT_EQ(seen, "transaction begin\ntransaction commit\ntransaction rollback\n");
}

TEST(OdbcConnectionStringEncryption, OldProvidersAskDriver18ForOptionalEncryptionAndAdoFlagsBecomeYesNo) {
  OdbcOptions d18;
  d18.driver = "ODBC Driver 18 for SQL Server";
  auto odbc = [&](const std::string& ado) { return ToOdbc(ado, d18)->connection_string; };
  EXPECT_EQ(odbc("Provider=SQLOLEDB.1;Data Source=SRV;User ID=a;Password=b;"),
            "Driver={ODBC Driver 18 for SQL Server};Server=SRV;UID=a;PWD=b;Encrypt=no;");
  EXPECT_EQ(odbc("Provider=SQLNCLI11;Data Source=SRV;Trusted_Connection=yes;Encrypt=True;TrustServerCertificate=True"),
            "Driver={ODBC Driver 18 for SQL Server};Server=SRV;Trusted_Connection=Yes;Encrypt=yes;"
            "TrustServerCertificate=yes;");
  EXPECT_EQ(odbc("Provider=MSOLEDBSQL;Data Source=SRV;Encrypt=False;"),
            "Driver={ODBC Driver 18 for SQL Server};Server=SRV;Encrypt=no;");
  EXPECT_EQ(odbc("Provider=MSOLEDBSQL;Data Source=SRV;"), "Driver={ODBC Driver 18 for SQL Server};Server=SRV;Encrypt=no;");
  // The version 19 provider encrypts by default, as driver 18 does: nothing is added.
  EXPECT_EQ(odbc("Provider=MSOLEDBSQL19;Data Source=SRV;"), "Driver={ODBC Driver 18 for SQL Server};Server=SRV;");
  EXPECT_EQ(odbc("Provider=MSOLEDBSQL19;Data Source=SRV;Encrypt=Strict;"),
            "Driver={ODBC Driver 18 for SQL Server};Server=SRV;Encrypt=Strict;");
  EXPECT_TRUE(ToOdbc("Provider=SQLOLEDB;Data Source=SRV;Integrated Security=SSPI;", d18)->integrated_security);
  EXPECT_FALSE(ToOdbc("Provider=SQLOLEDB;Data Source=SRV;User ID=a;", d18)->integrated_security);
}

}  // namespace
}  // namespace db
