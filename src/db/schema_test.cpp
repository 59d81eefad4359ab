// The schemas create every table and column the program reads or writes, in the database
// where it reads or writes them; the SQL Server form declares the same tables and columns.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "db/connection.h"
#include "testing/temp_databases.h"
#include "util/text.h"

namespace {

using Columns = std::map<std::string, std::set<std::string>>;  // lower-case names

// "table: col col col" lines.
const char kFrontOffice[] = R"(
tabImpostazioni: descrizione valore
tabTestate: idTestata IdCausale Printed Fid_ImportoOmaggi idFidelityCard idCliente Chiusura Data Ora
  Fid_PuntiArticoli Fid_ImportoArticoli Fid_PuntiOmaggi Fid_PuntiSpesa Fid_ImportoSpesa Operatore Cassa
  numScontrino idListino idScontoListini Sconto1 Sconto2 Sconto3 Sconto4 ForzaListinoTestata IdModoPunti
  Fid_SaldoPunti Fid_SaldoImporto CAP idSospeso
tabDettaglio: idDettaglio IdTestata FlagExport idRiferimento IdCausale idReparto idListino barcode Descrizione
  prezzo Quantita AIva Imponibile Iva Totale Sconto1 Sconto2 Sconto3 Sconto4 ImportoSconto TotaleNettoSconto
  CodiceIva TipoSconto idBuono isOmaggio IdModoPunti Fid_PuntiArticolo Fid_ImportoArticolo ScontriniNonStampare
  idCausaleMagazzino CodiceArticolo idtipobuono Note priceManuallyChanged idOperatore_Riga idPromoAttivata
  idTipoPromoAttivata PromoExPrezzo PromoExSconto1 PromoExSconto2 PromoExSconto3 PromoExSconto4
  StoricoImportoRegolaSconto StoricoSc1RegolaSconto StoricoSc2RegolaSconto StoricoSc3RegolaSconto
  StoricoSc4RegolaSconto StoricoImportoListino StoricoSc1Listino StoricoSc2Listino StoricoSc3Listino
  StoricoSc4Listino idTabRegolePrezziVendita idtabAccontiClienti UtenteUltimoAccesso
tabPagamentiScontrini: ID idTestata FlagExport IdPagamento idCausaleContabile idUtente idCassa ImportoIncassato
  Coefficiente DataOperazione DataCreaz DataAgg UtenteUltimoAccesso Cambio valuta NoteMovimento Cassetto
  TipoOperazione ingenico_AuthCode ingenico_Ticket ingenico_CardType
tabPersonale: id idUtente
tabPuntoCassa_DettaglioDistinta: idTestata idDettaglio idArticolo qta Descrizione idVariante1 idVariante2 idVariante3
tabArticoli: idArticolo CodiceArticolo UM UM2 TipoUmVen aliquotaIva CodiceIva
tabBarcode: Barcode idArticolo
tabGiustificaSconto: ID idTestataMovimento idDettaglioMovimento idMagazzino idCassa NumeroScontrino dataScontrino
  percentualeSconto ImportoSconto motivazione flagExport dataExport
)";

const char kBackOffice[] = R"(
tabContatoriID: NomeTabella NomeColonna UltimoID
sysprocesses: dbid hostname program_name last_batch
tabAliquoteIva: Codice aliquotaIva
tabValute: Valuta Arrotondamento
tabCausali: IdCausale Causale CausaleMovimentoSecondario FlagVendita Ddt Fatture Gestionale Preventivo TipoMovimento
tabConti: ID Conto
tabClienti: IdCliente FlagIvaCliente IvaCliente CodiceIvaCliente
tabArticoli: idArticolo CodiceArticolo aliquotaIva CodiceIva UM UM2 TipoUmVen Movimentato AggiornaGiacenze
  BloccaConGiacenzaAZero Attivo Giacenza Disponibile
tabBarcode: Barcode idArticolo NonVisibile isNumSeriale isBarcodeScatola DataCreaz OraCreaz idVariante1 idVariante2
  idVariante3 Giacenza Disponibile
tabGiacenze: IdGiacenza idMagazzino Barcode idArticolo giacenza Ordinato impegnato disponibile Arrivato
tabProgressivi: Prefisso AnnoProgressivo Causale Numero
tabTestateScontrini: idTestata DataCreaz Numerazione TotaleImponibile TotaleIva TotaleImporto IdCausale IDCliente
  idFidelityCard idMagazzino idOperatore idUtente_Creazione idCassa idOrdineConsegna bollettario NumeroScontrino
  DataOraScontrino idListino idScontoListini Sconto1 Sconto2 Sconto3 Sconto4 ForzaListinoTestata Printed
  IdModoPunti Fid_SaldoPunti Fid_SaldoImporto Fid_PuntiArticoli Fid_ImportoArticoli Fid_PuntiOmaggi
  Fid_ImportoOmaggi Fid_PuntiSpesa Fid_ImportoSpesa idTransazioneFidelity DataIncasso idSospeso DataAgg
  UtenteUltimoAccesso CAP
