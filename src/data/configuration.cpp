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

std::string RegistryValueProblem(Context& ctx, std::string_view section, std::string_view name,
                                 platform::RegistryValue::Type expected) {
  std::string key = platform::RootKeyName(std::string(kHkeyCurrentUser)) + "\\" + std::string(kRegistryKeyPath) + "\\" +
                    std::string(section);
  auto value = ctx.registry.Get(key, name);
  if (!value) return "";
  std::string what = "the registry value \"" + std::string(name) + "\" in '" + ctx.registry.source() + "'";
  std::string must = expected == platform::RegistryValue::kText ? "a text, written \"Name\"=\"...\""
                                                                 : "a number, written \"Name\"=dword:0000000a";
  switch (value->type) {
    case platform::RegistryValue::kInvalid:
      return what + " cannot be read (" + value->text + "): it must be " + must;
    case platform::RegistryValue::kOther:
      return what + " is of a type velkaris does not read: it must be " + must;
    case platform::RegistryValue::kText:
      if (expected == platform::RegistryValue::kDword && !db::IsNumeric(db::Value(value->text))) {
        return what + " is the text \"" + value->text + "\": it must be " + must;
      }
      return "";
    default: return "";
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

// Runs a conversion of `text`; a conversion error becomes one that names where the text
// came from and what to do.
template <class Convert>
auto Converted(const std::string& text, const std::string& where, const std::string& todo, Convert convert) {
  try {
    return convert(db::Value(text));
  } catch (const db::VbError& e) {
    throw db::Error(where + " is \"" + text + "\", which is not a usable number (" + e.what() + "): " + todo + ".");
  }
}

std::string SettingWhere(const std::string& key) {
  return "The shop setting \"" + key + "\" (tabImpostazioni of the front office)";
}

int16_t SettingInt16(Context& ctx, const std::string& key, const std::string& fallback) {
  return Converted(getDbValue(ctx, key, fallback), SettingWhere(key), "correct its valore",
                   [](const db::Value& v) { return db::CInt(db::Value(db::CLng(v))); });
}

int16_t SettingFlag(Context& ctx, const std::string& key, const std::string& fallback) {
  return Converted(getDbValue(ctx, key, fallback), SettingWhere(key), "correct its valore",
                   [](const db::Value& v) { return db::CInt(v); });
}

int32_t SettingLong(Context& ctx, const std::string& key, const std::string& fallback) {
  return Converted(getDbValue(ctx, key, fallback), SettingWhere(key), "correct its valore",
                   [](const db::Value& v) { return db::CLng(v); });
}

// The till: a missing or unreadable "IdCassa" would write every receipt as till 0.
int32_t TillNumber(Context& ctx) {
  if (std::string problem = RegistryValueProblem(ctx, "Options", "IdCassa", platform::RegistryValue::kDword);
      !problem.empty()) {
    throw db::Error("The till is not known: " + problem + ". Nothing is transferred until it is set.");
  }
  db::Value id = GetKeyValue(ctx, "Options", "IdCassa", db::Value());
  if (id.IsNull()) {
    throw db::Error("The till is not known: the registry value \"IdCassa\" is missing in '" + ctx.registry.source() +
                    "': add this till's number, e.g. \"IdCassa\"=dword:00000001. Nothing is transferred until it "
                    "is set.");
  }
  return db::CLng(id);
}

}  // namespace

bool SubInitParams(Context& ctx) {
  Settings& s = ctx.settings;
  // A setting or VAT rate that could not be read is logged by its reader, which goes on
  // with the default; the settings then did not load all the same.
  const int64_t errors_before = ctx.logs.error_count();
  bool ok = Guarded(ctx, "SubInitParams", [&] {
    s.CodiceIvaPredefinito = getDbValue(ctx, "CodiceIvaPredefinito", "21");
    bool found = false;
    double rate = funGetAliquotaIvaByCodice(ctx, s.CodiceIvaPredefinito, ctx.connDbLocale.get(), found);
    if (found) s.AliquotaIvaPredefinita = rate;
    s.LunghMaxBarcode = SettingInt16(ctx, "LunghMaxBarcode", "30");
    s.LunghMaxDescrizione = SettingInt16(ctx, "LunghMaxDescrizione", "0");
    s.LunghMaxSchedaTecnica = SettingInt16(ctx, "LunghMaxSchedaTecnica", "0");
    s.UnitaMisuraPredefinita = getDbValue(ctx, "UnitaMisuraPredefinita", "PZ");
    s.PrezziFatturaNettoIva = SettingFlag(ctx, "PrezziFatturaNettoIva", "0");
    s.PrezziFatturaNettoIva_PCassa = SettingFlag(ctx, "PrezziFatturaNettoIva_PCassa", "0");
    s.ValutaAziendale = getDbValue(ctx, "ValutaAziendale", "");
    s.CifreDecimaliQuantita = SettingFlag(ctx, "CifreDecimaliQuantita", "0");
    s.BollettarioPredefinito = getDbValue(ctx, "BollettarioPredefinito", "");
    s.CifreDecimali = SettingFlag(ctx, "CifreDecimali", "2");
    s.FormatoNumero = "###,###,##0." + std::string(s.CifreDecimali > 0 ? s.CifreDecimali : 0, '0');
    s.GestioneAnagraficheConBarcode = SettingFlag(ctx, "GestioneAnagraficheConBarcode", "1");

    if (std::string problem = RegistryValueProblem(ctx, "Options", "IdMagazzinoForzato", platform::RegistryValue::kText);
        !problem.empty()) {
      throw db::Error("The warehouse is not known: " + problem + ".");
    }
    std::string warehouse = db::CStr(GetKeyValue(ctx, "Options", "IdMagazzinoForzato", db::Value("")));
    std::string where = "The registry value \"IdMagazzinoForzato\" in '" + ctx.registry.source() + "'";
    std::string todo = "set it to the id of the warehouse, or leave it empty to use the shop setting";
    if (warehouse.empty()) {
      warehouse = getDbValue(ctx, "IdMagazzinoCorrente", "0");
      where = SettingWhere("IdMagazzinoCorrente");
      todo = "set its valore to the id of the warehouse";
    }
    if (!warehouse.empty()) s.IdMagazzinoCorrente = Converted(warehouse, where, todo, [](const db::Value& v) { return db::CLng(v); });

    s.IdCassa = TillNumber(ctx);
    s.TipoPrezzoAcquistoRegola = SettingLong(ctx, "TipoPrezzoAcquistoRegola", "8");

    auto rs = ctx.connDbLocale->OpenRecordset(
        "Select * from tabValute where Valuta='" + Apice(ctx, s.ValutaAziendale) + "'", db::kStatic, db::kReadOnly);
    if (rs->Eof()) {
      s.ArrotondamentoValutaAziendale = 2;
    } else {
      s.ArrotondamentoValutaAziendale = db::CDbl(TestNull(ctx, (*rs)["Arrotondamento"], db::Value(0)));
    }
    CloseRS(rs);
  });
  if (ok && ctx.logs.error_count() > errors_before) {
    ctx.logs.ScriviLogErrore("SubInitParams", "The shop settings could not all be read (see the entries above): "
                                              "nothing is transferred until they can.");
    return false;
  }
  return ok;
}

}  // namespace velkaris
