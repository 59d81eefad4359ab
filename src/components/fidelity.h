// Our fidelity components. The card-rules component tells whether a card collects points or
// amounts and whether redeemed prizes count as takings; the fidelity-card component writes
// one movement of a card into tabFidelity_Transazioni (keyed by the back-office receipt in
// idScontrino, so a failed receipt's movements are deleted with it).
#pragma once

#include <cstdint>
#include <string>

#include "db/connection.h"
#include "db/value.h"
#include "core/context.h"

namespace velkaris {

class CardRules {
 public:
  // A card without a rule collects points and does not count prizes as takings.
  void Open(Context& ctx, int32_t id_fidelity_card, db::Connection& connection);
  bool ModalitaPunti() const { return modalita_punti_; }
  bool PremiComeIncasso() const { return premi_come_incasso_; }

 private:
  bool modalita_punti_ = true;
  bool premi_come_incasso_ = false;
};

// One card movement, with the arguments in the order the callers pass them.
struct MovimentoFidelity {
  int32_t idMagazzino = -1;
  int32_t idCassa = -1;
  int32_t IDCliente = -1;
  int32_t NumeroDocumento = 0;
  db::Date DataMovimento;
  int32_t TipoMovimento = 1;  // 1 sale, 4 prize reversal, 5 omaggio
  db::Date DataValuta;
  double ImportoIncasso = 0;
  double Quantita = 0;        // points or amount
  std::string Codice;
  std::string Descrizione;
  int32_t TipoDocumento = 9;
  int32_t idDocumento = -1;   // the back-office receipt
};

class FidelityCard {
 public:
  void Open(Context& ctx, db::Connection& connection, int32_t id_fidelity_card, bool flag);
  // Writes the movement; returns the new transaction id, <= 0 when nothing was written (the
  // caller logs the failure).
  int32_t Scrivi(const MovimentoFidelity& m);

 private:
  void Store(int32_t id, const MovimentoFidelity& m);

  Context* ctx_ = nullptr;
  db::Connection* connection_ = nullptr;
  int32_t id_fidelity_card_ = -1;
};

}  // namespace velkaris
