#include "warehouse/discount_justifications.h"

#include <gtest/gtest.h>

#include "db/recordset.h"
#include "testing/shop_fixture.h"
#include "rows/row_margins.h"

namespace velkaris {
namespace {

using db::Value;
using testing_support::Insert;

class JustificationTest : public testing_support::ShopTest {
 protected:
  void Reason(int id, int receipt, int row, const char* why, Value flag = Value(false)) {
    Insert(*ctx.connDbPuntoCassa, "tabGiustificaSconto",
           {{"ID", Value(id)}, {"idTestataMovimento", Value(receipt)}, {"idDettaglioMovimento", Value(row)},
            {"idMagazzino", Value(1)}, {"idCassa", Value(1)}, {"NumeroScontrino", Value(42)},
            {"percentualeSconto", Value(10.0)}, {"ImportoSconto", Value(1.22)}, {"motivazione", Value(why)},
            {"flagExport", flag}});
  }
  int32_t Copy(int row, int receipt, int movement_row, int movement, bool& ok) {
    return AggiornaTabGiustificaSconto(ctx, *ctx.connDbPuntoCassa, *ctx.connDbLocale, row, receipt, movement_row,
                                       movement, ok);
  }
};

TEST_F(JustificationTest, RowReasonsAreRekeyedToTheMovementAndMarkedExported) {
  Reason(1, 1, 11, "fedelta");
  Reason(2, 1, 11, "danneggiato");
  bool ok = false;
  int32_t last = Copy(11, 1, 500, 70, ok);
  EXPECT_TRUE(ok);
  EXPECT_GT(last, 0);
  auto b = dbs.back->OpenRecordset("select * from tabGiustificaSconto order by ID");
  ASSERT_EQ(b->RecordCount(), 2);
  EXPECT_EQ((*b)["idTestataMovimento"], Value(70));
  EXPECT_EQ((*b)["idDettaglioMovimento"], Value(500));
  EXPECT_EQ((*b)["motivazione"], Value("fedelta"));
  EXPECT_EQ((*b)["NumeroScontrino"], Value(42));
  EXPECT_EQ((*b)["flagExport"], Value(true));
  EXPECT_EQ(db::CStr((*b)["dataExport"]), "04/12/2026");
  EXPECT_EQ(Front("select count(*) from tabGiustificaSconto where flagExport=1"), Value(2));
  EXPECT_EQ(Copy(11, 1, 500, 70, ok), -1);  // nothing left: no reason found
  EXPECT_TRUE(ok);
}

TEST_F(JustificationTest, AWholeReceiptReasonIsCopiedOnceForTheFirstRowWithoutItsOwn) {
  Reason(1, 1, -1, "cliente abituale");
  bool ok = false;
  Copy(11, 1, 500, 70, ok);
  Copy(12, 1, 501, 70, ok);
  EXPECT_TRUE(ok);
  auto b = dbs.back->OpenRecordset("select * from tabGiustificaSconto");
  ASSERT_EQ(b->RecordCount(), 1);
  EXPECT_EQ((*b)["idTestataMovimento"], Value(70));
  EXPECT_EQ((*b)["idDettaglioMovimento"], Value(-1));
}

// As a unit of work the front office's flags wait for the back office's commit: a reason
// copied earlier in the transaction still reads as not exported, and is not copied again.
TEST_F(JustificationTest, WhileTheFrontOfficesWritesWaitEachReasonIsStillCopiedOnce) {
  Reason(1, 1, -1, "cliente abituale");
  Reason(2, 1, 12, "danneggiato");
  Reason(3, 2, -1, "altro scontrino");
  ctx.connDbPuntoCassa->set_defer_writes(true);
  bool ok = false;
  Copy(11, 1, 500, 70, ok);  // the whole-receipt reason goes with the first row without its own
  Copy(12, 1, 501, 70, ok);  // its own reason
  EXPECT_EQ(Copy(12, 1, 501, 70, ok), -1);  // nothing left for it
  EXPECT_EQ(Copy(13, 1, 502, 70, ok), -1);  // the whole-receipt reason is taken
  EXPECT_TRUE(ok);
  EXPECT_EQ(Count("tabGiustificaSconto"), 2);
  EXPECT_EQ(Back("select count(*) from tabGiustificaSconto where idDettaglioMovimento=-1"), Value(1));
  EXPECT_EQ(Front("select count(*) from tabGiustificaSconto where flagExport=1"), Value(0));  // still held back
  EXPECT_EQ(ctx.uow.reasons_copied, (std::vector<int32_t>{1, 2}));
  // Another receipt's reason is its own.
  Copy(21, 2, 503, 71, ok);
  EXPECT_EQ(Count("tabGiustificaSconto"), 3);
  ctx.connDbPuntoCassa->set_defer_writes(false);
  ctx.connDbPuntoCassa->RunDeferredWrites();
  EXPECT_EQ(Front("select count(*) from tabGiustificaSconto where flagExport=1"), Value(3));
}

TEST_F(JustificationTest, UnknownIdsCopyEveryPendingReasonUnchanged) {
  Reason(1, 1, 11, "a");
  Reason(2, 2, -1, "b");
  Reason(3, 3, 31, "c", Value(true));
  bool ok = false;
  Copy(-1, -1, -1, -1, ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(Count("tabGiustificaSconto"), 2);
  EXPECT_EQ(Back("select idDettaglioMovimento from tabGiustificaSconto where motivazione='a'"), Value(11));
  // A whole-receipt reason already copied unchanged is not copied again.
  ctx.connDbPuntoCassa->Execute("update tabGiustificaSconto set flagExport=0 where ID=2");
  EXPECT_EQ(Copy(99, 2, 500, 70, ok), 0);
  EXPECT_EQ(Count("tabGiustificaSconto"), 2);
  EXPECT_EQ(SQL_ExportRigheGiustificaSconto(ctx, true, 0, 4),
            "SELECT * FROM tabGiustificaSconto WHERE isnull(flagExport,0)<>0 and tabGiustificaSconto.idTestataMovimento = 4");
}

TEST_F(JustificationTest, DisplayPricesAndMargins) {
  EXPECT_EQ(FormatPV(ctx, Value(1234.567), 2), "1.234,57");
  EXPECT_EQ(FormatPV(ctx, Value(), 2), "0,00");
  EXPECT_EQ(FormatPV(ctx, Value("abc"), 2), "0,00");
  ctx.settings.FormatoNumero = "###,###,##0.000";
  EXPECT_EQ(FormatPV(ctx, Value(2.0005), 3), "2,001");
  double none[4] = {0, 0, 0, 0}, half[4] = {50, 0, 0, 0};
  EXPECT_DOUBLE_EQ(funGetMarginalita(ctx, 10, half, 10, none, true), 5);
  EXPECT_DOUBLE_EQ(funGetMarginalita(ctx, 10, half, 10, none, false), 100);
  EXPECT_DOUBLE_EQ(funGetMarginalita(ctx, 0, none, 10, none, false), 0);
  EXPECT_DOUBLE_EQ(funGetMarginalita(ctx, 3, none, 10, none, false), 233.33);
}

}  // namespace
}  // namespace velkaris