tabDettaglioScontrini: idDettaglio idTestata Descrizione riga Note idUtente_Comanda DataCreaz IdCausale idListino
  idReparto idGiustificaSconto Barcode idArticolo PrezzoVenditaNettoIva prezzoVendita Quantita UM Quantita2 UM2
  aliquotaIva CodiceIva Sconto1 Sconto2 Sconto3 Sconto4 idBuono isOmaggio IdModoPunti Fid_PuntiArticolo
  Fid_ImportoArticolo ScontriniNonStampare CostoImponibile CostoImporto CostoCodiceIva CostoSconto1 CostoSconto2
  CostoSconto3 CostoSconto4 codiceArticolo IdCausaleMagazzino priceManuallyChanged idPromoAttivata
  idTipoPromoAttivata PromoExPrezzo PromoExSconto1 PromoExSconto2 PromoExSconto3 PromoExSconto4
  storicoImportoRegolaSconto storicoSc1RegolaSconto storicoSc2RegolaSconto storicoSc3RegolaSconto
  storicoSc4RegolaSconto StoricoImportoListino StoricoSc1Listino StoricoSc2Listino StoricoSc3Listino
  StoricoSc4Listino IdTabRegolePrezziVendita idtabAccontiClienti DataAgg TotaleNettoSconto Imponibile Iva Totale
  ImportoSconto CostoTotaleImporto CostoTotaleImponibile CostoTotaleIva MarginalitaEuro MarginalitaPercen
tabPagamentiScontriniBackoffice: ID idTestata IdPagamento idCausaleContabile idUtente idCassa ImportoIncassato
  Coefficiente DataOperazione DataCreaz DataAgg UtenteUltimoAccesso Cambio valuta NoteMovimento Cassetto
  TipoOperazione ingenico_AuthCode ingenico_Ticket ingenico_CardType
tabFidelity_Transazioni: idScontrino
tabBuoniMerce: idBuono Importo ImportoResiduo dataEmissione dataValidita dataRientro idTipoBuono
  idMagazzinoScontrinoAcquisto idCassaScontrinoAcquisto numeroScontrinoAcquisto dataScontrinoAcquisto
  idTestataScontrino IDCliente importoVendutoScontrino imponibileVendutoScontrino
tabdettaglioAccontiClienti: ID idtabAccontiClienti TipoOperazione TipoDocumento IdDettaglioDocumento
  ImportoMovimentoAcconto UtenteUltimoAccesso
tabTestateMagazzino: idTestata IdTestataRiferimento IDMagazzinoPartenza IDMagazzinoDestinazione idOperatore
  IdPagamento IdBanca IDCliente idDestinazione idCassa IdCausale ForzaListinoTestata bollettario idAgente
  idOrdineConsegna Ddt numeroDocumento DataDocumento NumeroDocumentoRiferimento dataDocumentoRiferimento
  NumeroFatturaRiferimento DataFatturaRiferimento Referente Oggetto Note idListino idScontoListini Sconto1 Sconto2
  Sconto3 Sconto4 DataCreaz DataAgg BollettarioRientroVuoti NumeroDocumentoRientroVuoti DataDocumentoRientroVuoti
  IdCausaleRientroVuoti AggiornaPrezziAcquisto Dest_RagioneSociale Dest_Indirizzo Dest_CAP Dest_Citta
  Dest_provincia Dest_Stato Dest_IsFatturazione numDocRiferimento dataDocRiferimento valuta Cambio TotImponibile
  TotIvato TotIva
tabDettaglioMagazzino: riga idDettaglio idTestata idArticolo Barcode Descrizione Quantita UM Quantita2 UM2
  PrezzoVenditaNettoIva prezzoVendita aliquotaIva CodiceIva Sconto1 Sconto2 Sconto3 Sconto4 Note Annotazioni
  idMagazzino idReparto isVuoto IdRifDettaglioVuoto CostoImponibile CostoImporto CostoCodiceIva CostoSconto1
  CostoSconto2 CostoSconto3 CostoSconto4 MarginalitaEuro MarginalitaPercen peso Volume ImponibileSpesaExtra
  idDettaglioScontrino DataCreaz IdDettaglioRiferimento TotaleNettoSconto Imponibile Iva Totale ImportoSconto
  CostoTotaleImporto CostoTotaleImponibile CostoTotaleIva
tabGiustificaSconto: ID idTestataMovimento idDettaglioMovimento idMagazzino idCassa NumeroScontrino dataScontrino
  percentualeSconto ImportoSconto motivazione flagExport dataExport
tabTestateFatture: idTestata IdCausale Bollettario NumeroDocumento DataDocumento TotImponibile TotIvato TotIva
  TotNonImponibile
tabDettaglioFatture: idDettaglio idTestata IdConto DescrizioneConto peso Volume idMagazzino isVuoto
  IdRifDettaglioVuoto CostoImponibile CostoImporto MarginalitaEuro MarginalitaPercen
