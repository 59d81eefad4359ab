#include "run/receipt_prefetch.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "db/connection.h"
#include "rows/receipt_row_writer.h"
#include "warehouse/discount_justifications.h"
#include "warehouse/warehouse_transfer.h"

namespace velkaris {
namespace {

// The position of a column in a result (the first of that name), or -1.
int ColumnOf(const db::ResultSet& result, std::string_view name) {
  if (!result.columns) return -1;
  return (result.index ? result.index : db::MakeColumnIndex(*result.columns))->Find(name);
}

// Each POS row's own read, from the read of all of them (whose last column is idDettaglio).
// Returns the rows' ids.
std::vector<int32_t> KeepRowReads(db::Connection& front, int32_t id_testata) {
  std::shared_ptr<const db::ResultSet> all = front.ReadRows(PosRowsQuery(id_testata));
  std::vector<int32_t> ids;
  if (!all->columns || all->columns->empty()) return ids;
  auto columns = std::make_shared<std::vector<db::ColumnInfo>>(all->columns->begin(), all->columns->end() - 1);
  auto index = db::MakeColumnIndex(*columns);
  for (const std::vector<db::Value>& row : all->rows) {
    int32_t id = db::CLng(row.back());
    auto answer = std::make_shared<db::ResultSet>();
    answer->columns = columns;
    answer->index = index;
    answer->rows.emplace_back(row.begin(), row.end() - 1);
    front.KeepPrefetched(PosRowQuery(id_testata, id), std::move(answer));
    ids.push_back(id);
  }
  return ids;
}

// An empty answer for the read `sql_of(id)` of every row in `ids` that has no row of its own
// in `all` (by the value of its column `key`; a row whose key is not a number is no row's).
// Row 0 is left to read for itself: its reason read names no row and reads them all.
template <class SqlOf>
void KeepEmptyReads(db::Connection& front, const db::ResultSet& all, std::string_view key,
                    const std::vector<int32_t>& ids, SqlOf sql_of) {
  int k = ColumnOf(all, key);
  if (k < 0) return;
  std::vector<int32_t> with_rows;
  for (const auto& row : all.rows) {
    if (db::IsNumeric(row[k])) with_rows.push_back(db::CLng(row[k]));
  }
  auto empty = std::make_shared<db::ResultSet>();
  empty->columns = all.columns;
  empty->index = all.index;
  for (int32_t id : ids) {
    if (id != 0 && std::find(with_rows.begin(), with_rows.end(), id) == with_rows.end()) {
      front.KeepPrefetched(sql_of(id), empty);
    }
  }
}

}  // namespace

void PrefetchReceiptReads(Context& ctx, const clsSincroTestataScontrino& record) {
  db::Connection& front = *ctx.connDbPuntoCassa;
  front.ForgetPrefetched();
  if (!ctx.uow.prefetch_reads || !front.ReadsFrozenSnapshot()) return;
  const int32_t id_testata = record.IdTestataPOS;
  try {
    std::vector<int32_t> ids = KeepRowReads(front, id_testata);
    if (ids.empty()) return;
    KeepEmptyReads(front, *front.ReadRows(KitsQuery(id_testata)), "idDettaglio", ids,
                   [&](int32_t id) { return KitQuery(id_testata, id); });
    KeepEmptyReads(front, *front.ReadRows(SQL_ExportRigheGiustificaSconto(ctx, false, 0, id_testata)),
                   "idDettaglioMovimento", ids,
                   [&](int32_t id) { return SQL_ExportRigheGiustificaSconto(ctx, false, id, id_testata); });
  } catch (const std::exception&) {
    front.ForgetPrefetched();  // the rows read for themselves, and meet the error as before
  }
}

}  // namespace velkaris
