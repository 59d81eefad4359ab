#include "run/run_driver.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <filesystem>

#include "db/recordset.h"
#include "platform/system.h"
#include "run/progress_line.h"
#include "testing/context_fixture.h"
#include "testing/fault_injector.h"

namespace velkaris {
namespace {

// Transfer operations that record what the driver asks of them and can be told to fail.
struct FakeTransfers {
  std::vector<std::pair<int32_t, int32_t>> receipts;  // (kind, IdTestataPOS)
  std::vector<std::pair<int32_t, int32_t>> warehouse;  // (IdTestataPOS, row causale)
  // Connections opened so far, seen by each receipt (an address could be reused).
  std::vector<int> connections_seen;
  const int* connections_opened = nullptr;
  int fail_receipt_at = 0;                             // 1-based call that returns False
  int fail_warehouse_at = 0;
  bool mark_rows = true;  // write both sides of every row, as a complete transfer would

  TransferOps Ops() {
    return {[this](Context& ctx, int32_t& kind, SyncCollection& single) {
              const auto& h = single(1);
              receipts.emplace_back(kind, h->IdTestataPOS);
              connections_seen.push_back(*connections_opened);
              if (static_cast<int>(receipts.size()) == fail_receipt_at) return false;
              h->IdTestataScontrinoBKF = 1000 + h->IdTestataPOS;
              h->SincronizzatoScontrinoBKF = true;
              auto rs = ctx.connDbPuntoCassa->OpenRecordset(
                  "select idDettaglio from tabDettaglio where IdTestata=" + std::to_string(h->IdTestataPOS));
              for (; !rs->Eof(); rs->MoveNext()) {
                auto r = h->AggiungiRiga(db::CLng((*rs)["idDettaglio"]));
                r->IdDettaglioScontrinoBKF = 2000 + r->IdDettaglioPOS;
                r->SincronizzatoScontrinoBKF = true;
              }
              return true;
            },
            [this](Context&, int32_t&, SyncCollection& single, int32_t& causale) {
              const auto& h = single(1);
              warehouse.emplace_back(h->IdTestataPOS, causale);
              if (static_cast<int>(warehouse.size()) == fail_warehouse_at) return false;
              if (causale == 1 && mark_rows) {
                h->IdTestataMovMagBKF = 3000 + h->IdTestataPOS;
                h->SincronizzatoMovMagBKF = true;
                for (const auto& r : h->Righe) {
                  r->IdDettaglioMovMagBKF = 4000 + r->IdDettaglioPOS;
                  r->SincronizzatoMovMagBKF = true;
                }
              }
              return true;
            }};
  }
};

class RunDriverTest : public testing_support::ContextTest {
 protected:
  void SetUp() override {
    RegisterDatabases();
    ctx.computer_name = "TILL1";
    ctx.connection_created = [this](db::Connection& c) {
      ++connections_created;
      recorder.Attach(c);
    };
    fake.connections_opened = &connections_created;
  }
  // Printed receipts first..first+count-1 of a causale, each with rows id*10 and id*10+1.
  void Receipts(int first, int count, int causale) {
    for (int id = first; id < first + count; ++id) {
      ctx.connDbPuntoCassa->Execute("insert into tabTestate (idTestata, IdCausale, Printed) values (" +
                                    std::to_string(id) + ", " + std::to_string(causale) + ", 1)");
      ctx.connDbPuntoCassa->Execute("insert into tabDettaglio (idDettaglio, IdTestata, FlagExport) values (" +
                                    std::to_string(id * 10) + ", " + std::to_string(id) + ", 0), (" +
                                    std::to_string(id * 10 + 1) + ", " + std::to_string(id) + ", NULL)");
      ctx.connDbPuntoCassa->Execute("insert into tabPagamentiScontrini (idTestata, FlagExport) values (" +
                                    std::to_string(id) + ", 0)");
    }
  }
  int64_t Count(db::Connection& c, const std::string& sql) {
    auto rs = c.OpenRecordset(sql);
    return db::CLng(rs->Field(0));
  }
  int64_t Unexported() {
    return Count(*testing_support::OpenSqlite(dbs.front_path),
                 "select count(*) from tabDettaglio where FlagExport is null or FlagExport=0");
  }
  std::vector<std::string> SyncLinesContaining(const std::string& text) {
    std::vector<std::string> out;
    for (const auto& l : SyncLogLines()) {
      if (l.find(text) != std::string::npos) out.push_back(l);
    }
    return out;
  }

