#include "rows/unit_conversion.h"

#include "data/sql_helpers.h"
#include "core/failure.h"
#include "util/text.h"

namespace velkaris {

void ConversioneUnitaMisura(Context& ctx, int32_t tipo_documento, const ArticleComponent& article, double& quantity,
                            std::string& unit, double& first_quantity, std::string& first_unit,
                            double& second_quantity, std::string& second_unit) {
  Guarded(ctx, "ConversioneUnitaMisura", [&] {
    second_quantity = quantity;
    second_unit = unit;
    if (!article.ConversioneUM() || article.IdArticolo() < 0) {
      first_quantity = quantity;
      first_unit = unit;
      return;
    }
    auto same = [](const std::string& a, const std::string& b) { return util::ToUpper(a) == util::ToUpper(b); };
    bool blank = util::Trim(unit).empty();
    if (blank || same(unit, article.UM1())) {
      if (blank) unit = article.UM1();
      first_quantity = quantity;
      first_unit = unit;
      return;
    }
    if (same(unit, article.UM2()) || same(unit, article.UM3())) {
      int32_t kind = same(unit, article.UM2()) ? article.TipoConversioneUM2() : article.TipoConversioneUM3();
      double factor = article.FattoreConversione();
      if (kind != 1 && factor == 0) throw db::VbError::DivisionByZero();
      quantity = kind == 1 ? quantity * factor : quantity / factor;
      first_quantity = quantity;
      first_unit = article.UM1();
      return;
    }
    if (tipo_documento == 4 || tipo_documento == 8 || tipo_documento == 10 || tipo_documento == 15) {
      first_quantity = quantity;
      first_unit = unit;
      return;
    }
    if (same(unit, article.UMAlternativa()) && article.FattoreConversione() >= 0) {
      if (article.FattoreConversione() == 0) throw db::VbError::DivisionByZero();
      first_quantity = Euro(ctx, db::Value(quantity / article.FattoreConversione()), 2);
      first_unit = article.UMAlternativaDestinazione();
      return;
    }
    first_quantity = quantity;
    first_unit = unit;
  });
}

}  // namespace velkaris
