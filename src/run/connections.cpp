#include "run/connections.h"

#include "db/error.h"
#include "data/configuration.h"
#include "core/failure.h"
#include "run/guard.h"
#include "util/text.h"

namespace velkaris {
namespace {

struct Pair {
  std::unique_ptr<db::Connection> Context::*connection;
  std::unique_ptr<CompanionSql> Context::*companion;
  const char* registry_value;
  const char* not_open;
  const char* companion_not_connected;
  const char* start_line;
  const char* source;
};

const Pair kBackOffice = {
    &Context::connDbLocale, &Context::objSQL_ConnDbLocale, "Velkarys.ConnDBLocale.ConnectionString",
    "Connessione 'connDbLocale' non avvenuta con database backoffice. Procedura Velkaris non avviata.",
    "Connessione 'objSQL_ConnDbLocale' non avvenuta con database backoffice. Procedura Velkaris non avviata.",
    " - Avviata connessione: ", "AvviaConnessioneBackoffice"};

const Pair kFrontOffice = {
    &Context::connDbPuntoCassa, &Context::objSQL_ConnDbPuntoCassa, "Velkarys.ConnDBPuntoCassa.ConnectionString",
    "Connessione 'connDbPuntoCassa' non avvenuta con database frontoffice. Procedura Velkaris non avviata.",
    "Connessione 'objSQL_ConnDbPuntoCassa' non avvenuta con database frontoffice. Procedura Velkaris non avviata.",
    " - Avviata connessione cassa: ", "AvviaConnessionePcassa"};

// Closes and discards the old pair, keeping its statement count for the statistics.
void Discard(Context& ctx, const Pair& p) {
  std::unique_ptr<db::Connection>& conn = ctx.*(p.connection);
  std::unique_ptr<CompanionSql>& companion = ctx.*(p.companion);
  if (conn) {
    ctx.retired_statements += conn->statement_count();
    if (conn->State() != 0) conn->Close();
  }
  if (companion) {
    ctx.retired_statements += companion->statement_count();
    if (companion->State() != 0) companion->Disconnect();
  }
  conn.reset();
  companion.reset();
}

// A description a shop's IT person can act on when the registry gives no string.
std::string MissingStringReason(Context& ctx, const Pair& p) {
  std::string value = "the registry value \"" + std::string(p.registry_value) +
                      "\" (HKEY_CURRENT_USER\\SOFTWARE\\KORV\\ARN\\Options)";
  if (!ctx.registry.problem().empty()) return "The connection string cannot be read: " + ctx.registry.problem() + ".";
  std::string where = ctx.registry.source().empty() ? "the registry" : "'" + ctx.registry.source() + "'";
  std::string problem = RegistryValueProblem(ctx, "Options", p.registry_value, platform::RegistryValue::kText);
  if (!problem.empty()) return "The connection string cannot be read: " + problem + ".";
  return "The connection string is empty: " + value + " is missing or empty in " + where + ".";
}

// A timeout in seconds from the registry; a value that is not a number keeps the default.
int Seconds(Context& ctx, const char* name, int fallback) {
  db::Value v = GetKeyValue(ctx, "Options", name, db::Value(fallback));
  try {
    int32_t n = db::CLng(v);
    return n >= 0 ? n : fallback;
  } catch (const std::exception&) {
    return fallback;
  }
}

// The driver for SQL Server strings, this machine's name as the workstation the guard
// compares with, the program's name for strings that give none, and the query timeout.
db::OdbcOptions OdbcOptionsOf(Context& ctx) {
  db::OdbcOptions o;
  o.driver = db::CStr(GetKeyValue(ctx, "Options", "Velkarys.OdbcDriver", db::Value(db::kDefaultOdbcDriver)));
  o.workstation_id = funGetNomeComputer(ctx);
  o.default_application = kApplicationName;
  o.query_timeout = Seconds(ctx, "Velkarys.CommandTimeout", 30);
  return o;
}

// The connection string of a pair as the registry gives it.
std::string ConnectionStringOf(Context& ctx, const Pair& p) {
  std::string cs = db::CStr(GetKeyValue(ctx, "Options", p.registry_value, db::Value("")));
  return util::ReplaceAll(cs, "Timeout=1;", "Timeout=10;");
}

// Whether opening the pair again would hand back the same open connection: the pool keeps
// SQLite engines, so closing and opening again would change nothing in the database.
bool ReopensAsIs(Context& ctx, const Pair& p) {
  const std::unique_ptr<db::Connection>& conn = ctx.*(p.connection);
  const std::unique_ptr<CompanionSql>& companion = ctx.*(p.companion);
  if (!conn || conn->State() != 1 || !companion || companion->State() != 1) return false;
  std::string cs = ConnectionStringOf(ctx, p);
  return !util::Trim(cs).empty() && conn->ReopensAsIs(cs, OdbcOptionsOf(ctx));
}

bool Avvia(Context& ctx, bool log_flag, const Pair& p) {
  bool result = false;
  Guarded(ctx, p.source, [&] {
    Discard(ctx, p);
    std::unique_ptr<db::Connection>& conn = ctx.*(p.connection);
    std::unique_ptr<CompanionSql>& companion = ctx.*(p.companion);
    // Every connection of the run takes its engine from the run's pool and leaves it there.
    auto created = [&ctx](db::Connection& c) {
      c.set_engine_pool(&ctx.engine_pool);
      if (ctx.connection_created) ctx.connection_created(c);
    };
    conn = std::make_unique<db::Connection>();
    created(*conn);
    // With receipts as units of work the back office's components write on the run's own
    // connection, inside its transaction.
    bool share = ctx.uow.per_receipt && p.connection == &Context::connDbLocale;
    companion = share ? std::make_unique<CompanionSql>(conn.get()) : std::make_unique<CompanionSql>(created);

    std::string cs = ConnectionStringOf(ctx, p);
    if (util::Trim(cs).empty()) throw db::Error(MissingStringReason(ctx, p));
    conn->set_odbc_options(OdbcOptionsOf(ctx));
    conn->Open(cs);
    // Receipts as units of work read master data once a transaction, and on SQLite an
    // article (or a movement header, a discount reason) once between two writes of their own.
    if (ctx.uow.per_receipt) {
      conn->set_read_cache(conn->IsSqlite() ? db::ReadCache::kInTransaction : db::ReadCache::kMasterData);
    }
    companion->Connect(conn->ConnectionString(), 2);

    if (conn->State() != 1) {
      ctx.logs.ScriviLogErrore("TovoVelkaris_Scontrino", p.not_open, "Connessione dati");
      return;
    }
    if (companion->State() != 1) {
      ctx.logs.ScriviLogErrore("TovoVelkaris_Scontrino", p.companion_not_connected, "Connessione dati");
      return;
    }
    if (log_flag) ctx.logs.AppendSync(ctx.logs.TimeStamp() + p.start_line + cs);
    result = true;
  });
  return result;
}

}  // namespace

bool AvviaConnessioneBackoffice(Context& ctx, bool log_flag) { return Avvia(ctx, log_flag, kBackOffice); }

bool AvviaConnessionePcassa(Context& ctx, bool log_flag) { return Avvia(ctx, log_flag, kFrontOffice); }

bool ConnectionsReopenAsIs(Context& ctx) { return ReopensAsIs(ctx, kBackOffice) && ReopensAsIs(ctx, kFrontOffice); }

void CloseAllConnections(Context& ctx) noexcept {
  for (auto* conn : {&ctx.connDbLocale, &ctx.connDbPuntoCassa}) {
    try {
      if (*conn && (*conn)->State() != 0) (*conn)->Close();
    } catch (...) {
    }
  }
  for (auto* companion : {&ctx.objSQL_ConnDbLocale, &ctx.objSQL_ConnDbPuntoCassa}) {
    try {
      if (*companion) (*companion)->Disconnect();
    } catch (...) {
    }
  }
}

}  // namespace velkaris
