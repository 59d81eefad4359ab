// Statements prepared once per shape: the literals that become parameters, the shape
// rewriting that must give what rewriting each text gives, the read cache of master data
// and of what a receipt reads again,
// a transaction that SQLite ended by itself, and new ids continued in memory.
#include <gtest/gtest.h>

#include "db/dialect.h"
#include "db/pinned_columns.h"
#include "db/query_cache.h"
#include "db/recordset.h"
#include "db/sqlite/literal_parameters.h"
#include "db/sqlite/shape_translator.h"
#include "testing/builders.h"
#include "testing/temp_databases.h"

namespace db::sqlite {
namespace {

std::string Params(const ParameterizedSql& p) {
  std::string out;
  for (const Value& v : p.params) out += v.DebugString() + "|";
  return out;
}

TEST(LiteralParameters, OnlyValuesWhoseMeaningABoundValueKeeps) {
  struct Case {
    const char* sql;
    const char* text;
    const char* params;
  } cases[] = {
      {"select * from t where a=5 and b='x''y' and c=-1.5", "select * from t where a=?1 and b=?2 and c=-?3",
       "5|\"x'y\"|1,5|"},
      {"select 1 as k, 'a' from t where Sconto1=2", "select 1 as k, 'a' from t where Sconto1=?1", "2|"},
      {"select * from t where a in (1, 2) order by 1, 2", "select * from t where a in (?1, ?2) order by 1, 2", "1|2|"},
      {"select * from t where cast(a as decimal(18,2)) = 3", "select * from t where cast(a as decimal(18,2)) = ?1",
       "3|"},
      {"update t set a='z', b=4 where c=6", "update t set a=?1, b=?2 where c=?3", "\"z\"|4|6|"},
      {"insert into t (a, b) values ('q', 7)", "insert into t (a, b) values (?1, ?2)", "\"q\"|7|"},
      {"PRAGMA table_info(\"t\")", "PRAGMA table_info(\"t\")", ""},
      // Grouping terms stay (a number there names a column); the values of HAVING do not.
      {"select a, sum(b) from t where c=1 group by 1, a having a=129 and sum(b)>'2' order by 1",
       "select a, sum(b) from t where c=?1 group by 1, a having a=?2 and sum(b)>?3 order by 1", "1|129|\"2\"|"},
      {"select * from t where a in (select a from u group by a having count(*)>2) and b=3 order by 2",
       "select * from t where a in (select a from u group by a having count(*)>?1) and b=?2 order by 2", "2|3|"},
      {"select * from [tab 1] where \"a b\" = 'c'", "select * from [tab 1] where \"a b\" = ?1", "\"c\"|"},
  };
  for (const Case& c : cases) {
    ParameterizedSql p = ParameterizeLiterals(c.sql);
    EXPECT_EQ(p.text, c.text) << c.sql;
    EXPECT_EQ(Params(p), c.params) << c.sql;
  }
}

// Rewriting a shape once and placing each text's values must give exactly what rewriting
// every text gives: the same SQLite text and the same values.
TEST(ShapeTranslator, GivesWhatRewritingEachTextGives) {
  const char* texts[] = {
      "Select * from tabBarcode where Barcode='8000000015838 '",
      "Select * from tabBarcode where Barcode='8001'",
      "Select idTestata from tabTestateMagazzino where IdCausale= 4 and DataDocumento='04/12/2026'  AND IdCassa=1",
      "Select idTestata from tabTestateMagazzino where IdCausale= 6 and DataDocumento='31/12/2026'  AND IdCassa=2",
      "SELECT * FROM tabGiustificaSconto WHERE isnull(flagExport,0)= 0 and idDettaglioMovimento = -1",
      "UPDATE tabBarcode SET tabBarcode.Giacenza = tabGiacenze.Giacenza FROM tabGiacenze INNER JOIN tabBarcode ON "
      "tabGiacenze.Barcode = tabBarcode.barcode WHERE tabGiacenze.idMagazzino=1 and tabGiacenze.Barcode='80 '",
      "UPDATE tabBarcode SET tabBarcode.Giacenza = tabGiacenze.Giacenza FROM tabGiacenze INNER JOIN tabBarcode ON "
      "tabGiacenze.Barcode = tabBarcode.barcode WHERE tabGiacenze.idMagazzino=2 and tabGiacenze.Barcode='81'",
      "select 'Qta?1' as x from t where a='b'",
      "select 'Qta?1' as x from t where a='c '",
      "select * from t where a <> 'x ' and d=dateadd(\"mi\", -10, getdate())",
      "select * from t where a <> 'y' and d=dateadd(\"mi\", -20, getdate())",
      "select * from t where year(DataDocumento)=2026 and Note like 'ab%'",
      "Update tabProgressivi set Numero=12 where Causale='SCBK' and Prefisso='' ",
      "Update tabProgressivi set Numero=13 where Causale='MAG ' and Prefisso='A' ",
      "select * from t where DataDocumento='04/12/2026 19:05:11' and a='31/02/2026'",
      "select * from t where DataDocumento='05/12/2026 00:00:00' and a='01/03/2026'",
      "Select idArticolo, Sum(Giacenza) as Giacenza from tabGiacenze where idMagazzino=1 group by idarticolo having "
      "idArticolo=129",
      "Select idArticolo, Sum(Giacenza) as Giacenza from tabGiacenze where idMagazzino=2 group by idarticolo having "
      "idArticolo=298",
  };
  ShapeTranslator translator;
  for (int round = 0; round < 2; ++round) {  // the second round answers from the plans
    for (const char* t : texts) {
      ParameterizedSql expected = ParameterizeLiterals(TsqlToSqlite(t));
      ParameterizedSql got = translator.Translate(t);
      EXPECT_EQ(got.text, expected.text) << t;
      EXPECT_EQ(Params(got), Params(expected)) << t;
    }
  }
}

TEST(QueryCache, KeepsMasterDataAndShapesAndForgetsWhatAWriteChanges) {
  EXPECT_EQ(TablesRead("SELECT * FROM (tabDettaglio INNER JOIN tabTestate ON a=b) left join tabPersonale on c=d"),
            (std::vector<std::string>{"tabdettaglio", "tabtestate", "tabpersonale"}));
  EXPECT_EQ(TablesRead("select * from dbo.tabCausali, [dbo].[tabArticoli] where 1=1"),
            (std::vector<std::string>{"tabcausali", "tabarticoli"}));
  EXPECT_EQ(TableWritten("insert or replace into tabImpostazioni (a) values (1)"), "tabimpostazioni");
  EXPECT_EQ(TableWritten("UPDATE \"tabGiacenze\" SET \"Giacenza\" = ? WHERE \"IdGiacenza\" = ?"), "tabgiacenze");

  QueryCache cache;
  auto one = std::make_shared<ResultSet>();
  one->rows.push_back({Value(1)});
  cache.Store("select * from tabCausali where IdCausale=4", one, false);
  EXPECT_EQ(cache.Find("select * from tabCausali where IdCausale=4"), nullptr);  // off by default
  cache.set_policy(ReadCache::kMasterData);
  cache.Store("select * from tabCausali where IdCausale=4", one, false);
  cache.Store("select * from tabArticoli where idArticolo=1", one, false);
  cache.Store("select * from tabCausali, tabArticoli where 1=1", one, false);
  cache.Store("select * from tabDettaglioMagazzino where 1=2", one, false);
  EXPECT_NE(cache.Find("select * from tabCausali where IdCausale=4"), nullptr);
  EXPECT_EQ(cache.Find("select * from tabArticoli where idArticolo=1"), nullptr);
  EXPECT_EQ(cache.Find("select * from tabCausali, tabArticoli where 1=1"), nullptr);
  EXPECT_NE(cache.Find("select * from tabDettaglioMagazzino where 1=2"), nullptr);
  cache.Written("insert into tabDettaglioMagazzino (a) values (1)");
  EXPECT_NE(cache.Find("select * from tabDettaglioMagazzino where 1=2"), nullptr);  // only its columns
  cache.Store("select * from tabAliquoteIva where Codice='22'", one, false);
  cache.Written("update dbo.tabCausali set Descrizione='x' where IdCausale=4");
  EXPECT_EQ(cache.Find("select * from tabCausali where IdCausale=4"), nullptr);
  EXPECT_NE(cache.Find("select * from tabAliquoteIva where Codice='22'"), nullptr);
  // An UPDATE ... FROM may write through an alias: every table it names is forgotten, others stay.
  cache.Store("select * from tabCausali where IdCausale=4", one, false);
  cache.Written("update c set Descrizione=v.Descrizione from tabCausali c, tabValute v where 1=1");
  EXPECT_EQ(cache.Find("select * from tabCausali where IdCausale=4"), nullptr);
  EXPECT_NE(cache.Find("select * from tabAliquoteIva where Codice='22'"), nullptr);
  EXPECT_NE(cache.Find("select * from tabDettaglioMagazzino where 1=2"), nullptr);
  // A statement it cannot read forgets everything, the columns too.
  cache.Written("exec sp_something");
  EXPECT_EQ(cache.Find("select * from tabAliquoteIva where Codice='22'"), nullptr);
  EXPECT_EQ(cache.Find("select * from tabDettaglioMagazzino where 1=2"), nullptr);
}

TEST(QueryCache, AnUpdateForgetsOnlyTheReadsThatNameAColumnItSets) {
  std::vector<std::string> set;
  ASSERT_TRUE(ColumnsSet("UPDATE \"tabGiacenze\" SET \"Giacenza\" = ?, \"Disponibile\" = ? WHERE \"IdGiacenza\" = ?", &set));
  EXPECT_EQ(set, (std::vector<std::string>{"giacenza", "disponibile"}));
  ASSERT_TRUE(ColumnsSet("update tabBarcode SET tabBarcode.Giacenza = f(a, (b)), [dbo].[tabBarcode].Note='x, y' "
                         "FROM tabGiacenze where a=1", &set));
  EXPECT_EQ(set, (std::vector<std::string>{"giacenza", "note"}));
  EXPECT_FALSE(ColumnsSet("UPDATE a INNER JOIN b ON a.x = b.x SET b.y = a.y", &set));
  EXPECT_FALSE(ColumnsSet("insert into a (x) values (1)", &set));

  QueryCache cache;
  cache.set_policy(ReadCache::kInTransaction);
  auto one = std::make_shared<ResultSet>();
  one->rows.push_back({Value(1)});
  const std::string units = "Select UM,UM2, TipoUmVen from tabArticoli Where idArticolo=5";
  const std::string whole = "Select * from tabArticoli where idArticolo=5";
  const std::string stocked = "select idArticolo from tabArticoli where Giacenza > 0";
  const std::string barcode = "Select idArticolo from tabBarcode where Barcode='80'";
  auto store_all = [&] {
    for (const std::string* sql : {&units, &whole, &stocked, &barcode}) cache.Store(*sql, one, true);
  };
  store_all();
  cache.Written("Update tabArticoli set Giacenza=-3.000, Disponibile=-3.000 where idarticolo=5");
  EXPECT_NE(cache.Find(units), nullptr);
  EXPECT_EQ(cache.Find(whole), nullptr);    // "*" reads the stock too
  EXPECT_EQ(cache.Find(stocked), nullptr);  // its condition names the stock
  EXPECT_NE(cache.Find(barcode), nullptr);
  cache.Written("UPDATE tabBarcode SET tabBarcode.Giacenza = tabGiacenze.Giacenza FROM tabGiacenze INNER JOIN "
                "tabBarcode ON tabGiacenze.Barcode = tabBarcode.barcode");
  EXPECT_NE(cache.Find(barcode), nullptr);
  cache.Written("update tabBarcode set idArticolo=6 where Barcode='80'");
  EXPECT_EQ(cache.Find(barcode), nullptr);
  EXPECT_NE(cache.Find(units), nullptr);

  store_all();
  cache.Written("insert into tabArticoli (idArticolo) values (7)");  // new rows: every read of the table
  EXPECT_EQ(cache.Find(units), nullptr);
  EXPECT_NE(cache.Find(barcode), nullptr);
  store_all();
  cache.Written("UPDATE tabBarcode INNER JOIN tabArticoli ON tabBarcode.idArticolo = tabArticoli.idArticolo "
                "SET tabArticoli.UM = 'PZ'");  // a target it cannot tell: nothing is kept
  EXPECT_EQ(cache.Find(units), nullptr);
  EXPECT_EQ(cache.Find(barcode), nullptr);
}

TEST(PinnedColumns, TheRowsAStatementIsAbout) {
  using P = std::vector<PinnedColumn>;
  EXPECT_EQ(PinnedColumns("Select * from tabArticoli where idArticolo=5", "tabArticoli"), (P{{"idarticolo", "n5"}}));
  EXPECT_EQ(PinnedColumns("select * from tabArticoli a where a.IdArticolo = 5.0 order by 1", "tabarticoli"),
            (P{{"idarticolo", "n5"}}));
  EXPECT_EQ(PinnedColumns("select * from tabBarcode where Barcode='8001 ' and idArticolo='7'", "tabBarcode"),
            (P{{"barcode", "n8001"}, {"idarticolo", "n7"}}));  // numbers as text compare as numbers
  EXPECT_EQ(PinnedColumns("UPDATE \"tabGiacenze\" SET \"Disponibile\" = ? WHERE \"IdGiacenza\" = ?", "tabGiacenze",
                          {Value(2.5), Value(7)}),
            (P{{"idgiacenza", "n7"}}));
  // A join pins the written table's column through the other table's.
  const std::string join =
      "UPDATE tabBarcode SET tabBarcode.Giacenza = tabGiacenze.Giacenza FROM tabGiacenze INNER JOIN tabBarcode ON "
      "tabGiacenze.Barcode = tabBarcode.barcode WHERE tabGiacenze.Barcode='80''1' and tabGiacenze.IdMagazzino=-1";
  EXPECT_EQ(PinnedColumns(join, "tabBarcode"), (P{{"barcode", "t80'1"}}));
  EXPECT_EQ(PinnedColumns(join, "tabGiacenze"), (P{{"barcode", "t80'1"}, {"idmagazzino", "n-1"}}));
  for (const char* other : {"select * from tabArticoli where idArticolo=5 or idArticolo=6",
                            "select * from tabArticoli where idArticolo<>5", "select * from tabArticoli where idArticolo in (5)",
                            "select * from tabArticoli where idArticolo=5 and idArticolo=6",
                            "select * from tabArticoli a left join tabBarcode b on a.idArticolo=b.idArticolo where a.idArticolo=5",
                            "select * from tabArticoli where x.idArticolo=5", "select idArticolo from tabArticoli group by idArticolo having idArticolo=5",
                            "delete from tabArticoli where idArticolo=5"}) {
    EXPECT_EQ(PinnedColumns(other, "tabArticoli"), P{}) << other;
  }

  // Read from the end: the last condition only, and only after WHERE.
  EXPECT_EQ(PinnedByWhereTail("Update tabArticoli set Giacenza=-1.000, Disponibile=-1.000 where idarticolo =  - 5 ;",
                              "tabArticoli"),
            (PinnedColumn{"idarticolo", "n-5"}));
  EXPECT_EQ(PinnedByWhereTail("select * from tabBarcode where tabBarcode.Barcode='it''s'", "tabBarcode"),
            (PinnedColumn{"barcode", "tit's"}));
  EXPECT_EQ(PinnedByWhereTail("update t set a='?' where k=?", "t", {Value("X ")}), (PinnedColumn{"k", "tx"}));
  for (const char* other : {"select * from t where a=1 and k=5", "select * from t where k>=5", "select * from t where k=5 order by k",
                            "select * from t having k=5", "select * from t where k=x5", "select * from t where u.k=5",
                            "select * from t where k='Caf\xc3\xa9'"}) {  // letters beyond ASCII fold elsewhere too
    EXPECT_FALSE(PinnedByWhereTail(other, "t").has_value()) << other;
  }
}

TEST(QueryCache, AnUpdateOfOneRowForgetsOnlyTheReadsOfThatRow) {
  QueryCache cache;
  cache.set_policy(ReadCache::kInTransaction);
  auto one = std::make_shared<ResultSet>();
  one->columns = std::make_shared<std::vector<ColumnInfo>>();  // one shape for the point reads
  const std::string five = "Select * from tabArticoli where idArticolo=5", six = "Select * from tabArticoli where idArticolo=6";
  const std::string stocked = "Select * from tabArticoli where Giacenza > 0";
  auto store = [&] {
    cache.Store(five, one, true);
    cache.Store(six, one, true);
    cache.Store(stocked, std::make_shared<ResultSet>(), true);
  };
  store();
  cache.Written("Update tabArticoli set Movimentato=1 where IdArticolo=5");
  EXPECT_EQ(cache.Find(five), nullptr);
  EXPECT_NE(cache.Find(six), nullptr);
  EXPECT_EQ(cache.Find(stocked), nullptr);
  store();
  cache.Written("UPDATE \"tabArticoli\" SET \"Giacenza\" = ? WHERE \"IdArticolo\" = ?", {Value(1.0), Value(6)});
  EXPECT_NE(cache.Find(five), nullptr);
  EXPECT_EQ(cache.Find(six), nullptr);
  store();
  cache.Written("update tabArticoli set idArticolo=5 where idArticolo=7");  // a row moves to another key
  EXPECT_EQ(cache.Find(five), nullptr);
  EXPECT_EQ(cache.Find(six), nullptr);
  store();
  cache.Written("update tabArticoli set Movimentato=1 where idArticolo=5 or idArticolo=6");
  EXPECT_EQ(cache.Find(five), nullptr);
  EXPECT_EQ(cache.Find(six), nullptr);

  const std::string b80 = "Select * from tabBarcode where Barcode='80'", b81 = "Select * from tabBarcode where Barcode='81'";
  auto barcode = std::make_shared<ResultSet>();
  barcode->columns = std::make_shared<std::vector<ColumnInfo>>();  // another statement, another shape
  cache.Store(b80, barcode, true);
  cache.Store(b81, barcode, true);
  cache.Written("UPDATE tabBarcode SET tabBarcode.Giacenza = tabGiacenze.Giacenza FROM tabGiacenze INNER JOIN tabBarcode "
                "ON tabGiacenze.Barcode = tabBarcode.barcode WHERE tabGiacenze.Barcode='80 ' and tabGiacenze.IdMagazzino=1");
  EXPECT_EQ(cache.Find(b80), nullptr);
  EXPECT_NE(cache.Find(b81), nullptr);
}

// Articles, barcodes, movement headers and discount reasons read inside a transaction (or a
// snapshot) are read once between two writes of the connection, never across a write, a
// rollback or the end of the transaction.
TEST(QueryCache, KeepsReReadTablesOnlyBetweenTheWritesOfItsOwnTransaction) {
  testing_support::TempDatabases dbs;
  db::Connection& c = *dbs.back;
  c.set_read_cache(ReadCache::kInTransaction);
  c.Execute("insert into tabArticoli (idArticolo, Giacenza) values (1, 2)");
  c.Execute("insert into tabBarcode (Barcode, idArticolo, Giacenza) values ('80', 1, 2)");
  c.Execute("insert into tabGiacenze (IdGiacenza, idMagazzino, Barcode, idArticolo, Giacenza) values (1, 1, '80', 1, 7)");
  auto read = [&](const std::string& sql) {
    uint64_t before = c.statement_count();
    Value v = c.OpenRecordset(sql, kStatic, kPessimistic)->Field("Giacenza");
    return std::make_pair(CDbl(v), c.statement_count() - before);
  };
  const std::string article = "Select * from tabArticoli where idArticolo=1";
  const std::string barcode = "Select * from tabBarcode where Barcode='80'";
  EXPECT_EQ(read(article), std::make_pair(2.0, uint64_t{1}));
  EXPECT_EQ(read(article), std::make_pair(2.0, uint64_t{1}));  // outside a transaction: sent again

  c.BeginTransaction();
  EXPECT_EQ(read(article), std::make_pair(2.0, uint64_t{1}));
  EXPECT_EQ(read(article), std::make_pair(2.0, uint64_t{0}));
  EXPECT_EQ(read(barcode), std::make_pair(2.0, uint64_t{1}));
  c.Execute("Update tabArticoli set Giacenza=3 where idArticolo=1");
  EXPECT_EQ(read(article), std::make_pair(3.0, uint64_t{1}));
  EXPECT_EQ(read(barcode), std::make_pair(2.0, uint64_t{0}));  // another table's write
  c.Execute("UPDATE tabBarcode SET tabBarcode.Giacenza = tabGiacenze.Giacenza FROM tabGiacenze INNER JOIN "
            "tabBarcode ON tabGiacenze.Barcode = tabBarcode.barcode WHERE tabGiacenze.idMagazzino=1");
  EXPECT_EQ(read(barcode), std::make_pair(7.0, uint64_t{1}));
  c.Savepoint("s");
  auto rs = c.OpenRecordset(article, kStatic, kPessimistic);
  rs->Set("Giacenza", Value(4.0));
  rs->Update();
  EXPECT_EQ(read(article), std::make_pair(4.0, uint64_t{1}));
  c.RollbackToSavepoint("s");
  EXPECT_EQ(read(article), std::make_pair(3.0, uint64_t{1}));
  const std::string header = "Select idTestataRiferimento as IdRif from tabTestateMagazzino where idTestata=6";
  for (uint64_t sent : {1, 0, 0}) {
    uint64_t before = c.statement_count();
    c.OpenRecordset(header, kStatic, kPessimistic);
    EXPECT_EQ(c.statement_count() - before, sent);
  }
  c.CommitTransaction();

  dbs.front->Execute("attach database '" + dbs.back_path + "' as b");  // another writer, between transactions
  dbs.front->Execute("update b.tabArticoli set Giacenza=9 where idArticolo=1");
  c.BeginTransaction();
  EXPECT_EQ(read(article), std::make_pair(9.0, uint64_t{1}));
  c.RollbackTransaction();

  // The reads of one snapshot are kept as well, up to its end.
  c.BeginSnapshot();
  EXPECT_EQ(read(article), std::make_pair(9.0, uint64_t{1}));
  dbs.front->Execute("update b.tabArticoli set Giacenza=10 where idArticolo=1");
  EXPECT_EQ(read(article), std::make_pair(9.0, uint64_t{0}));  // what the snapshot shows
  c.EndSnapshot();
  EXPECT_EQ(read(article), std::make_pair(10.0, uint64_t{1}));
}

// An answer worked out from a wider read stands for one read of its text, only while the
// connection reads a frozen snapshot; a write of its own forgets it.
TEST(QueryCache, APrefetchedAnswerStandsForOneReadInAFrozenSnapshot) {
  testing_support::TempDatabases dbs;
  db::Connection& c = *dbs.back;
  c.set_read_cache(ReadCache::kInTransaction);
  c.Execute("insert into tabDettaglioScontrini (idDettaglio, idTestata, Descrizione) values (1, 1, 'EUR')");
  const std::string sql = "select Descrizione from tabDettaglioScontrini where idTestata=1";
  auto answer = [&](const char* text) {
    auto r = std::make_shared<ResultSet>(*c.ReadRows(sql));
    r->rows[0][0] = Value(text);  // told apart from what the database holds
    return r;
  };
  auto read = [&] {
    uint64_t before = c.statement_count();
    std::string v = CStr(c.OpenRecordset(sql)->Field(0));
    return std::make_pair(v, c.statement_count() - before);
  };

  c.KeepPrefetched(sql, answer("kept"));  // no snapshot: not kept
  EXPECT_EQ(read(), std::make_pair(std::string("EUR"), uint64_t{1}));

  c.BeginSnapshot();
  c.KeepPrefetched(sql, answer("kept"));  // a snapshot whose writes are not held back: not kept
  EXPECT_EQ(read(), std::make_pair(std::string("EUR"), uint64_t{1}));
  c.set_defer_writes(true);
  ASSERT_TRUE(c.ReadsFrozenSnapshot());
  c.KeepPrefetched(sql, answer("kept"));
  EXPECT_EQ(read(), std::make_pair(std::string("kept"), uint64_t{0}));
  EXPECT_EQ(read(), std::make_pair(std::string("EUR"), uint64_t{1}));  // used once
  c.KeepPrefetched(sql, answer("kept"));
  c.ForgetPrefetched();
  EXPECT_EQ(read(), std::make_pair(std::string("EUR"), uint64_t{1}));
  c.EndSnapshot();
  c.set_defer_writes(false);

  c.BeginSnapshot();
  c.set_defer_writes(true);
  c.KeepPrefetched(sql, answer("kept"));
  c.set_defer_writes(false);
  c.Execute("update tabDettaglioScontrini set Descrizione='EUR' where idDettaglio=1");  // a write of its own
  EXPECT_EQ(read().first, "EUR");
  c.EndSnapshot();
}

// A snapshot reads one state of the database and lets others write meanwhile.
TEST(SqliteTransactions, ASnapshotSeesOneStateWhileOthersWrite) {
  testing_support::TempDatabases dbs;
  db::Connection& reader = *dbs.back;
  db::Connection writer;
  writer.Open("Provider=SQLite;Data Source=" + dbs.back_path + ";");
  writer.Execute("insert into tabValute (Valuta) values ('EUR')");
  auto count = [&] { return CLng(testing_support::Scalar(reader, "select count(*) from tabValute")); };

  reader.BeginSnapshot();
  EXPECT_EQ(count(), 1);
  writer.BeginTransaction();  // the writer is not kept waiting by the reader
  writer.Execute("insert into tabValute (Valuta) values ('USD')");
  writer.CommitTransaction();
  EXPECT_EQ(count(), 1);  // still the snapshot
  reader.EndSnapshot();
  EXPECT_EQ(count(), 2);

  reader.BeginSnapshot();
  EXPECT_EQ(count(), 2);
  reader.BeginTransaction();  // a transaction ends the snapshot first
  reader.Execute("insert into tabValute (Valuta) values ('CHF')");
  reader.CommitTransaction();
  reader.EndSnapshot();  // nothing left to end
  EXPECT_EQ(CLng(testing_support::Scalar(writer, "select count(*) from tabValute")), 3);
}

TEST(SqliteTransactions, NothingRunsOnItsOwnAfterSqliteEndedTheTransaction) {
  testing_support::TempDatabases dbs;
  db::Connection& c = *dbs.back;
  c.BeginTransaction();
  c.Execute("insert into tabValute (Valuta) values ('EUR')");
  c.Execute("ROLLBACK");  // what SQLite does by itself on a full disk or an I/O error
  EXPECT_THROW(c.Execute("insert into tabValute (Valuta) values ('USD')"), Error);
  EXPECT_THROW(c.CommitTransaction(), Error);
  c.RollbackTransaction();
  EXPECT_EQ(CLng(testing_support::Scalar(c, "select count(*) from tabValute")), 0);
  c.Execute("insert into tabValute (Valuta) values ('CHF')");  // a new start works again
  EXPECT_EQ(CLng(testing_support::Scalar(c, "select count(*) from tabValute")), 1);
}


int32_t NewId(Connection& c) { return CLng(c.CallGetNewID("dbo", "tabDettaglioScontrini", "idDettaglio", 1)); }
int32_t Counter(Connection& c) {
  return CLng(testing_support::Scalar(
      c, "select UltimoID from tabContatoriID where NomeTabella='tabdettaglioscontrini' and NomeColonna='iddettaglio'"));
}

TEST(KeptNewIds, ContinueInMemoryAndReachTheCounterBeforeTheUnitOfWorkEnds) {
  testing_support::TempDatabases dbs;
  Connection& c = *dbs.back;
  c.Execute("insert into tabDettaglioScontrini (idDettaglio, idTestata) values (40, 1)");
  c.KeepNewIds();  // no transaction: every id is asked of the database
  uint64_t before = c.statement_count();
  EXPECT_EQ(NewId(c), 41);
  EXPECT_EQ(NewId(c), 42);
  EXPECT_EQ(c.statement_count() - before, 2u);

  c.BeginTransaction();
  c.Savepoint("r");
  c.KeepNewIds();
  before = c.statement_count();
  EXPECT_EQ(NewId(c), 43);
  EXPECT_EQ(NewId(c), 44);
  EXPECT_EQ(NewId(c), 45);
  c.ReleaseSavepoint("r");

  // The next receipt of the transaction goes on from memory as well.
  c.Savepoint("r");
  c.KeepNewIds();
  EXPECT_EQ(NewId(c), 46);
  c.ReleaseSavepoint("r");
  EXPECT_EQ(c.statement_count() - before, 4u);  // the first id; the rest are savepoints
  EXPECT_EQ(Counter(c), 43);                     // written back at the commit only

  // A receipt rolled back gives its ids back, those of the receipts before it stay taken.
  c.Savepoint("r");
  c.KeepNewIds();
  EXPECT_EQ(NewId(c), 47);
  EXPECT_EQ(NewId(c), 48);
  c.RollbackToSavepoint("r");
  c.ReleaseSavepoint("r");
  EXPECT_EQ(NewId(c), 47);

  // A commit writes what is still kept.
  c.KeepNewIds();
  EXPECT_EQ(NewId(c), 48);
  c.CommitTransaction();
  EXPECT_EQ(Counter(c), 48);
  EXPECT_EQ(NewId(c), 49);
}

TEST(KeptNewIds, ARollbackToASavepointGoesBackToTheIdsKeptWhenItWasTaken) {
  testing_support::TempDatabases dbs;
  Connection& c = *dbs.back;
  c.BeginTransaction();
  c.KeepNewIds();
  EXPECT_EQ(NewId(c), 1);  // asked of the database
  EXPECT_EQ(NewId(c), 2);  // kept only
  c.Savepoint("outer");
  EXPECT_EQ(NewId(c), 3);
  c.WriteKeptNewIds();
  EXPECT_EQ(Counter(c), 3);
  c.Savepoint("inner");
  EXPECT_EQ(NewId(c), 4);
  c.RollbackToSavepoint("outer");  // the inner savepoint goes with it
  EXPECT_EQ(Counter(c), 1);        // as the database held it when the outer one was taken
  EXPECT_EQ(NewId(c), 3);          // 1 and 2 stay taken
  c.ReleaseSavepoint("outer");
  EXPECT_EQ(NewId(c), 4);
  c.CommitTransaction();
  EXPECT_EQ(Counter(c), 4);
  EXPECT_EQ(NewId(c), 5);

  // A rollback of the whole transaction forgets everything kept.
  c.BeginTransaction();
  c.KeepNewIds();
  EXPECT_EQ(NewId(c), 6);
  c.RollbackTransaction();
  c.BeginTransaction();
  c.KeepNewIds();
  EXPECT_EQ(NewId(c), 6);
  c.CommitTransaction();
  EXPECT_EQ(Counter(c), 6);
}

}  // namespace
}  // namespace db::sqlite
