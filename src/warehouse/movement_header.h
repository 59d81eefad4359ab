// Warehouse movement headers (tabTestateMagazzino): the summary movement rows are added to,
// new headers with their document numbers, and the chain of secondary movements a causale
// may ask for.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "db/connection.h"
#include "db/value.h"
#include "core/context.h"

namespace velkaris {

// The header of the first movement with that causale, date, till, operator, customer and
// departure warehouse (held as the destination when the causale swaps the warehouses); -1
// when none. A negative till or operator, a customer <= 0 and a warehouse of -1 match any.
int32_t funGetIdMovimentoRiepilogoPerCassa(Context& ctx, db::Connection& connection, int32_t id_causale,
                                           const db::Date& data_documento, int32_t id_magazzino_partenza,
                                           int32_t id_cassa, int32_t id_operatore, int32_t id_cliente);

// The values of a new header, in their historical argument order.
struct TestataMagazzino {
  int32_t IdCausale = -1;
  int32_t IDCliente = -1;
  int32_t idDestinazione = -1;
  int32_t IDMagazzinoPartenza = -1;
  int32_t IDMagazzinoDestinazione = -1;
  std::string bollettario;
  std::string Referente, Oggetto, Note;
  double Sconto[4] = {0, 0, 0, 0};
  db::Value DataDocumento;
  int32_t idAgente = -1;
  std::string NumeroDocumentoRiferimento;
  db::Value dataDocumentoRiferimento = db::Value("");
  std::string NumeroFatturaRiferimento;
  db::Value DataFatturaRiferimento = db::Value("");
  int32_t idListino = -1;
  double idScontoListini = 0;
  bool ForzaListinoTestata = false;
  bool Numera = true;
  std::string BollettarioRientroVuoti, NumeroDocumentoRientroVuoti;
  db::Value DataDocumentoRientroVuoti = db::Value("");
  int32_t IdCausaleRientroVuoti = -1;
  bool AggiornaPrezziAcquisto = false;
  std::string numDocRiferimento, dataDocRiferimento;
  std::string Dest_RagioneSociale, Dest_Indirizzo, Dest_CAP, Dest_Citta, Dest_provincia, Dest_Stato;
  bool Dest_IsFatturazione = false;
  int32_t idOperatore = -1;
  std::string valuta;
  double Cambio = 1;
};

// Creates the header (and, depth first, its secondary headers); returns its id, also
// stored in `id_testata`; 0 after an unexpected error, <= 0 when it was not written.
int32_t CreaTestateMovMag(Context& ctx, db::Connection& connection, int32_t& id_testata, const TestataMagazzino& t);
// Writes one new header with its number (taken until the number test accepts it, at most
// kMaxNumberAttempts times); `numero_documento` receives the number.
void ConfermaTestataMagazzino(Context& ctx, db::Connection& connection, int32_t& id_testata, const TestataMagazzino& t,
                              int32_t id_cassa, std::string& numero_documento);
inline constexpr int kMaxNumberAttempts = 100;

int32_t funGetIdCausaleSecondaria(Context& ctx, int32_t id_causale);
int32_t funGetIdTestataSecondaria(Context& ctx, db::Connection& connection, int32_t id_testata, bool da_fattura);
std::string funConvertiIdCausaleInCausale(Context& ctx, int32_t id_causale);
bool CausaleDiVendita(Context& ctx, int32_t id_causale);

}  // namespace velkaris
