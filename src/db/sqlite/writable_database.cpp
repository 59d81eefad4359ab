#include "db/sqlite/writable_database.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace db::sqlite {
namespace {

// Empty when a new file can be created in `dir`; otherwise the reason.
std::string WhyNoNewFile(const std::string& dir) {
  // A name of its own, so that connections opening at once (threads, tills) never meet.
  std::string probe = dir + "/.velkaris-write-test-XXXXXX";
  int fd = mkstemp(probe.data());
  if (fd < 0) return std::strerror(errno);
  close(fd);
  unlink(probe.c_str());
  return "";
}

}  // namespace

std::string WhyNotWritable(sqlite3* db, const std::string& path) {
  const std::string todo = ": give the user running velkaris write access to it";
  if (sqlite3_db_readonly(db, "main") == 1) {
    return "The SQLite database '" + path + "' is read-only" + todo + " (velkaris writes into both databases).";
  }
  // SQLite creates path-wal and path-shm when they are missing.
  std::string wal = path + "-wal", shm = path + "-shm";
  if (access(wal.c_str(), F_OK) == 0 && access(shm.c_str(), F_OK) == 0) {
    // Asked without opening them: closing a descriptor of a file would drop the locks that
    // this process's other SQLite connections hold on it.
    for (const std::string& f : {wal, shm}) {
      if (access(f.c_str(), R_OK | W_OK) != 0) {
        return "The file '" + f + "' of the SQLite database '" + path + "' cannot be written (" +
               std::strerror(errno) + ")" + todo + ".";
      }
    }
    return "";
  }
  std::string dir = std::filesystem::path(path).parent_path().string();
  if (dir.empty()) dir = ".";
  if (std::string why = WhyNoNewFile(dir); !why.empty()) {
    return "The folder '" + dir + "' of the SQLite database '" + path + "' is not writable (" + why +
           "): SQLite keeps its files '" + wal + "' and '" + shm + "' beside the database; give the user running "
           "velkaris write access to the folder.";
  }
  return "";
}

}  // namespace db::sqlite
