#include "db/recordset.h"

#include <gtest/gtest.h>

#include <thread>

#include "db/column_type.h"
#include "db/command.h"
#include "testing/fault_injector.h"
#include "testing/temp_databases.h"

namespace db {
namespace {

using testing_support::TempDatabases;

class RecordsetTest : public ::testing::Test {
 protected:
  TempDatabases dbs;
  Connection& back() { return *dbs.back; }

  void InsertHeader(int id, double total) {
    auto rs = back().OpenRecordset("select * from tabTestateScontrini where 1=2", kStatic, kPessimistic);
    rs->AddNew();
    rs->Set("idTestata", Value(id));
    rs->Set("TotaleImporto", Value(total));
    rs->Update();
    rs->Close();
  }
};

TEST_F(RecordsetTest, AddNewInsertsOnlyAssignedColumnsAndKeepsDefaults) {
  auto rs = back().OpenRecordset("select * from tabTestateScontrini where 1=2", kStatic, kPessimistic);
  EXPECT_TRUE(rs->Eof());
  rs->AddNew();
  rs->Set("idTestata", Value(7));
  rs->Set("NumeroScontrino", Value("12"));
  rs->Set("bollettario", Value("A"));
  rs->Set("DataOraScontrino", Value("04/12/2026 19:05:11"));
  rs->Set("Printed", Value(true));
  rs->Update();
  rs->Close();

  auto check = back().OpenRecordset("Select * from tabTestateScontrini where IdTestata=7");
  ASSERT_FALSE(check->Eof());
  EXPECT_EQ((*check)["NumeroScontrino"], Value(12));
  EXPECT_EQ((*check)["BOLLETTARIO"], Value("A"));
  EXPECT_EQ(CStr((*check)["DataOraScontrino"]), "04/12/2026 19:05:11");
  EXPECT_EQ((*check)["Printed"], Value(true));
  // Columns not assigned keep their database defaults.
  EXPECT_EQ((*check)["TotaleImporto"], Value(0.0));
  EXPECT_TRUE((*check)["idCassa"].IsNull());
  check->MoveNext();
  EXPECT_TRUE(check->Eof());
}

// A pending new record shows what the table will hold only when every column is a field
// and every field left unassigned has no default.
TEST_F(RecordsetTest, APendingRowIsWholeWithEveryColumnAndNoDefaultLeftOut) {
  auto rs = back().OpenRecordset("select * from tabTestateScontrini where 1=2", kStatic, kPessimistic);
  EXPECT_FALSE(rs->PendingRowIsWhole());  // nothing pending
  rs->AddNew();
  rs->Set("idTestata", Value(7));
  EXPECT_FALSE(rs->PendingRowIsWhole());  // TotaleImporto and its like default to 0
  for (const char* c : {"TotaleImponibile", "TotaleIva", "TotaleImporto"}) rs->Set(c, Value(1.5));
  EXPECT_TRUE(rs->PendingRowIsWhole());
  Recordset::Pending before = rs->SavePending();
  rs->Set("NumeroScontrino", Value("12"));
  rs->RestorePending(before);
  EXPECT_TRUE(rs->Field("NumeroScontrino").IsNull());
  rs->Update();
  EXPECT_EQ(CStr(back().OpenRecordset("select NumeroScontrino from tabTestateScontrini where idTestata=7")
                     ->Field(0)
                     .DebugString()),
            "Null");

  auto some = back().OpenRecordset("select idDettaglio, Barcode from tabDettaglioScontrini where 1=2", kStatic,
                                   kPessimistic);
  some->AddNew();
  some->Set("idDettaglio", Value(1));
  EXPECT_FALSE(some->PendingRowIsWhole());  // other columns are not fields
  auto all = back().OpenRecordset("select * from tabDettaglioScontrini where 1=2", kStatic, kPessimistic);
  all->AddNew();
  all->Set("idDettaglio", Value(1));
  EXPECT_TRUE(all->PendingRowIsWhole());
}

TEST_F(RecordsetTest, UpdateChangesOnlyTheCurrentRow) {
  InsertHeader(1, 10);
  InsertHeader(2, 20);
  InsertHeader(3, 30);
  auto rs = back().OpenRecordset("Select * from tabTestateScontrini where idTestata>=2 order by idTestata",
                                 kStatic, kPessimistic);
  rs->Set("TotaleImporto", Value(99.5));
  rs->Update();
  rs->Close();
  auto all = back().OpenRecordset("select idTestata, TotaleImporto from tabTestateScontrini order by 1");
  std::vector<double> totals;
  for (; !all->Eof(); all->MoveNext()) totals.push_back(CDbl((*all)["TotaleImporto"]));
  EXPECT_EQ(totals, (std::vector<double>{10, 99.5, 30}));
}

TEST_F(RecordsetTest, MovingSavesAPendingChangeAndClosingDropsIt) {
  InsertHeader(1, 10);
  InsertHeader(2, 20);
  auto rs = back().OpenRecordset("select * from tabTestateScontrini order by idTestata", kStatic, kPessimistic);
  rs->Set("TotaleImporto", Value(11.0));
  rs->MoveNext();
  rs->Set("TotaleImporto", Value(21.0));
  rs->Close();
  auto all = back().OpenRecordset("select TotaleImporto from tabTestateScontrini order by idTestata");
  EXPECT_EQ((*all)["TotaleImporto"], Value(11.0));
  all->MoveNext();
  EXPECT_EQ((*all)["TotaleImporto"], Value(20.0));
}

TEST_F(RecordsetTest, AssignedValuesAreConvertedToTheColumnTypeOrRefused) {
  auto rs = back().OpenRecordset("select * from tabDettaglioScontrini where 1=2", kStatic, kPessimistic);
  rs->AddNew();
  rs->Set("idDettaglio", Value(1));
  rs->Set("idTestata", Value("15"));
  rs->Set("IdCausale", Value(2.5));       // rounds half to even
  rs->Set("Quantita", Value("1,5"));      // regional decimal comma
  rs->Set("isOmaggio", Value(-1));        // non-zero is true
  rs->Set("Descrizione", Value(12.25));   // numbers become text the regional way
  rs->Set("DataCreaz", Value(Date::FromParts(2026, 12, 4, 8, 30)));
  rs->Set("Note", Value());
  EXPECT_THROW(rs->Set("idArticolo", Value("abc")), Error);
  EXPECT_THROW(rs->Set("idArticolo", Value(3e10)), Error);
  EXPECT_THROW(rs->Set("DataAgg", Value("not a date")), Error);
  EXPECT_THROW(rs->Set("UM", Value("MUCH TOO LONG FOR A UNIT")), Error);
  try {
    rs->Set("aliquotaIva", Value("x"));
    FAIL();
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("aliquotaIva"), std::string::npos) << e.what();
  }
  rs->Update();
  rs->Close();
  auto row = back().OpenRecordset("select * from tabDettaglioScontrini");
  EXPECT_EQ((*row)["idTestata"], Value(15));
  EXPECT_EQ((*row)["IdCausale"], Value(2));
  EXPECT_EQ((*row)["Quantita"], Value(1.5));
  EXPECT_EQ((*row)["isOmaggio"], Value(true));
  EXPECT_EQ((*row)["Descrizione"], Value("12,25"));
  EXPECT_EQ(CStr((*row)["DataCreaz"]), "04/12/2026 08:30:00");
  EXPECT_TRUE((*row)["Note"].IsNull());
  EXPECT_TRUE((*row)["idArticolo"].IsNull());
}

TEST_F(RecordsetTest, FieldsByNameAndIndexAndTheirErrors) {
  InsertHeader(5, 1);
  auto rs = back().OpenRecordset("select idTestata as Id, TotaleImporto, NULL as NoValue from tabTestateScontrini");
  EXPECT_EQ(rs->FieldCount(), 3);
  EXPECT_EQ(rs->FieldName(0), "Id");
  EXPECT_EQ(rs->Field(0), Value(5));
  EXPECT_EQ((*rs)["id"], Value(5));
  EXPECT_TRUE(rs->HasField("totaleimporto"));
  EXPECT_FALSE(rs->HasField("missing"));
  EXPECT_TRUE((*rs)["NoValue"].IsNull());
  EXPECT_THROW((*rs)["missing"], Error);
  EXPECT_THROW(rs->Set("Id", Value(1)), Error);  // read-only recordset
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_THROW((*rs)["Id"], Error);
  EXPECT_THROW(rs->MoveNext(), Error);
  rs->Close();
  EXPECT_EQ(rs->State(), 0);
  EXPECT_THROW((*rs)["Id"], Error);
}

// A declared type gives its kind whatever its case, blanks and length.
TEST(ColumnKinds, FollowTheDeclaredTypeWhateverItsSpelling) {
  const std::pair<const char*, ColumnKind> cases[] = {
      {"int", ColumnKind::kInt},           {" INTEGER ", ColumnKind::kInt},          {"BigInt", ColumnKind::kBigInt},
      {"smallint", ColumnKind::kSmallInt}, {"tinyint", ColumnKind::kTinyInt},      {"BIT", ColumnKind::kBit},
      {"float", ColumnKind::kFloat},       {"decimal(18, 4)", ColumnKind::kFloat}, {"Money", ColumnKind::kFloat},
      {"datetime", ColumnKind::kDateTime}, {"DATE", ColumnKind::kDateTime},       {"nvarchar(50)", ColumnKind::kText},
      {"NVARCHAR (max)", ColumnKind::kText}, {"char(1)", ColumnKind::kText},      {"ntext", ColumnKind::kText},
      {"", ColumnKind::kUntyped},          {"blob", ColumnKind::kUntyped},        {"interval", ColumnKind::kUntyped},
  };
  for (const auto& [type, kind] : cases) EXPECT_EQ(KindOf(type), kind) << "'" << type << "'";
}

// Field names match whatever their case, at every length (the hash reads eight bytes at a
// time), and only the same name matches.
TEST(ColumnNames, MatchWithoutRegardToCaseAtEveryLength) {
  std::vector<ColumnInfo> columns;
  const std::string letters = "idArticoloBarcodeTotaleNettoSc_1";
  for (size_t n = 1; n <= letters.size(); ++n) columns.push_back({letters.substr(0, n), ""});
  columns.push_back({"", ""});
  auto index = MakeColumnIndex(columns);
  for (size_t n = 0; n <= letters.size(); ++n) {
    std::string upper = util::ToUpper(letters.substr(0, n)), lower = util::ToLower(letters.substr(0, n));
    int expected = n == 0 ? static_cast<int>(letters.size()) : static_cast<int>(n) - 1;
    EXPECT_EQ(index->Find(upper), expected) << upper;
    EXPECT_EQ(index->Find(std::string_view(lower)), expected) << lower;
  }
  // Bytes that differ only in bit 0x20 but are not letters are different names.
  EXPECT_EQ(index->Find(std::string_view("idArticolo\x7f")), -1);
  EXPECT_EQ(index->Find(std::string_view("i@")), -1);
  EXPECT_EQ(index->Find(std::string_view("idArticoloBarcoX")), -1);
  // The answer remembered for a name's address holds only while the name there is the same.
  std::string name = "idArticolo";
  for (const char* text : {"idArticolo", "IDARTICOLO", "idArticoXo", "idArticolB", "idArticolo"}) {
    name.replace(0, name.size(), text);  // the same buffer, another name
    EXPECT_EQ(index->Find(name), index->Find(std::string(text))) << text;
  }
  EXPECT_EQ(index->Find(name), 9);
  EXPECT_EQ(NoCaseHash{}("TotaleNettoSconto"), NoCaseHash{}("totalenettosconto"));
  EXPECT_NE(NoCaseHash{}("Riga1"), NoCaseHash{}("Riga2"));
}

TEST_F(RecordsetTest, ExecuteReportsRecordsAffectedAndTextComparesWithoutCase) {
  auto& front = *dbs.front;
  front.Execute("insert into tabDettaglio (idDettaglio, IdTestata, Barcode) values (1, 10, 'ABC')");
  front.Execute("insert into tabDettaglio (idDettaglio, IdTestata, Barcode) values (2, 10, 'x')");
  front.Execute("insert into tabDettaglio (idDettaglio, IdTestata, Barcode) values (3, 11, 'y')");
  EXPECT_EQ(front.Execute("update tabDettaglio SET FlagExport=1 where IdTestata=10"), 2);
  EXPECT_EQ(front.Execute("update tabDettaglio SET FlagExport=1 where idDettaglio=99"), 0);
  auto rs = front.OpenRecordset("Select * from tabDettaglio where Barcode='abc'");
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ((*rs)["FlagExport"], Value(true));
  EXPECT_EQ(front.Execute("delete from tabDettaglio where IdTestata=11"), 1);
  EXPECT_THROW(front.Execute("delete from tabMissing where x=1"), Error);
}

TEST_F(RecordsetTest, TimeAloneAndDateAloneReadBackAsThePlatformShowsThem) {
  auto& front = *dbs.front;
  // The canonical stored form is 'YYYY-MM-DD HH:MM:SS'; a date alone and a time alone
  // are read too.
  front.Execute("insert into tabTestate (idTestata, Data, Ora) values (1, '2026-12-04 00:00:00', '19:05:11')");
  front.Execute(
      "insert into tabTestate (idTestata, Data, Ora) values (2, '2026-12-04 00:00:00', '1899-12-30 07:00:00')");
  front.Execute("insert into tabTestate (idTestata, Data, Ora) values (3, '2026-12-05', '07:00')");
  auto rs = front.OpenRecordset("select Data, Ora from tabTestate order by idTestata");
  for (const char* ora : {"19:05:11", "07:00:00"}) {
    EXPECT_EQ(CStr((*rs)["Data"]), "04/12/2026");
    EXPECT_EQ(CStr((*rs)["Ora"]), ora);
    rs->MoveNext();
  }
  EXPECT_EQ(CStr((*rs)["Data"]), "05/12/2026");
  EXPECT_EQ(CStr((*rs)["Ora"]), "07:00:00");
  // Date literals of the program's SQL compare with stored dates.
  auto found = front.OpenRecordset("select idTestata from tabTestate where Data='04/12/2026'");
  EXPECT_EQ(found->RecordCount(), 2);
}

TEST_F(RecordsetTest, OpeningFailsWithAReasonAShopCanAct) {
  Connection c;
  try {
    c.Open("");
    FAIL();
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("empty"), std::string::npos);
  }
  try {
    c.Open("Provider=SQLite;Data Source=" + dbs.dir.File("missing.db") + ";");
    FAIL();
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("missing.db"), std::string::npos) << e.what();
  }
  EXPECT_EQ(c.State(), 0);
  EXPECT_THROW(c.Open("Provider=Nothing;"), Error);
  EXPECT_THROW(c.Execute("select 1"), Error);
  c.Open(testing_support::SqliteConnectionString(dbs.back_path));
  EXPECT_EQ(c.State(), 1);
  EXPECT_EQ(c.ConnectionString(), testing_support::SqliteConnectionString(dbs.back_path));
  uint64_t before = c.statement_count();
  c.Execute("delete from tabValute");
  c.OpenRecordset("select * from tabValute");
  EXPECT_EQ(c.statement_count(), before + 2);
  c.Close();
  EXPECT_EQ(c.State(), 0);
}