tabTestatePreventivi: IdTestata Bollettario NumeroDocumento Revisione DataDocumento TotImponibile TotImporto TotIva
tabDettaglioPreventivi: idTestata Imponibile TotaleNettoSconto Iva AliquotaIva
tabTestateEstrattiConto: IdTestata Bollettario NumeroDocumento DataDocumento TotImponibile TotImporto TotIva
tabDettaglioEstrattiConto: idTestata Imponibile TotaleNettoSconto Iva AliquotaIva
tabTestateOrdiniCliente: IdOrdine Bollettario NumeroDocumento Data TotImponibile TotImporto TotIva
tabDettaglioOrdiniCliente: IdRiga idOrdine imponibile totalenettosconto iva AliquotaIva
tabTestateOrdiniFornitore: IdOrdine Bollettario NumeroDocumento Data TotImponibile TotImporto TotIva
tabDettaglioOrdiniFornitore: IdRiga idOrdine Imponibile TotaleNettoSconto Iva AliquotaIva
tabTestateRicevute: IdTestata TotImponibile TotIvato TotIva
tabTestatePreconto: IdTestata TotImponibile TotIvato TotIva
tabTestateCommesse: Bollettario NumeroDocumento DataDocumento
tabAssistenze_Testate: Sezione NumeroDocumento DataDocumento
)";

Columns ParseList(const std::string& text) {
  Columns out;
  std::string current;
  std::istringstream in(text);
  std::string word;
  while (in >> word) {
    if (word.back() == ':') {
      current = util::ToLower(word.substr(0, word.size() - 1));
      out[current];
    } else {
      out[current].insert(util::ToLower(word));
    }
  }
  return out;
}

// Tables and their columns as a schema file declares them, one column per line.
Columns ParseSchemaFile(const std::string& path) {
  Columns out;
  std::regex table(R"(CREATE TABLE (?:IF NOT EXISTS |dbo\.)?(\w+) \()");
  std::istringstream in(testing_support::ReadFile(path));
  std::string line, current;
  while (std::getline(in, line)) {
    std::smatch m;
    if (std::regex_search(line, m, table)) {
      current = util::ToLower(m[1].str());
      out[current];
    } else if (!current.empty() && line.rfind(");", 0) == 0) {
      current.clear();
    } else if (!current.empty()) {
      std::istringstream words(line);
      std::string name;
      words >> name;
      // Table constraints are no columns.
      bool constraint = name == "PRIMARY" || name == "UNIQUE" || name == "CONSTRAINT";
      if (!name.empty() && !constraint && name.rfind("--", 0) != 0) out[current].insert(util::ToLower(name));
    }
  }
  return out;
}

void ExpectCreated(const std::string& kind, const char* list) {
  testing_support::TempDir dir;
  std::string path = dir.File(kind + ".db");
  testing_support::CreateDatabase(path, kind);
  auto conn = testing_support::OpenSqlite(path);
  for (const auto& [table, columns] : ParseList(list)) {
    std::set<std::string> created;
    try {
      for (const auto& c : conn->TableColumns(table)) created.insert(util::ToLower(c.name));
    } catch (const std::exception& e) {
      ADD_FAILURE() << kind << ": " << e.what();
      continue;
    }
    for (const auto& c : columns) EXPECT_TRUE(created.count(c)) << kind << "." << table << "." << c;
  }
}

TEST(Schema, FrontOfficeCreatesEveryTableAndColumnTheProgramUses) {
  ExpectCreated("frontoffice", kFrontOffice);
}

TEST(Schema, BackOfficeCreatesEveryTableAndColumnTheProgramUses) {
  ExpectCreated("backoffice", kBackOffice);
}

TEST(Schema, SqlServerFormDeclaresTheSameTablesAndColumns) {
  for (std::string kind : {"frontoffice", "backoffice"}) {
    Columns lite = ParseSchemaFile(std::string(VELKARIS_SCHEMA_DIR) + "/sqlite/" + kind + ".sql");
    Columns server = ParseSchemaFile(std::string(VELKARIS_SCHEMA_DIR) + "/sqlserver/" + kind + ".sql");
    lite.erase("sysprocesses");  // SQL Server has its own sys.sysprocesses
    EXPECT_EQ(lite, server) << kind;
    EXPECT_GT(lite.size(), 5u);
  }
  std::string server = testing_support::ReadFile(std::string(VELKARIS_SCHEMA_DIR) + "/sqlserver/backoffice.sql");
  for (const char* part : {"CREATE PROCEDURE dbo.GetNewID", "@schemaName varchar(255)", "@tableName varchar(255)",
                           "@columnName varchar(255)", "@checkConflictOnSourceTable int", "@newID int OUTPUT",
                           "SET NOCOUNT ON", "UPDLOCK, HOLDLOCK"}) {
    EXPECT_NE(server.find(part), std::string::npos) << part;
  }
}

}  // namespace
