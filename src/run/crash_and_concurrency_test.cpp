// The velkaris binary killed in the middle of a pass, started twice at once, and run by two
// tills into one back office: the back office must end as one uninterrupted pass leaves it.
#include <gtest/gtest.h>

#include <signal.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "db/recordset.h"
#include "demo/demo_generator.h"
#include "testing/builders.h"
#include "testing/context_fixture.h"
#include "testing/temp_databases.h"
#include "util/text.h"

namespace velkaris {
namespace {

using testing_support::OpenSqlite;
using testing_support::Scalar;

// Columns whose value is the moment of writing: they differ between any two runs.
bool IsTimestamp(const std::string& column) {
  static const std::set<std::string> kStamps = {"datacreaz", "dataagg", "datasincro", "dataultimotentativo",
                                                "oracreaz", "dataexport"};
  return kStamps.count(util::ToLower(column)) > 0;
}

// Every row of every table, without the time stamps, rows sorted as text: two back
// offices that hold the same receipts, rows, payments, movements and stock compare equal.
std::string Content(const std::string& path) {
  auto db = OpenSqlite(path);
  std::string all;
  auto tables = db->OpenRecordset("select name from sqlite_master where type='table' order by name");
  for (; !tables->Eof(); tables->MoveNext()) {
    std::string table = db::CStr(tables->Field(0));
    if (table == "tabSincroErrori") continue;  // attempts depend on where the kills fell
    std::multiset<std::string> rows;
    for (auto rs = db->OpenRecordset("select * from \"" + table + "\""); !rs->Eof(); rs->MoveNext()) {
      std::string row;
      for (int i = 0; i < rs->FieldCount(); ++i) {
        if (!IsTimestamp(rs->FieldName(i))) row += rs->Field(i).DebugString() + "|";
      }
      rows.insert(row);
    }
    all += table + "\n";
    for (const auto& r : rows) all += r + "\n";
  }
  return all;
}

// An error log without its per-row notices.
std::string Log(const std::string& path) {
  std::string out;
  for (const std::string& line : testing_support::ReadLines(path)) {
    if (line.find("Acconto rilevato") == std::string::npos) out += line + "\n";
  }
  return out;
}

int64_t Count(const std::string& path, const std::string& sql) { return db::CLng(Scalar(*OpenSqlite(path), sql)); }

void Copy(const std::string& from, const std::string& to) {
  std::filesystem::remove(to);
  OpenSqlite(from)->Execute("VACUUM INTO '" + to + "'");
}

// A shop: the demo's databases copied into a folder of its own, with its registry.
struct Shop {
  explicit Shop(const demo::DemoFiles& demo, int till = 1) : front(dir.File("front.db")), back(dir.File("back.db")) {
    Copy(demo.front, front);
    Copy(demo.back, back);
    WriteRegistry(till);
  }
  void WriteRegistry(int till) {
    std::ofstream(dir.File("velkaris.reg"))
        << "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\SOFTWARE\\KORV\\ARN\\Options]\n"
        << "\"Velkarys.ConnDBLocale.ConnectionString\"=\"Provider=SQLite;Data Source=" << back << ";\"\n"
        << "\"Velkarys.ConnDBPuntoCassa.ConnectionString\"=\"Provider=SQLite;Data Source=" << front << ";\"\n"
        << "\"IdCassa\"=dword:0000000" << till << "\n";
  }
  // Starts one pass of the binary; `lock` is the instance lock (one per machine).
  pid_t Start(const std::string& log_dir, const std::string& lock) const {
    std::filesystem::create_directories(log_dir);
    pid_t pid = fork();
    if (pid == 0) {
      setenv("VELKARIS_LOCK_FILE", lock.c_str(), 1);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      std::string reg = dir.File("velkaris.reg");
      execl(VELKARIS_BINARY, VELKARIS_BINARY, "--registry", reg.c_str(), "--log-dir", log_dir.c_str(), "/no_wait",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    return pid;
  }
  void Run(const std::string& lock) const { Wait(Start(dir.File("logs"), lock)); }
  static void Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
  }

  testing_support::TempDir dir;
  std::string front, back;
};

class CrashAndConcurrencyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    demo::DemoOptions options;
    options.receipts = 200;
    options.days = 2;
    options.schema_dir = VELKARIS_SCHEMA_DIR;
    options.dir = demo_dir.path();
    demo::GenerateDemo(options);
    files = demo::DemoPaths(demo_dir.path());
  }
  std::string Lock(const std::string& name) { return demo_dir.File(name + ".lock"); }

