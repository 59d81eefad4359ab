// The demo shop: a front-office and a back-office SQLite database with realistic master
// data and a backlog of printed POS receipts, plus the registry file pointing at them.
// The same seed always gives the same shop.
#pragma once

#include <cstdint>
#include <string>

namespace velkaris::demo {

struct DemoOptions {
  std::string dir;       // where front.db, back.db and velkaris.reg are written
  int receipts = 300;    // printed POS receipts
  int days = 3;          // spread over this many days from 01/12/2026
  uint32_t seed = 1;
  std::string schema_dir;  // schema/ of the source tree
};

struct DemoFiles {
  std::string front, back, registry;
};

DemoFiles DemoPaths(const std::string& dir);

// Writes the demo; existing files are replaced. Returns the number of POS rows written.
int64_t GenerateDemo(const DemoOptions& options);

}  // namespace velkaris::demo
