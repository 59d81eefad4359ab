// Document numbers: the next number of a book, year and kind from tabProgressivi, and the
// test that a number is not yet used by a document of the same kind. Also the small causale
// and document-table look-ups of the row and header writers.
#pragma once

#include <cstdint>
#include <string>

#include "db/connection.h"
#include "db/value.h"
#include "core/context.h"

namespace velkaris {

// Hands out the next number (and stores it); -1 when forced to `forced_number`.
int32_t funGetNuovoNumeroDocumento(Context& ctx, db::Connection& connection, std::string causale,
                                   const std::string& anno, const std::string& bollettario, bool force,
                                   int32_t forced_number);
// True when `numero` may be used for a document of the causale's kind in that book and year.
bool funTestDocumento_CambioNumero(Context& ctx, db::Connection& connection, int32_t id_causale,
                                   const std::string& numero, const db::Date& data, const std::string& bollettario,
                                   int32_t revisione, int32_t id_escluso, bool messaggio, int32_t sezione);
// The detail and header tables of a document type; both empty for an unknown type.
void funGetTabelleDocumento(int32_t tipo_documento, std::string& dettaglio, std::string& testata);
std::string funGetDescrizioneConto(Context& ctx, int32_t id);
// TipoMovimento of a causale ("" when not found); a null connection means connDbLocale.
std::string funGetTipoMovimentoDaCausale(Context& ctx, const std::string& id_causale, db::Connection* connection);
// The id of a causale code, 0 when not found. Spaces are removed from the code (the
// caller's variable too).
int32_t funConvertiCausaleInID(Context& ctx, std::string& causale, db::Connection* connection);

}  // namespace velkaris
