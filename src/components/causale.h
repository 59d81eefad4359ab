// Our causale component: the flags of a causale of tabCausali, read through the companion
// SQL object. An unknown causale has every flag off.
#pragma once

#include <cstdint>

#include "core/companion_sql.h"
#include "core/context.h"

namespace velkaris {

class CausaleComponent {
 public:
  // Reads the causale; errors reach the caller.
  void Load(Context& ctx, CompanionSql& sql, int32_t id_causale);

  // Kind flags, used to pick the document counter and the number test.
  bool Gestionale() const { return gestionale_; }
  bool Ddt() const { return ddt_; }
  bool Fatture() const { return fatture_; }
  bool Preventivo() const { return preventivo_; }
  // The movement swaps departure and arrival warehouse.
  bool InvertiMagazzini() const { return inverti_magazzini_; }
  // Kits moved with this causale are exploded into their components.
  bool EsplodiDistinta() const { return esplodi_distinta_; }

 private:
  bool gestionale_ = false, ddt_ = false, fatture_ = false, preventivo_ = false;
  bool inverti_magazzini_ = false, esplodi_distinta_ = false;
};

}  // namespace velkaris
