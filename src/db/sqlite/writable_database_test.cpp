// A database file or folder the program cannot write is named when the file is opened.
// Permissions do not stop root, so as root the checks run in a child that has become
// "nobody".
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "db/connection.h"
#include "db/recordset.h"
#include "testing/temp_databases.h"

namespace {

// What opening `path` says, as an unprivileged user: "" when it opens.
std::string OpenAsUnprivileged(const std::string& path) {
  auto attempt = [&]() -> std::string {
    try {
      db::Connection c;
      c.Open("Provider=SQLite;Data Source=" + path + ";");
      return "";
    } catch (const std::exception& e) {
      return e.what();
    }
  };
  if (geteuid() != 0) return attempt();
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    std::string result = setgid(65534) == 0 && setuid(65534) == 0 ? attempt() : "setuid failed";
    if (write(fds[1], result.data(), result.size()) < 0) _exit(2);
    _exit(0);
  }
  close(fds[1]);
  std::string out;
  char buf[512];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, n);
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  return out;
}

TEST(WritableDatabase, AReadOnlyFileAndAFolderWithoutRoomForTheWalFilesAreNamed) {
  testing_support::TempDir dir;
  std::string folder = dir.File("shop");
  std::filesystem::create_directory(folder);
  std::string path = folder + "/back.db";
  testing_support::CreateDatabase(path, "backoffice");
  chmod(dir.path().c_str(), 0755);
  chmod(folder.c_str(), 0777);
  chmod(path.c_str(), 0666);
  EXPECT_EQ(OpenAsUnprivileged(path), "");

  chmod(path.c_str(), 0444);
  std::string read_only = OpenAsUnprivileged(path);
  EXPECT_NE(read_only.find("The SQLite database '" + path + "' is read-only"), std::string::npos) << read_only;
  EXPECT_NE(read_only.find("write access"), std::string::npos) << read_only;

  chmod(path.c_str(), 0666);
  std::filesystem::remove(path + "-wal");
  std::filesystem::remove(path + "-shm");
  chmod(folder.c_str(), 0555);
  std::string no_room = OpenAsUnprivileged(path);
  chmod(folder.c_str(), 0777);
  EXPECT_NE(no_room.find("The folder '" + folder + "' of the SQLite database '" + path + "' is not writable"),
            std::string::npos)
      << no_room;
  EXPECT_NE(no_room.find(path + "-wal"), std::string::npos) << no_room;
}

// Two tills starting at once on a file not yet in WAL: while one writes, turning the file to
// WAL (which needs it to itself) is told "database is locked" at once instead of waiting.
// The other till waits until the writer lets go.
TEST(WritableDatabase, AFileNotYetInWalIsTurnedToWalOnceAnotherConnectionLetsGoOfIt) {
  testing_support::TempDir dir;
  std::string path = dir.File("back.db");
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "create table t (n int); insert into t values (1)", nullptr, nullptr, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "begin immediate; insert into t values (2)", nullptr, nullptr, nullptr), SQLITE_OK);
  std::thread release([holder] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sqlite3_exec(holder, "commit", nullptr, nullptr, nullptr);
  });
  db::Connection c;
  EXPECT_NO_THROW(c.Open("Provider=SQLite;Data Source=" + path + ";"));
  release.join();
  sqlite3_close(holder);
  ASSERT_EQ(c.State(), 1);
  EXPECT_EQ(db::CStr(c.OpenRecordset("PRAGMA journal_mode")->Field(0)), "wal");
}

}  // namespace
