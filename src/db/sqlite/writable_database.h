// A SQLite database the program writes into must be writable, and so must its folder (SQLite
// keeps the "-wal" and "-shm" files of WAL mode beside the database). Checked when the file is
// opened, so that a run stops before it transfers anything.
#pragma once

#include <string>

struct sqlite3;

namespace db::sqlite {

// Empty when `db` (opened from `path`) can be written; otherwise a message naming the file
// or the folder and what to do.
std::string WhyNotWritable(sqlite3* db, const std::string& path);

}  // namespace db::sqlite
