// Test support: a Context on fresh front- and back-office databases, with a frozen clock
// (04/12/2026 19:05:11) and a temporary log directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "core/context.h"
#include "testing/temp_databases.h"

namespace testing_support {

class ContextTest : public ::testing::Test {
 protected:
  ContextTest();

  // Lines of the error log / of today's sync log, without their line ends.
  std::vector<std::string> ErrorLogLines();  // after writing out held notices
  std::vector<std::string> SyncLogLines() const;
  // Error-log entries whose source is `source`.
  std::vector<std::string> ErrorsFrom(const std::string& source);

  // Registry values under HKEY_CURRENT_USER\SOFTWARE\KORV\ARN\<section>.
  void SetRegistryText(const std::string& name, const std::string& text, const std::string& section = "Options");
  void SetRegistryNumber(const std::string& name, uint32_t number, const std::string& section = "Options");
  // Points the registry's connection strings at the test databases; the till is 1.
  void RegisterDatabases();
  // Receipts as units of work with the sync ledger (the program's default; the fixture
  // starts in the original per-statement mode).
  void UseUnitsOfWork();
  // A row of the front office's tabImpostazioni.
  void SetSetting(const std::string& key, const std::string& value);

  TempDatabases dbs;
  platform::FrozenClock clock;
  velkaris::Context ctx;
};

std::vector<std::string> ReadLines(const std::string& path);

}  // namespace testing_support
