// The velkaris binary run as a shop would run it, on databases created from schema/.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "db/recordset.h"
#include "demo/demo_generator.h"
#include "platform/system.h"
#include "testing/builders.h"
#include "testing/context_fixture.h"
#include "testing/temp_databases.h"

namespace {

using testing_support::ReadLines;

class ProgramTest : public ::testing::Test {
 protected:
  ProgramTest() : log_dir(dbs.dir.File("logs")), reg(dbs.dir.File("velkaris.reg")) {
    std::filesystem::create_directories(log_dir);
  }

  // Writes the registry export as `reg export` does: UTF-16LE with a BOM.
  void WriteRegistry(const std::string& back_cs, const std::string& front_cs) {
    std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\KORV\\ARN\\Options]\r\n"
        "\"Velkarys.ConnDBLocale.ConnectionString\"=\"" + back_cs + "\"\r\n"
        "\"Velkarys.ConnDBPuntoCassa.ConnectionString\"=\"" + front_cs + "\"\r\n"
        "\"IdCassa\"=dword:00000002\r\n\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : text) {
      utf16 += c;
      utf16 += '\0';
    }
    std::ofstream(reg, std::ios::binary) << utf16;
  }
  void WriteRegistry() {
    WriteRegistry(testing_support::SqliteConnectionString(dbs.back_path),
                  testing_support::SqliteConnectionString(dbs.front_path));
  }

  int Run(const std::string& registry, const std::string& more = "") {
    return Velkaris("--registry '" + registry + "' --log-dir '" + log_dir + "' " + more + " /no_wait");
  }
  // The binary with these arguments; its standard output and error go to Out() and Err().
  int Velkaris(const std::string& args) {
    std::string cmd = std::string(VELKARIS_BINARY) + " " + args + " > '" + dbs.dir.File("stdout") + "' 2> '" +
                      dbs.dir.File("stderr") + "'";
    int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Out() { return testing_support::ReadFile(dbs.dir.File("stdout")); }
  std::string Err() { return testing_support::ReadFile(dbs.dir.File("stderr")); }

  std::vector<std::string> SyncLog() {
    std::vector<std::string> all;
    for (const auto& entry : std::filesystem::directory_iterator(log_dir)) {
      if (entry.path().filename().string().rfind("logSincro", 0) == 0) {
        auto lines = ReadLines(entry.path().string());
        all.insert(all.end(), lines.begin(), lines.end());
      }
    }
    return all;
  }
  std::vector<std::string> ErrorLog() { return ReadLines(log_dir + "/logVelkaris.log"); }
  // The error log without the line every receipt row adds about its down payment.
  std::vector<std::string> Errors() {
    std::vector<std::string> out;
    for (const auto& l : ErrorLog()) {
      if (l.find("Acconto rilevato num:") == std::string::npos) out.push_back(l);
    }
    return out;
  }
  std::string Dump(const std::string& path) {
    std::string out = dbs.dir.File("dump.sql");
    std::system(("sqlite3 '" + path + "' .dump > '" + out + "'").c_str());
    return testing_support::ReadFile(out);
  }

  testing_support::TempDatabases dbs;
  std::string log_dir, reg;
};

TEST_F(ProgramTest, ARunOnFreshDatabasesConnectsBothAndSelectsPrintedReceipts) {
  dbs.front->Execute("insert into tabTestate (idTestata, IdCausale, Printed) values (7, 4, 1), (8, 5, 1), (9, 4, 0)");
  dbs.front->Execute("insert into tabDettaglio (idDettaglio, IdTestata) values (70, 7), (80, 8), (90, 9)");
  WriteRegistry();
  EXPECT_EQ(Run(reg), 0);
  auto lines = SyncLog();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_NE(lines[0].find(" - Avviata connessione: " + testing_support::SqliteConnectionString(dbs.back_path)),
            std::string::npos);
  EXPECT_NE(lines[1].find(" - Avviata connessione cassa: " + testing_support::SqliteConnectionString(dbs.front_path)),
            std::string::npos);
  int reports = 0;
  for (const auto& l : lines) reports += l.find("Testata sincronizzata") != std::string::npos;
  EXPECT_EQ(reports, 2);
  EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                         [](const std::string& l) { return l.find("IdTestataPOS:8 ") != std::string::npos; }),
            lines.end());
  EXPECT_TRUE(Errors().empty());
  EXPECT_TRUE(Out().empty());  // silent under a scheduler
  EXPECT_TRUE(Err().empty());
}

