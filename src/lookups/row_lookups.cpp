#include "lookups/row_lookups.h"

#include "data/sql_helpers.h"
#include "db/recordset.h"
#include "core/failure.h"
#include "util/text.h"

namespace velkaris {
namespace {

const char kVisibleBarcodes[] =
    " and (tabBarcode.NonVisibile=0 or tabBarcode.NonVisibile is null) "
    " and (tabBarcode.isNumSeriale=0 or tabBarcode.isNumSeriale is null) "
    " and (tabBarcode.isBarcodeScatola=0 or tabBarcode.isBarcodeScatola is null) ";

std::string FirstBarcode(Context& ctx, db::Connection& connection, const std::string& sql) {
  auto rs = connection.OpenRecordset(sql, db::kStatic, db::kReadOnly);
  std::string result = rs->Eof() ? "" : db::CStr(TestNull(ctx, (*rs)["Barcode"], db::Value("")));
  rs->Close();
  return result;
}

// Shared steps of the two VAT look-ups: the customer's column first, then the article's.
std::string VatLookup(Context& ctx, int32_t id_articolo, int32_t id_cliente, bool pos_database,
                      const char* customer_column, const char* article_column, const db::Value& fallback) {
  db::Connection& conn = pos_database ? *ctx.connDbPuntoCassa : *ctx.connDbLocale;
  if (id_cliente != -1) {
    auto rs = conn.OpenRecordset("Select * from tabClienti where IdCliente=" + std::to_string(id_cliente),
                                 db::kStatic, db::kPessimistic);
    if (!rs->Eof() && BooleanForSql(ctx, db::CBool((*rs)["FlagIvaCliente"])) == BooleanForSql(ctx, true)) {
      std::string r = db::CStr(TestNull(ctx, (*rs)[customer_column], fallback));
      rs->Close();
      return r;
    }
    rs->Close();
  }
  auto rs = conn.OpenRecordset("Select * from tabArticoli where IdArticolo=" + std::to_string(id_articolo),
                               db::kStatic, db::kReadOnly);
  std::string r = rs->Eof() ? db::CStr(fallback) : db::CStr(TestNull(ctx, (*rs)[article_column], fallback));
  rs->Close();
  return r;
}

}  // namespace

// Row numbers follow the last one written where no one else writes the detail tables meanwhile
// (every row of them is written through the row writers).
void RowNumberWritten(Context& ctx, const std::string& table, int32_t id_documento, const db::Value& riga,
                      db::Connection& connection) {
  if (!ctx.ReceiptUnitOfWorkOnSqlite(connection) || riga.type() != db::Type::Long) return;
  ctx.uow.row_numbers[{util::ToLower(table), id_documento}] = riga.AsLong();
}

int32_t funGetProgressivoRiga(Context& ctx, const std::string& table, int32_t id_documento,
                              db::Connection* connection, const std::string& key_column) {
  int32_t result = 0;
  Guarded(ctx, "funGetProgressivoRiga", [&] {
    db::Connection& conn = connection ? *connection : *ctx.connDbLocale;
    if (ctx.ReceiptUnitOfWorkOnSqlite(conn) && util::EqualsNoCase(key_column, "idTestata")) {
      auto last = ctx.uow.row_numbers.find({util::ToLower(table), id_documento});
      if (last != ctx.uow.row_numbers.end()) {
        result = last->second + 5;
        return;
      }
    }
    auto rs = conn.OpenRecordset("select max(Riga) as ValoreMax from " + table + " where " + key_column + "=" +
                                     std::to_string(id_documento),
                                 db::kStatic, db::kReadOnly);
    const db::Value& max = rs->Eof() ? db::Value() : (*rs)["ValoreMax"];
    result = db::IsNumeric(max) ? db::CLng(max) + 5 : 1;
    rs->Close();
  });
  return result;
}

bool EsisteBarcode(Context& ctx, const std::string& barcode, db::Connection& connection) {
  bool result = false;
  Guarded(ctx, "EsisteBarcode", [&] {
    auto rs = connection.OpenRecordset("Select idArticolo from tabBarcode where Barcode='" + barcode + "'",
                                       db::kStatic, db::kReadOnly);
    result = !rs->Eof();
    rs->Close();
  });
  return result;
}

std::string funGetBarcode(Context& ctx, db::Connection& connection, const std::string& code, bool by_article_code) {
  std::string result;
  Guarded(ctx, "funGetBarcode", [&] {
    std::string sql;
    if (!db::IsNumeric(db::Value(code)) || by_article_code) {
      sql = std::string("SELECT tabArticoli.CodiceArticolo, tabBarcode.BarCode, tabBarcode.DataCreaz, "
                        "tabBarcode.OraCreaz ") +
            "FROM tabBarcode INNER JOIN tabArticoli ON tabBarcode.idArticolo = tabArticoli.idArticolo " +
            "Where (((tabArticoli.codiceArticolo) = '" + Apice(ctx, code) + "')) " + kVisibleBarcodes +
            "ORDER BY tabBarcode.DataCreaz DESC , tabBarcode.OraCreaz DESC ";
    } else {
      sql = "Select * from tabBarcode where idArticolo=" + code + " " + kVisibleBarcodes +
            " order by DataCreaz desc, OraCreaz desc";
    }
    result = FirstBarcode(ctx, connection, sql);
  });
  return result;
}

std::string funGetBarcodeCorretto(Context& ctx, const std::string& code) {
  std::string result;
  Guarded(ctx, "funGetBarcodeCorretto", [&] {
    if (ctx.settings.GestioneAnagraficheConBarcode == 1 && !EsisteBarcode(ctx, code, *ctx.connDbLocale)) {
      std::string alt = funGetBarcode(ctx, *ctx.connDbLocale, code, true);
      if (!alt.empty()) {
        result = alt;
        return;
      }
    }
    result = code;
  });
  return result;
}

std::string funGetBarcodefromIdArticoloAndVarianti(Context& ctx, db::Connection& connection,
                                                   const std::string& id_articolo, int32_t variante1,
                                                   int32_t variante2, int32_t variante3) {
  std::string result;
  Guarded(ctx, "funGetBarcodefromIdArticoloAndVarianti", [&] {
    result = FirstBarcode(ctx, connection,
                          "Select * from tabBarcode where idArticolo=" + id_articolo + " " +
                              " and idVariante1 = " + std::to_string(variante1) +
                              " and idVariante2 = " + std::to_string(variante2) +
                              " and idVariante3 = " + std::to_string(variante3));
  });
  return result;
}

std::string funGetAliquotaIva(Context& ctx, int32_t id_articolo, int32_t id_cliente, bool pos_database) {
  std::string result;
  Guarded(ctx, "funGetAliquotaIva", [&] {
    result = VatLookup(ctx, id_articolo, id_cliente, pos_database, "IvaCliente", "aliquotaIva",
                       db::Value(ctx.settings.AliquotaIvaPredefinita));
  });
  return result;
}

std::string funGetCodiceIva(Context& ctx, int32_t id_articolo, int32_t id_cliente, bool pos_database) {
  std::string result;
  Guarded(ctx, "funGetCodiceIva", [&] {
    result = VatLookup(ctx, id_articolo, id_cliente, pos_database, "CodiceIvaCliente", "CodiceIva",
                       db::Value(ctx.settings.CodiceIvaPredefinito));
  });
  return result;
}

double funGetPrezzoNettoSconti(Context& ctx, double price, double d1, double d2, double d3, double d4,
                               double step) {
  double result = 0;
  Guarded(ctx, "funGetPrezzoNettoSconti", [&] {
    result = price * (1 - d1 / 100);
    result = result * (1 - d2 / 100);
    result = result * (1 - d3 / 100);
    result = result * (1 - d4 / 100);
    if (step != 0) result = db::RoundHalfEven(result / step) * step;
  });
  return result;
}

std::string FormatQta(Context& ctx, const db::Value& value, int16_t& decimals) {
  std::string result;
  Guarded(ctx, "FormatQta", [&] {
    if (decimals == -1) decimals = ctx.settings.CifreDecimaliQuantita;
    int count = decimals > 0 ? decimals : 0;
    if (!value.IsNull() && db::IsNumeric(value)) {
      std::string pattern = decimals < 1 ? "###,##0" : "###,##0." + std::string(count, '0');
      result = db::FormatNumber(db::CDbl(value), pattern);
    } else {
      result = "0," + std::string(count, '0');
    }
  });
  return result;
}

std::string FormatQta(Context& ctx, const db::Value& value, int16_t&& decimals) {
  int16_t d = decimals;
  return FormatQta(ctx, value, d);
}

}  // namespace velkaris
