#include "run/reconciliation.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <set>

#include "db/error.h"
#include "db/recordset.h"

namespace velkaris {
namespace {

// Totals agree within a cent a receipt: the back office recomputes each row's amount and
// rounds it again (2 x 11.91 less 10% is 21.438 on the till and 21.44 in the back office).
bool TotalsAgree(double a, double b, int64_t receipts) { return std::fabs(a - b) < 0.005 + 0.01 * receipts; }

std::string Day(const db::Date& d) { return db::FormatPattern(d, "dd/MM/yyyy"); }

// " and column >= 'from' and column < 'to + 1 day'" (day/month/year literals, as the
// program writes them everywhere).
std::string InRange(const std::string& column, const DayRange& days) {
  std::string s;
  if (days.from) s += " and " + column + " >= '" + Day(*days.from) + "'";
  if (days.to) s += " and " + column + " < '" + Day(db::Date{days.to->DateOnly().serial + 1}) + "'";
  return s;
}

int64_t Count(db::Connection& c, const std::string& sql) {
  auto rs = c.OpenRecordset(sql, db::kForwardOnly, db::kReadOnly);
  return rs->Eof() || rs->Field(0).IsNull() ? 0 : static_cast<int64_t>(db::CDbl(rs->Field(0)));
}

double Number(const db::Value& v) { return v.IsNull() ? 0 : db::CDbl(v); }

std::string Money(double d) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.2f", d);
  return buf;
}

bool TableExists(db::Connection& c, const std::string& table) {
  try {
    c.OpenRecordset("select count(*) from " + table + " where 1=0", db::kForwardOnly, db::kReadOnly);
    return true;
  } catch (const db::Error&) {
    return false;
  }
}

struct DayFigures {
  int64_t receipts = 0;
  double total = 0;
};

struct FrontFigures {
  std::map<double, DayFigures> days;  // by day serial
  std::set<int64_t> receipt_ids;      // printed receipts of the range
  int64_t rows_flagged = 0;
  int64_t rows_to_move = 0;  // flagged rows of an article, sold or returned: each has a movement row
  int64_t waiting = 0;       // receipts with rows not yet flagged
};

// Printed POS receipts of the range with at least one row (the receipts a run selects).
FrontFigures ReadFront(db::Connection& front, const DayRange& days) {
  FrontFigures f;
  auto rs = front.OpenRecordset(
      "select tabTestate.idTestata as Id, tabTestate.Data as Giorno, sum(case when tabDettaglio.IdCausale = 2 then "
      "-tabDettaglio.TotaleNettoSconto else tabDettaglio.TotaleNettoSconto end) as Totale, "
      "sum(case when tabDettaglio.FlagExport <> 0 then 1 else 0 end) as Esportate, "
      "sum(case when tabDettaglio.FlagExport <> 0 and tabDettaglio.IdCausale in (1, 2) and "
      "ltrim(rtrim(tabDettaglio.Barcode)) <> '' then 1 else 0 end) as DaMovimentare, "
      "count(*) as Righe "
      "from tabTestate inner join tabDettaglio on tabDettaglio.IdTestata = tabTestate.idTestata "
      "where tabTestate.Printed <> 0 and tabTestate.IdCausale in (4, 5)" + InRange("tabTestate.Data", days) +
          " group by tabTestate.idTestata, tabTestate.Data",
      db::kForwardOnly, db::kReadOnly);
  for (; !rs->Eof(); rs->MoveNext()) {
    double day = (*rs)["Giorno"].IsNull() ? 0 : db::CDate((*rs)["Giorno"]).DateOnly().serial;
    DayFigures& d = f.days[day];
    ++d.receipts;
    d.total += Number((*rs)["Totale"]);
    f.receipt_ids.insert(db::CLng((*rs)["Id"]));
    int64_t flagged = static_cast<int64_t>(Number((*rs)["Esportate"]));
    f.rows_flagged += flagged;
    f.rows_to_move += static_cast<int64_t>(Number((*rs)["DaMovimentare"]));
    f.waiting += flagged < static_cast<int64_t>(Number((*rs)["Righe"]));
  }
  return f;
}

std::map<double, DayFigures> ReadBackReceipts(db::Connection& back, int32_t till, const DayRange& days) {
  std::map<double, DayFigures> out;
  auto rs = back.OpenRecordset("select DataOraScontrino as Giorno, TotaleImporto as Totale from tabTestateScontrini "
                               "where idCassa = " + std::to_string(till) + InRange("DataOraScontrino", days),
                               db::kForwardOnly, db::kReadOnly);
  for (; !rs->Eof(); rs->MoveNext()) {
    double day = (*rs)["Giorno"].IsNull() ? 0 : db::CDate((*rs)["Giorno"]).DateOnly().serial;
    DayFigures& d = out[day];
    ++d.receipts;
    d.total += Number((*rs)["Totale"]);
  }
  return out;
}

std::string BackReceiptsOfRange(int32_t till, const DayRange& days) {
  return "tabTestateScontrini.idCassa = " + std::to_string(till) + InRange("tabTestateScontrini.DataOraScontrino", days);
}

// Receipts and totals, with the days that differ as details.
void CompareReceipts(const FrontFigures& front, const std::map<double, DayFigures>& back, std::vector<Check>& out) {
  Check count("printed POS receipts / back-office receipts"), total("receipt totals");
  DayFigures f_all, b_all;
  std::set<double> all_days;
  for (const auto& [day, _] : front.days) all_days.insert(day);
  for (const auto& [day, _] : back) all_days.insert(day);
  for (double day : all_days) {
    auto fi = front.days.find(day);
    auto bi = back.find(day);
    DayFigures f = fi == front.days.end() ? DayFigures{} : fi->second;
    DayFigures b = bi == back.end() ? DayFigures{} : bi->second;
    f_all.receipts += f.receipts, f_all.total += f.total;
    b_all.receipts += b.receipts, b_all.total += b.total;
    if (f.receipts != b.receipts || !TotalsAgree(f.total, b.total, f.receipts)) {
      count.details.push_back(Day(db::Date{day}) + ": " + std::to_string(f.receipts) + " POS receipts (" +
                              Money(f.total) + "), " + std::to_string(b.receipts) + " back-office receipts (" +
                              Money(b.total) + ")");
    }
  }
  count.front = std::to_string(f_all.receipts);
  count.back = std::to_string(b_all.receipts);
  count.result = f_all.receipts == b_all.receipts && count.details.empty() ? Check::kAgrees : Check::kDiffers;
  total.front = Money(f_all.total);
  total.back = Money(b_all.total);
  total.result = TotalsAgree(f_all.total, b_all.total, f_all.receipts) ? Check::kAgrees : Check::kDiffers;
  if (front.waiting) {
    count.details.push_back(std::to_string(front.waiting) +
                            " POS receipts still have rows not flagged exported (the next run selects them)");
  }
  out.push_back(count);
  out.push_back(total);
}

Check Figures(std::string what, int64_t front, int64_t back) {
  Check c(std::move(what));
  c.front = std::to_string(front);
  c.back = std::to_string(back);
  c.result = front == back ? Check::kAgrees : Check::kDiffers;
  return c;
}

Check FailedReceipts(db::Connection& back, int32_t till, const std::set<int64_t>& pos_ids) {
  Check c("receipts that failed (tabSincroErrori)");
  if (!TableExists(back, "tabSincroErrori")) {
    c.back = "not kept";
    c.result = Check::kUnknown;
    c.details.push_back("this back office has no table tabSincroErrori (an older shop): failures are only in "
                        "logVelkaris.log");
    return c;
  }
  auto rs = back.OpenRecordset("select IdScontrinoPos, Tentativi, UltimoErrore, DataUltimoTentativo from "
                               "tabSincroErrori where IdCassa = " + std::to_string(till) + " order by IdScontrinoPos",
                               db::kForwardOnly, db::kReadOnly);
  int64_t failed = 0;
  for (; !rs->Eof(); rs->MoveNext()) {
    int64_t id = db::CLng((*rs)["IdScontrinoPos"]);
    if (!pos_ids.count(id)) continue;
    ++failed;
    c.details.push_back("POS receipt " + std::to_string(id) + ": " + std::to_string(db::CLng((*rs)["Tentativi"])) +
                        " attempts, the last on " + db::CStr((*rs)["DataUltimoTentativo"]) + ": " +
                        db::CStr((*rs)["UltimoErrore"]));
  }
  c.back = std::to_string(failed);
  c.result = failed == 0 ? Check::kAgrees : Check::kDiffers;
  return c;
}

// A stock row whose level is not the sum of the movements of its barcode and warehouse
// (loads +, unloads -). Known for stock rows that have movements; an opening stock that
// was entered without a movement shows here too.
Check StockRows(db::Connection& back) {
  Check c("stock rows that differ from their movements");
  auto rs = back.OpenRecordset(
      "select tabGiacenze.IdGiacenza as Id, tabGiacenze.Barcode as Barcode, tabGiacenze.idMagazzino as Magazzino, "
      "tabGiacenze.Giacenza as Giacenza, sum(case when tabCausali.TipoMovimento = 'S' then -abs(tabDettaglioMagazzino.Quantita) "
      "when tabCausali.TipoMovimento = 'C' then abs(tabDettaglioMagazzino.Quantita) else 0 end) as Movimenti "
      "from tabGiacenze inner join tabDettaglioMagazzino on tabDettaglioMagazzino.Barcode = tabGiacenze.Barcode "
      "and tabDettaglioMagazzino.idMagazzino = tabGiacenze.idMagazzino "
      "inner join tabTestateMagazzino on tabTestateMagazzino.idTestata = tabDettaglioMagazzino.idTestata "
      "inner join tabCausali on tabCausali.IdCausale = tabTestateMagazzino.IdCausale "
      "group by tabGiacenze.IdGiacenza, tabGiacenze.Barcode, tabGiacenze.idMagazzino, tabGiacenze.Giacenza",
      db::kForwardOnly, db::kReadOnly);
  int64_t checked = 0, differ = 0;
  for (; !rs->Eof(); rs->MoveNext()) {
    ++checked;
    double level = Number((*rs)["Giacenza"]), moved = Number((*rs)["Movimenti"]);
    if (std::fabs(level - moved) < 1e-6) continue;
    ++differ;
    if (c.details.size() < 20) {
      c.details.push_back("barcode " + db::CStr((*rs)["Barcode"]) + " in warehouse " +
                          std::to_string(db::CLng((*rs)["Magazzino"])) + ": stock " + db::CStr(db::Value(level)) +
                          ", movements " + db::CStr(db::Value(moved)));
    }
  }
  if (differ > 20) c.details.push_back("... and " + std::to_string(differ - 20) + " more");
  c.front = std::to_string(checked) + " checked";
  c.back = std::to_string(differ);
  c.result = differ == 0 ? Check::kAgrees : Check::kDiffers;
  return c;
}

}  // namespace

