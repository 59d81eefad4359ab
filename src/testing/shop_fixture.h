// Test support: a shop on fresh databases with its master data (VAT codes, currency,
// causali, articles, barcodes, operators, a fidelity card with its rule, vouchers) and the
// settings loaded as a run loads them, plus builders for POS receipts, rows and payments.
#pragma once

#include <string>

#include "testing/builders.h"
#include "testing/context_fixture.h"

namespace testing_support {

class ShopTest : public ContextTest {
 protected:
  ShopTest();

  // A printed POS receipt (causale 4 unless given) of 04/12/2026 19:05:11 on till 1 by
  // operator 3; `columns` add to or override those.
  void PosReceipt(int id, Columns columns = {});
  // A POS row of a receipt: barcode 8001, 1 x 12.20 at 22% unless given.
  void PosRow(int id, int receipt, Columns columns = {});
  void PosPayment(int receipt, double amount, Columns columns = {});

  // A value read from the back office / front office, on connections of the test's own
  // (the run may have closed or replaced the context's).
  db::Value Back(const std::string& sql) { return Scalar(*dbs.back, sql); }
  db::Value Front(const std::string& sql) { return Scalar(*dbs.front, sql); }
  int64_t Count(const std::string& table, const std::string& where = "1=1");
};

}  // namespace testing_support
