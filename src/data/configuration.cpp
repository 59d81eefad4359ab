#include "data/configuration.h"

#include "data/sql_helpers.h"
#include "core/failure.h"

namespace velkaris {

db::Value GetKeyValue(Context& ctx, std::string_view section, std::string_view name,
                      const db::Value& fallback, std::string_view key_path, std::string_view root) {
  std::string key = platform::RootKeyName(root) + "\\" + std::string(key_path) + "\\" + std::string(section);
  auto value = ctx.registry.Get(key, name);
  if (!value) return fallback;
  switch (value->type) {
    case platform::RegistryValue::kText: return db::Value(value->text);
    case platform::RegistryValue::kDword: return db::Value(static_cast<int32_t>(value->dword));
    default: return fallback;
  }
}

std::string getDbValue(Context& ctx, const std::string& key, const std::string& fallback) {
  std::string result = fallback;
  Guarded(ctx, "getDbValue", [&] {
    auto rs = ctx.connDbPuntoCassa->OpenRecordset(
        "SELECT * FROM tabImpostazioni WHERE descrizione='" + key + "'", db::kStatic, db::kReadOnly);
    if (!rs->Eof()) {
      const db::Value& v = (*rs)["valore"];
      result = v.IsNull() ? fallback : db::CStr(v);
    }
    rs->Close();
  });
  return result;
}

double funGetAliquotaIvaByCodice(Context& ctx, const std::string& code, db::Connection* connection,
                                 bool& found) {
  double result = 0;
  Guarded(ctx, "funGetAliquotaIvaByCodice", [&] {
    db::Connection& conn = connection ? *connection : *ctx.connDbLocale;
    auto rs = conn.OpenRecordset("Select * from tabAliquoteIva where Codice='" + code + "'", db::kStatic,
                                 db::kReadOnly);
    found = !rs->Eof();
    if (found) {
      result = db::CDbl(TestNull(ctx, (*rs)["aliquotaIva"], db::Value(ctx.settings.AliquotaIvaPredefinita)));
    } else {
      result = ctx.settings.AliquotaIvaPredefinita;
    }
    rs->Close();
  });
  return result;
}

namespace {

int16_t SettingInt16(Context& ctx, const std::string& key, const std::string& fallback) {
  return db::CInt(db::Value(db::CLng(db::Value(getDbValue(ctx, key, fallback)))));
}

}  // namespace

bool SubInitParams(Context& ctx) {
  Settings& s = ctx.settings;
  return Guarded(ctx, "SubInitParams", [&] {
    s.CodiceIvaPredefinito = getDbValue(ctx, "CodiceIvaPredefinito", "21");
    bool found = false;
    double rate = funGetAliquotaIvaByCodice(ctx, s.CodiceIvaPredefinito, ctx.connDbLocale.get(), found);
    if (found) s.AliquotaIvaPredefinita = rate;
    s.LunghMaxBarcode = SettingInt16(ctx, "LunghMaxBarcode", "30");
    s.LunghMaxDescrizione = SettingInt16(ctx, "LunghMaxDescrizione", "0");
    s.LunghMaxSchedaTecnica = SettingInt16(ctx, "LunghMaxSchedaTecnica", "0");
    s.UnitaMisuraPredefinita = getDbValue(ctx, "UnitaMisuraPredefinita", "PZ");
    s.PrezziFatturaNettoIva = db::CInt(db::Value(getDbValue(ctx, "PrezziFatturaNettoIva", "0")));
    s.PrezziFatturaNettoIva_PCassa = db::CInt(db::Value(getDbValue(ctx, "PrezziFatturaNettoIva_PCassa", "0")));
    s.ValutaAziendale = getDbValue(ctx, "ValutaAziendale", "");
    s.CifreDecimaliQuantita = db::CInt(db::Value(getDbValue(ctx, "CifreDecimaliQuantita", "0")));
    s.BollettarioPredefinito = getDbValue(ctx, "BollettarioPredefinito", "");
    s.CifreDecimali = db::CInt(db::Value(getDbValue(ctx, "CifreDecimali", "2")));
    s.FormatoNumero = "###,###,##0." + std::string(s.CifreDecimali > 0 ? s.CifreDecimali : 0, '0');
    s.GestioneAnagraficheConBarcode = db::CInt(db::Value(getDbValue(ctx, "GestioneAnagraficheConBarcode", "1")));

    std::string warehouse = db::CStr(GetKeyValue(ctx, "Options", "IdMagazzinoForzato", db::Value("")));
    if (warehouse.empty()) warehouse = getDbValue(ctx, "IdMagazzinoCorrente", "0");
    if (!warehouse.empty()) s.IdMagazzinoCorrente = db::CLng(db::Value(warehouse));

    s.IdCassa = db::CLng(GetKeyValue(ctx, "Options", "IdCassa", db::Value("0")));
    s.TipoPrezzoAcquistoRegola = db::CLng(db::Value(getDbValue(ctx, "TipoPrezzoAcquistoRegola", "8")));

    auto rs = ctx.connDbLocale->OpenRecordset(
        "Select * from tabValute where Valuta='" + Apice(ctx, s.ValutaAziendale) + "'", db::kStatic, db::kReadOnly);
    if (rs->Eof()) {
      s.ArrotondamentoValutaAziendale = 2;
    } else {
      s.ArrotondamentoValutaAziendale = db::CDbl(TestNull(ctx, (*rs)["Arrotondamento"], db::Value(0)));
    }
    CloseRS(rs);
  });
}

}  // namespace velkaris