std::vector<Check> Reconcile(db::Connection& front, db::Connection& back, int32_t till, const DayRange& days) {
  std::vector<Check> out;
  FrontFigures f = ReadFront(front, days);
  CompareReceipts(f, ReadBackReceipts(back, till, days), out);
  const std::string range = BackReceiptsOfRange(till, days);
  out.push_back(Figures("POS rows flagged exported / receipt rows", f.rows_flagged,
                        Count(back, "select count(*) from tabDettaglioScontrini inner join tabTestateScontrini on "
                                    "tabTestateScontrini.idTestata = tabDettaglioScontrini.idTestata where " + range)));
  out.push_back(Figures("POS article rows / receipt rows with a movement", f.rows_to_move,
                        Count(back, "select count(distinct tabDettaglioMagazzino.idDettaglioScontrino) from "
                                    "tabDettaglioMagazzino inner join tabDettaglioScontrini on "
                                    "tabDettaglioScontrini.idDettaglio = tabDettaglioMagazzino.idDettaglioScontrino "
                                    "inner join tabTestateScontrini on tabTestateScontrini.idTestata = "
                                    "tabDettaglioScontrini.idTestata where " + range)));
  out.push_back(FailedReceipts(back, till, f.receipt_ids));
  out.push_back(StockRows(back));
  return out;
}

std::string FormatChecks(const std::vector<Check>& checks) {
  std::string out;
  char line[256];
  std::snprintf(line, sizeof line, "%-50s %14s %14s  %s\n", "check", "front office", "back office", "result");
  out += line;
  for (const Check& c : checks) {
    const char* result = c.result == Check::kAgrees ? "ok" : c.result == Check::kDiffers ? "DIFFERS" : "unknown";
    std::snprintf(line, sizeof line, "%-50s %14s %14s  %s\n", c.what.c_str(), c.front.c_str(), c.back.c_str(), result);
    out += line;
    for (const std::string& d : c.details) out += "    " + d + "\n";
  }
  return out;
}

}  // namespace velkaris
