#include "db/odbc/update_locks.h"

#include <gtest/gtest.h>

namespace db::odbc {
namespace {

TEST(UpdateLocks, CountersStockRowsAndVouchersAreReadForUpdateAndNothingElse) {
  EXPECT_EQ(WithUpdateLocks("SELECT * From tabProgressivi WHERE tabProgressivi.Prefisso='' and AnnoProgressivo=2026"),
            "SELECT * From tabProgressivi WITH (UPDLOCK, ROWLOCK) WHERE tabProgressivi.Prefisso='' and "
            "AnnoProgressivo=2026");
  EXPECT_EQ(WithUpdateLocks("Select * from dbo.tabGiacenze where Barcode='8001' and IdMagazzino=1"),
            "Select * from dbo.tabGiacenze WITH (UPDLOCK, ROWLOCK) where Barcode='8001' and IdMagazzino=1");
  // Two tills taking from one goods voucher: the second waits and reads what the first left.
  EXPECT_EQ(WithUpdateLocks("select * from tabBuoniMerce where idbuono=7"),
            "select * from tabBuoniMerce WITH (UPDLOCK, ROWLOCK) where idbuono=7");
  EXPECT_EQ(WithUpdateLocks("select * from [tabGiacenze] where a=1"),
            "select * from [tabGiacenze] WITH (UPDLOCK, ROWLOCK) where a=1");
  for (const char* unchanged : {
           "Select idArticolo, Sum(Giacenza) as Giacenza from tabGiacenze where idMagazzino=1 group by idarticolo",
           "select * from tabGiacenzeStorico where a=1",
           "select * from tabArticoli where idArticolo=1",
           "update tabGiacenze set Giacenza=1 where IdGiacenza=2",
           "select * from tabGiacenze WITH (NOLOCK) where a=1",
           "select * from tabGiacenze g inner join tabBarcode b on g.Barcode=b.Barcode",
       }) {
    EXPECT_EQ(WithUpdateLocks(unchanged), unchanged);
  }
}

}  // namespace
}  // namespace db::odbc
