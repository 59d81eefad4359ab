#include "testing/shop_fixture.h"

#include "db/recordset.h"
#include "data/configuration.h"

namespace testing_support {

using db::Value;


ShopTest::ShopTest() {
  auto& back = *ctx.connDbLocale;
  auto& front = *ctx.connDbPuntoCassa;
  for (auto [key, value] : {std::pair<const char*, const char*>{"CodiceIvaPredefinito", "22"},
                            {"ValutaAziendale", "EUR"}, {"CifreDecimali", "2"}, {"CifreDecimaliQuantita", "3"},
                            {"IdMagazzinoCorrente", "1"}, {"GestioneAnagraficheConBarcode", "1"}}) {
    Insert(front, "tabImpostazioni", {{"descrizione", Value(key)}, {"valore", Value(value)}});
  }
  Insert(back, "tabAliquoteIva", {{"Codice", Value("22")}, {"aliquotaIva", Value(22.0)}});
  Insert(back, "tabAliquoteIva", {{"Codice", Value("10")}, {"aliquotaIva", Value(10.0)}});
  Insert(back, "tabAliquoteIva", {{"Codice", Value("4")}, {"aliquotaIva", Value(4.0)}});
  Insert(back, "tabValute", {{"Valuta", Value("EUR")}, {"Arrotondamento", Value(0.0)}});
  // Causali: 4 sale, 5 return and 6 return to stock (the warehouse causali of the receipts).
  Insert(back, "tabCausali", {{"IdCausale", Value(4)}, {"Causale", Value("VEN")}, {"TipoMovimento", Value("S")},
                              {"FlagVendita", Value(true)}, {"Gestionale", Value(true)}});
  Insert(back, "tabCausali", {{"IdCausale", Value(5)}, {"Causale", Value("RES")}, {"TipoMovimento", Value("C")},
                              {"Gestionale", Value(true)}});
  Insert(back, "tabCausali", {{"IdCausale", Value(6)}, {"Causale", Value("RIC")}, {"TipoMovimento", Value("C")},
                              {"Gestionale", Value(true)}});
  Insert(back, "tabCausali", {{"IdCausale", Value(1)}, {"Causale", Value("VENDITA")}, {"TipoMovimento", Value("S")}});
  Insert(back, "tabCausali", {{"IdCausale", Value(2)}, {"Causale", Value("RESO")}, {"TipoMovimento", Value("C")}});
  Insert(back, "tabArticoli", {{"idArticolo", Value(1)}, {"CodiceArticolo", Value("ART1")}, {"Descrizione", Value("Latte")},
                               {"aliquotaIva", Value(22.0)}, {"CodiceIva", Value("22")}, {"UM", Value("PZ")},
                               {"TipoUmVen", Value(1)}, {"AggiornaGiacenze", Value(true)},
                               {"CostoImponibile", Value(5.0)}, {"CostoImporto", Value(6.1)},
                               {"CostoCodiceIva", Value("22")}, {"PrezzoVendita", Value(12.2)}});
  Insert(back, "tabBarcode", {{"Barcode", Value("8001")}, {"idArticolo", Value(1)}});
  Insert(back, "tabArticoli", {{"idArticolo", Value(2)}, {"CodiceArticolo", Value("ART2")}, {"Descrizione", Value("Pane")},
                               {"aliquotaIva", Value(4.0)}, {"CodiceIva", Value("4")}, {"UM", Value("PZ")},
                               {"TipoUmVen", Value(1)}, {"AggiornaGiacenze", Value(true)}});
  Insert(back, "tabBarcode", {{"Barcode", Value("8002")}, {"idArticolo", Value(2)}});
  Insert(back, "tabPersonale", {{"id", Value(3)}, {"idUtente", Value(30)}});
  Insert(front, "tabPersonale", {{"id", Value(3)}, {"idUtente", Value(30)}});
  Insert(back, "tabFidelity_Regole", {{"idRegola", Value(1)}, {"ModalitaPunti", Value(true)},
                                      {"PremiComeIncasso", Value(true)}});
  Insert(back, "tabFidelityCard", {{"idFidelityCard", Value(77)}, {"idRegola", Value(1)}});

  SetRegistryNumber("IdCassa", 1);
  velkaris::SubInitParams(ctx);
}

void ShopTest::PosReceipt(int id, Columns columns) {
  Insert(*ctx.connDbPuntoCassa, "tabTestate",
               {{"idTestata", Value(id)}, {"IdCausale", Value(4)}, {"Printed", Value(true)},
                {"Data", Value(db::Date::FromParts(2026, 12, 4))}, {"Ora", Value(db::Date::FromParts(1899, 12, 30, 19, 5, 11))},
                {"Operatore", Value(3)}, {"Cassa", Value(1)}, {"NumScontrino", Value(id)}},
               columns);
}

void ShopTest::PosRow(int id, int receipt, Columns columns) {
  Insert(*ctx.connDbPuntoCassa, "tabDettaglio",
               {{"idDettaglio", Value(id)}, {"IdTestata", Value(receipt)}, {"IdCausale", Value(1)},
                {"Barcode", Value("8001")}, {"Descrizione", Value("Latte")}, {"Quantita", Value(1.0)},
                {"Prezzo", Value(12.2)}, {"AIva", Value(22.0)}, {"CodiceIva", Value("22")},
                {"TotaleNettoSconto", Value(12.2)}, {"FlagExport", Value(false)}, {"idOperatore_Riga", Value(3)}},
               columns);
}

void ShopTest::PosPayment(int receipt, double amount, Columns columns) {
  Insert(*ctx.connDbPuntoCassa, "tabPagamentiScontrini",
               {{"idTestata", Value(receipt)}, {"ImportoIncassato", Value(amount)}, {"IdPagamento", Value(1)},
                {"Coefficiente", Value(1)}, {"DataOperazione", Value(db::Date::FromParts(2026, 12, 4))},
                {"FlagExport", Value(false)}},
               columns);
}

int64_t ShopTest::Count(const std::string& table, const std::string& where) {
  return db::CLng(Back("select count(*) from " + table + " where " + where));
}

}  // namespace testing_support
