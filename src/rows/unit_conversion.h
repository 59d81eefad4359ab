// A quantity in the article's base unit and in the unit it was entered in.
#pragma once

#include <cstdint>
#include <string>

#include "components/article.h"
#include "core/context.h"

namespace velkaris {

// Outputs the base-unit quantity and unit (first_*) and the entered ones (second_*). The
// caller's quantity becomes the converted one when the unit is the article's second or third
// unit, and a blank unit becomes the article's base unit.
void ConversioneUnitaMisura(Context& ctx, int32_t tipo_documento, const ArticleComponent& article, double& quantity,
                            std::string& unit, double& first_quantity, std::string& first_unit,
                            double& second_quantity, std::string& second_unit);

}  // namespace velkaris
