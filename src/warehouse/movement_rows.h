// Rows of warehouse movements (tabDettaglioMagazzino): the row itself with its amounts and
// stock effect, kit explosion, and the matching row of the secondary movement.
#pragma once

#include <cstdint>
#include <string>

#include "components/kit_explosion.h"
#include "db/connection.h"
#include "db/value.h"
#include "core/context.h"

namespace velkaris {

// The values of a movement row, in their historical argument order.
struct RigaMovimento {
  std::string Barcode;  // empty: a descriptive row
  std::string Descrizione;
  double Quantita = 0;  // in/out: converted to the base unit
  std::string UM;       // in/out
  double PrezzoVenditaNettoIva = 0;
  std::string CodiceIva;
  double PrezzoVendita = 0;
  double Sconto[4] = {-1, -1, -1, -1};
  std::string Note;
  std::string Annotazioni;
  double CostoImponibile = 0;
  double CostoImporto = 0;
  std::string CostoCodiceIva;
  double CostoSconto[4] = {0, 0, 0, 0};
  double MarginalitaEuro = 0;
  double MarginalitaPercen = 0;
  double Peso = 0;
  double Volume = 0;
  double ArrotondamentoValuta = 0;  // rounding step of the row totals
  int32_t idDettaglioScontrino = -1;
  bool totals_written = false;  // out: the row writer stored the amounts with the row
};

// Writes the row of a movement (kit components instead of a kit, when the causale explodes
// kits) and its twin in the secondary movement. Returns the new row id, or -1.
int32_t CreaRigaMovimentoMagazzino(Context& ctx, db::Connection& connection, int32_t id_testata,
                                   const db::Date& data_riga, int32_t id_causale, int32_t id_magazzino,
                                   RigaMovimento& row);
// Writes one article row with its totals and stock effect; returns the row id.
int32_t ScriviRigaMovimentoMagazzino(Context& ctx, db::Connection& connection, int32_t tipo_documento,
                                     int32_t id_testata, int32_t id_magazzino, int32_t id_causale, RigaMovimento& row);
// The record writer of the detail tables (types 0, 3: movements; 4: invoices).
int32_t funCreaRecordsetDettaglio(Context& ctx, db::Connection& connection, int32_t tipo_documento,
                                  int32_t id_testata, RigaMovimento& row, int32_t id_magazzino, double aliquota_iva,
                                  int32_t id_reparto);
// Writes the component rows of exploded kit nodes valid at the row's date and time.
void localCreaRigheFigli(Context& ctx, const NodiDistinta& nodes, const db::Date& data_riga, int32_t id_testata,
                         int32_t id_causale, int32_t id_magazzino, const RigaMovimento& kit, int32_t& last_row);
// IDCliente of a header of `table`, -1 when the header does not exist.
int32_t funGetIdClienteTransazCorr(Context& ctx, int32_t id_testata, const std::string& table);

}  // namespace velkaris