  // The receipts (1-based, counted from `from`) before which the receipts `from`..`to` saw
  // connections opened anew.
  std::vector<size_t> ReopenedBefore(size_t from, size_t to) const {
    std::vector<size_t> at;
    for (size_t i = from + 1; i < to; ++i) {
      if (fake.connections_seen[i] != fake.connections_seen[i - 1]) at.push_back(i - from + 1);
    }
    return at;
  }
  // The fake's transfer, writing the back-office header as well: as units of work, a
  // receipt is transferred only with it.
  TransferOps WithHeaders(TransferOps ops) {
    TransferOps with_header = ops;
    with_header.sincro_scontrino = [ops](Context& c, int32_t& kind, SyncCollection& single) {
      if (!ops.sincro_scontrino(c, kind, single)) return false;
      c.connDbLocale->Execute("insert into tabTestateScontrini (idTestata) values (" +
                              std::to_string(single(1)->IdTestataScontrinoBKF) + ")");
      return true;
    };
    return with_header;
  }

  FakeTransfers fake;
  testing_support::FaultInjector recorder;
  int connections_created = 0;
};

TEST_F(RunDriverTest, NoWaitExactlySkipsThePauseAnythingElsePausesTheSameTime) {
  UnseededRandom rnd;
  EXPECT_NEAR(rnd.Next(), 0.7055475, 1e-7);
  EXPECT_NEAR(rnd.Next(), 0.533424, 1e-6);
  struct Case {
    const char* args;
    int64_t pause_ms;
  };
  for (const Case& c : {Case{"/no_wait", 0}, Case{"/NO_WAIT", 43000}, Case{"/no_wait x", 43000},
                        Case{" /no_wait", 43000}, Case{"", 43000}}) {
    int64_t before = clock.slept_ms();
    Main(ctx, c.args, fake.Ops());
    EXPECT_EQ(clock.slept_ms() - before, c.pause_ms) << "'" << c.args << "'";
  }
  EXPECT_TRUE(ErrorLogLines().empty());
}

TEST_F(RunDriverTest, SelectedReceiptsGoThroughBothPassesWithReportAndFlags) {
  Receipts(1, 2, 4);
  Receipts(3, 1, 5);
  Main(ctx, "/no_wait", fake.Ops());
  EXPECT_EQ(fake.receipts, (std::vector<std::pair<int32_t, int32_t>>{{1, 1}, {1, 2}, {2, 3}}));
  EXPECT_EQ(fake.warehouse,
            (std::vector<std::pair<int32_t, int32_t>>{{1, 1}, {1, 2}, {2, 1}, {2, 2}, {3, 1}, {3, 2}}));
  EXPECT_EQ(SyncLinesContaining("Esito avvio sincronizzazione").size(), 3u);
  EXPECT_EQ(SyncLinesContaining("     Riga sincronizzata -  IdDettaglioMovMagBKF:4010 IdDettaglioPOS:10 "
                                "IdDettaglioScontrinoBKF:2010 SincronizzatoMovMagBKF:True "
                                "SincronizzatoScontrinoBKF:True")
                .size(),
            1u);
  EXPECT_EQ(Unexported(), 0);
  EXPECT_TRUE(ErrorLogLines().empty());
  // The next run selects nothing.
  fake.receipts.clear();
  Main(ctx, "/no_wait", fake.Ops());
  EXPECT_TRUE(fake.receipts.empty());
}

TEST_F(RunDriverTest, ProgressIsReportedAfterEveryReceipt) {
  Receipts(1, 3, 4);
  Receipts(4, 1, 5);
  std::vector<std::string> calls;
  ctx.progress = [&](int32_t kind, size_t done, size_t total) {
    calls.push_back(std::to_string(kind) + ":" + std::to_string(done) + "/" + std::to_string(total));
  };
  Main(ctx, "/no_wait", fake.Ops());
  EXPECT_EQ(calls, (std::vector<std::string>{"1:1/3", "1:2/3", "1:3/3", "2:1/1"}));
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  ProgressLine line(out);
  line.Update(1, 3, 3);
  std::fclose(out);
  EXPECT_EQ(std::string(text).substr(0, 22), "\rSales: 3/3 receipts, ");
  EXPECT_EQ(std::string(text).back(), '\n');
  std::free(text);
}

TEST_F(RunDriverTest, EmptyPassesSelectBothCausaliAndTransferNothing) {
  Main(ctx, "/no_wait", fake.Ops());
  EXPECT_TRUE(fake.receipts.empty());
  EXPECT_EQ(recorder.StatementsMatching("SELECT distinct").size(), 2u);
  EXPECT_EQ(recorder.StatementsMatching("tabTestate.IdCausale=5").size(), 1u);
  EXPECT_TRUE(ErrorLogLines().empty());
}

TEST_F(RunDriverTest, AFailedFirstSelectionEndsTheRunBeforeEitherPass) {
  Receipts(1, 1, 4);
  Receipts(2, 1, 5);
  recorder.FailMatching("tabTestate.IdCausale=4", "Invalid object name 'tabTestate'.");
  Main(ctx, "/no_wait", fake.Ops());
  EXPECT_TRUE(fake.receipts.empty());
  EXPECT_TRUE(recorder.StatementsMatching("tabTestate.IdCausale=5").empty());
  EXPECT_EQ(ErrorsFrom("TovoVelkaris_RecuperaTestate").size(), 1u);
  // Nothing was selected, yet the run did not do its job.
  EXPECT_TRUE(ctx.account.started);
  EXPECT_TRUE(ctx.account.ended_early);
  EXPECT_FALSE(ctx.account.Complete());
}

TEST_F(RunDriverTest, BothConnectionsAreReopenedBeforeEvery50thReceipt) {
  Receipts(1, 60, 4);
  Receipts(101, 110, 5);
  Main(ctx, "/no_wait", fake.Ops());
  ASSERT_EQ(fake.connections_seen.size(), 170u);
  EXPECT_EQ(ReopenedBefore(0, 60), (std::vector<size_t>{50}));
  EXPECT_EQ(ReopenedBefore(60, 170), (std::vector<size_t>{50, 100}));
  // Only the second pass logs its reconnections, besides the start.
  EXPECT_EQ(SyncLinesContaining("Avviata connessione: ").size(), 3u);
  EXPECT_EQ(SyncLinesContaining("Avviata connessione cassa: ").size(), 3u);
  EXPECT_EQ(Unexported(), 0);
}

TEST_F(RunDriverTest, AsUnitsOfWorkTheFirstPasssBatchGoesOnOverAReopeningThatChangesNothing) {
  UseUnitsOfWork();
  SetRegistryText("Velkarys.CommitOgniMs", "600000");  // no batch ends by time
  Receipts(1, 560, 4);
  Receipts(1001, 110, 5);
  Main(ctx, "/no_wait", WithHeaders(fake.Ops()));
  ASSERT_EQ(fake.connections_seen.size(), 670u);
  // The pool would hand back the same SQLite engines: the first pass, which logs no
  // reopening, keeps its connections and its batch, until the batch holds 500 receipts. The
  // second logs each reopening, in its place among the receipts, so it commits and reopens
  // as before.
  EXPECT_EQ(ReopenedBefore(0, 560), (std::vector<size_t>{550}));
  EXPECT_EQ(ReopenedBefore(560, 670), (std::vector<size_t>{50, 100}));
  EXPECT_EQ(SyncLinesContaining("Avviata connessione: ").size(), 3u);
  EXPECT_EQ(SyncLinesContaining("Avviata connessione cassa: ").size(), 3u);
  // Two batches in the first pass, three in the second: a back-office and a front-office
  // commit each.
  EXPECT_EQ(recorder.StatementsMatching("COMMIT TRANSACTION").size(), 10u);
  EXPECT_EQ(ctx.account.transferred, 670);
  EXPECT_EQ(Unexported(), 0);
}

TEST_F(RunDriverTest, ExitAClosesEverythingAndDeletesNothing) {
  Receipts(1, 3, 4);
  Receipts(4, 1, 5);
  fake.fail_receipt_at = 2;
  Main(ctx, "/no_wait", fake.Ops());
  EXPECT_EQ(fake.receipts.size(), 2u);
  EXPECT_EQ(fake.warehouse.size(), 2u);  // only the first receipt's two calls
  EXPECT_TRUE(recorder.StatementsMatching("delete").empty());
  EXPECT_EQ(ctx.connDbLocale->State(), 0);
  EXPECT_EQ(ctx.connDbPuntoCassa->State(), 0);
  EXPECT_EQ(ctx.objSQL_ConnDbLocale->State(), 0);
  EXPECT_EQ(ctx.objSQL_ConnDbPuntoCassa->State(), 0);
  EXPECT_EQ(SyncLinesContaining("Esito avvio sincronizzazione").size(), 1u);
  EXPECT_EQ(Unexported(), 6);  // the failed receipt and those after it stay selectable
}

TEST_F(RunDriverTest, ExitBInTheFirstPassDeletesTheReceiptAndItsMovementRows) {
  Receipts(1, 1, 4);
  Receipts(2, 1, 5);
  auto& back = *ctx.connDbLocale;
  back.Execute("insert into tabTestateScontrini (idTestata) values (1001)");
  back.Execute("insert into tabDettaglioScontrini (idDettaglio, idTestata) values (2010, 1001), (2011, 1001)");
  back.Execute("insert into tabPagamentiScontriniBackoffice (ID, idTestata) values (1, 1001)");
  back.Execute("insert into tabdettaglioAccontiClienti (ID, TipoDocumento, IdDettaglioDocumento) values "
               "(1, 9, 2010), (2, 9, 9999)");
  back.Execute("insert into tabFidelity_Transazioni (idTransazione, idScontrino) values (1, 1001)");
  back.Execute("insert into tabDettaglioMagazzino (idDettaglio, idTestata) values (4010, 3001), (4011, 3001)");
  back.Execute("insert into tabTestateMagazzino (idTestata) values (3001)");
  fake.fail_warehouse_at = 2;  // the second call (row causale 2) fails after the first marked the rows
  int created_before_exit = 0;
  fake.mark_rows = true;
  Main(ctx, "/no_wait", fake.Ops());
  created_before_exit = connections_created;
  EXPECT_EQ(fake.receipts.size(), 1u);
  std::vector<std::string> deletes = recorder.StatementsMatching("delete");
  EXPECT_EQ(deletes, (std::vector<std::string>{"delete from tabtestatescontrini where idtestata=1001",
                                               "delete from tabPagamentiScontriniBackoffice where idtestata=1001",
                                               "delete from tabdettaglioAccontiClienti where TipoDocumento in (9, 23) and "
                                               "IdDettaglioDocumento in (select idDettaglio from tabDettaglioScontrini where idtestata=1001)",
                                               "delete from tabDettaglioScontrini where idtestata=1001",
                                               "Delete from tabDettaglioMagazzino where idDettaglio=4010",
                                               "Delete from tabDettaglioMagazzino where idDettaglio=4011",
                                               "delete from tabFidelity_Transazioni where idScontrino=1001"}));
  auto check = testing_support::OpenSqlite(dbs.back_path);
  for (const char* t : {"tabTestateScontrini", "tabDettaglioScontrini", "tabPagamentiScontriniBackoffice",
                        "tabFidelity_Transazioni", "tabDettaglioMagazzino"}) {
    EXPECT_EQ(Count(*check, std::string("select count(*) from ") + t), 0) << t;
  }
  EXPECT_EQ(Count(*check, "select count(*) from tabTestateMagazzino"), 1);  // the header stays
  // The rows' down payments go with them; another document's stays.
  EXPECT_EQ(Count(*check, "select count(*) from tabdettaglioAccontiClienti where IdDettaglioDocumento=9999"), 1);
  EXPECT_EQ(Count(*check, "select count(*) from tabdettaglioAccontiClienti"), 1);
  // Start (2 pairs) + selection (2 pairs) + the exit's reconnection (2 pairs), 2 connections a pair.
  EXPECT_EQ(created_before_exit, 12);
  EXPECT_TRUE(SyncLinesContaining("Esito avvio").empty());
  EXPECT_EQ(Unexported(), 4);
  EXPECT_EQ(ctx.connDbLocale->State(), 0);
  EXPECT_TRUE(ErrorLogLines().empty());
}

TEST_F(RunDriverTest, ExitBInTheSecondPassKeepsTheMovementRows) {
  Receipts(2, 1, 5);
  fake.fail_warehouse_at = 2;
  Main(ctx, "/no_wait", fake.Ops());
  EXPECT_EQ(recorder.StatementsMatching("delete"),
            (std::vector<std::string>{"delete from tabtestatescontrini where idtestata=1002",
                                      "delete from tabPagamentiScontriniBackoffice where idtestata=1002",
                                      "delete from tabdettaglioAccontiClienti where TipoDocumento in (9, 23) and "
                                      "IdDettaglioDocumento in (select idDettaglio from tabDettaglioScontrini where idtestata=1002)",
                                      "delete from tabDettaglioScontrini where idtestata=1002",
                                      "delete from tabFidelity_Transazioni where idScontrino=1002"}));
  // Start, first and second selection; no reconnection in the exit.
  EXPECT_EQ(connections_created, 12);
}

TEST_F(RunDriverTest, ExitBWithoutABackOfficeReceiptDeletesByMinusOne) {
  Receipts(1, 1, 4);
  fake.fail_receipt_at = 0;
  fake.fail_warehouse_at = 1;
  TransferOps ops = fake.Ops();
  ops.sincro_scontrino = [](Context&, int32_t&, SyncCollection&) { return true; };
  Main(ctx, "/no_wait", ops);
  auto deletes = recorder.StatementsMatching("delete");
  ASSERT_EQ(deletes.size(), 5u);
  EXPECT_EQ(deletes[0], "delete from tabtestatescontrini where idtestata=-1");
}

TEST_F(RunDriverTest, AFailingDeleteInExitBIsLoggedByMainAndStopsThere) {
  Receipts(1, 1, 4);
  fake.fail_warehouse_at = 1;
  recorder.FailMatching("delete from tabPagamentiScontriniBackoffice", "Lock request time out period exceeded.");
  Main(ctx, "/no_wait", fake.Ops());
  ASSERT_EQ(ErrorsFrom("Main").size(), 1u);
  EXPECT_NE(ErrorsFrom("Main")[0].find("Lock request time out"), std::string::npos);
  EXPECT_TRUE(recorder.StatementsMatching("delete from tabDettaglioScontrini").empty());
}

TEST_F(RunDriverTest, TheFidelityDeleteOfExitBMayFailSilently) {
  Receipts(1, 1, 4);
  fake.fail_warehouse_at = 1;
  recorder.FailMatching("delete from tabFidelity_Transazioni", "boom");
  Main(ctx, "/no_wait", fake.Ops());
  EXPECT_TRUE(ErrorLogLines().empty());
  EXPECT_EQ(ctx.connDbLocale->State(), 0);
}

TEST_F(RunDriverTest, ASecondInstanceEndsAtOnceAndWritesNothing) {
  Receipts(1, 1, 4);
  platform::InstanceLock first(platform::MachineLockPath());  // one per machine, whatever the log folder
  ASSERT_EQ(first.Acquire(), platform::InstanceLock::kAcquired);
  Main(ctx, "", fake.Ops());
  EXPECT_TRUE(fake.receipts.empty());
  EXPECT_EQ(connections_created, 0);
  EXPECT_EQ(clock.slept_ms(), 0);
  EXPECT_FALSE(std::filesystem::exists(ctx.logs.ErrorLogPath()));
  EXPECT_FALSE(std::filesystem::exists(ctx.logs.SyncLogPath(clock.now())));
}

TEST_F(RunDriverTest, UnreachableDatabaseOrBusyGuardEndTheRunCleanly) {
  Receipts(1, 1, 4);
  SetRegistryText("Velkarys.ConnDBPuntoCassa.ConnectionString", "Provider=SQLite;Data Source=/nonexistent/front.db;");
  Main(ctx, "/no_wait", fake.Ops());
  EXPECT_TRUE(fake.receipts.empty());
  EXPECT_EQ(ErrorLogLines().size(), 1u);
  EXPECT_EQ(ErrorsFrom("AvviaConnessionePcassa").size(), 1u);

  RegisterDatabases();
  ctx.connDbLocale->Execute("insert into sysprocesses (spid, dbid, hostname, program_name, last_batch) values "
                            "(51, 5, 'TILL2', 'Velkaris', datetime('now','localtime'))");
  Main(ctx, "", fake.Ops());
  EXPECT_TRUE(fake.receipts.empty());
  EXPECT_EQ(clock.slept_ms(), 0);  // the guard comes before the pause
  EXPECT_EQ(SyncLinesContaining("pendenti su SQL").size(), 1u);
  EXPECT_EQ(Unexported(), 2);
}

TEST_F(RunDriverTest, Sleep2WaitsOnTheTickCounterAndLogsAnOverflow) {
  clock.SetTick(1000);
  Sleep2(ctx, 2500);
  EXPECT_EQ(clock.slept_ms(), 2500);
  EXPECT_GE(clock.TickCount(), 3500);
  clock.SetTick(INT32_MAX - 100);
  Sleep2(ctx, 1000);
  EXPECT_EQ(clock.slept_ms(), 2500);
  ASSERT_EQ(ErrorsFrom("Sleep2").size(), 1u);
  EXPECT_EQ(ErrorsFrom("Sleep2")[0], "04/12/2026 19:05:14 :Overflow. Oggetto: MODULO \\Sleep2");
  // The run goes on without its pause.
  Receipts(1, 1, 4);
  Main(ctx, "", fake.Ops());
  EXPECT_EQ(fake.receipts.size(), 1u);
}


TEST_F(RunDriverTest, TheAccountCountsWhatWasSelectedTransferredAndFailedAndTakesBackAFailedReceiptsWrites) {
  Receipts(1, 3, 4);
  Receipts(4, 1, 5);
  Main(ctx, "/no_wait", fake.Ops());
  const RunAccount& a = ctx.account;
  EXPECT_TRUE(a.started);
  EXPECT_EQ(a.selected, 4);
  EXPECT_EQ(a.transferred, 4);
  EXPECT_EQ(a.failed, 0);
  EXPECT_TRUE(a.Complete());
  EXPECT_EQ(a.start, clock.now());
  EXPECT_EQ(a.end, clock.now());

  // A second run starts a new account; the receipt whose warehouse fails takes back what
  // it had counted, and the run stops there (receipts 6 and 7 are never reached).
  Receipts(5, 3, 4);
  TransferOps ops = fake.Ops();
  TransferOps counting = ops;
  counting.sincro_scontrino = [&](Context& c, int32_t& kind, SyncCollection& single) {
    c.account.written.rows += 2;
    c.account.written.payments += 1;
    return ops.sincro_scontrino(c, kind, single);
  };
  fake.fail_warehouse_at = static_cast<int>(fake.warehouse.size()) + 3;  // receipt 6, first call
  Main(ctx, "/no_wait", counting);
  EXPECT_EQ(a.selected, 3);
  EXPECT_EQ(a.transferred, 1);
  EXPECT_EQ(a.failed, 1);
  EXPECT_EQ(a.written.rows, 2);
  EXPECT_EQ(a.written.payments, 1);
  EXPECT_FALSE(a.Complete());
}

TEST_F(RunDriverTest, SettingsThatDoNotLoadStopTheRunBeforeAnyReceipt) {
  Receipts(1, 2, 4);
  SetRegistryText("IdMagazzinoForzato", "abc");
  Main(ctx, "/no_wait", fake.Ops());
  EXPECT_TRUE(fake.receipts.empty());
  EXPECT_EQ(Unexported(), 4);
  EXPECT_FALSE(ctx.account.started);
  EXPECT_EQ(ctx.account.not_started, "the settings could not be loaded");
  ASSERT_EQ(ErrorsFrom("SubInitParams").size(), 1u);
  EXPECT_NE(ErrorsFrom("SubInitParams")[0].find("\"IdMagazzinoForzato\""), std::string::npos);
  EXPECT_EQ(ctx.account.errors, 1);
  EXPECT_NE(ctx.account.first_error.find("IdMagazzinoForzato"), std::string::npos);
}

TEST_F(RunDriverTest, ALogThatCannotBeWrittenStopsTheRunAndIsNamed) {
  Receipts(1, 1, 4);
  // Today's sync log left as something this user cannot write (a folder stands in for a
  // file of another user: even root cannot append to it).
  std::filesystem::create_directory(ctx.logs.SyncLogPath(clock.now()));
  Main(ctx, "/no_wait", fake.Ops());
  EXPECT_TRUE(fake.receipts.empty());
  EXPECT_EQ(connections_created, 0);
  EXPECT_EQ(ctx.account.not_started, "the logs cannot be written");
  ASSERT_EQ(ErrorsFrom("Main").size(), 1u);
  EXPECT_NE(ErrorsFrom("Main")[0].find("The log file '" + ctx.logs.SyncLogPath(clock.now()) + "' cannot be written"),
            std::string::npos);
  EXPECT_NE(ErrorsFrom("Main")[0].find("--log-dir"), std::string::npos);

  // When the error log cannot be written either, the entry goes to standard error.
  std::filesystem::remove(ctx.logs.ErrorLogPath());
  std::filesystem::create_directory(ctx.logs.ErrorLogPath());
  FILE* err = std::tmpfile();
  ctx.logs.set_fallback(err);
  Main(ctx, "/no_wait", fake.Ops());
  std::rewind(err);
  std::string text(4096, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), err));
  std::fclose(err);
  EXPECT_NE(text.find("Cannot write the log file '" + ctx.logs.ErrorLogPath() + "'"), std::string::npos) << text;
  EXPECT_NE(text.find("The log file '" + ctx.logs.SyncLogPath(clock.now()) + "' cannot be written"), std::string::npos)
      << text;
  EXPECT_TRUE(fake.receipts.empty());
}


