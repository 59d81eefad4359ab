// Stock levels: every movement row changes the stock of its article's barcode in the
// movement's warehouse (tabGiacenze), then the available quantity, and copies both into
// tabBarcode and tabArticoli. With "GiacenzaByTrigger" not "0" the database's triggers do
// the arithmetic and only the article flags are kept here.
#pragma once

#include <cstdint>
#include <string>

#include "db/connection.h"
#include "core/context.h"

namespace velkaris {

// tipo_movimento: "S" takes the quantity out, "n"/"N" has no effect, anything else adds.
bool Giacenze_AggiornaGiacenza(Context& ctx, db::Connection& connection, int32_t id_magazzino,
                               const std::string& barcode, double quantita, const std::string& tipo_movimento);
bool funGetGestioneGiacenzaArticolo(Context& ctx, int32_t id_articolo);
// Deactivates an article blocked at zero stock that has none left, reactivates it otherwise.
void CheckBloccoArticoloGiacenza(Context& ctx, int32_t id_articolo);
void Giacenze_AggiornaDisponibile(Context& ctx, const std::string& barcode, int32_t id_magazzino,
                                  db::Connection& connection);
void GiacenzeTabBarcode_LanciaAllineamento(Context& ctx, db::Connection& connection, int32_t sintassi,
                                           const std::string& barcode, int32_t id_magazzino);
void GiacenzeTabArticolo_LanciaAllineamento(Context& ctx, db::Connection& connection, int32_t sintassi,
                                            int32_t id_articolo, int32_t id_magazzino);

}  // namespace velkaris