Value NewId(Connection& c, const std::string& table, const std::string& column) {
  Command cmd(&c);
  cmd.set_command_type(kCmdStoredProc);
  cmd.set_command_text("GetNewID");
  cmd.Append({"schemaName", kAdVarChar, kParamInput, 255, Value("dbo")});
  cmd.Append({"tableName", kAdVarChar, kParamInput, 255, Value(table)});
  cmd.Append({"columnName", kAdVarChar, kParamInput, 255, Value(column)});
  cmd.Append({"checkConflictOnSourceTable", kAdInteger, kParamInput, 1, Value(1)});
  cmd.Append({"newID", kAdInteger, kParamOutput, 0, Value()});
  cmd.Execute();
  return cmd.Item("newID").value;
}

TEST_F(RecordsetTest, GetNewIdCountsUpAndStaysAboveTheTablesOwnMaximum) {
  EXPECT_EQ(NewId(back(), "tabTestateScontrini", "idTestata"), Value(1));
  EXPECT_EQ(NewId(back(), "tabTestateScontrini", "idTestata"), Value(2));
  EXPECT_EQ(NewId(back(), "tabDettaglioScontrini", "idDettaglio"), Value(1));
  InsertHeader(40, 0);
  EXPECT_EQ(NewId(back(), "tabTestateScontrini", "idTestata"), Value(41));
  EXPECT_EQ(NewId(back(), "TABTESTATESCONTRINI", "IDTESTATA"), Value(42));
  EXPECT_THROW(NewId(back(), "tabMissing", "id"), Error);
  Command other(&back());
  other.set_command_type(kCmdStoredProc);
  other.set_command_text("SomethingElse");
  EXPECT_THROW(other.Execute(), Error);
}

