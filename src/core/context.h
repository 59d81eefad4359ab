// Everything a run shares: the two connections and their companion SQL objects, the
// settings, the registry, the clock and the logs. Every procedure receives it first; there
// are no other globals.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/companion_sql.h"
#include "db/connection.h"
#include "db/error.h"
#include "platform/clock.h"
#include "platform/registry.h"
#include "core/logs.h"
#include "core/run_account.h"
#include "core/settings.h"
#include "core/unit_of_work.h"

namespace velkaris {

struct Context {
  Context(platform::Clock& clock, std::string log_dir) : clock(clock), logs(std::move(log_dir), clock) {}

  // Declared first, so that it closes its engines after the connections below are gone.
  db::EnginePool engine_pool;  // SQLite engines kept from one connection of the run to the next
  std::unique_ptr<db::Connection> connDbLocale;      // back office
  std::unique_ptr<db::Connection> connDbPuntoCassa;  // front office (POS)
  std::unique_ptr<CompanionSql> objSQL_ConnDbLocale;
  std::unique_ptr<CompanionSql> objSQL_ConnDbPuntoCassa;
  Settings settings;
  platform::Registry registry;
  platform::Clock& clock;
  Logs logs;
  RunAccount account;         // what this run did, for --summary and --exit-status
  std::string computer_name;  // this machine's name, as the guard compares it
  UnitOfWork uow;

  // Called for every connection the run creates, before it is opened (tests attach
  // fault injection and statement recording here).
  std::function<void(db::Connection&)> connection_created;

  // Told after every receipt of a pass (kind, receipts done, receipts selected); empty
  // unless someone watches the run.
  std::function<void(int32_t kind, size_t done, size_t total)> progress;

  // Statements sent on connections that were replaced, for the run's statistics.
  uint64_t retired_statements = 0;

  // Statements sent so far on every connection of the run (the companion objects' too).
  uint64_t StatementCount() const {
    uint64_t n = retired_statements;
    for (const auto* c : {&connDbLocale, &connDbPuntoCassa}) n += *c ? (*c)->statement_count() : 0;
    for (const auto* c : {&objSQL_ConnDbLocale, &objSQL_ConnDbPuntoCassa}) n += *c ? (*c)->statement_count() : 0;
    return n;
  }

  // The back-office connection; throws, as a closed connection would, when there is none.
  db::Connection& back_office() {
    if (!connDbLocale) throw db::Error("Operation is not allowed when the object is closed.", 3704);
    return *connDbLocale;
  }

  // Whether `connection` is in a receipt's unit of work on SQLite: its transaction holds the
  // write lock and the schema has no triggers, so what the receipt writes is what is there.
  bool ReceiptUnitOfWorkOnSqlite(const db::Connection& connection) const {
    return uow.per_receipt && connection.InTransaction() && connection.IsSqlite();
  }

  // The back office's companion SQL object; throws when the run has not connected it.
  CompanionSql& sql_locale() {
    if (!objSQL_ConnDbLocale) throw db::Error("The companion SQL object of the back office is not connected.");
    return *objSQL_ConnDbLocale;
  }
};

}  // namespace velkaris
