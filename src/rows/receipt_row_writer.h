// Writes one POS receipt row as a row of the back-office receipt document.
#pragma once

#include <cstdint>
#include <string>

#include "core/context.h"

namespace velkaris {

// The row writer's arguments, in their historical order. -1 means "not given" for the
// discounts, VAT rate, voucher, points mode and cost amount; "" for the VAT code; an empty
// barcode makes a text-only row. Quantita and UM are in/out.
struct RigaScontrino {
  int32_t IdCausale = -1;
  int32_t idListino = -1;
  int32_t idReparto = -1;
  int32_t idGiustificaSconto = 0;
  std::string Barcode;
  std::string Descrizione;
  double Quantita = 0;            // out: the first-unit quantity written
  std::string UM;                 // out: the article's base unit when blank and converted
  double prezzoVendita = 0;
  double PrezzoVenditaNettoIva = 0;
  std::string CodiceIva;
  double AliquotaIva = -1;
  double Sconto[4] = {-1, -1, -1, -1};
  std::string TipoSconto;
  int32_t idBuono = -1;
  bool isOmaggio = false;
  int32_t IdModoPunti = -1;
  double Fid_PuntiArticolo = 0;
  double Fid_ImportoArticolo = 0;
  bool ScontriniNonStampare = false;
  double CostoImponibile = -1;
  double CostoImporto = -1;       // -1: costs come from the article
  std::string CostoCodiceIva;
  double CostoSconto[4] = {-1, -1, -1, -1};
  std::string codiceArticolo;
  int32_t IdCausaleMagazzino = -1;
  int32_t idTestataPOS = -1;
  int32_t idDettaglioPOS = -1;
  int32_t kind = 1;               // receipt kind 1 or 2
  int32_t IdOperatore_Riga = -1;
  bool totals_written = false;    // out: the row was stored with its amounts
};

// Appends the row to tabDettaglioScontrini of back-office receipt `id_testata` (and a
// customer down-payment movement when the POS row records one). Returns the new row id, or
// 0 when the row was not stored.
int32_t funCreaRecordsetScontrino(Context& ctx, int32_t id_testata, RigaScontrino& row);

// The read of a POS row's own columns the row writer makes, and the same columns of every
// row of a POS receipt followed by the row's idDettaglio.
std::string PosRowQuery(int32_t id_testata, int32_t id_dettaglio);
std::string PosRowsQuery(int32_t id_testata);

// The statement that removes the down-payment movements written for the rows of back-office
// receipt `id_testata`; it finds them through the rows, so it runs before they are deleted.
std::string DeleteDownPaymentsSql(int32_t id_testata);

}  // namespace velkaris
