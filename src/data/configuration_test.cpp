#include "data/configuration.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "testing/context_fixture.h"
#include "testing/fault_injector.h"

namespace velkaris {
namespace {

using db::Value;

class ConfigurationTest : public testing_support::ContextTest {
 protected:
  void SetUp() override {
    ctx.connDbLocale->Execute("insert into tabAliquoteIva values ('22', 'Ordinaria', 22), ('21', 'Vecchia', 21), "
                              "('X', 'Senza', NULL)");
    ctx.connDbLocale->Execute("insert into tabValute values ('EUR', 'Euro', 0.05), ('L''IT', 'Lira', 50)");
    SetRegistryNumber("IdCassa", 3);
  }
};

TEST_F(ConfigurationTest, GetKeyValueGivesTextNumbersOrTheDefault) {
  SetRegistryText("IdMagazzinoForzato", "3");
  SetRegistryNumber("IdCassa", 7);
  EXPECT_EQ(GetKeyValue(ctx, "Options", "idmagazzinoforzato", Value("")), Value("3"));
  EXPECT_EQ(GetKeyValue(ctx, "options", "IdCassa", Value("0")), Value(7));
  EXPECT_EQ(GetKeyValue(ctx, "Options", "Missing", Value("dflt")), Value("dflt"));
  EXPECT_EQ(GetKeyValue(ctx, "Other", "IdCassa", Value(-1)), Value(-1));
  platform::RegistryValue binary;
  ctx.registry.Set("HKEY_CURRENT_USER\\SOFTWARE\\KORV\\ARN\\Options", "Bin", binary);
  EXPECT_EQ(GetKeyValue(ctx, "Options", "Bin", Value("d")), Value("d"));
}

TEST_F(ConfigurationTest, GetDbValueReadsTheSettingOrTheDefault) {
  SetSetting("CifreDecimali", "3");
  ctx.connDbPuntoCassa->Execute("insert into tabImpostazioni values ('Vuota', NULL)");
  EXPECT_EQ(getDbValue(ctx, "CifreDecimali", "2"), "3");
  EXPECT_EQ(getDbValue(ctx, "cifredecimali", "2"), "3");
  EXPECT_EQ(getDbValue(ctx, "Vuota", "d"), "d");
  EXPECT_EQ(getDbValue(ctx, "Missing", "d"), "d");
  EXPECT_TRUE(ErrorLogLines().empty());
  // The key goes into the SQL text as it is: an apostrophe breaks the statement.
  EXPECT_EQ(getDbValue(ctx, "it's", "d"), "d");
  EXPECT_EQ(ErrorsFrom("getDbValue").size(), 1u);
}

TEST_F(ConfigurationTest, AliquotaIvaByCodice) {
  bool found = true;
  ctx.settings.AliquotaIvaPredefinita = 10;
  EXPECT_EQ(funGetAliquotaIvaByCodice(ctx, "22", nullptr, found), 22);
  EXPECT_TRUE(found);
  EXPECT_EQ(funGetAliquotaIvaByCodice(ctx, "99", nullptr, found), 10);
  EXPECT_FALSE(found);
  EXPECT_EQ(funGetAliquotaIvaByCodice(ctx, "X", ctx.connDbLocale.get(), found), 10);
  EXPECT_TRUE(found);
  EXPECT_EQ(funGetAliquotaIvaByCodice(ctx, "a'b", nullptr, found), 0);
  EXPECT_EQ(ErrorsFrom("funGetAliquotaIvaByCodice").size(), 1u);
}

TEST_F(ConfigurationTest, SubInitParamsFillsEverySettingWithItsDefaults) {
  SetSetting("CodiceIvaPredefinito", "22");
  SetSetting("ValutaAziendale", "EUR");
  SetRegistryNumber("IdCassa", 4);
  EXPECT_TRUE(SubInitParams(ctx));
  const Settings& s = ctx.settings;
  EXPECT_EQ(s.CodiceIvaPredefinito, "22");
  EXPECT_EQ(s.AliquotaIvaPredefinita, 22);
  EXPECT_EQ(s.LunghMaxBarcode, 30);
  EXPECT_EQ(s.LunghMaxDescrizione, 0);
  EXPECT_EQ(s.LunghMaxSchedaTecnica, 0);
  EXPECT_EQ(s.UnitaMisuraPredefinita, "PZ");
  EXPECT_EQ(s.PrezziFatturaNettoIva, 0);
  EXPECT_EQ(s.PrezziFatturaNettoIva_PCassa, 0);
  EXPECT_EQ(s.ValutaAziendale, "EUR");
  EXPECT_EQ(s.CifreDecimaliQuantita, 0);
  EXPECT_EQ(s.BollettarioPredefinito, "");
  EXPECT_EQ(s.CifreDecimali, 2);
  EXPECT_EQ(s.FormatoNumero, "###,###,##0.00");
  EXPECT_EQ(s.GestioneAnagraficheConBarcode, 1);
  EXPECT_EQ(s.IdMagazzinoCorrente, 0);
  EXPECT_EQ(s.IdCassa, 4);
  EXPECT_EQ(s.TipoPrezzoAcquistoRegola, 8);
  EXPECT_EQ(s.ArrotondamentoValutaAziendale, 0.05);
  EXPECT_TRUE(ErrorLogLines().empty());
}

TEST_F(ConfigurationTest, FormatoNumeroFollowsCifreDecimali) {
  for (auto [digits, format] : {std::pair<const char*, const char*>{"3", "###,###,##0.000"}, {"0", "###,###,##0."}}) {
    SetSetting("CifreDecimali", digits);
    SubInitParams(ctx);
    EXPECT_EQ(ctx.settings.FormatoNumero, format);
  }
}

TEST_F(ConfigurationTest, DefaultVatCodeMissingKeepsThePreviousRateAndUnknownCurrencyRoundsToTwo) {
  ctx.settings.AliquotaIvaPredefinita = 17;
  SubInitParams(ctx);  // "21" by default
  EXPECT_EQ(ctx.settings.CodiceIvaPredefinito, "21");
  EXPECT_EQ(ctx.settings.AliquotaIvaPredefinita, 21);
  SetSetting("CodiceIvaPredefinito", "77");
  SetSetting("ValutaAziendale", "USD");
  SubInitParams(ctx);
  EXPECT_EQ(ctx.settings.AliquotaIvaPredefinita, 21);
  EXPECT_EQ(ctx.settings.ArrotondamentoValutaAziendale, 2);
  SetSetting("ValutaAziendale", "L''IT");  // a currency code with an apostrophe is quoted
  SubInitParams(ctx);
  EXPECT_EQ(ctx.settings.ArrotondamentoValutaAziendale, 50);
}

TEST_F(ConfigurationTest, ForcedWarehouseOverridesTheSettingWhichIsThenNotRead) {
  SetSetting("IdMagazzinoCorrente", "2");
  SubInitParams(ctx);
  EXPECT_EQ(ctx.settings.IdMagazzinoCorrente, 2);

  SetRegistryText("IdMagazzinoForzato", "9");
  testing_support::FaultInjector recorder;
  recorder.Attach(*ctx.connDbPuntoCassa);
  SubInitParams(ctx);
  EXPECT_EQ(ctx.settings.IdMagazzinoCorrente, 9);
  EXPECT_TRUE(recorder.StatementsMatching("IdMagazzinoCorrente").empty());
  EXPECT_FALSE(recorder.StatementsMatching("TipoPrezzoAcquistoRegola").empty());
}

TEST_F(ConfigurationTest, AFailingStepStopsTheRestAtTheirStartValues) {
  SetSetting("ValutaAziendale", "EUR");
  SetRegistryText("IdMagazzinoForzato", "north");
  SetRegistryNumber("IdCassa", 4);
  EXPECT_FALSE(SubInitParams(ctx));
  ASSERT_EQ(ErrorsFrom("SubInitParams").size(), 1u);
  EXPECT_NE(ErrorsFrom("SubInitParams")[0].find("Type mismatch"), std::string::npos);
  EXPECT_EQ(ctx.settings.ValutaAziendale, "EUR");  // before the failing step
  EXPECT_EQ(ctx.settings.IdMagazzinoCorrente, 0);  // the failing step and after
  EXPECT_EQ(ctx.settings.IdCassa, 0);
  EXPECT_EQ(ctx.settings.TipoPrezzoAcquistoRegola, 0);
  EXPECT_EQ(ctx.settings.ArrotondamentoValutaAziendale, 0);
}


TEST_F(ConfigurationTest, ValuesThatCannotServeAreNamedWithWhatToDo) {
  struct Case {
    const char* name;
    std::function<void()> set;
    std::vector<std::string> expected;  // parts of the one SubInitParams entry
  };
  const std::vector<Case> cases = {
      {"no till", [&] { ctx.registry = platform::Registry(); },
       {"The till is not known", "\"IdCassa\" is missing", "dword:00000001", "Nothing is transferred"}},
      {"unreadable till",
       [&] { ctx.registry.Set("HKEY_CURRENT_USER\\SOFTWARE\\KORV\\ARN\\Options", "IdCassa",
                              {platform::RegistryValue::kInvalid, "dword:zz", 0}); },
       {"The till is not known", "\"IdCassa\"", "cannot be read (dword:zz)", "a number"}},
      {"till as a word", [&] { SetRegistryText("IdCassa", "uno"); }, {"\"IdCassa\"", "is the text \"uno\""}},
      {"forced warehouse not a number", [&] { SetRegistryText("IdMagazzinoForzato", "abc"); },
       {"\"IdMagazzinoForzato\"", "\"abc\", which is not a usable number (Type mismatch)", "id of the warehouse"}},
      {"setting not a number", [&] { SetSetting("CifreDecimali", "due"); },
       {"The shop setting \"CifreDecimali\"", "\"due\"", "correct its valore"}},
  };
  for (const Case& c : cases) {
    ctx.settings = Settings();
    SetRegistryNumber("IdCassa", 3);
    c.set();
    size_t before = ErrorsFrom("SubInitParams").size();
    EXPECT_FALSE(SubInitParams(ctx)) << c.name;
    auto errors = ErrorsFrom("SubInitParams");
    ASSERT_EQ(errors.size(), before + 1) << c.name;
    for (const std::string& part : c.expected) EXPECT_NE(errors.back().find(part), std::string::npos) << c.name << ": " << errors.back();
    // Reset what the case changed.
    ctx.connDbPuntoCassa->Execute("delete from tabImpostazioni");
    ctx.registry = platform::Registry();
  }
}


TEST_F(ConfigurationTest, SettingsThatCannotBeReadFailTheLoadThoughEachReaderGoesOnWithItsDefault) {
  SetRegistryNumber("IdCassa", 3);
  ctx.connDbPuntoCassa->Execute("drop table tabImpostazioni");
  EXPECT_FALSE(SubInitParams(ctx));
  EXPECT_FALSE(ErrorsFrom("getDbValue").empty());
  ASSERT_EQ(ErrorsFrom("SubInitParams").size(), 1u);
  EXPECT_NE(ErrorsFrom("SubInitParams")[0].find("could not all be read"), std::string::npos);
  EXPECT_EQ(ctx.settings.CifreDecimali, 2);  // the defaults were still taken, as the original does
}

}  // namespace
}  // namespace velkaris
