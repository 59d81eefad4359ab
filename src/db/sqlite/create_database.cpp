#include "db/sqlite/create_database.h"

#include <sqlite3.h>

#include "db/error.h"

namespace db::sqlite {

void CreateDatabase(const std::string& path, const std::string& script) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    std::string why = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    throw Error("Cannot create the SQLite database '" + path + "': " + why);
  }
  char* err = nullptr;
  int rc = sqlite3_exec(db, script.c_str(), nullptr, nullptr, &err);
  std::string message = err ? err : "";
  sqlite3_free(err);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw Error("Cannot create the schema of '" + path + "': " + message);
}

}  // namespace db::sqlite