TEST_F(RecordsetTest, GetNewIdGivesDistinctIdsToConcurrentCallers) {
  const int kPerThread = 200;
  std::vector<int> a, b;
  auto worker = [&](std::vector<int>* out) {
    auto c = testing_support::OpenSqlite(dbs.back_path);
    for (int i = 0; i < kPerThread; ++i) out->push_back(CLng(NewId(*c, "tabGiacenze", "IdGiacenza")));
  };
  std::thread t1(worker, &a), t2(worker, &b);
  t1.join();
  t2.join();
  std::vector<int> all = a;
  all.insert(all.end(), b.begin(), b.end());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
  EXPECT_EQ(all.front(), 1);
  EXPECT_EQ(all.back(), 2 * kPerThread);
}

TEST_F(RecordsetTest, FaultInjectorFailsChosenStatementsAndRecordsTheRest) {
  testing_support::FaultInjector faults;
  faults.FailNth(2, "second fails").FailMatching("DELETE FROM tabValute", "no deletes", 1);
  faults.Attach(back());
  back().Execute("insert into tabValute (Valuta) values ('EUR')");
  try {
    back().Execute("insert into tabValute (Valuta) values ('USD')");
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "second fails");
  }
  EXPECT_THROW(back().Execute("delete from tabValute where Valuta='EUR'"), Error);
  EXPECT_EQ(back().Execute("delete from tabValute where Valuta='EUR'"), 1);
  EXPECT_EQ(faults.statements().size(), 4u);
  EXPECT_EQ(faults.StatementsMatching("delete").size(), 2u);
  // Recordset writes go through the hook too.
  faults.FailMatching("INSERT INTO \"tabValute\"", "insert refused");
  auto rs = back().OpenRecordset("select * from tabValute where 1=2", kStatic, kPessimistic);
  rs->AddNew();
  rs->Set("Valuta", Value("CHF"));
  EXPECT_THROW(rs->Update(), Error);
  EXPECT_TRUE(back().OpenRecordset("select * from tabValute")->Eof());
}

}  // namespace
}  // namespace db
