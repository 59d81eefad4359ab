#include "run/verify.h"

#include <cstdlib>
#include <exception>

#include "db/connection.h"
#include "run/reconciliation.h"
#include "util/text.h"

namespace velkaris {
namespace {

constexpr const char* kOptions = "HKEY_CURRENT_USER\\SOFTWARE\\KORV\\ARN\\Options";

std::string RegistryText(const platform::Registry& registry, const char* name, const std::string& fallback) {
  auto v = registry.Get(kOptions, name);
  return v && v->type == platform::RegistryValue::kText ? v->text : fallback;
}

// Opens a connection as a run does, from its registry value.
void OpenFromRegistry(const platform::Registry& registry, const char* value, db::Connection& conn) {
  std::string cs = util::ReplaceAll(RegistryText(registry, value, ""), "Timeout=1;", "Timeout=10;");
  if (util::Trim(cs).empty()) {
    throw std::runtime_error("the registry value \"" + std::string(value) + "\" is missing or empty in '" +
                             registry.source() + "'");
  }
  conn.set_odbc_driver(RegistryText(registry, "Velkarys.OdbcDriver", "FreeTDS"));
  conn.Open(cs);
}

}  // namespace

std::optional<db::Date> ParseDay(const std::string& text) {
  int d = 0, m = 0, y = 0;
  char rest = 0;
  if (std::sscanf(text.c_str(), "%d/%d/%d%c", &d, &m, &y, &rest) != 3 &&
      std::sscanf(text.c_str(), "%d-%d-%d%c", &y, &m, &d, &rest) != 3) {
    return std::nullopt;
  }
  if (y < 1900 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) return std::nullopt;
  db::Date date = db::Date::FromParts(y, m, d);
  db::Date::Parts p = date.ToParts();
  if (p.day != d || p.month != m) return std::nullopt;  // 31/02 and the like
  return date;
}

int Verify(const platform::Registry& registry, const std::string& from, const std::string& to, FILE* out,
           FILE* err) {
  DayRange days;
  for (auto [text, day] : {std::pair{&from, &days.from}, std::pair{&to, &days.to}}) {
    if (text->empty()) continue;
    *day = ParseDay(*text);
    if (!*day) {
      std::fprintf(err, "velkaris verify: '%s' is not a day (write dd/mm/yyyy or yyyy-mm-dd)\n", text->c_str());
      return 2;
    }
  }
  if (!registry.problem().empty()) {
    std::fprintf(err, "velkaris verify: %s\n", registry.problem().c_str());
    return 2;
  }
  auto till = registry.Get(kOptions, "IdCassa");
  if (!till || till->type != platform::RegistryValue::kDword) {
    std::fprintf(err, "velkaris verify: the registry value \"IdCassa\" (a dword) is missing or not a number in '%s'\n",
                 registry.source().c_str());
    return 2;
  }
  db::Connection front, back;
  try {
    OpenFromRegistry(registry, "Velkarys.ConnDBPuntoCassa.ConnectionString", front);
    OpenFromRegistry(registry, "Velkarys.ConnDBLocale.ConnectionString", back);
  } catch (const std::exception& e) {
    std::fprintf(err, "velkaris verify: cannot connect: %s\n", e.what());
    return 2;
  }
  try {
    int32_t id_cassa = static_cast<int32_t>(till->dword);
    std::vector<Check> checks = Reconcile(front, back, id_cassa, days);
    std::string range = days.from || days.to
                            ? (days.from ? db::FormatPattern(*days.from, "dd/MM/yyyy") : std::string("the first day")) +
                                  " to " + (days.to ? db::FormatPattern(*days.to, "dd/MM/yyyy") : std::string("today"))
                            : std::string("every day");
    std::fprintf(out, "Velkaris verify: till %d, %s\n\n%s", id_cassa, range.c_str(), FormatChecks(checks).c_str());
    bool agree = true;
    for (const Check& c : checks) agree = agree && c.result != Check::kDiffers;
    std::fprintf(out, "\n%s\n", agree ? "Everything agrees." : "Front office and back office do not agree.");
    return agree ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(err, "velkaris verify: %s\n", e.what());
    return 2;
  }
}

}  // namespace velkaris
