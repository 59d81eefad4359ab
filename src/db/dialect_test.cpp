#include "db/dialect.h"

#include <gtest/gtest.h>

namespace db {
namespace {

struct Case {
  const char* tsql;
  const char* sqlite;
};

TEST(Dialect, RewritesEveryConstructTheProgramSends) {
  const Case cases[] = {
      // Unchanged text.
      {"select * from tabTestateScontrini where 1=2", "select * from tabTestateScontrini where 1=2"},
      // isnull, also in other letter case, not inside strings.
      {"SELECT * FROM tabGiustificaSconto WHERE isnull(flagExport,0)<>0",
       "SELECT * FROM tabGiustificaSconto WHERE ifnull(flagExport,0)<>0"},
      {"select ISNULL (a,0), 'isnull(x)' from t", "select ifnull (a,0), 'isnull(x)' from t"},
      // Schema prefixes.
      {" From [dbo].[tabDettaglio] where idtestata = 5", " From [tabDettaglio] where idtestata = 5"},
      {"select idcassa from dbo.tabTestateScontrini where idtestata = 3",
       "select idcassa from tabTestateScontrini where idtestata = 3"},
      // Date literals of DateForSql become ISO text; other strings stay.
      {"DataDocumento='04/12/2026'", "DataDocumento='2026-12-04 00:00:00'"},
      {"x>='04/12/2026 19:05:11:000' and y<='04/12/2026 23:59:59'",
       "x>='2026-12-04 19:05:11' and y<='2026-12-04 23:59:59'"},
      {"x in ('1/2/3', '12/31/2026', 'it''s')", "x in ('1/2/3', '12/31/2026', 'it''s')"},
      // The guard.
      {"SELECT * FROM sys.sysprocesses WHERE dbid > 0 and hostname<> 'TILL1' and program_name "
       "='Velkaris' and last_batch > dateadd(\"mi\", -10, getdate())",
       "SELECT * FROM sysprocesses WHERE dbid > 0 and rtrim(hostname) <> 'TILL1' COLLATE NOCASE and "
       "(program_name >= 'Velkaris' AND program_name < 'Velkaris!' AND rtrim(program_name) = 'Velkaris' COLLATE "
       "NOCASE) and last_batch > datetime(datetime('now','localtime'), (-10) || ' minutes')"},
      // year().
      {"and year(DataDocumento)= 2026", "and CAST(strftime('%Y', DataDocumento) AS INTEGER)= 2026"},
      {"and year(Data)= 2026", "and CAST(strftime('%Y', Data) AS INTEGER)= 2026"},
      // UPDATE ... FROM ... INNER JOIN target; the join compares texts as SQL Server does.
      {"UPDATE tabBarcode SET tabBarcode.Giacenza = tabGiacenze.Giacenza, tabBarcode.Disponibile = "
       "tabGiacenze.Disponibile FROM tabGiacenze INNER JOIN tabBarcode ON tabGiacenze.Barcode = "
       "tabBarcode.barcode WHERE tabGiacenze.Barcode='800''1' and tabGiacenze.IdMagazzino=1",
       "UPDATE tabBarcode SET Giacenza = tabGiacenze.Giacenza, Disponibile = tabGiacenze.Disponibile "
       "FROM tabGiacenze WHERE ("
       "tabBarcode.barcode = rtrim(tabGiacenze.Barcode)) AND "
       "((tabGiacenze.Barcode >= '800''1' AND tabGiacenze.Barcode < '800''1!' AND rtrim(tabGiacenze.Barcode) = "
       "'800''1' COLLATE NOCASE) and tabGiacenze.IdMagazzino=1)"},
      {"UPDATE tabBarcode SET tabBarcode.Giacenza = tabGiacenze.Giacenza, tabBarcode.Disponibile = "
       "tabGiacenze.Disponibile FROM tabGiacenze INNER JOIN tabBarcode ON tabGiacenze.Barcode = "
       "tabBarcode.barcode ",
       "UPDATE tabBarcode SET Giacenza = tabGiacenze.Giacenza, Disponibile = tabGiacenze.Disponibile "
       "FROM tabGiacenze WHERE ("
       "tabBarcode.barcode = rtrim(tabGiacenze.Barcode))"},
      {"UPDATE t SET t.a = s.a FROM t INNER JOIN s ON s.id = t.id WHERE s.k=1",
       "UPDATE t SET a = s.a FROM s WHERE (t.id = rtrim(s.id)) AND (s.k=1)"},
      // Plain updates keep their text.
      {"Update tabArticoli set Giacenza=1.5, Disponibile=-2 where idarticolo=7",
       "Update tabArticoli set Giacenza=1.5, Disponibile=-2 where idarticolo=7"},
      {"update tabDettaglio SET FlagExport=1 where idDettaglio=12",
       "update tabDettaglio SET FlagExport=1 where idDettaglio=12"},
      // Text compared with a column ignores trailing blanks, as on SQL Server: the literal
      // loses them, "=" keeps an index range on the column, "<>" and "!=" trim the column.
      {"Select * from tabBarcode where Barcode='8001  '",
       "Select * from tabBarcode where (Barcode >= '8001' AND Barcode < '8001!' AND rtrim(Barcode) = '8001' "
       "COLLATE NOCASE)"},
      {"where [t].[c] = '' and d != 'x ' and e<>'y'",
       "where ([t].[c] >= '' AND [t].[c] < '!' AND rtrim([t].[c]) = '' COLLATE NOCASE) and rtrim(d) <> 'x' COLLATE "
       "NOCASE and rtrim(e) <> 'y' COLLATE NOCASE"},
      {"where c='it''s '", "where (c >= 'it''s' AND c < 'it''s!' AND rtrim(c) = 'it''s' COLLATE NOCASE)"},
      // Assignments, ordering comparisons, literals on the left and dates stay as they are.
      {"Update t set Note=' ', a = 'b ' where k='v'",
       "Update t set Note=' ', a = 'b ' where (k >= 'v' AND k < 'v!' AND rtrim(k) = 'v' COLLATE NOCASE)"},
      {"where a>='x' and b<='y' and 'z'=c and f(a)='q'", "where a>='x' and b<='y' and 'z'=c and f(a)='q'"},
  };
  for (const auto& c : cases) EXPECT_EQ(TsqlToSqlite(c.tsql), c.sqlite) << c.tsql;
}

}  // namespace
}  // namespace db
