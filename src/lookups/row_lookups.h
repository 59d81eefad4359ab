// Look-ups and formulas shared by the row writers and the row engine.
#pragma once

#include <cstdint>
#include <string>

#include "db/connection.h"
#include "db/value.h"
#include "core/context.h"

namespace velkaris {

// The next row number of a document: 1, then the highest + 5 (1, 6, 11, ...).
// Inside a receipt's unit of work on SQLite the number follows the one last written to that
// document (see RowNumberWritten) without reading the table again.
int32_t funGetProgressivoRiga(Context& ctx, const std::string& table, int32_t id_documento,
                              db::Connection* connection, const std::string& key_column);
// Notes the row number of a row just inserted into `table` for document `id_documento`.
void RowNumberWritten(Context& ctx, const std::string& table, int32_t id_documento, const db::Value& riga,
                      db::Connection& connection);
// The barcode stored for a POS code: when barcodes manage the articles and the code is no
// barcode, the barcode of the article whose code it is.
std::string funGetBarcodeCorretto(Context& ctx, const std::string& code);
bool EsisteBarcode(Context& ctx, const std::string& barcode, db::Connection& connection);
// The newest visible barcode of an article code (or of an article id, for a numeric code).
std::string funGetBarcode(Context& ctx, db::Connection& connection, const std::string& code, bool by_article_code);
std::string funGetBarcodefromIdArticoloAndVarianti(Context& ctx, db::Connection& connection,
                                                   const std::string& id_articolo, int32_t variante1,
                                                   int32_t variante2, int32_t variante3);
// VAT rate / code of an article as text, a customer's own VAT first (customer -1: none).
std::string funGetAliquotaIva(Context& ctx, int32_t id_articolo, int32_t id_cliente, bool pos_database);
std::string funGetCodiceIva(Context& ctx, int32_t id_articolo, int32_t id_cliente, bool pos_database);
// A price net of four cascaded discounts, brought to a multiple of the step (0: none).
double funGetPrezzoNettoSconti(Context& ctx, double price, double d1, double d2, double d3, double d4,
                               double step);
// "###,##0" / "###,##0.00" style text of a quantity; decimals -1 means CifreDecimaliQuantita
// (and is set so in the caller's variable).
std::string FormatQta(Context& ctx, const db::Value& value, int16_t& decimals);
std::string FormatQta(Context& ctx, const db::Value& value, int16_t&& decimals);

}  // namespace velkaris
