#include "db/sqlite/library.h"

#include <sqlite3.h>

namespace db::sqlite {

void ConfigureLibrary() {
  // SQLITE_MISUSE once initialised: the library then keeps its defaults.
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
}

}  // namespace db::sqlite
