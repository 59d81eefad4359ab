// Process-wide settings of the SQLite library, made before its first use: they hold for the
// embedded backend and for SQLite's ODBC driver alike, which share the library in-process.
#pragma once

namespace db::sqlite {

// Turns off SQLite's memory statistics, which take a global lock around every allocation,
// and the lock of each connection (its driver's too), which no second thread ever uses.
// Without effect (and harmless) once the library is in use.
void ConfigureLibrary();

}  // namespace db::sqlite
