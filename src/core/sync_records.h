// The program's working memory of a receipt: the back-office ids created for it and for
// each of its rows, with a flag per side. Records are shared by reference between the pass
// collection, the single-receipt collection and every step that fills or reads them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/collection.h"

namespace velkaris {

// One POS receipt row (the class name keeps its historical spelling).
struct clsSincroDettaglioScontrno {
  int32_t IdDettaglioPOS = -1;
  int32_t IdDettaglioScontrinoBKF = -1;
  int32_t IdDettaglioMovMagBKF = -1;
  bool SincronizzatoScontrinoBKF = false;
  bool SincronizzatoMovMagBKF = false;
};

// One POS receipt.
struct clsSincroTestataScontrino {
  int32_t IdTestataPOS = -1;
  int32_t IdTestataScontrinoBKF = -1;
  int32_t IdTestataMovMagBKF = -1;
  bool SincronizzatoScontrinoBKF = false;
  bool SincronizzatoMovMagBKF = false;
  util::Collection<clsSincroDettaglioScontrno> Righe;  // keyed "ID_" + IdDettaglioPOS

  // Adds the record of a POS row; a row added twice fails (the caller handles it).
  std::shared_ptr<clsSincroDettaglioScontrno> AggiungiRiga(int32_t id_dettaglio_pos) {
    auto row = std::make_shared<clsSincroDettaglioScontrno>();
    row->IdDettaglioPOS = id_dettaglio_pos;
    Righe.Add(row, "ID_" + std::to_string(id_dettaglio_pos));
    return row;
  }
};

using SyncCollection = util::Collection<clsSincroTestataScontrino>;

}  // namespace velkaris
