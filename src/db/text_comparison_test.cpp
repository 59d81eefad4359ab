// Texts compare on SQLite as on SQL Server: without regard to case or to trailing blanks,
// on either side, and still through the indexes.
#include <gtest/gtest.h>

#include <string>

#include "db/dialect.h"
#include "db/recordset.h"
#include "testing/builders.h"
#include "testing/temp_databases.h"

namespace db {
namespace {

using testing_support::Scalar;

class TextComparisonTest : public ::testing::Test {
 protected:
  TextComparisonTest() {
    back.Execute("insert into tabBarcode (Barcode, idArticolo) values ('8001', 1), ('8002  ', 2), ('ABC', 3), "
                 "('8001x', 4), ('', 5)");
  }
  int64_t Count(const std::string& where) {
    return CLng(Scalar(back, "select count(*) from tabBarcode where " + where));
  }
  // The plan of a statement, its lines joined.
  std::string Plan(const std::string& sql) {
    std::string plan;
    for (auto rs = back.OpenRecordset("EXPLAIN QUERY PLAN " + sql); !rs->Eof(); rs->MoveNext()) {
      plan += CStr((*rs)["detail"]) + "\n";
    }
    return plan;
  }

  testing_support::TempDatabases dbs;
  Connection& back = *dbs.back;
};

TEST_F(TextComparisonTest, TrailingBlanksAndCaseDoNotCount) {
  // A POS barcode with a trailing blank finds the stored one; a stored one with blanks is
  // found without them; the case does not count; other texts stay apart.
  EXPECT_EQ(Scalar(back, "Select idArticolo from tabBarcode where Barcode='8001 '"), Value(1));
  EXPECT_EQ(Scalar(back, "Select idArticolo from tabBarcode where Barcode='8002'"), Value(2));
  EXPECT_EQ(Scalar(back, "Select idArticolo from tabBarcode where Barcode='abc   '"), Value(3));
  EXPECT_EQ(Count("Barcode='8001'"), 1);  // not '8001x'
  EXPECT_EQ(Count("Barcode='  '"), 1);    // blanks alone equal the empty text
  EXPECT_EQ(Count("Barcode<>'8002 '"), 4);
  EXPECT_EQ(Count("Barcode!='abc'"), 4);
  EXPECT_EQ(Count("tabBarcode.Barcode = '8002' and idArticolo=2"), 1);
  // An assignment keeps its blanks, as SQL Server stores them.
  back.Execute("update tabBarcode set NonVisibile=1, Barcode='9009 ' where Barcode='8001x '");
  EXPECT_EQ(Scalar(back, "select length(Barcode) from tabBarcode where idArticolo=4"), Value(5));
}

// The stock rows take the POS text of a barcode, trailing blanks included; the copy to the
// shop's barcodes still finds them.
TEST_F(TextComparisonTest, TheStockCopyJoinsBarcodesWithTrailingBlanks) {
  back.Execute("insert into tabGiacenze (IdGiacenza, idMagazzino, Barcode, idArticolo, Giacenza, Disponibile) values "
               "(1, 1, '8001  ', 1, 7, 6), (2, 1, 'abc', 3, 3, 2)");
  for (const char* barcode : {"8001", "ABC "}) {
    back.Execute("UPDATE tabBarcode SET tabBarcode.Giacenza = tabGiacenze.Giacenza, tabBarcode.Disponibile = "
                 "tabGiacenze.Disponibile FROM tabGiacenze INNER JOIN tabBarcode ON tabGiacenze.Barcode = "
                 "tabBarcode.barcode WHERE tabGiacenze.Barcode='" + std::string(barcode) +
                 "' and tabGiacenze.IdMagazzino=1");
  }
  EXPECT_EQ(Scalar(back, "select Giacenza from tabBarcode where idArticolo=1"), Value(7.0));
  EXPECT_EQ(Scalar(back, "select Disponibile from tabBarcode where idArticolo=3"), Value(2.0));
  EXPECT_TRUE(Scalar(back, "select Giacenza from tabBarcode where idArticolo=2").IsNull());
}

TEST_F(TextComparisonTest, ComparisonsStillSearchTheIndexes) {
  std::string lookup = Plan("Select idArticolo from tabBarcode where Barcode='8001 '");
  EXPECT_NE(lookup.find("SEARCH tabBarcode USING INDEX"), std::string::npos) << lookup;
  std::string copy = Plan(TsqlToSqlite(
      "UPDATE tabBarcode SET tabBarcode.Giacenza = tabGiacenze.Giacenza, tabBarcode.Disponibile = "
      "tabGiacenze.Disponibile FROM tabGiacenze INNER JOIN tabBarcode ON tabGiacenze.Barcode = tabBarcode.barcode "
      "WHERE tabGiacenze.Barcode='8001' and tabGiacenze.IdMagazzino=1"));
  EXPECT_EQ(copy.find("SCAN"), std::string::npos) << copy;
  EXPECT_NE(copy.find("SEARCH tabBarcode USING COVERING INDEX sqlite_autoindex_tabBarcode_1 (Barcode=?)"),
            std::string::npos)
      << copy;
}

}  // namespace
}  // namespace db
