// Our kit explosion component and the global article utility it takes its input from: the
// components of a kit article in tabGestioneDistinteBase, as a tree of nodes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/value.h"
#include "core/context.h"

namespace velkaris {

// The three values of an article the explosion starts from.
struct ArticoloDistinta {
  int32_t idArticolo = -1;
  std::string CodiceArticolo;
  std::string UM;
};
// The article of a barcode (or article code); idArticolo -1 when unknown. Errors reach the caller.
ArticoloDistinta ArticoloDaBarcode(Context& ctx, db::Connection& connection, const std::string& barcode);

struct NodoDistinta {
  db::Value DataInizioValidita;  // Null: no bound
  db::Value DataFineValidita;
  int32_t idArticolo = -1;
  double Quantita = 0;           // for the whole quantity exploded
  std::vector<std::shared_ptr<NodoDistinta>> Figli;
};
using NodiDistinta = std::vector<std::shared_ptr<NodoDistinta>>;

// The nodes of `quantity` units of a kit. A component that is a kit itself gets its own
// nodes as children; an article met again below itself is left out (a loop in the data).
NodiDistinta EsplodiDistinta(Context& ctx, db::Connection& connection, const ArticoloDistinta& kit, double quantity);

}  // namespace velkaris