  testing_support::TempDir demo_dir;
  demo::DemoFiles files;
};

TEST_F(CrashAndConcurrencyTest, KilledTwentyTimesThenRunOnceEqualsOneUninterruptedPass) {
  Shop reference(files), crashed(files);
  auto start = std::chrono::steady_clock::now();
  reference.Run(Lock("a"));
  auto pass = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(Count(reference.front, "select count(*) from tabDettaglio where ifnull(FlagExport,0)=0"), 0);

  // Kills spread over the pass: each run resumes where the last one was killed.
  int kills = 0;
  for (int k = 1; k <= 20; ++k) {
    pid_t pid = crashed.Start(crashed.dir.File("logs"), Lock("b"));
    std::this_thread::sleep_for(pass * (k % 5 + 1) / 25);
    kills += kill(pid, SIGKILL) == 0;
    Shop::Wait(pid);
    // What is flagged is in the back office, whole.
    EXPECT_EQ(Count(crashed.front, "select count(*) from tabDettaglio where FlagExport=1") +
                  Count(crashed.front, "select count(*) from tabDettaglio where ifnull(FlagExport,0)=0"),
              Count(crashed.front, "select count(*) from tabDettaglio"));
    auto ledger = OpenSqlite(crashed.back);
    EXPECT_EQ(db::CLng(Scalar(*ledger, "select count(*) from tabTestateScontrini")),
              db::CLng(Scalar(*ledger, "select count(*) from tabSincroScontrini")));
  }
  EXPECT_EQ(kills, 20);
  crashed.Run(Lock("b"));
  EXPECT_EQ(Content(crashed.back), Content(reference.back));
  EXPECT_EQ(Content(crashed.front), Content(reference.front));
}

TEST_F(CrashAndConcurrencyTest, TwoStartsAtOnceWithDifferentLogFoldersTransferEverythingOnce) {
  Shop reference(files), shop(files);
  reference.Run(Lock("a"));
  pid_t first = shop.Start(shop.dir.File("logs-scheduled"), Lock("b"));
  pid_t second = shop.Start(shop.dir.File("logs-manual"), Lock("b"));
  Shop::Wait(first);
  Shop::Wait(second);
  EXPECT_EQ(Content(shop.back), Content(reference.back));
  // Even without the lock (two machines on one shop's databases) the ledger keeps them apart.
  Shop shared(files);
  first = shared.Start(shared.dir.File("logs-1"), Lock("c"));
  second = shared.Start(shared.dir.File("logs-2"), Lock("d"));
  Shop::Wait(first);
  Shop::Wait(second);
  EXPECT_EQ(Count(shared.back, "select count(*) from tabTestateScontrini"),
            Count(reference.back, "select count(*) from tabTestateScontrini"));
  EXPECT_EQ(Count(shared.back, "select count(*) from tabDettaglioMagazzino"),
            Count(reference.back, "select count(*) from tabDettaglioMagazzino"));
  EXPECT_EQ(Count(shared.back, "select sum(Giacenza) from tabGiacenze"),
            Count(reference.back, "select sum(Giacenza) from tabGiacenze"));
}

TEST_F(CrashAndConcurrencyTest, TwoTillsIntoOneBackOfficeNumberAndUnloadAsOneAfterTheOther) {
  // Till 2 sold the same receipts as till 1: the back office gets each twice, once per till.
  Shop till1(files), till2(files, 2), sequential(files), sequential2(files, 2);
  till2.back = till1.back;
  till2.WriteRegistry(2);
  sequential2.back = sequential.back;
  sequential2.WriteRegistry(2);
  sequential.Run(Lock("s"));
  sequential2.Run(Lock("s"));

  pid_t a = till1.Start(till1.dir.File("logs"), Lock("till1"));
  pid_t b = till2.Start(till2.dir.File("logs"), Lock("till2"));
  Shop::Wait(a);
  Shop::Wait(b);

  const std::string& back = till1.back;
  int64_t receipts = Count(sequential.back, "select count(*) from tabTestateScontrini");
  EXPECT_EQ(Count(back, "select count(*) from tabTestateScontrini"), receipts);
  EXPECT_EQ(Count(back, "select count(*) from tabSincroScontrini where IdCassa=2"), receipts / 2)
      << "till 2's error log:\n" << Log(till2.dir.File("logs/logVelkaris.log"));
  EXPECT_EQ(Count(back, "select count(*) from (select IdCausale, Bollettario, NumeroDocumento, count(*) as n "
                        "from tabTestateMagazzino group by IdCausale, Bollettario, NumeroDocumento having n > 1)"),
            0);
  EXPECT_EQ(Count(back, "select count(*) from tabTestateMagazzino"),
            Count(sequential.back, "select count(*) from tabTestateMagazzino"));
  EXPECT_EQ(Count(back, "select count(*) from tabDettaglioMagazzino"),
            Count(sequential.back, "select count(*) from tabDettaglioMagazzino"));
  auto stock = [](const std::string& path) {
    std::string out;
    auto db = OpenSqlite(path);
    for (auto rs = db->OpenRecordset("select idMagazzino, Barcode, Giacenza from tabGiacenze order by 1, 2");
         !rs->Eof(); rs->MoveNext()) {
      out += rs->Field(1).DebugString() + "=" + rs->Field(2).DebugString() + " ";
    }
    return out;
  };
  EXPECT_EQ(stock(back), stock(sequential.back));
}

}  // namespace
}  // namespace velkaris
