#include "run/sync_report.h"

#include <cstdio>

#include "core/failure.h"

namespace velkaris {
namespace {

std::string Flag(bool b) { return db::CStr(db::Value(b)); }

std::string HeaderLine(const clsSincroTestataScontrino& h) {
  return "Testata sincronizzata - " + std::string(" IdTestataMovMagBKF:") + std::to_string(h.IdTestataMovMagBKF) +
         " IdTestataPOS:" + std::to_string(h.IdTestataPOS) +
         " IdTestataScontrinoBKF:" + std::to_string(h.IdTestataScontrinoBKF) +
         " SincronizzatoMovMagBKF:" + Flag(h.SincronizzatoMovMagBKF) +
         " SincronizzatoScontrinoBKF:" + Flag(h.SincronizzatoScontrinoBKF);
}

std::string RowLine(const clsSincroDettaglioScontrno& r) {
  bool ok = r.SincronizzatoMovMagBKF && r.SincronizzatoScontrinoBKF;
  return std::string(ok ? "     Riga sincronizzata - " : "     ERRORE Riga sincronizzata - ") +
         " IdDettaglioMovMagBKF:" + std::to_string(r.IdDettaglioMovMagBKF) +
         " IdDettaglioPOS:" + std::to_string(r.IdDettaglioPOS) +
         " IdDettaglioScontrinoBKF:" + std::to_string(r.IdDettaglioScontrinoBKF) +
         " SincronizzatoMovMagBKF:" + Flag(r.SincronizzatoMovMagBKF) +
         " SincronizzatoScontrinoBKF:" + Flag(r.SincronizzatoScontrinoBKF);
}

}  // namespace

bool ParseCollectionForLoggin(Context& ctx, SyncCollection& receipts) {
  bool result = false;
  Guarded(ctx, "ParseCollectionForLoggin", [&] {
    if (receipts.empty()) {
      ctx.logs.AppendSync(ctx.logs.TimeStamp() + " - Nessun dato da esportare. Programma in chiusura.");
      result = true;
      return;
    }
    db::Date tomorrow{ctx.clock.Now().serial + 1};
    std::string tomorrow_file = ctx.logs.SyncLogPath(tomorrow);
    ctx.logs.RemoveFile(tomorrow_file);
    std::string block = "Esito avvio sincronizzazione - " + ctx.logs.TimeStamp();
    for (const auto& header : receipts) {
      block += "\r\n" + HeaderLine(*header);
      for (const auto& row : header->Righe) block += "\r\n" + RowLine(*row);
    }
    block += "\r\nFine sincronizzazione - " + ctx.logs.TimeStamp();
    block += "\r\n ";
    ctx.logs.AppendSync(block);
    result = true;
  });
  return result;
}

}  // namespace velkaris
