// velkaris-bench: times one pass of the velkaris binary over demo backlogs of growing size
// and compares it with a reference: the same number of back-office rows inserted in one
// transaction with prepared statements into the same schema, on the embedded backend and,
// for a pass through ODBC, through the same driver as well.
//
//   velkaris-bench [--odbc] [--legacy] [--repeat N] [--csv FILE] [--work DIR] [POS_ROWS...]
//   (default 1000 10000 50000)
//   --legacy: the original mode, every statement committing on its own
//   --repeat: each size N times on a fresh backlog (default 3); the times are the medians
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "db/column_type.h"
#include "db/connection.h"
#include "db/recordset.h"
#include "db/sqlite/create_database.h"
#include "demo/demo_generator.h"
#include "platform/system.h"
#include "util/text.h"

namespace {

using Seconds = std::chrono::duration<double>;

struct Result {
  std::string backend;
  int64_t target = 0, pos_rows = 0, receipts = 0, statements = 0, back_rows = 0;
  double seconds = 0, reference_seconds = 0, peak_mb = 0;
  double driver_reference_seconds = 0;  // the reference through the pass's ODBC driver
};

std::map<std::string, int64_t> TableCounts(const std::string& path) {
  db::Connection c;
  c.Open("Provider=SQLite;Data Source=" + path + ";");
  std::map<std::string, int64_t> counts;
  auto tables = c.OpenRecordset("select name from sqlite_master where type='table' and name not like 'sqlite_%'");
  for (; !tables->Eof(); tables->MoveNext()) {
    std::string t = db::CStr(tables->Field(0));
    counts[t] = db::CLng(c.OpenRecordset("select count(*) from \"" + t + "\"")->Field(0));
  }
  return counts;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the velkaris binary on the demo; returns wall time, peak memory and statements.
void RunPass(const std::string& velkaris, const velkaris::demo::DemoFiles& files, const std::string& dir,
             Result& r) {
  std::string stats = dir + "/stats.txt";
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    setenv("VELKARIS_STATS", stats.c_str(), 1);
    execl(velkaris.c_str(), velkaris.c_str(), "--registry", files.registry.c_str(), "--log-dir", dir.c_str(),
          "/no_wait", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  r.seconds = Seconds(std::chrono::steady_clock::now() - start).count();
  r.peak_mb = usage.ru_maxrss / 1024.0;
  std::string text = ReadAll(stats);
  size_t eq = text.find('=');
  r.statements = eq == std::string::npos ? 0 : std::stoll(text.substr(eq + 1));
}

// Inserts `count` full-width rows into `table` with one prepared statement.
void InsertRows(db::Connection& c, const std::string& table, int64_t count) {
  const auto& columns = c.TableColumns(table);
  std::string names, marks;
  for (size_t i = 0; i < columns.size(); ++i) {
    names += (i ? ", \"" : "\"") + columns[i].name + "\"";
    marks += i ? ", ?" : "?";
  }
  std::string sql = "INSERT INTO \"" + table + "\" (" + names + ") VALUES (" + marks + ")";
  std::vector<db::Value> values(columns.size());
  for (int64_t n = 1; n <= count; ++n) {
    for (size_t i = 0; i < columns.size(); ++i) {
      switch (db::KindOf(columns[i].decl_type)) {
        case db::ColumnKind::kFloat: values[i] = db::Value(n * 1.25); break;
        case db::ColumnKind::kBit: values[i] = db::Value(n % 2 == 0); break;
        case db::ColumnKind::kDateTime: values[i] = db::Value(db::Date::FromParts(2026, 12, 4, 10, 0, 0)); break;
        case db::ColumnKind::kText: values[i] = db::Value(columns[i].primary_key ? "k" + std::to_string(n) : "text"); break;
        default: values[i] = db::Value(static_cast<int32_t>(n)); break;
      }
    }
    c.ExecuteWithParams(sql, values);
  }
}

double Reference(const std::string& schema_dir, const std::string& dir,
                 const std::map<std::string, int64_t>& written, bool odbc) {
  std::string path = dir + "/reference.db";
  for (const char* s : {"", "-wal", "-shm"}) std::filesystem::remove(path + s);
  db::sqlite::CreateDatabase(path, ReadAll(schema_dir + "/sqlite/backoffice.sql"));
  db::Connection c;
  c.Open(odbc ? "Driver=SQLite3;Database=" + path + ";" : "Provider=SQLite;Data Source=" + path + ";");
  auto start = std::chrono::steady_clock::now();
  c.Execute("BEGIN");
  for (const auto& [table, count] : written) InsertRows(c, table, count);
  c.Execute("COMMIT");
  return Seconds(std::chrono::steady_clock::now() - start).count();
}

void UseOdbc(const velkaris::demo::DemoFiles& files) {
  std::ofstream out(files.registry, std::ios::binary);
  out << "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\KORV\\ARN\\Options]\r\n"
      << "\"Velkarys.ConnDBLocale.ConnectionString\"=\"Driver=SQLite3;Database=" << files.back << ";\"\r\n"
      << "\"Velkarys.ConnDBPuntoCassa.ConnectionString\"=\"Driver=SQLite3;Database=" << files.front << ";\"\r\n"
      << "\"IdCassa\"=dword:00000001\r\n";
}

// The original way: every statement commits on its own.
void UseLegacyMode(const velkaris::demo::DemoFiles& files) {
  std::ofstream(files.registry, std::ios::binary | std::ios::app) << "\"Velkarys.Transazioni\"=\"0\"\r\n";
}

Result Measure(int64_t target, bool odbc, bool legacy, const std::string& work, const std::string& schema_dir) {
  Result r;
  r.backend = std::string(odbc ? "odbc-sqlite3" : "sqlite") + (legacy ? "-legacy" : "");
  r.target = target;
  std::string dir = work + "/" + r.backend + "-" + std::to_string(target);
  velkaris::demo::DemoOptions options;
  options.dir = dir;
  options.receipts = static_cast<int>(std::max<int64_t>(1, target / 8));
  options.days = std::max(1, options.receipts / 150);
  options.schema_dir = schema_dir;
  r.receipts = options.receipts;
  std::filesystem::remove_all(dir);
  r.pos_rows = velkaris::demo::GenerateDemo(options);
  velkaris::demo::DemoFiles files = velkaris::demo::DemoPaths(dir);
  if (odbc) UseOdbc(files);
  if (legacy) UseLegacyMode(files);
  auto before = TableCounts(files.back);
  RunPass(platform::ProgramDir() + "/velkaris", files, dir, r);
  std::map<std::string, int64_t> written;
  for (const auto& [table, count] : TableCounts(files.back)) {
    int64_t delta = count - before[table];
    if (delta > 0) written[table] = delta, r.back_rows += delta;
  }
  r.reference_seconds = Reference(schema_dir, dir, written, false);
  r.driver_reference_seconds = odbc ? Reference(schema_dir, dir, written, true) : r.reference_seconds;
  return r;
}

constexpr const char* kUsage =
    "usage: velkaris-bench [--odbc] [--legacy] [--repeat N] [--csv FILE] [--work DIR] [POS-ROWS...]\n"
    "  --odbc      run through unixODBC and SQLite's ODBC driver (Driver=SQLite3)\n"
    "  --legacy    run the per-statement mode (Velkarys.Transazioni=0)\n"
    "  --repeat N  runs of each size on a fresh backlog, times are the medians (default 3)\n"
    "  --csv FILE  where the results go (default bench-results.csv)\n"
    "  --work DIR  where the demo backlogs go (default bench-work)\n"
    "  POS-ROWS    backlog sizes in POS rows (default 1000 10000 50000)\n";

bool IsCount(const std::string& a) {
  return !a.empty() && a.size() < 10 && std::all_of(a.begin(), a.end(), util::IsAsciiDigit);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Runs of one size, each on a fresh backlog: this machine's clock is noisy, a single run
// may take half as long again as the next. Times are the medians, memory the largest.
Result MeasureRepeated(int64_t size, bool odbc, bool legacy, int repeat, const std::string& work) {
  std::vector<Result> runs;
  for (int k = 0; k < repeat; ++k) runs.push_back(Measure(size, odbc, legacy, work, VELKARIS_SCHEMA_DIR));
  Result r = runs.front();
  auto median_of = [&](double Result::*field) {
    std::vector<double> v;
    for (const Result& x : runs) v.push_back(x.*field);
    return Median(v);
  };
  r.seconds = median_of(&Result::seconds);
  r.reference_seconds = median_of(&Result::reference_seconds);
  r.driver_reference_seconds = median_of(&Result::driver_reference_seconds);
  for (const Result& x : runs) r.peak_mb = std::max(r.peak_mb, x.peak_mb);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  bool odbc = false, legacy = false;
  int repeat = 3;
  std::string csv = "bench-results.csv", work = "bench-work";
  std::vector<int64_t> sizes;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--odbc") {
      odbc = true;
    } else if (a == "--legacy") {
      legacy = true;
    } else if (a == "--repeat" && i + 1 < argc && IsCount(argv[i + 1]) && std::stoi(argv[i + 1]) > 0) {
      repeat = std::stoi(argv[++i]);
    } else if (a == "--csv" && i + 1 < argc) {
      csv = argv[++i];
    } else if (a == "--work" && i + 1 < argc) {
      work = argv[++i];
    } else if (IsCount(a)) {
      sizes.push_back(std::stoll(a));
    } else if (a == "--help" || a == "-h") {
      std::printf("%s", kUsage);
      return 0;
    } else {
      std::fprintf(stderr, "velkaris-bench: unknown argument '%s'\n%s", a.c_str(), kUsage);
      return 2;
    }
  }
  if (sizes.empty()) sizes = {1000, 10000, 50000};
  std::filesystem::create_directories(work);
  std::FILE* out = std::fopen(csv.c_str(), "w");
  if (!out) {
    std::fprintf(stderr, "velkaris-bench: cannot write %s\n", csv.c_str());
    return 1;
  }
  std::fprintf(out, "backend,pos_rows,receipts,seconds,receipts_per_s,pos_rows_per_s,statements,statements_per_pos_row,"
                    "peak_mb,backoffice_rows,reference_seconds,ratio,driver_reference_seconds,driver_ratio\n");
  std::printf("%-20s %8s %8s %9s %10s %10s %11s %9s %10s %9s %8s %9s %8s\n", "backend", "POS rows", "receipts",
              "pass s", "receipts/s", "rows/s", "stmts/row", "peak MB", "BO rows", "ref s", "ratio", "drv ref s",
              "drv ratio");
  for (int64_t size : sizes) {
    Result r = MeasureRepeated(size, odbc, legacy, repeat, work);
    double ratio = r.reference_seconds > 0 ? r.seconds / r.reference_seconds : 0;
    double driver_ratio = r.driver_reference_seconds > 0 ? r.seconds / r.driver_reference_seconds : 0;
    std::printf("%-20s %8lld %8lld %9.2f %10.1f %10.1f %11.1f %9.1f %10lld %9.3f %8.1f %9.3f %8.1f\n", r.backend.c_str(),
                static_cast<long long>(r.pos_rows), static_cast<long long>(r.receipts), r.seconds, r.receipts / r.seconds,
                r.pos_rows / r.seconds, static_cast<double>(r.statements) / r.pos_rows, r.peak_mb,
                static_cast<long long>(r.back_rows), r.reference_seconds, ratio, r.driver_reference_seconds,
                driver_ratio);
    std::fflush(stdout);
    std::fprintf(out, "%s,%lld,%lld,%.3f,%.2f,%.2f,%lld,%.2f,%.1f,%lld,%.4f,%.1f,%.4f,%.1f\n", r.backend.c_str(),
                 static_cast<long long>(r.pos_rows), static_cast<long long>(r.receipts), r.seconds,
                 r.receipts / r.seconds, r.pos_rows / r.seconds, static_cast<long long>(r.statements),
                 static_cast<double>(r.statements) / r.pos_rows, r.peak_mb, static_cast<long long>(r.back_rows),
                 r.reference_seconds, ratio, r.driver_reference_seconds, driver_ratio);
  }
  std::fclose(out);
  std::printf("CSV: %s\n", csv.c_str());
  return 0;
}
