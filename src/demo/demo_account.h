// A short account of what a pass did to the demo shop, from the databases and the logs.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "demo/demo_generator.h"

namespace velkaris::demo {

struct Snapshot {
  std::map<std::string, int64_t> counts;      // rows of the tables a pass writes
  std::map<int64_t, double> stock;            // IdGiacenza -> giacenza
  int64_t pending_receipts = 0;               // POS receipts a pass would select
  int64_t error_lines = 0, row_notices = 0;   // lines of logVelkaris.log
};

Snapshot TakeSnapshot(const DemoFiles& files, const std::string& log_dir);
// The account of the pass between two snapshots.
std::string Account(const Snapshot& before, const Snapshot& after, const std::string& log_dir);

}  // namespace velkaris::demo
