// Configuration: registry values (connection strings, till, forced warehouse, guard
// switch), shop settings of tabImpostazioni, and SubInitParams which fills the settings.
#pragma once

#include <string>
#include <string_view>

#include "db/connection.h"
#include "db/value.h"
#include "core/context.h"

namespace velkaris {

inline constexpr std::string_view kRegistryKeyPath = "SOFTWARE\\KORV\\ARN";
inline constexpr std::string_view kHkeyCurrentUser = "-2147483647";

// One registry value: text, or a 32-bit number as Long; the default when the value is
// missing or of another type. Never fails.
db::Value GetKeyValue(Context& ctx, std::string_view section, std::string_view name,
                      const db::Value& fallback, std::string_view key_path = kRegistryKeyPath,
                      std::string_view root = kHkeyCurrentUser);

// What is wrong with registry value `name` of `section`, naming the value, the file and what
// it must hold; empty when it is missing or readable as `expected` (kDword: a number, as a
// dword or as text).
std::string RegistryValueProblem(Context& ctx, std::string_view section, std::string_view name,
                                 platform::RegistryValue::Type expected);

// The valore of the tabImpostazioni row `key` (front office), or the default.
std::string getDbValue(Context& ctx, const std::string& key, const std::string& fallback);

// The VAT rate of a code in tabAliquoteIva; AliquotaIvaPredefinita when not found.
// A null connection means connDbLocale.
double funGetAliquotaIvaByCodice(Context& ctx, const std::string& code, db::Connection* connection,
                                 bool& found);

// Fills ctx.settings, stopping at the first step that fails. A setting or registry value
// that is not a number where one is needed, and a missing or unreadable "IdCassa", fail
// with an entry that names the value and what to do.
bool SubInitParams(Context& ctx);

}  // namespace velkaris