TEST_F(ProgramTest, ACompleteRunAndASecondOneThatChangesNothing) {
  auto& front = *dbs.front;
  auto& back = *dbs.back;
  front.Execute("insert into tabImpostazioni values ('CodiceIvaPredefinito','22'), ('ValutaAziendale','EUR'), "
                "('IdMagazzinoCorrente','1')");
  back.Execute("insert into tabAliquoteIva (Codice, aliquotaIva) values ('22', 22)");
  back.Execute("insert into tabValute (Valuta, Arrotondamento) values ('EUR', 0.01)");
  back.Execute("insert into tabCausali (IdCausale, Causale, TipoMovimento, FlagVendita, Gestionale) values "
               "(4, 'VEN', 'S', 1, 1), (6, 'RIC', 'C', 0, 1), (1, 'V', 'S', 1, 0), (2, 'R', 'C', 0, 0)");
  back.Execute("insert into tabArticoli (idArticolo, CodiceArticolo, aliquotaIva, CodiceIva, UM, TipoUmVen, "
               "AggiornaGiacenze) values (1, 'A1', 22, '22', 'PZ', 1, 1), (2, 'BUONO', 22, '22', 'PZ', 1, 0)");
  back.Execute("insert into tabBarcode (Barcode, idArticolo) values ('8001', 1), ('BUONO', 2)");
  back.Execute("insert into tabBuoniMerce (idBuono, Importo, ImportoResiduo) values (3, 50, 50)");
  front.Execute("insert into tabTestate (idTestata, IdCausale, Printed, Data, Ora, Operatore, NumScontrino) values "
                "(1, 4, 1, '2026-12-04 00:00:00', '10:00:00', 3, 1), (2, 5, 1, '2026-12-04 00:00:00', '11:00:00', 3, 2)");
  front.Execute("insert into tabDettaglio (idDettaglio, IdTestata, IdCausale, Barcode, Descrizione, Quantita, Prezzo, "
                "AIva, CodiceIva, TotaleNettoSconto, idBuono) values "
                "(11, 1, 1, '8001', 'Latte', 2, 1.22, 22, '22', 2.44, NULL), "
                "(12, 1, 1, '', 'Grazie', NULL, NULL, NULL, NULL, NULL, NULL), "
                "(13, 1, 2, 'BUONO', 'Buono', 1, 20, 22, '22', 20, 3), "
                "(21, 2, 2, '8001', 'Latte', 1, 1.22, 22, '22', 1.22, NULL)");
  front.Execute("insert into tabPagamentiScontrini (idTestata, ImportoIncassato, Coefficiente) values "
                "(1, 2.44, 1), (2, -1.22, -1), (-1, 5, 1)");
  WriteRegistry();
  ASSERT_EQ(Run(reg), 0);
  EXPECT_TRUE(Errors().empty()) << Errors()[0];
  EXPECT_EQ(db::CLng(testing_support::Scalar(back, "select count(*) from tabTestateScontrini")), 2);
  EXPECT_EQ(db::CLng(testing_support::Scalar(back, "select count(*) from tabDettaglioScontrini")), 4);
  EXPECT_EQ(db::CLng(testing_support::Scalar(back, "select count(*) from tabPagamentiScontriniBackoffice")), 3);
  EXPECT_EQ(db::CLng(testing_support::Scalar(back, "select count(*) from tabTestateMagazzino")), 2);
  EXPECT_EQ(db::CDbl(testing_support::Scalar(back, "select ImportoResiduo from tabBuoniMerce")), 30);
  EXPECT_EQ(db::CDbl(testing_support::Scalar(back, "select Giacenza from tabGiacenze where Barcode='8001'")), -1);
  EXPECT_EQ(db::CLng(testing_support::Scalar(front, "select count(*) from tabDettaglio where FlagExport=1")), 4);
  EXPECT_EQ(db::CLng(testing_support::Scalar(front, "select count(*) from tabPagamentiScontrini where FlagExport=1")), 3);
  std::string front_dump = Dump(dbs.front_path), back_dump = Dump(dbs.back_path);
  ASSERT_EQ(Run(reg), 0);
  EXPECT_EQ(Dump(dbs.front_path), front_dump);
  EXPECT_EQ(Dump(dbs.back_path), back_dump);
}

