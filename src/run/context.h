// Everything a run shares: the two connections, the settings, the clock and the logs.
// Every procedure receives it first; there are no other globals.
#pragma once

#include <memory>
#include <string>

#include "db/connection.h"
#include "platform/clock.h"
#include "run/logs.h"
#include "run/settings.h"

namespace velkaris {

struct Context {
  Context(platform::Clock& clock, std::string log_dir) : clock(clock), logs(std::move(log_dir), clock) {}

  std::unique_ptr<db::Connection> connDbLocale;      // back office
  std::unique_ptr<db::Connection> connDbPuntoCassa;  // front office (POS)
  Settings settings;
  platform::Clock& clock;
  Logs logs;
};

}  // namespace velkaris
