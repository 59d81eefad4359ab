// Test support: a temporary directory with fresh front- and back-office SQLite databases
// created from schema/, and connections opened on them.
#pragma once

#include <memory>
#include <string>

#include "db/connection.h"

namespace testing_support {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Creates an SQLite database at `path` from schema/sqlite/<kind>.sql.
void CreateDatabase(const std::string& path, const std::string& kind);
std::string SqliteConnectionString(const std::string& path);
std::unique_ptr<db::Connection> OpenSqlite(const std::string& path);
std::string ReadFile(const std::string& path);

struct TempDatabases {
  TempDatabases();
  TempDir dir;
  std::string front_path, back_path;
  std::unique_ptr<db::Connection> front, back;
};

}  // namespace testing_support
