#include "testing/temp_databases.h"

#include <stdlib.h>
#include <unistd.h>

#include "db/sqlite/create_database.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {
namespace {

// The instance lock is one per machine: every test process (and the runs it starts) gets
// its own, so that tests never wait for each other or for a real run on this machine.
struct OwnInstanceLock {
  OwnInstanceLock()
      : path((std::filesystem::temp_directory_path() / ("velkaris-test-" + std::to_string(getpid()) + ".lock")).string()) {
    setenv("VELKARIS_LOCK_FILE", path.c_str(), 1);
  }
  ~OwnInstanceLock() {
    std::error_code ec;
    std::filesystem::remove(path, ec);
  }
  std::string path;
} own_instance_lock;

}  // namespace

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "velkaris-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void CreateDatabase(const std::string& path, const std::string& kind) {
  db::sqlite::CreateDatabase(path, ReadFile(std::string(VELKARIS_SCHEMA_DIR) + "/sqlite/" + kind + ".sql"));
}

std::string SqliteConnectionString(const std::string& path) {
  return "Provider=SQLite;Data Source=" + path + ";";
}

std::unique_ptr<db::Connection> OpenSqlite(const std::string& path) {
  auto c = std::make_unique<db::Connection>();
  c->Open(SqliteConnectionString(path));
  return c;
}

TempDatabases::TempDatabases()
    : front_path(dir.File("front.db")), back_path(dir.File("back.db")) {
  CreateDatabase(front_path, "frontoffice");
  CreateDatabase(back_path, "backoffice");
  front = OpenSqlite(front_path);
  back = OpenSqlite(back_path);
}

}  // namespace testing_support
