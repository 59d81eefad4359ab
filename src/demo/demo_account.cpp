#include "demo/demo_account.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "db/connection.h"
#include "db/recordset.h"

namespace velkaris::demo {
namespace {

const char* const kTables[] = {"tabTestateScontrini", "tabDettaglioScontrini", "tabPagamentiScontriniBackoffice",
                               "tabFidelity_Transazioni", "tabTestateMagazzino", "tabDettaglioMagazzino",
                               "tabGiustificaSconto", "tabDocumentiCollegati"};

int64_t Count(db::Connection& c, const std::string& sql) { return db::CLng(c.OpenRecordset(sql)->Field(0)); }

}  // namespace

Snapshot TakeSnapshot(const DemoFiles& files, const std::string& log_dir) {
  Snapshot s;
  db::Connection front, back;
  front.Open("Provider=SQLite;Data Source=" + files.front + ";");
  back.Open("Provider=SQLite;Data Source=" + files.back + ";");
  for (const char* t : kTables) s.counts[t] = Count(back, std::string("select count(*) from ") + t);
  auto rs = back.OpenRecordset("select IdGiacenza, Giacenza from tabGiacenze");
  for (; !rs->Eof(); rs->MoveNext()) s.stock[db::CLng(rs->Field(0))] = rs->Field(1).IsNull() ? 0 : db::CDbl(rs->Field(1));
  s.pending_receipts = Count(front,
                             "select count(distinct tabTestate.idTestata) from tabDettaglio inner join tabTestate on "
                             "tabDettaglio.IdTestata = tabTestate.idTestata where (tabDettaglio.FlagExport = 0 or "
                             "tabDettaglio.FlagExport is null) and tabTestate.Printed <> 0 and tabTestate.IdCausale in (4, 5)");
  std::ifstream log(log_dir + "/logVelkaris.log");
  std::string line;
  while (std::getline(log, line)) {
    if (line.find("Acconto rilevato num:") != std::string::npos) {
      ++s.row_notices;
    } else {
      ++s.error_lines;
    }
  }
  return s;
}

std::string Account(const Snapshot& before, const Snapshot& after, const std::string& log_dir) {
  auto delta = [&](const char* table) { return after.counts.at(table) - before.counts.at(table); };
  int64_t stock_changed = 0;
  for (const auto& [id, qty] : after.stock) {
    auto it = before.stock.find(id);
    stock_changed += it == before.stock.end() || it->second != qty;
  }
  std::ostringstream out;
  out << "Velkaris pass on the demo shop\n"
      << "  POS receipts waiting before the pass: " << before.pending_receipts
      << ", after: " << after.pending_receipts << "\n"
      << "  receipts transferred:        " << delta("tabTestateScontrini") << "\n"
      << "  receipt rows written:        " << delta("tabDettaglioScontrini") << "\n"
      << "  payments written:            " << delta("tabPagamentiScontriniBackoffice") << "\n"
      << "  fidelity movements:          " << delta("tabFidelity_Transazioni") << "\n"
      << "  warehouse movement headers:  " << delta("tabTestateMagazzino") << " new\n"
      << "  warehouse movement rows:     " << delta("tabDettaglioMagazzino") << "\n"
      << "  discount reasons copied:     " << delta("tabGiustificaSconto") << "\n"
      << "  stock rows changed:          " << stock_changed << "\n"
      << "  warnings and errors logged:  " << after.error_lines - before.error_lines << "\n"
      << "  row notices logged:          " << after.row_notices - before.row_notices
      << " (\"Acconto rilevato num:\", one per receipt row)\n";
  std::string sync;
  for (const auto& entry : std::filesystem::directory_iterator(log_dir)) {
    std::string name = entry.path().filename().string();
    if (name.rfind("logSincro", 0) == 0 && (sync.empty() || entry.last_write_time() >
                                                                 std::filesystem::last_write_time(sync))) {
      sync = entry.path().string();
    }
  }
  out << "  daily sync log: " << (sync.empty() ? "(none)" : sync) << "\n"
      << "  error log:      " << log_dir << "/logVelkaris.log\n";
  return out.str();
}

}  // namespace velkaris::demo
