// The payments of a POS receipt copied into the back office.
#pragma once

#include <cstdint>
#include <string>

#include "db/connection.h"
#include "db/value.h"
#include "core/context.h"

namespace velkaris {

// Copies every unexported POS payment of a receipt (-1: payments of no receipt) to the back
// office's receipt `id_testata_backoffice`. False at the first payment not written.
bool PCassa_SincroPagamentiScontrini(Context& ctx, int32_t id_testata_pos, int32_t id_testata_backoffice,
                                     db::Connection& front, db::Connection& back);

struct Pagamento {
  int32_t IdPagamento = -1;
  int32_t idCausaleContabile = -1;
  double ImportoIncassato = -1;
  bool isIncasso = true;  // Coefficiente 1
  db::Date DataOperazione;
  std::string valuta;
  double Cambio = 1;
  std::string NoteMovimento;
  int16_t Cassetto = 0;
  int16_t TipoOperazione = 0;
  std::string ingenico_AuthCode;
  std::string ingenico_Ticket;
  int16_t ingenico_CardType = -1;
};

// Writes one payment row (target: false = tabPagamentiScontriniBackoffice, true =
// tabPagamentiScontrini); returns its ID, or -1 when nothing was written.
int32_t PuntoCassa_SalvaPagamento(Context& ctx, db::Connection& connection, int32_t id_testata, const Pagamento& p,
                                  bool target);

}  // namespace velkaris