TEST_F(RunDriverTest, AsUnitsOfWorkTheAccountCountsFailedAndAlreadyPresentReceiptsAndThePassGoesOn) {
  UseUnitsOfWork();
  Receipts(1, 3, 4);
  fake.fail_receipt_at = 2;
  TransferOps with_header = WithHeaders(fake.Ops());
  Main(ctx, "/no_wait", with_header);
  const RunAccount& a = ctx.account;
  EXPECT_EQ(a.mode, "transactions");
  EXPECT_EQ(a.selected, 3);
  EXPECT_EQ(a.transferred, 2);
  EXPECT_EQ(a.failed, 1);
  EXPECT_EQ(a.already_present, 0);
  EXPECT_FALSE(a.Complete());
  // Receipt 1 loses its flags (a crash after the commit): the next run finds it in the ledger.
  ctx.connDbPuntoCassa->Execute("update tabDettaglio set FlagExport = 0 where IdTestata = 1");
  fake.fail_receipt_at = 0;
  Main(ctx, "/no_wait", with_header);
  EXPECT_EQ(a.selected, 2);  // receipt 1 again and receipt 2, which failed
  EXPECT_EQ(a.transferred, 1);
  EXPECT_EQ(a.already_present, 1);
  EXPECT_EQ(a.failed, 0);
  EXPECT_TRUE(a.Complete());
  EXPECT_EQ(Unexported(), 0);
  SetRegistryText("Velkarys.Transazioni", "0");
  Main(ctx, "/no_wait", fake.Ops());
  EXPECT_EQ(a.mode, "per-statement");
}

}  // namespace
}  // namespace velkaris