TEST_F(ProgramTest, ASecondInstanceEndsAtOnceAndWritesNothing) {
  WriteRegistry();
  platform::InstanceLock running(platform::MachineLockPath());  // one per machine, whatever the log folder
  ASSERT_EQ(running.Acquire(), platform::InstanceLock::kAcquired);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run(reg), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(SyncLog().empty());
  EXPECT_TRUE(ErrorLog().empty());
}

TEST_F(ProgramTest, ConfigurationProblemsGetOneReadableEntryAndTouchNoDatabase) {
  std::string front_before = Dump(dbs.front_path), back_before = Dump(dbs.back_path);
  struct Case {
    std::string name;
    std::function<void()> setup;
    std::string registry;
    std::string source, mentions;
  };
  std::string missing_reg = dbs.dir.File("missing.reg");
  const Case cases[] = {
      {"missing registry file", [] {}, missing_reg, "AvviaConnessioneBackoffice", "missing.reg"},
      {"not a registry export",
       [&] { std::ofstream(dbs.dir.File("bytes.reg"), std::ios::binary) << std::string("\x93\x01\xC7zz\x00", 6); },
       dbs.dir.File("bytes.reg"), "AvviaConnessioneBackoffice", "bytes.reg' is not a registry export"},
      {"empty back-office string", [&] { WriteRegistry("", "x"); }, reg, "AvviaConnessioneBackoffice",
       "Velkarys.ConnDBLocale.ConnectionString"},
      {"unreachable front office",
       [&] {
         WriteRegistry(testing_support::SqliteConnectionString(dbs.back_path),
                       "Provider=SQLite;Data Source=" + dbs.dir.File("gone/front.db") + ";");
       },
       reg, "AvviaConnessionePcassa", "gone/front.db"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(log_dir + "/logVelkaris.log");
    c.setup();
    EXPECT_EQ(Run(c.registry), 0) << c.name;  // the original's silence stays the default
    EXPECT_EQ(Run(c.registry, "--exit-status"), 2) << c.name;
    std::filesystem::remove(log_dir + "/logVelkaris.log");
    EXPECT_EQ(Run(c.registry), 0) << c.name;
    auto errors = ErrorLog();
    ASSERT_EQ(errors.size(), 1u) << c.name;
    EXPECT_NE(errors[0].find(". Oggetto: MODULO \\" + c.source), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find(c.mentions), std::string::npos) << errors[0];
  }
  EXPECT_EQ(Dump(dbs.front_path), front_before);
  EXPECT_EQ(Dump(dbs.back_path), back_before);
}


TEST_F(ProgramTest, AMistypedCommandLineIsRefusedWithUsageAndTouchesNothing) {
  WriteRegistry();
  for (const std::string& args : {std::string("--verbose /no_wait"), std::string("--registry"),
                                  "--registry '" + reg + "' --log-dir", std::string("verify --to 31/02/2026")}) {
    EXPECT_EQ(Velkaris(args), 2) << args;
    EXPECT_NE(Err().find("velkaris"), std::string::npos) << args;
    EXPECT_TRUE(Out().empty()) << args;
  }
  EXPECT_EQ(Velkaris("--verbose /no_wait"), 2);
  EXPECT_NE(Err().find("unknown option '--verbose'"), std::string::npos) << Err();
  EXPECT_NE(Err().find("Usage: velkaris"), std::string::npos);
  EXPECT_EQ(Velkaris("verify --to 31/02/2026"), 2);
  EXPECT_NE(Err().find("'31/02/2026' is not a day"), std::string::npos) << Err();
  EXPECT_TRUE(SyncLog().empty());
  EXPECT_TRUE(ErrorLog().empty());
  EXPECT_EQ(Velkaris("--help"), 0);
  EXPECT_NE(Out().find("--exit-status"), std::string::npos);
  EXPECT_TRUE(Err().empty());
}

// The demo shop: a pass with --summary and --exit-status, then verify on both backends.
TEST_F(ProgramTest, ARunSaysHowItWentAndVerifyAgreesUntilTheBackOfficeLosesAReceipt) {
  velkaris::demo::DemoOptions options;
  options.dir = dbs.dir.File("shop");
  options.receipts = 12;
  options.schema_dir = VELKARIS_SCHEMA_DIR;
  std::filesystem::create_directories(options.dir);
  velkaris::demo::GenerateDemo(options);
  velkaris::demo::DemoFiles shop = velkaris::demo::DemoPaths(options.dir);
  std::string summary = dbs.dir.File("summary.json");
  EXPECT_EQ(Run(shop.registry, "--exit-status --summary '" + summary + "'"), 0) << Err();
  EXPECT_TRUE(Out().empty());
  EXPECT_TRUE(Err().empty());  // not a terminal: no last line
  std::string json = testing_support::ReadFile(summary);
  auto back = testing_support::OpenSqlite(shop.back);
  auto count = [&](const std::string& sql) { return std::to_string(db::CLng(back->OpenRecordset(sql)->Field(0))); };
  for (const auto& [field, value] : std::vector<std::pair<std::string, std::string>>{
           {"outcome", "\"complete\""},
           {"receipts_selected", "12"},
           {"receipts_transferred", count("select count(*) from tabTestateScontrini")},
           {"receipts_failed", "0"},
           {"rows", count("select count(*) from tabDettaglioScontrini")},
           {"payments", count("select count(*) from tabPagamentiScontriniBackoffice")},
           {"movements", count("select count(*) from tabDettaglioMagazzino where idTestata in (select idTestata from "
                               "tabTestateMagazzino where IdCausale <> 9)")},
           {"errors", "0"}}) {
    EXPECT_NE(json.find("\"" + field + "\": " + value + ","), std::string::npos)
        << field << " should be " << value << " in\n" << json;
  }
  EXPECT_NE(json.find("\"first_error\": null\n}"), std::string::npos) << json;

  EXPECT_EQ(Velkaris("verify --registry '" + shop.registry + "'"), 0) << Out() << Err();
  EXPECT_NE(Out().find("Velkaris verify: till 1, every day"), std::string::npos) << Out();
  EXPECT_NE(Out().find("Everything agrees."), std::string::npos) << Out();
  std::string table = Out();

  // The same check through the SQLite ODBC driver gives the same table.
  std::string odbc_reg = dbs.dir.File("odbc.reg");
  std::ofstream(odbc_reg) << "Windows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_CURRENT_USER\\SOFTWARE\\KORV\\ARN\\Options]\r\n"
                             "\"Velkarys.ConnDBLocale.ConnectionString\"=\"Driver=SQLite3;Database=" + shop.back + ";\"\r\n"
                             "\"Velkarys.ConnDBPuntoCassa.ConnectionString\"=\"Driver=SQLite3;Database=" + shop.front + ";\"\r\n"
                             "\"IdCassa\"=dword:00000001\r\n";
  EXPECT_EQ(Velkaris("verify --registry '" + odbc_reg + "'"), 0) << Out() << Err();
  EXPECT_EQ(Out(), table);

  // A receipt lost from the back office: verify says where, with status 1.
  back->Execute("delete from tabTestateScontrini where idTestata = (select min(idTestata) from tabTestateScontrini)");
  EXPECT_EQ(Velkaris("verify --registry '" + shop.registry + "' --from 2026-12-01 --to 03/12/2026"), 1) << Out();
  EXPECT_NE(Out().find("DIFFERS"), std::string::npos) << Out();
  EXPECT_NE(Out().find("do not agree"), std::string::npos) << Out();
  // A second pass selects nothing and is complete.
  EXPECT_EQ(Run(shop.registry, "--exit-status --summary '" + summary + "'"), 0);
  EXPECT_NE(testing_support::ReadFile(summary).find("\"receipts_selected\": 0,"), std::string::npos);
}

}  // namespace
