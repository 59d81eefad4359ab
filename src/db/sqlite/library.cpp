#include "db/sqlite/library.h"

#include <sqlite3.h>

namespace db::sqlite {

void ConfigureLibrary() {
  // SQLITE_MISUSE once initialised: the library then keeps its defaults.
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  // No lock around every call on a connection: a connection is only ever used by the thread
  // that opened it (the embedded backend opens its own without one already).
  sqlite3_config(SQLITE_CONFIG_MULTITHREAD);
}

}  // namespace db::sqlite
