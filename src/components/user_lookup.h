// Our user-lookup component: the back-office user a till operator stands for, from the
// back office's tabPersonale (id = operator, idUtente = user).
#pragma once

#include <cstdint>

#include "db/connection.h"
#include "core/context.h"

namespace velkaris {

// The user id of the operator on the connection; -1 when the operator is unknown.
// Errors reach the caller, which logs them as its own.
int32_t UtenteDaOperatore(Context& ctx, int32_t id_operatore, db::Connection& connection);

}  // namespace velkaris
