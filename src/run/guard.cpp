#include "run/guard.h"

#include "db/recordset.h"
#include "platform/system.h"
#include "data/configuration.h"
#include "core/failure.h"

namespace velkaris {

std::string funGetNomeComputer(Context& ctx) {
  if (ctx.computer_name.empty()) ctx.computer_name = platform::ComputerName();
  return ctx.computer_name;
}

namespace {

// Without VIEW SERVER STATE, sys.sysprocesses shows a login only its own sessions: the guard
// would never see another till. Said once, at start, in the error log; the run goes on.
void WarnWithoutViewServerState(Context& ctx) {
  try {
    auto rs = ctx.connDbLocale->OpenRecordset("SELECT HAS_PERMS_BY_NAME(NULL, NULL, 'VIEW SERVER STATE') AS granted",
                                              db::kStatic, db::kReadOnly);
    if (rs->Eof() || rs->Field(0).IsNull() || db::CLng(rs->Field(0)) == 1) return;
  } catch (const std::exception&) {
    return;  // the check itself is best effort
  }
  ctx.logs.ScriviLogErrore("EsistonoTransazioniInCorso",
                           "The back-office login lacks the VIEW SERVER STATE permission: sys.sysprocesses shows it "
                           "only its own sessions, so this check cannot see other tills' runs. Grant it on the server "
                           "with GRANT VIEW SERVER STATE TO [login]");
}

}  // namespace

bool EsistonoTransazioniInCorso(Context& ctx) {
  bool result = false;
  Guarded(ctx, "EsistonoTransazioniInCorso", [&] {
    db::Value on = GetKeyValue(ctx, "options", "Velkarissysprocesses", db::Value("1"));
    if (db::CStr(on) == "0") return;
    if (ctx.connDbLocale->IsSqlServer()) WarnWithoutViewServerState(ctx);
    std::string sql = "SELECT * FROM sys.sysprocesses WHERE dbid > 0 and hostname<> '" + funGetNomeComputer(ctx) +
                      "' and program_name ='" + kApplicationName +
                      "' and last_batch > dateadd(\"mi\", -10, getdate())";
    auto rs = ctx.connDbLocale->OpenRecordset(sql, db::kStatic, db::kReadOnly);
    if (rs->Eof()) {
      rs->Close();
      return;
    }
    std::string text = ctx.logs.TimeStamp() + " - Esistono una o più transazioni Velkaris pendenti su SQL.";
    for (int counter = 1; !rs->Eof(); rs->MoveNext(), ++counter) {
      text += "\r\n" + ctx.logs.TimeStamp() + " - Riga record: " + std::to_string(counter) + "\r\n";
      for (int i = 0; i < rs->FieldCount(); ++i) {
        const db::Value& v = rs->Field(i);
        text += rs->FieldName(i) + ": " + (v.IsNull() ? "" : db::CStr(v)) + "\r\n";
      }
    }
    ctx.logs.AppendSync(text);
    rs->Close();
    result = true;
  });
  return result;
}

}  // namespace velkaris
