// Document totals: taxable amount, VAT and total of a document header, from its rows.
#pragma once

#include <cstdint>

#include "db/connection.h"
#include "db/value.h"
#include "core/context.h"

namespace velkaris {

// Recomputes and stores the totals of a header (types 0, 3: warehouse movements; 9, 23:
// receipts; and the other document kinds). False for an unknown type or on an error.
bool AggiornaTotaliDocumento(Context& ctx, int32_t tipo_documento, int32_t id_documento, db::Connection* connection,
                             double& imponibile, double& iva, double& totale, double step);
bool AggiornaTotaliDocumento(Context& ctx, int32_t tipo_documento, int32_t id_documento, db::Connection* connection);
// The sums of a document's rows per VAT rate.
void funGetTotaliDocumento(Context& ctx, int32_t id_documento, int32_t tipo_documento, double& imponibile,
                           double& iva, double& totale, db::Connection* connection);
// The gross amount of a net amount, brought to a multiple of the step when it is not 0.
double Ivato(Context& ctx, const db::Value& net, const db::Value& rate, int16_t decimals, double step);

}  // namespace velkaris
