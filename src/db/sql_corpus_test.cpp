// Every SQL text the program sends, built with sample values exactly as the program
// concatenates it, runs through the SQLite backend on databases created from schema/ and
// returns the rows (or affects the records) it should.
#include <gtest/gtest.h>

#include "db/recordset.h"
#include "testing/temp_databases.h"

namespace db {
namespace {

enum Target { kFront, kBack };
enum Kind { kQuery, kExec };

struct Sql {
  Target target;
  Kind kind;
  std::string text;
  int64_t expected;  // rows returned, or records affected; -1 = not checked
};

// The shop's data the texts run against: one printed POS receipt (id 1) of causale 4
// with rows 11 and 12 on 04/12/2026, and its back-office counterparts.
const char* kFrontSeed[] = {
    "insert into tabImpostazioni values ('CifreDecimali','2'), ('GiacenzaByTrigger','0')",
    "insert into tabTestate (idTestata, IdCausale, Printed, Data, Ora, IDCliente, Operatore, Cassa, NumScontrino, "
    "Fid_ImportoOmaggi) values (1, 4, 1, '2026-12-04 00:00:00', '19:05:11', 15, 3, 1, 42, 5), "
    "(2, 5, 1, '2026-12-04 00:00:00', '19:06:00', -1, 3, 1, 43, 0), (3, 4, 0, '2026-12-04 00:00:00', '19:07:00', "
    "-1, 3, 1, 44, 0)",
    "insert into tabDettaglio (idDettaglio, IdTestata, FlagExport, IdCausale, Barcode, Quantita, Prezzo) values "
    "(11, 1, NULL, 1, '8001', 2, 10), (12, 1, 0, 2, '', 1, 0), (13, 2, 1, 1, '8001', 1, 10), (14, 3, 0, 1, '8001', 1, 1)",
    "insert into tabPagamentiScontrini (ID, idTestata, ImportoIncassato, FlagExport) values (1, 1, 60, 0), "
    "(2, 1, 40, NULL), (3, -1, 5, 0), (4, 2, 10, 1)",
    "insert into tabPersonale (id, idUtente) values (3, 30)",
    "insert into tabArticoli (idArticolo, CodiceArticolo, UM, UM2, TipoUmVen) values (1, 'ART1', 'PZ', 'CF', 1), "
    "(2, 'KITPART', 'PZ', NULL, 2)",
    "insert into tabBarcode (Barcode, idArticolo) values ('8001', 1)",
    "insert into tabPuntoCassa_DettaglioDistinta (idTestata, idDettaglio, idArticolo, qta) values (1, 11, 2, 3)",
    "insert into tabGiustificaSconto (ID, idTestataMovimento, idDettaglioMovimento, flagExport, motivazione) values "
    "(1, 1, 11, 0, 'row'), (2, 1, -1, NULL, 'receipt'), (3, 9, 99, 1, 'exported')",
};

const char* kBackSeed[] = {
    "insert into tabAliquoteIva values ('22', 'Ordinaria', 22)",
    "insert into tabValute values ('EUR', 'Euro', 0.01)",
    "insert into sysprocesses (spid, dbid, hostname, program_name, last_batch) values "
    "(51, 5, 'TILL2', 'Velkaris', datetime('now','localtime','-2 minutes')), "
    "(52, 5, 'TILL3', 'Velkaris', datetime('now','localtime','-30 minutes')), "
    "(53, 5, 'TILL1', 'Velkaris', datetime('now','localtime'))",
    "insert into tabCausali (IdCausale, Causale, TipoMovimento, CausaleMovimentoSecondario, FlagVendita, Ddt, "
    "Fatture, Gestionale, Preventivo) values (4, 'VEN', 'S', 'SEC', 1, 0, 0, 1, 0), (7, 'SEC', 'C', NULL, 0, 0, 0, "
    "1, 0)",
    "insert into tabTestateScontrini (idTestata, idMagazzino, idCassa, NumeroScontrino, DataOraScontrino, "
    "IdCausale) values (5, 1, 1, 42, '2026-12-04 19:05:11', 4)",
    "insert into tabDettaglioScontrini (idDettaglio, idTestata, riga, IdCausale, TotaleNettoSconto, Imponibile, "
    "Iva, aliquotaIva) values (1, 5, 1, 1, 122, 100, 22, 22), (2, 5, 6, 2, 12.2, 10, 2.2, 22)",
    "insert into tabPagamentiScontriniBackoffice (ID, idTestata) values (1, 5)",
    "insert into tabFidelity_Transazioni (idTransazione, idScontrino) values (1, 5)",
    "insert into tabBuoniMerce (idBuono, Importo, ImportoResiduo) values (3, 50, 50)",
    "insert into tabArticoli (idArticolo, CodiceArticolo, aliquotaIva, CodiceIva, UM, UM2, TipoUmVen, "
    "AggiornaGiacenze, BloccaConGiacenzaAZero) values (1, 'ART1', 22, '22', 'PZ', 'CF', 1, 1, 1)",
    "insert into tabBarcode (Barcode, idArticolo, DataCreaz, OraCreaz, idVariante1, idVariante2, idVariante3) "
    "values ('8001', 1, '2026-12-03 00:00:00', '1899-12-30 10:00:00', 0, 0, 0), ('8002', 1, '2026-12-04 00:00:00', "
    "'1899-12-30 10:00:00', 1, 0, 0)",
    "insert into tabClienti (IdCliente, FlagIvaCliente, IvaCliente) values (15, 1, 4)",
    "insert into tabTestateMagazzino (idTestata, IdCausale, DataDocumento, idCassa, idOperatore, IDCliente, "
    "IDMagazzinoPartenza, NumeroDocumento, bollettario) values (7, 4, '2026-12-04 00:00:00', 1, 3, 15, 1, 10, ''), "
    "(8, 7, '2026-12-04 00:00:00', 1, 3, 15, 1, 11, '')",
    "insert into tabTestateMagazzino (idTestata, IdCausale, DataDocumento, idCassa, idOperatore, IDCliente, "
    "IDMagazzinoPartenza, IDMagazzinoDestinazione, NumeroDocumento, bollettario) values (9, 7, '2026-12-04 00:00:00', "
    "1, 3, 15, -1, 1, 12, '')",
    "insert into tabdettaglioAccontiClienti (ID, TipoDocumento, IdDettaglioDocumento) values (1, 9, 1), (2, 4, 2)",
    "insert into tabDettaglioMagazzino (idDettaglio, idTestata, riga, TotaleNettoSconto, Imponibile, Iva, "
    "aliquotaIva, isVuoto) values (1, 7, 1, 24.4, 20, 4.4, 22, 0), (2, 7, 6, 12.2, 10, 2.2, 22, 1)",
    "insert into tabGiacenze (IdGiacenza, idMagazzino, Barcode, idArticolo, Giacenza, Ordinato, Impegnato, "
    "Disponibile, Arrivato) values (1, 1, '8001', 1, 5, 0, 0, 5, 0)",
    "insert into tabProgressivi (Prefisso, AnnoProgressivo, Causale, Numero) values (NULL, 2026, 'MAG', 11)",
    "insert into tabConti (ID, Conto) values (1, 'Vendite')",
    "insert into tabTestateFatture (idTestata, IdCausale, Bollettario, NumeroDocumento, DataDocumento) values "
    "(1, 18, '', 10, '2026-05-01 00:00:00')",
    "insert into tabGiustificaSconto (ID, idTestataMovimento, idDettaglioMovimento) values (1, 1, -1)",
};

std::vector<Sql> Corpus() {
  return {
      // Configuration.
      {kFront, kQuery, "SELECT * FROM tabImpostazioni WHERE descrizione='CifreDecimali'", 1},
      {kBack, kQuery, "Select * from tabAliquoteIva where Codice='22'", 1},
      {kBack, kQuery, "Select * from tabValute where Valuta='EUR'", 1},
      // Pending-transaction guard: only the other till active in the last 10 minutes.
      {kBack, kQuery,
       "SELECT * FROM sys.sysprocesses WHERE dbid > 0 and hostname<> 'TILL1' and program_name ='Velkaris' and "
       "last_batch > dateadd(\"mi\", -10, getdate())",
       1},
      // Selection: receipt 1 (receipt 2 is exported, receipt 3 not printed).
      {kFront, kQuery,
       "SELECT distinct tabTestate.idTestata  FROM tabDettaglio INNER JOIN tabTestate ON tabDettaglio.IdTestata = "
       "tabTestate.idTestata  WHERE (tabDettaglio.FlagExport = 0 or tabDettaglio.FlagExport is null)  AND "
       "tabTestate.Printed <> 0 AND tabTestate.Printed is not null  and tabTestate.IdCausale=4 GROUP BY "
       "tabTestate.idTestata  ORDER BY tabTestate.idTestata ",
       1},
      // Receipt transfer: the row recordset, header, payments, fidelity takings.
      {kFront, kQuery,
       "SELECT tabTestate.Fid_ImportoOmaggi, tabTestate.idFidelityCard, tabTestate.idCliente, tabTestate.Chiusura, "
       "tabTestate.Data, tabTestate.Ora,  tabDettaglio.idRiferimento, tabDettaglio.idTestata , "
       "tabDettaglio.idDettaglio, tabDettaglio.IdCausale, tabDettaglio.idReparto, tabDettaglio.idListino, "
       "tabDettaglio.barcode, tabDettaglio.Descrizione, tabDettaglio.prezzo, tabDettaglio.Quantita, "
       "tabDettaglio.AIva, tabDettaglio.Imponibile, tabDettaglio.Iva, tabDettaglio.Totale, tabDettaglio.Sconto1, "
       "tabDettaglio.Sconto2, tabDettaglio.Sconto3, tabDettaglio.Sconto4, tabDettaglio.ImportoSconto, "
       "tabDettaglio.TotaleNettoSconto, tabDettaglio.CodiceIva, tabDettaglio.TipoSconto, tabDettaglio.idBuono, "
       "tabDettaglio.isOmaggio, tabDettaglio.IdModoPunti, tabDettaglio.Fid_PuntiArticolo, "
       "tabDettaglio.Fid_ImportoArticolo, tabTestate.Fid_PuntiArticoli, tabTestate.Fid_ImportoArticoli, "
       "tabTestate.Fid_PuntiOmaggi, tabTestate.Fid_ImportoOmaggi, tabTestate.Fid_PuntiSpesa, "
       "tabTestate.Fid_ImportoSpesa, tabDettaglio.ScontriniNonStampare,  tabDettaglio.idCausaleMagazzino , "
       "tabDettaglio.CodiceArticolo,idtipobuono,tabDettaglio.Note , tabdettaglio.priceManuallyChanged, "
       "tabDettaglio.idOperatore_Riga  FROM tabDettaglio INNER JOIN tabTestate ON tabDettaglio.IdTestata = "
       "tabTestate.idTestata  WHERE tabTestate.idTestata= 1 ORDER BY TabTestate.Data, tabDettaglio.idTestata, "
       "tabDettaglio.idDettaglio ",
       2},
      {kFront, kQuery, "Select * from tabTestate where idTestata=1", 1},
      {kFront, kQuery, "Select * from tabPagamentiScontrini where (FlagExport=0 or FlagExport is null) and idTestata=1", 2},
      {kFront, kQuery, "Select * from tabPagamentiScontrini where (FlagExport=0 or FlagExport is null) and idTestata=-1", 1},
      {kBack, kQuery, "select * from tabTestateScontrini where 1=2", 0},
      {kBack, kQuery, "Select * from tabTestateScontrini where IdTestata=5", 1},
      {kBack, kQuery, "select * from tabPagamentiScontriniBackoffice where 1=2", 0},
      {kFront, kQuery,
       "SELECT MAX(([NumScontrino])) AS Numero From tabTestate WHERE tabTestate.Data>='04/12/2026 00:00:00:000' And "
       "tabTestate.Data<='04/12/2026 00:00:00:000' and idcausale = 4",
       1},
      {kFront, kQuery,
       "SELECT Sum(tabPagamentiScontrini.ImportoIncassato) AS Incasso From tabPagamentiScontrini WHERE "
       "(((tabPagamentiScontrini.idTestata)=1))",
       1},
      {kFront, kQuery, "SELECT (tabTestate.Fid_ImportoOmaggi) AS Incasso From tabTestate WHERE tabTestate.idTestata=1", 1},
      {kBack, kExec, "Update tabTestateScontrini set idTransazioneFidelity=9 where idTestata=5", 1},
      // Article look-ups.
      {kBack, kQuery, "Select * from tabBarcode where Barcode='8001'", 1},
      {kFront, kQuery, "Select * from tabBarcode where Barcode='8001'", 1},
      {kBack, kQuery, "Select * from tabArticoli where CodiceArticolo='ART1'", 1},
      {kBack, kQuery, "Select idArticolo from tabArticoli where CodiceArticolo='ART1'", 1},
      {kBack, kQuery, "Select UM,UM2, TipoUmVen from tabArticoli Where idArticolo=1", 1},
      {kFront, kQuery, "Select UM,UM2, TipoUmVen from tabArticoli Where idArticolo=1", 1},
      // Row writer.
      {kFront, kQuery,
       " SELECT [TotaleNettoSconto], [note],[idPromoAttivata],[idTipoPromoAttivata] "
       ",[PromoExPrezzo],[PromoExSconto1],[PromoExSconto2],[PromoExSconto3],[PromoExSconto4]  "
       ",[priceManuallyChanged],[StoricoImportoRegolaSconto],[StoricoSc1RegolaSconto],[StoricoSc2RegolaSconto] "
       ",[StoricoSc3RegolaSconto]  ,[StoricoImportoListino],[StoricoSc1Listino],[StoricoSc2Listino],"
       "[StoricoSc3Listino],[StoricoSc4RegolaSconto]  ,[StoricoSc4Listino],[idTabRegolePrezziVendita],"
       "[idtabAccontiClienti],[UtenteUltimoAccesso] From [dbo].[tabDettaglio] where idtestata = 1 and idDettaglio = 11",
       1},
      {kBack, kQuery, "Select * from tabDettaglioScontrini where 1=2", 0},
      {kBack, kQuery, "select * from tabdettaglioAccontiClienti where 1=2", 0},
      // Row look-ups and the row engine.
      {kBack, kQuery, "select max(Riga) as ValoreMax from tabDettaglioScontrini where idTestata=5", 1},
      {kBack, kQuery, "select max(Riga) as ValoreMax from tabDettaglioMagazzino where idTestata=7", 1},
      {kBack, kQuery, "Select idArticolo from tabBarcode where Barcode='8001'", 1},
      {kBack, kQuery,
       "SELECT tabArticoli.CodiceArticolo, tabBarcode.BarCode, tabBarcode.DataCreaz, tabBarcode.OraCreaz FROM "
       "tabBarcode INNER JOIN tabArticoli ON tabBarcode.idArticolo = tabArticoli.idArticolo Where "
       "(((tabArticoli.codiceArticolo) = 'ART1'))  and (tabBarcode.NonVisibile=0 or tabBarcode.NonVisibile is null)  "
       "and (tabBarcode.isNumSeriale=0 or tabBarcode.isNumSeriale is null)  and (tabBarcode.isBarcodeScatola=0 or "
       "tabBarcode.isBarcodeScatola is null) ORDER BY tabBarcode.DataCreaz DESC , tabBarcode.OraCreaz DESC ",
       2},
      {kBack, kQuery,
       "Select * from tabBarcode where idArticolo=1  and (tabBarcode.NonVisibile=0 or tabBarcode.NonVisibile is "
       "null)  and (tabBarcode.isNumSeriale=0 or tabBarcode.isNumSeriale is null)  and (tabBarcode.isBarcodeScatola=0 "
       "or tabBarcode.isBarcodeScatola is null)  order by DataCreaz desc, OraCreaz desc",
       2},
      {kBack, kQuery,
       "Select * from tabBarcode where idArticolo=1  and idVariante1 = 1 and idVariante2 = 0 and idVariante3 = 0", 1},
      {kBack, kQuery, "Select * from tabClienti where IdCliente=15", 1},
      {kBack, kQuery, "Select * from tabArticoli where IdArticolo=1", 1},
      {kBack, kQuery, "Select * from tabDettaglioScontrini where IdDettaglio=1", 1},
      {kBack, kQuery, "Select * from tabDettaglioMagazzino where IdDettaglio=1", 1},
      {kBack, kQuery, "Select * from tabDettaglioOrdiniCliente where IdRiga=1", 0},
      // Document totals, by document type.
      {kBack, kQuery,
       "SELECT Sum(tabdettaglioscontrini.TotaleNettoSconto) AS TotImporto, Sum(tabdettaglioscontrini.Imponibile) AS "
       "TotImponibile, Sum(tabdettaglioscontrini.Iva) AS TotIva, tabdettaglioscontrini.AliquotaIva, "
       "tabdettaglioscontrini.idCausale From tabdettaglioscontrini WHERE tabdettaglioscontrini.IdTestata = 5 GROUP BY "
       "tabdettaglioscontrini.AliquotaIva, tabdettaglioscontrini.idCausale ",
       2},
      {kBack, kQuery,
       "SELECT Sum(tabDettaglioMagazzino.TotaleNettoSconto) AS TotImporto, Sum(tabDettaglioMagazzino.Imponibile) AS "
       "TotImponibile, Sum(tabDettaglioMagazzino.Iva) AS TotIva, tabDettaglioMagazzino.AliquotaIva From "
       "tabDettaglioMagazzino WHERE tabDettaglioMagazzino.IdTestata = 7 and  (tabDettaglioMagazzino.isVuoto=0 or "
       "tabDettaglioMagazzino.isVuoto is null)GROUP BY tabDettaglioMagazzino.AliquotaIva ",
       1},
      {kBack, kQuery,
       "SELECT Sum(tabDettaglioPreventivi.Imponibile) AS TotImponibile, Sum(tabDettaglioPreventivi.TotaleNettoSconto) "
       "AS TotImporto, sum(tabDettaglioPreventivi.Iva) as TotIva, tabDettaglioPreventivi.AliquotaIva From "
       "tabDettaglioPreventivi Where tabDettaglioPreventivi.idTestata = 1 GROUP BY tabDettaglioPreventivi.AliquotaIva ",
       0},
      {kBack, kQuery,
       "SELECT Sum(tabDettaglioEstrattiConto.Imponibile) AS TotImponibile, "
       "Sum(tabDettaglioEstrattiConto.TotaleNettoSconto) AS TotImporto, sum(tabDettaglioEstrattiConto.Iva) as TotIva, "
       "tabDettaglioEstrattiConto.AliquotaIva From tabDettaglioEstrattiConto Where tabDettaglioEstrattiConto.idTestata "
       "= 1 GROUP BY tabDettaglioEstrattiConto.AliquotaIva ",
       0},
      {kBack, kQuery,
       "SELECT Sum(tabDettaglioOrdiniCliente.imponibile) AS TotImponibile, "
       "Sum(tabDettaglioOrdiniCliente.totalenettosconto) AS TotImporto, Sum(tabDettaglioOrdiniCliente.iva) AS TotIva, "
       "tabDettaglioOrdiniCliente.AliquotaIva From tabDettaglioOrdiniCliente Where tabDettaglioOrdiniCliente.idOrdine "
       "= 1 GROUP BY tabDettaglioOrdiniCliente.AliquotaIva ",
       0},
      {kBack, kQuery,
       "SELECT Sum(tabDettaglioOrdiniFornitore.Imponibile) AS TotImponibile, Sum(TotaleNettoSconto) AS TotImporto, "
       "Sum(Iva) AS TotIva, tabDettaglioOrdiniFornitore.AliquotaIva From tabDettaglioOrdiniFornitore Where "
       "tabDettaglioOrdiniFornitore.idOrdine = 1 GROUP BY tabDettaglioOrdiniFornitore.AliquotaIva ",
       0},
      {kBack, kQuery, "Select * from tabTestateScontrini where idTestata=5", 1},
      {kBack, kQuery, "Select * from tabTestateMagazzino where IdTestata=7", 1},
      {kBack, kQuery, "Select * from tabTestateOrdiniCliente where IdOrdine=1", 0},
      {kBack, kQuery, "Select * from tabTestateOrdiniFornitore where IdOrdine=1", 0},
      {kBack, kQuery, "Select * from tabTestateFatture where IdTestata=1", 1},
      {kBack, kQuery, "Select * from tabTestatePreventivi where IdTestata=1", 0},
      {kBack, kQuery, "Select * from tabTestateEstrattiConto where IdTestata=1", 0},
      {kBack, kQuery, "Select * from tabTestateRicevute where IdTestata=1", 0},
      {kBack, kQuery, "Select * from tabTestatePreconto where IdTestata=1", 0},
      // Vouchers.
      {kBack, kQuery, "Select * from tabBuoniMerce where idBuono=3", 1},
      {kBack, kQuery,
       "SELECT Sum(([tabdettaglioscontrini].[Imponibile])) AS TotImponibile, Sum(([tabdettaglioscontrini].[Iva])) AS "
       "TotIva, Sum(([tabdettaglioscontrini].[TotaleNettoSconto])) AS TotImporto, tabdettaglioscontrini.IdCausale, "
       "tabCausali.TipoMovimento, tabdettaglioscontrini.IdTestata FROM tabdettaglioscontrini LEFT JOIN tabCausali ON "
       "tabdettaglioscontrini.IdCausale = tabCausali.IdCausale GROUP BY tabdettaglioscontrini.IdCausale, "
       "tabCausali.TipoMovimento, tabdettaglioscontrini.IdTestata HAVING  tabdettaglioscontrini.IdTestata=5 ",
       2},
      {kBack, kQuery, "select * from tabBuoniMerce where idbuono=3", 1},
      {kBack, kQuery,
       " select idcassa,numeroscontrino,dataorascontrino , idmagazzino from dbo.tabTestateScontrini where idtestata = 5",
       1},
      // Warehouse driver: POS rows, kit components, justifications.
      {kFront, kQuery,
       "SELECT tabTestate.Fid_ImportoOmaggi, tabTestate.idFidelityCard, tabTestate.idCliente, tabTestate.Chiusura, "
       "tabTestate.Data, tabTestate.Ora, tabDettaglio.IdTestata, tabDettaglio.IdDettaglio, tabDettaglio.idCausale, "
       "tabDettaglio.idReparto, tabDettaglio.IdListino, tabDettaglio.BarCode, tabDettaglio.Descrizione, "
       "tabDettaglio.Prezzo, tabDettaglio.Quantita, tabDettaglio.Aiva, tabDettaglio.Imponibile, tabDettaglio.Iva, "
       "tabDettaglio.Totale, tabDettaglio.Sconto1, tabDettaglio.Sconto2, tabDettaglio.Sconto3, tabDettaglio.Sconto4, "
       "tabDettaglio.ImportoSconto, tabDettaglio.TotaleNettoSconto, tabDettaglio.CodiceIva, tabDettaglio.TipoSconto, "
       "tabDettaglio.idBuono, tabDettaglio.isOmaggio, tabDettaglio.IdModoPunti, tabDettaglio.Fid_PuntiArticolo, "
       "tabDettaglio.Fid_ImportoArticolo, tabTestate.Fid_PuntiArticoli, tabTestate.Fid_ImportoArticoli, "
       "tabTestate.Fid_PuntiOmaggi, tabTestate.Fid_ImportoOmaggi, tabTestate.Fid_PuntiSpesa, "
       "tabTestate.Fid_ImportoSpesa, tabDettaglio.ScontriniNonStampare,  tabDettaglio.idCausaleMagazzino , "
       "tabDettaglio.CodiceArticolo,idtipobuono,tabDettaglio.Note , tabPersonale.idUtente  FROM (tabDettaglio INNER "
       "JOIN tabTestate ON tabDettaglio.IdTestata = tabTestate.idTestata) left join tabPersonale on "
       "tabTestate.Operatore  =tabPersonale.id  WHERE tabTestate.idTestata= 1 AND tabDettaglio.IdCausale=1 ORDER BY "
       "TabTestate.Data, tabDettaglio.idTestata, tabDettaglio.idDettaglio ",
       1},
      {kFront, kQuery,
       "SELECT tabArticoli.codicearticolo as CodArticolo,tabArticoli.idarticolo as CodArt , * FROM "
       "tabPuntoCassa_DettaglioDistinta INNER JOIN tabArticoli ON tabPuntoCassa_DettaglioDistinta.idArticolo = "
       "tabArticoli.idArticolo where idTestata=1 and idDettaglio=11",
       1},
      {kFront, kQuery,
       "SELECT * FROM tabGiustificaSconto WHERE isnull(flagExport,0)= 0 and tabGiustificaSconto.idDettaglioMovimento "
       "= 11 and tabGiustificaSconto.idTestataMovimento = 1",
       1},
      {kFront, kQuery,
       "SELECT * FROM tabGiustificaSconto WHERE isnull(flagExport,0)= 0 and tabGiustificaSconto.idDettaglioMovimento "
       "= -1 and tabGiustificaSconto.idTestataMovimento = 1",
       1},
      {kFront, kQuery, "SELECT * FROM tabGiustificaSconto WHERE isnull(flagExport,0)= 0", 2},
      {kFront, kQuery, "SELECT * FROM tabGiustificaSconto WHERE isnull(flagExport,0)<>0", 1},
      {kBack, kQuery, "Select * from tabGiustificaSconto where idTestataMovimento=1 and idDettaglioMovimento=-1", 1},
      {kBack, kQuery, "Select * from tabGiustificaSconto where 1=2", 0},
      // Movement headers.
      {kBack, kQuery,
       "Select idTestata from tabTestateMagazzino where IdCausale= 4 and DataDocumento='04/12/2026' AND IdCassa=1  "
       "AND idOperatore = 3  AND tabTestateMagazzino.idcliente=15  AND tabTestateMagazzino.idMagazzinoPartenza=1 ",
       1},
      {kBack, kQuery,
       "Select idTestata from tabTestateMagazzino where IdCausale= 7 and DataDocumento='04/12/2026' AND IdCassa=1  "
       "AND idOperatore = 3  AND tabTestateMagazzino.idcliente=15  AND tabTestateMagazzino.idMagazzinoDestinazione=1 ",
       1},
      {kBack, kQuery, "Select idTestata from tabTestateMagazzino where IdCausale= 4 and DataDocumento='05/12/2026'", 0},
      {kBack, kQuery, "select * from tabTestateMagazzino where 1=2", 0},
      {kBack, kQuery, "Select * from tabCausali where IdCausale = 4", 1},
      {kBack, kQuery, "Select * from tabCausali where Causale='SEC'", 1},
      {kBack, kQuery, "Select idTestataRiferimento as IdRif from tabTestateMagazzino where idTestata=7", 1},
      {kBack, kQuery, "Select * from tabCausali where IdCausale=4", 1},
      {kBack, kExec, "Update tabTestateMagazzino set idTestataRiferimento=8 where IdTestata=7", 1},
      // Movement rows.
      {kBack, kQuery,
       "Select idCausale,idMagazzinoPartenza,idMagazzinoDestinazione from tabTestateMagazzino where idTestata=8", 1},
      {kBack, kQuery, "select * from tabDettaglioMagazzino where 1=2", 0},
      {kBack, kQuery, "Select * from tabDettaglioMagazzino where 1=2", 0},
      {kBack, kQuery, "select * from tabDettaglioFatture where 1=2", 0},
      {kBack, kExec, "Update tabDettaglioMagazzino set IdDettaglioRiferimento=2 where idDettaglio=1", 1},
      {kBack, kExec, "Update tabDettaglioMagazzino set idDettaglioRiferimento=1 where IdDEttaglio=1", 1},
      // Document numbering and its tests.
      {kBack, kQuery,
       "SELECT * From tabProgressivi WHERE (tabProgressivi.Prefisso='' or tabProgressivi.Prefisso is null) and "
       "tabProgressivi.AnnoProgressivo=2026 AND tabProgressivi.Causale='MAG'",
       1},
      {kBack, kQuery,
       "SELECT * From tabProgressivi WHERE tabProgressivi.Prefisso='A' and tabProgressivi.AnnoProgressivo=2026 AND "
       "tabProgressivi.Causale='MAG'",
       0},
      {kBack, kQuery, "Select * from tabCausali where tabCausali.Causale='VEN'", 1},
      {kBack, kQuery,
       "SELECT tabTestateMagazzino.idTestata FROM tabTestateMagazzino INNER JOIN tabCausali ON "
       "tabTestateMagazzino.IdCausale = tabCausali.IdCausale where NumeroDocumento=11 and Bollettario='' and "
       "tabCausali.Gestionale=1 and year(DataDocumento)= 2026",
       1},
      {kBack, kQuery,
       "SELECT tabTestateMagazzino.idTestata FROM tabTestateMagazzino INNER JOIN tabCausali ON "
       "tabTestateMagazzino.IdCausale = tabCausali.IdCausale where NumeroDocumento=11 and Bollettario='' and "
       "tabCausali.Gestionale=1 and year(DataDocumento)= 2025",
       0},
      {kBack, kQuery,
       "SELECT tabTestateMagazzino.idTestata FROM tabTestateMagazzino INNER JOIN tabCausali ON "
       "tabTestateMagazzino.IdCausale = tabCausali.IdCausale where NumeroDocumento=10 and Bollettario='' and "
       "tabCausali.Ddt=1 and year(DataDocumento)= 2026 and tabTestateMagazzino.idtestata<>7",
       0},
      {kBack, kQuery,
       "SELECT tabTestateFatture.idTestata FROM tabTestateFatture INNER JOIN tabCausali ON tabTestateFatture.IdCausale "
       "= tabCausali.IdCausale where tabTestateFatture.IdCausale <> 18 and Bollettario='' and NumeroDocumento=10 and "
       "tabCausali.Fatture=1 and year(DataDocumento)= 2026",
       0},
      {kBack, kQuery,
       "SELECT * FROM tabTestatePreventivi where Bollettario='' and NumeroDocumento=10 and Revisione=1 and "
       "year(DataDocumento)= 2026 and tabTestatePreventivi.idtestata<>-2",
       0},
      {kBack, kQuery,
       "SELECT * FROM tabTestateEstrattiConto where Bollettario='' and NumeroDocumento=10 and year(DataDocumento)= 2026",
       0},
      {kBack, kQuery,
       "SELECT * FROM tabTestateCommesse where Bollettario='' and NumeroDocumento=10 and year(DataDocumento)= 2026", 0},
      {kBack, kQuery,
       "SELECT * FROM tabTestateOrdiniCliente where Bollettario='' and NumeroDocumento=10 and year(Data)= 2026", 0},
      {kBack, kQuery,
       "SELECT * FROM tabTestateOrdiniFornitore where Bollettario='' and NumeroDocumento=10 and year(Data)= 2026", 0},
      {kBack, kQuery,
       "SELECT tabAssistenze_Testate.NumeroDocumento FROM tabAssistenze_Testate where Sezione= -1 and  "
       "NumeroDocumento=10 and year(DataDocumento)= 2026",
       0},
      {kBack, kQuery, "Select * from tabConti where ID=1", 1},
      // Stock levels.
      {kBack, kExec, "Update tabArticoli set Movimentato=1 where IdArticolo=1", 1},
      {kBack, kQuery, "Select * from tabGiacenze where Barcode='8001' and IdMagazzino=1", 1},
      {kBack, kQuery, "Select * from tabArticoli where idArticolo=1", 1},
      {kBack, kQuery, "select BloccaConGiacenzaAZero from tabarticoli where idarticolo =1", 1},
      {kBack, kQuery,
       "select sum(giacenza) as g, sum(ordinato) as o, sum(Arrivato) as A, sum(Disponibile) as D from tabgiacenze "
       "where idArticolo=1 group by idarticolo",
       1},
      {kBack, kExec, "update tabarticoli set Attivo=1  where idarticolo =1", 1},
      {kBack, kExec, "update tabarticoli set Attivo=0  where idarticolo =1", 1},
      {kBack, kQuery, "SELECT * FROM tabGiacenze WHERE Barcode='8001' AND idMagazzino=1", 1},
      {kBack, kExec,
       "UPDATE tabBarcode SET tabBarcode.Giacenza = tabGiacenze.Giacenza, tabBarcode.Disponibile = "
       "tabGiacenze.Disponibile FROM tabGiacenze INNER JOIN tabBarcode ON tabGiacenze.Barcode = tabBarcode.barcode "
       "WHERE tabGiacenze.Barcode='8001' and tabGiacenze.IdMagazzino=1",
       1},
      {kBack, kQuery, "Select * from tabBarcode where Barcode='8001' and Giacenza=5 and Disponibile=5", 1},
      {kBack, kExec, "Update tabBarcode set Giacenza=null, Disponibile=Null", 2},
      {kBack, kExec,
       "UPDATE tabBarcode SET tabBarcode.Giacenza = tabGiacenze.Giacenza, tabBarcode.Disponibile = "
       "tabGiacenze.Disponibile FROM tabGiacenze INNER JOIN tabBarcode ON tabGiacenze.Barcode = tabBarcode.barcode ",
       1},
      {kBack, kExec, "Update tabArticoli set Giacenza=null, Disponibile=Null", 1},
      {kBack, kQuery,
       "Select idArticolo, Sum(Giacenza) as Giacenza, Sum(Disponibile) as Disponibile from tabGiacenze group by "
       "idarticolo having Sum(Giacenza) <>0 or  Sum(Disponibile)<>0",
       1},
      {kBack, kQuery,
       "Select idArticolo, Sum(Giacenza) as Giacenza, Sum(Disponibile) as Disponibile from tabGiacenze where "
       "idMagazzino=1 group by idarticolo having idArticolo=1",
       1},
      {kBack, kExec, "Update tabArticoli set Giacenza=-1.5, Disponibile=-1.5 where idarticolo=1", 1},
      {kBack, kExec, "Update tabArticoli set Giacenza=0, Disponibile=0 where idarticolo=1", 1},
      // Export flags.
      {kFront, kExec, "update tabDettaglio SET FlagExport=1 where idDettaglio=11", 1},
      {kFront, kExec, "update tabDettaglio SET FlagExport=1 where idDettaglio=999", 0},
      {kFront, kExec, "Update tabPagamentiScontrini set FlagExport=1 where idTestata=1", 2},
      {kFront, kExec, "Update tabPagamentiScontrini set FlagExport=1 where idTestata=-1", 1},
      // The compensating deletes of a failed receipt.
      {kBack, kExec, "delete from tabPagamentiScontriniBackoffice where idtestata=5", 1},
      {kBack, kExec,
       "delete from tabdettaglioAccontiClienti where TipoDocumento in (9, 23) and IdDettaglioDocumento in (select "
       "idDettaglio from tabDettaglioScontrini where idtestata=5)",
       1},
      {kBack, kExec, "delete from tabDettaglioScontrini where idtestata=5", 2},
      {kBack, kExec, "delete from tabFidelity_Transazioni where idScontrino=5", 1},
      {kBack, kExec, "Delete from tabDettaglioMagazzino where idDettaglio=1", 1},
      {kBack, kExec, "delete from tabtestatescontrini where idtestata=5", 1},
      {kBack, kExec, "delete from tabtestatescontrini where idtestata=-1", 0},
  };
}

TEST(SqlCorpus, EveryTextRunsOnTheSchemaAndFindsWhatItShould) {
  testing_support::TempDatabases dbs;
  for (const char* s : kFrontSeed) dbs.front->Execute(s);
  for (const char* s : kBackSeed) dbs.back->Execute(s);
  for (const Sql& sql : Corpus()) {
    Connection& c = sql.target == kFront ? *dbs.front : *dbs.back;
    try {
      int64_t got = sql.kind == kQuery ? c.OpenRecordset(sql.text)->RecordCount() : c.Execute(sql.text);
      if (sql.expected >= 0) {
        EXPECT_EQ(got, sql.expected) << sql.text;
      }
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

}  // namespace
}  // namespace db
