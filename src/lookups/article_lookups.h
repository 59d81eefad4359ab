// Article and barcode look-ups used while receipt rows are transferred.
#pragma once

#include <cstdint>
#include <string>

#include "db/connection.h"
#include "db/value.h"
#include "core/context.h"

namespace velkaris {

// The article of a barcode (tabBarcode) or, by_article_code, of an article code
// (tabArticoli); -1 when not found. A null connection means connDbLocale; front_office
// looks in the POS database instead.
int32_t funGetIdArticolo(Context& ctx, std::string code, bool front_office, bool by_article_code,
                         db::Connection* connection = nullptr);
// The barcode search first when GestioneAnagraficheConBarcode is 1, then the article code.
int32_t GetIdArticoloCorretto(Context& ctx, const std::string& barcode, bool front_office);
// The unit an article is sold in: UM when TipoUmVen is 1, else UM2; the default unit when
// that is Null or the article does not exist.
std::string funGetUMVend(Context& ctx, int32_t id_articolo, bool front_office);
// The rule of funGetUMVend on an article's UM, UM2 and TipoUmVen fields as read; shared with
// the article component so that receipt and movement rows sell in the same unit.
std::string UnitaDiVendita(Context& ctx, const db::Value& um, const db::Value& um2, const db::Value& tipo_um_ven);
// The taxable part of a VAT-inclusive amount, rounded with Euro; 0 when not numeric.
double Imponibile(Context& ctx, const db::Value& amount, const db::Value& rate, int16_t decimals);

}  // namespace velkaris
