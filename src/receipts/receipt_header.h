// The back-office header (tabTestateScontrini) of a transferred POS receipt.
#pragma once

#include <cstdint>
#include <string>

#include "db/connection.h"
#include "db/value.h"
#include "core/context.h"

namespace velkaris {

// The values ConfermaTestataScontrino writes, in their historical argument order.
struct TestataScontrino {
  int32_t IdCausale = -1;
  int32_t IDCliente = -1;
  int32_t idFidelityCard = -1;
  int32_t idMagazzino = -1;
  int32_t idOperatore = -1;
  int32_t Cassa = -1;
  std::string NumeroScontrino;  // in/out
  db::Value DataOraScontrino;
  std::string bollettario;
  bool NumeraDaSolo = false;  // number the receipt from the receipts already issued
  int32_t idListino = -1;
  int32_t idScontoListini = -1;
  double Sconto[4] = {-1, -1, -1, -1};
  bool ForzaListinoTestata = false;
  db::Value idOrdineConsegna = db::Value(-1);
  bool Printed = false;
  int32_t IdModoPunti = -1;
  double Fid_SaldoPunti = 0, Fid_SaldoImporto = 0, Fid_PuntiArticoli = 0, Fid_ImportoArticoli = 0;
  double Fid_PuntiOmaggi = 0, Fid_ImportoOmaggi = 0, Fid_PuntiSpesa = 0, Fid_ImportoSpesa = 0;
  std::string DataIncasso;
  int32_t idTransazioneFidelity = -1;
  int32_t idSospeso = -1;
  std::string CAP;
};

// Reads the POS header and writes the back-office one; returns its id (-1 when the POS
// header does not exist). `numero_scontrino` receives the receipt number when it is numeric.
int32_t ScriviTestataScontrino(Context& ctx, db::Connection& front, db::Connection& back, int32_t id_testata_pos,
                               int32_t& numero_scontrino);
// Inserts (id_testata <= 0; the new id is stored in it) or updates a header.
void ConfermaTestataScontrino(Context& ctx, db::Connection& connection, int32_t& id_testata, TestataScontrino& t);
// The highest receipt number of the till, warehouse and day, plus one.
int32_t funGetNuovoNumeroScontrinoByScontriniEmessi(Context& ctx, db::Connection& connection, int32_t cassa,
                                                    int32_t id_magazzino, const db::Value& data, bool backoffice,
                                                    int32_t id_causale);

}  // namespace velkaris
