-- Back-office database, SQL Server form: the same tables, columns, keys and indexes
-- as schema/sqlite/backoffice.sql. Run with sqlcmd -d <database> -i this file (GO separates batches).

-- Counters behind the "GetNewID" procedure: the last id handed out per table and column
-- (names kept in lower case).
IF OBJECT_ID(N'dbo.tabContatoriID', N'U') IS NULL
CREATE TABLE dbo.tabContatoriID (
  NomeTabella nvarchar(128) NOT NULL,
  NomeColonna nvarchar(128) NOT NULL,
  UltimoID int NOT NULL,
  PRIMARY KEY (NomeTabella, NomeColonna)
);
GO

-- The pending-transaction guard reads sys.sysprocesses, which SQL Server provides.

IF OBJECT_ID(N'dbo.tabAliquoteIva', N'U') IS NULL
CREATE TABLE dbo.tabAliquoteIva (
  Codice nvarchar(10) NOT NULL PRIMARY KEY,
  Descrizione nvarchar(255),
  aliquotaIva float
);
GO

IF OBJECT_ID(N'dbo.tabValute', N'U') IS NULL
CREATE TABLE dbo.tabValute (
  Valuta nvarchar(10) NOT NULL PRIMARY KEY,
  Descrizione nvarchar(100),
  Arrotondamento float
);
GO

-- Causali of documents and warehouse movements.
IF OBJECT_ID(N'dbo.tabCausali', N'U') IS NULL
CREATE TABLE dbo.tabCausali (
  IdCausale int NOT NULL PRIMARY KEY,
  Causale nvarchar(20),
  Descrizione nvarchar(255),
  TipoMovimento nvarchar(1),
  CausaleMovimentoSecondario nvarchar(20),
  FlagVendita bit DEFAULT 0,
  Ddt bit DEFAULT 0,
  Fatture bit DEFAULT 0,
  Gestionale bit DEFAULT 0,
  Preventivo bit DEFAULT 0,
  -- Flags of the causale component: the movement swaps departure and arrival warehouse;
  -- kits sold with this causale are exploded into their components.
  InvertiMagazzini bit DEFAULT 0,
  EsplodiDistinta bit DEFAULT 0
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixCausali_Causale' AND object_id = OBJECT_ID(N'dbo.tabCausali'))
  CREATE INDEX ixCausali_Causale ON dbo.tabCausali (Causale);
GO

IF OBJECT_ID(N'dbo.tabConti', N'U') IS NULL
CREATE TABLE dbo.tabConti (
  ID int NOT NULL PRIMARY KEY,
  Conto nvarchar(255)
);
GO

IF OBJECT_ID(N'dbo.tabClienti', N'U') IS NULL
CREATE TABLE dbo.tabClienti (
  IdCliente int NOT NULL PRIMARY KEY,
  RagioneSociale nvarchar(255),
  FlagIvaCliente bit,
  IvaCliente float,
  CodiceIvaCliente nvarchar(10)
);
GO

-- Till operators and the back-office user each one stands for (the user-lookup
-- component reads it).
IF OBJECT_ID(N'dbo.tabPersonale', N'U') IS NULL
CREATE TABLE dbo.tabPersonale (
  id int NOT NULL PRIMARY KEY,
  Nome nvarchar(100),
  idUtente int
);
GO

-- Articles: Movimentato, AggiornaGiacenze (stock-managed), BloccaConGiacenzaAZero,
-- Attivo, Giacenza and Disponibile are kept by the stock update.
IF OBJECT_ID(N'dbo.tabArticoli', N'U') IS NULL
CREATE TABLE dbo.tabArticoli (
  idArticolo int NOT NULL PRIMARY KEY,
  CodiceArticolo nvarchar(50),
  Descrizione nvarchar(255),
  aliquotaIva float,
  CodiceIva nvarchar(10),
  UM nvarchar(10),
  UM2 nvarchar(10),
  TipoUmVen int,
  Movimentato bit,
  AggiornaGiacenze bit,
  BloccaConGiacenzaAZero bit,
  Attivo bit,
  Giacenza float,
  Disponibile float,
  -- Units, read by the article component: UM is the base unit, UM2 and UM3 convert with
  -- FattoreConversione (TipoConversioneUM2/3: 1 multiplies, else divides) when ConversioneUM
  -- is set; UMAlternativa converts by division into UMAlternativaDestinazione.
  UM3 nvarchar(10),
  ConversioneUM bit,
  TipoConversioneUM2 int,
  TipoConversioneUM3 int,
  FattoreConversione float,
  UMAlternativa nvarchar(10),
  UMAlternativaDestinazione nvarchar(10),
  -- Purchase cost: net of VAT, with VAT, its VAT code and four discounts in percent.
  CostoImponibile float,
  CostoImporto float,
  CostoCodiceIva nvarchar(10),
  CostoSconto1 float,
  CostoSconto2 float,
  CostoSconto3 float,
  CostoSconto4 float,
  -- Sale price with VAT, weight and volume of one base unit.
  PrezzoVendita float,
  Peso float,
  Volume float
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixArticoli_Codice' AND object_id = OBJECT_ID(N'dbo.tabArticoli'))
  CREATE INDEX ixArticoli_Codice ON dbo.tabArticoli (CodiceArticolo);
GO

IF OBJECT_ID(N'dbo.tabBarcode', N'U') IS NULL
CREATE TABLE dbo.tabBarcode (
  Barcode nvarchar(50) NOT NULL PRIMARY KEY,
  idArticolo int,
  NonVisibile bit,
  isNumSeriale bit,
  isBarcodeScatola bit,
  DataCreaz datetime,
  OraCreaz datetime,
  idVariante1 int,
  idVariante2 int,
  idVariante3 int,
  Giacenza float,
  Disponibile float
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixBarcode_Articolo' AND object_id = OBJECT_ID(N'dbo.tabBarcode'))
  CREATE INDEX ixBarcode_Articolo ON dbo.tabBarcode (idArticolo, DataCreaz);
GO

-- Stock per barcode and warehouse.
IF OBJECT_ID(N'dbo.tabGiacenze', N'U') IS NULL
CREATE TABLE dbo.tabGiacenze (
  IdGiacenza int NOT NULL PRIMARY KEY,
  idMagazzino int,
  Barcode nvarchar(50),
  idArticolo int,
  Giacenza float,
  Ordinato float,
  Impegnato float,
  Disponibile float,
  Arrivato float
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixGiacenze_Barcode' AND object_id = OBJECT_ID(N'dbo.tabGiacenze'))
  CREATE INDEX ixGiacenze_Barcode ON dbo.tabGiacenze (Barcode, idMagazzino);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixGiacenze_Articolo' AND object_id = OBJECT_ID(N'dbo.tabGiacenze'))
  CREATE INDEX ixGiacenze_Articolo ON dbo.tabGiacenze (idArticolo, idMagazzino);
GO

-- Document number counters per book (Prefisso), year and key.
IF OBJECT_ID(N'dbo.tabProgressivi', N'U') IS NULL
CREATE TABLE dbo.tabProgressivi (
  ID int IDENTITY(1,1) NOT NULL PRIMARY KEY,
  Prefisso nvarchar(20),
  AnnoProgressivo int,
  Causale nvarchar(50),
  Numero int
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixProgressivi_Chiave' AND object_id = OBJECT_ID(N'dbo.tabProgressivi'))
  CREATE INDEX ixProgressivi_Chiave ON dbo.tabProgressivi (Causale, AnnoProgressivo, Prefisso);
GO

-- Back-office receipt documents.
IF OBJECT_ID(N'dbo.tabTestateScontrini', N'U') IS NULL
CREATE TABLE dbo.tabTestateScontrini (
  idTestata int NOT NULL PRIMARY KEY,
  DataCreaz datetime,
  Numerazione int,
  TotaleImponibile float DEFAULT 0,
  TotaleIva float DEFAULT 0,
  TotaleImporto float DEFAULT 0,
  IdCausale int,
  IDCliente int,
  idFidelityCard int,
  idMagazzino int,
  idOperatore int,
  idUtente_Creazione int,
  idCassa int,
  idOrdineConsegna int,
  bollettario nvarchar(20),
  NumeroScontrino int,
  DataOraScontrino datetime,
  idListino int,
  idScontoListini int,
  Sconto1 float,
  Sconto2 float,
  Sconto3 float,
  Sconto4 float,
  ForzaListinoTestata bit,
  Printed bit,
  IdModoPunti int,
  Fid_SaldoPunti float,
  Fid_SaldoImporto float,
  Fid_PuntiArticoli float,
  Fid_ImportoArticoli float,
  Fid_PuntiOmaggi float,
  Fid_ImportoOmaggi float,
  Fid_PuntiSpesa float,
  Fid_ImportoSpesa float,
  idTransazioneFidelity int,
  DataIncasso datetime,
  idSospeso int,
  DataAgg datetime,
  UtenteUltimoAccesso nvarchar(50),
  CAP nvarchar(10)
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixTestateScontrini_Cassa' AND object_id = OBJECT_ID(N'dbo.tabTestateScontrini'))
  CREATE INDEX ixTestateScontrini_Cassa ON dbo.tabTestateScontrini (idMagazzino, idCassa, DataOraScontrino);
GO

IF OBJECT_ID(N'dbo.tabDettaglioScontrini', N'U') IS NULL
CREATE TABLE dbo.tabDettaglioScontrini (
  idDettaglio int NOT NULL PRIMARY KEY,
  idTestata int,
  riga int,
  IdCausale int,
  idListino int,
  idReparto int,
  idGiustificaSconto int,
  Barcode nvarchar(50),
  idArticolo int,
  Descrizione nvarchar(255),
  PrezzoVenditaNettoIva float,
  prezzoVendita float,
  Quantita float,
  UM nvarchar(10),
  Quantita2 float,
  UM2 nvarchar(10),
  aliquotaIva float,
  CodiceIva nvarchar(10),
  Sconto1 float,
  Sconto2 float,
  Sconto3 float,
  Sconto4 float,
  idBuono int,
  isOmaggio bit,
  IdModoPunti int,
  Fid_PuntiArticolo float,
  Fid_ImportoArticolo float,
  ScontriniNonStampare bit,
  CostoImponibile float,
  CostoImporto float,
  CostoCodiceIva nvarchar(10),
  CostoSconto1 float,
  CostoSconto2 float,
  CostoSconto3 float,
  CostoSconto4 float,
  codiceArticolo nvarchar(50),
  IdCausaleMagazzino int,
  Note nvarchar(4000),
  priceManuallyChanged bit,
  idPromoAttivata int,
  idTipoPromoAttivata int,
  PromoExPrezzo float,
  PromoExSconto1 float,
  PromoExSconto2 float,
  PromoExSconto3 float,
  PromoExSconto4 float,
  storicoImportoRegolaSconto float,
  storicoSc1RegolaSconto float,
  storicoSc2RegolaSconto float,
  storicoSc3RegolaSconto float,
  storicoSc4RegolaSconto float,
  StoricoImportoListino float,
  StoricoSc1Listino float,
  StoricoSc2Listino float,
  StoricoSc3Listino float,
  StoricoSc4Listino float,
  IdTabRegolePrezziVendita int,
  idtabAccontiClienti int,
  idUtente_Comanda int,
  DataCreaz datetime,
  DataAgg datetime,
  TotaleNettoSconto float,
  Imponibile float,
  Iva float,
  Totale float,
  ImportoSconto float,
  CostoTotaleImporto float,
  CostoTotaleImponibile float,
  CostoTotaleIva float,
  MarginalitaEuro float,
  MarginalitaPercen float
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixDettaglioScontrini_Riga' AND object_id = OBJECT_ID(N'dbo.tabDettaglioScontrini'))
  CREATE INDEX ixDettaglioScontrini_Riga ON dbo.tabDettaglioScontrini (idTestata, Riga);
GO

IF OBJECT_ID(N'dbo.tabPagamentiScontriniBackoffice', N'U') IS NULL
CREATE TABLE dbo.tabPagamentiScontriniBackoffice (
  ID int NOT NULL PRIMARY KEY,
  idTestata int,
  IdPagamento int,
  idCausaleContabile int,
  idUtente int,
  idCassa int,
  ImportoIncassato float,
  Coefficiente int,
  DataOperazione datetime,
  DataCreaz datetime,
  DataAgg datetime,
  UtenteUltimoAccesso nvarchar(50),
  Cambio float,
  valuta nvarchar(10),
  NoteMovimento nvarchar(255),
  Cassetto smallint,
  TipoOperazione smallint,
  ingenico_AuthCode nvarchar(50),
  ingenico_Ticket nvarchar(4000),
  ingenico_CardType smallint
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixPagamentiBackoffice_Testata' AND object_id = OBJECT_ID(N'dbo.tabPagamentiScontriniBackoffice'))
  CREATE INDEX ixPagamentiBackoffice_Testata ON dbo.tabPagamentiScontriniBackoffice (idTestata);
GO

-- Fidelity-card movements; idScontrino is the back-office receipt they belong to.
IF OBJECT_ID(N'dbo.tabFidelity_Transazioni', N'U') IS NULL
CREATE TABLE dbo.tabFidelity_Transazioni (
  idTransazione int NOT NULL PRIMARY KEY,
  idFidelityCard int,
  idMagazzino int,
  idCassa int,
  IDCliente int,
  NumeroDocumento int,
  DataMovimento datetime,
  TipoMovimento int,
  DataValuta datetime,
  ImportoIncasso float,
  Quantita float,
  Codice nvarchar(50),
  Descrizione nvarchar(255),
  TipoDocumento int,
  idScontrino int,
  DataCreaz datetime
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixFidelityTransazioni_Scontrino' AND object_id = OBJECT_ID(N'dbo.tabFidelity_Transazioni'))
  CREATE INDEX ixFidelityTransazioni_Scontrino ON dbo.tabFidelity_Transazioni (idScontrino);
GO

-- Fidelity cards and the rules they follow (the card-rules component reads them):
-- ModalitaPunti set: the card collects points, else amounts; PremiComeIncasso set: redeemed
-- prizes count as takings and are reversed.
IF OBJECT_ID(N'dbo.tabFidelity_Regole', N'U') IS NULL
CREATE TABLE dbo.tabFidelity_Regole (
  idRegola int NOT NULL PRIMARY KEY,
  Descrizione nvarchar(255),
  ModalitaPunti bit,
  PremiComeIncasso bit
);
GO

IF OBJECT_ID(N'dbo.tabFidelityCard', N'U') IS NULL
CREATE TABLE dbo.tabFidelityCard (
  idFidelityCard int NOT NULL PRIMARY KEY,
  Codice nvarchar(50),
  IDCliente int,
  idRegola int
);
GO

-- Goods vouchers.
IF OBJECT_ID(N'dbo.tabBuoniMerce', N'U') IS NULL
CREATE TABLE dbo.tabBuoniMerce (
  idBuono int NOT NULL PRIMARY KEY,
  idTipoBuono int,
  Importo float,
  ImportoResiduo float,
  dataEmissione datetime,
  dataValidita datetime,
  dataRientro datetime,
  idMagazzinoScontrinoAcquisto int,
  idCassaScontrinoAcquisto int,
  numeroScontrinoAcquisto int,
  dataScontrinoAcquisto datetime,
  idTestataScontrino int,
  IDCliente int,
  importoVendutoScontrino float,
  imponibileVendutoScontrino float
);
GO

-- Customer down-payment movements.
IF OBJECT_ID(N'dbo.tabdettaglioAccontiClienti', N'U') IS NULL
CREATE TABLE dbo.tabdettaglioAccontiClienti (
  ID int NOT NULL PRIMARY KEY,
  idtabAccontiClienti int,
  TipoOperazione int,
  TipoDocumento int,
  IdDettaglioDocumento int,
  ImportoMovimentoAcconto float,
  UtenteUltimoAccesso nvarchar(50)
);
GO

-- Warehouse movements: summary headers and their rows.
IF OBJECT_ID(N'dbo.tabTestateMagazzino', N'U') IS NULL
CREATE TABLE dbo.tabTestateMagazzino (
  idTestata int NOT NULL PRIMARY KEY,
  IdTestataRiferimento int,
  IDMagazzinoPartenza int,
  IDMagazzinoDestinazione int,
  idOperatore int,
  IdPagamento int,
  IdBanca int,
  IDCliente int,
  idDestinazione int,
  idCassa int,
  IdCausale int,
  ForzaListinoTestata int,
  bollettario nvarchar(20),
  idAgente int,
  idOrdineConsegna int,
  Ddt bit,
  NumeroDocumento int,
  DataDocumento datetime,
  NumeroDocumentoRiferimento nvarchar(50),
  dataDocumentoRiferimento datetime,
  NumeroFatturaRiferimento nvarchar(50),
  DataFatturaRiferimento datetime,
  Referente nvarchar(255),
  Oggetto nvarchar(255),
  Note nvarchar(4000),
  idListino int,
  idScontoListini int,
  Sconto1 float,
  Sconto2 float,
  Sconto3 float,
  Sconto4 float,
  DataCreaz datetime,
  DataAgg datetime,
  BollettarioRientroVuoti nvarchar(20),
  NumeroDocumentoRientroVuoti nvarchar(50),
  DataDocumentoRientroVuoti datetime,
  IdCausaleRientroVuoti int,
  AggiornaPrezziAcquisto bit,
  Dest_RagioneSociale nvarchar(255),
  Dest_Indirizzo nvarchar(255),
  Dest_CAP nvarchar(10),
  Dest_Citta nvarchar(100),
  Dest_provincia nvarchar(10),
  Dest_Stato nvarchar(100),
  Dest_IsFatturazione bit,
  numDocRiferimento nvarchar(50),
  dataDocRiferimento nvarchar(50),
  valuta nvarchar(10),
  Cambio float,
  TotImponibile float,
  TotIva float,
  TotIvato float
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixTestateMagazzino_Riepilogo' AND object_id = OBJECT_ID(N'dbo.tabTestateMagazzino'))
  CREATE INDEX ixTestateMagazzino_Riepilogo ON dbo.tabTestateMagazzino (IdCausale, DataDocumento, idCassa);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixTestateMagazzino_Numero' AND object_id = OBJECT_ID(N'dbo.tabTestateMagazzino'))
  CREATE INDEX ixTestateMagazzino_Numero ON dbo.tabTestateMagazzino (NumeroDocumento, bollettario);
GO

IF OBJECT_ID(N'dbo.tabDettaglioMagazzino', N'U') IS NULL
CREATE TABLE dbo.tabDettaglioMagazzino (
  idDettaglio int NOT NULL PRIMARY KEY,
  idTestata int,
  riga int,
  idArticolo int,
  Barcode nvarchar(50),
  Descrizione nvarchar(255),
  Quantita float,
  UM nvarchar(10),
  Quantita2 float,
  UM2 nvarchar(10),
  PrezzoVenditaNettoIva float,
  prezzoVendita float,
  aliquotaIva float,
  CodiceIva nvarchar(10),
  Sconto1 float,
  Sconto2 float,
  Sconto3 float,
  Sconto4 float,
  Note nvarchar(4000),
  Annotazioni nvarchar(4000),
  idMagazzino int,
  idReparto int,
  isVuoto bit,
  IdRifDettaglioVuoto int,
  CostoImponibile float,
  CostoImporto float,
  CostoCodiceIva nvarchar(10),
  CostoSconto1 float,
  CostoSconto2 float,
  CostoSconto3 float,
  CostoSconto4 float,
  MarginalitaEuro float,
  MarginalitaPercen float,
  peso float,
  Volume float,
  ImponibileSpesaExtra float,
  idDettaglioScontrino int,
  IdDettaglioRiferimento int,
  DataCreaz datetime,
  TotaleNettoSconto float,
  Imponibile float,
  Iva float,
  Totale float,
  ImportoSconto float,
  CostoTotaleImporto float,
  CostoTotaleImponibile float,
  CostoTotaleIva float
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixDettaglioMagazzino_Riga' AND object_id = OBJECT_ID(N'dbo.tabDettaglioMagazzino'))
  CREATE INDEX ixDettaglioMagazzino_Riga ON dbo.tabDettaglioMagazzino (idTestata, Riga);
GO

-- Discount reasons, re-keyed to the movement header and row.
IF OBJECT_ID(N'dbo.tabGiustificaSconto', N'U') IS NULL
CREATE TABLE dbo.tabGiustificaSconto (
  ID int NOT NULL PRIMARY KEY,
  idTestataMovimento int,
  idDettaglioMovimento int,
  idMagazzino int,
  idCassa int,
  NumeroScontrino int,
  dataScontrino datetime,
  percentualeSconto float,
  ImportoSconto float,
  motivazione nvarchar(255),
  flagExport bit,
  dataExport datetime
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixGiustificaSconto_Movimento' AND object_id = OBJECT_ID(N'dbo.tabGiustificaSconto'))
  CREATE INDEX ixGiustificaSconto_Movimento ON dbo.tabGiustificaSconto (idTestataMovimento, idDettaglioMovimento);
GO

-- Links between documents written by the document link component: a receipt and its
-- rows with the warehouse movement and rows they produced (TipoCollegamento 9 or 23).
IF OBJECT_ID(N'dbo.tabDocumentiCollegati', N'U') IS NULL
CREATE TABLE dbo.tabDocumentiCollegati (
  ID int NOT NULL PRIMARY KEY,
  TipoCollegamento int,
  idTestataOrigine int,
  idDettaglioOrigine int,
  idTestataDestinazione int,
  idDettaglioDestinazione int,
  DataCreaz datetime
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixDocumentiCollegati_Origine' AND object_id = OBJECT_ID(N'dbo.tabDocumentiCollegati'))
  CREATE INDEX ixDocumentiCollegati_Origine ON dbo.tabDocumentiCollegati (idTestataOrigine, TipoCollegamento);
GO

-- Bills of materials: the components of a kit article (the kit explosion component reads
-- them, following components that are kits themselves). Quantita is per unit of the kit.
IF OBJECT_ID(N'dbo.tabGestioneDistinteBase', N'U') IS NULL
CREATE TABLE dbo.tabGestioneDistinteBase (
  ID int NOT NULL PRIMARY KEY,
  idArticoloPadre int,
  idArticoloFiglio int,
  Quantita float,
  DataInizioValidita datetime,
  DataFineValidita datetime
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixGestioneDistinteBase_Padre' AND object_id = OBJECT_ID(N'dbo.tabGestioneDistinteBase'))
  CREATE INDEX ixGestioneDistinteBase_Padre ON dbo.tabGestioneDistinteBase (idArticoloPadre);
GO

-- Other document kinds: the number test and the totals reach them by document type.
IF OBJECT_ID(N'dbo.tabTestateFatture', N'U') IS NULL
CREATE TABLE dbo.tabTestateFatture (
  idTestata int NOT NULL PRIMARY KEY,
  IdCausale int,
  Bollettario nvarchar(20),
  NumeroDocumento int,
  DataDocumento datetime,
  TotImponibile float,
  TotIva float,
  TotIvato float,
  TotNonImponibile float
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixTestateFatture_Numero' AND object_id = OBJECT_ID(N'dbo.tabTestateFatture'))
  CREATE INDEX ixTestateFatture_Numero ON dbo.tabTestateFatture (NumeroDocumento, Bollettario);
GO

IF OBJECT_ID(N'dbo.tabDettaglioFatture', N'U') IS NULL
CREATE TABLE dbo.tabDettaglioFatture (
  idDettaglio int NOT NULL PRIMARY KEY,
  idTestata int,
  riga int,
  idArticolo int,
  Barcode nvarchar(50),
  Descrizione nvarchar(255),
  Quantita float,
  UM nvarchar(10),
  Quantita2 float,
  UM2 nvarchar(10),
  PrezzoVenditaNettoIva float,
  prezzoVendita float,
  aliquotaIva float,
  CodiceIva nvarchar(10),
  Sconto1 float,
  Sconto2 float,
  Sconto3 float,
  Sconto4 float,
  Note nvarchar(4000),
  Annotazioni nvarchar(4000),
  idMagazzino int,
  idReparto int,
  IdConto int,
  DescrizioneConto nvarchar(255),
  isVuoto bit,
  IdRifDettaglioVuoto int,
  CostoImponibile float,
  CostoImporto float,
  CostoCodiceIva nvarchar(10),
  CostoSconto1 float,
  CostoSconto2 float,
  CostoSconto3 float,
  CostoSconto4 float,
  MarginalitaEuro float,
  MarginalitaPercen float,
  peso float,
  Volume float,
  DataCreaz datetime,
  TotaleNettoSconto float,
  Imponibile float,
  Iva float,
  Totale float,
  ImportoSconto float,
  CostoTotaleImporto float,
  CostoTotaleImponibile float,
  CostoTotaleIva float
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixDettaglioFatture_Testata' AND object_id = OBJECT_ID(N'dbo.tabDettaglioFatture'))
  CREATE INDEX ixDettaglioFatture_Testata ON dbo.tabDettaglioFatture (idTestata);
GO

IF OBJECT_ID(N'dbo.tabTestatePreventivi', N'U') IS NULL
CREATE TABLE dbo.tabTestatePreventivi (
  IdTestata int NOT NULL PRIMARY KEY,
  Bollettario nvarchar(20),
  NumeroDocumento int,
  Revisione int,
  DataDocumento datetime,
  TotImponibile float,
  TotIva float,
  TotImporto float
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixTestatePreventivi_Numero' AND object_id = OBJECT_ID(N'dbo.tabTestatePreventivi'))
  CREATE INDEX ixTestatePreventivi_Numero ON dbo.tabTestatePreventivi (NumeroDocumento, Bollettario);
GO

IF OBJECT_ID(N'dbo.tabDettaglioPreventivi', N'U') IS NULL
CREATE TABLE dbo.tabDettaglioPreventivi (
  idDettaglio int NOT NULL PRIMARY KEY,
  idTestata int,
  AliquotaIva float,
  Imponibile float,
  TotaleNettoSconto float,
  Iva float
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixDettaglioPreventivi_Testata' AND object_id = OBJECT_ID(N'dbo.tabDettaglioPreventivi'))
  CREATE INDEX ixDettaglioPreventivi_Testata ON dbo.tabDettaglioPreventivi (idTestata);
GO

IF OBJECT_ID(N'dbo.tabTestateEstrattiConto', N'U') IS NULL
CREATE TABLE dbo.tabTestateEstrattiConto (
  IdTestata int NOT NULL PRIMARY KEY,
  Bollettario nvarchar(20),
  NumeroDocumento int,
  DataDocumento datetime,
  TotImponibile float,
  TotIva float,
  TotImporto float
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixTestateEstrattiConto_Numero' AND object_id = OBJECT_ID(N'dbo.tabTestateEstrattiConto'))
  CREATE INDEX ixTestateEstrattiConto_Numero ON dbo.tabTestateEstrattiConto (NumeroDocumento, Bollettario);
GO

IF OBJECT_ID(N'dbo.tabDettaglioEstrattiConto', N'U') IS NULL
CREATE TABLE dbo.tabDettaglioEstrattiConto (
  idDettaglio int NOT NULL PRIMARY KEY,
  idTestata int,
  AliquotaIva float,
  Imponibile float,
  TotaleNettoSconto float,
  Iva float
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixDettaglioEstrattiConto_Testata' AND object_id = OBJECT_ID(N'dbo.tabDettaglioEstrattiConto'))
  CREATE INDEX ixDettaglioEstrattiConto_Testata ON dbo.tabDettaglioEstrattiConto (idTestata);
GO

IF OBJECT_ID(N'dbo.tabTestateOrdiniCliente', N'U') IS NULL
CREATE TABLE dbo.tabTestateOrdiniCliente (
  IdOrdine int NOT NULL PRIMARY KEY,
  Bollettario nvarchar(20),
  NumeroDocumento int,
  Data datetime,
  TotImponibile float,
  TotIva float,
  TotImporto float
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixTestateOrdiniCliente_Numero' AND object_id = OBJECT_ID(N'dbo.tabTestateOrdiniCliente'))
  CREATE INDEX ixTestateOrdiniCliente_Numero ON dbo.tabTestateOrdiniCliente (NumeroDocumento, Bollettario);
GO

IF OBJECT_ID(N'dbo.tabDettaglioOrdiniCliente', N'U') IS NULL
CREATE TABLE dbo.tabDettaglioOrdiniCliente (
  IdRiga int NOT NULL PRIMARY KEY,
  idOrdine int,
  AliquotaIva float,
  Imponibile float,
  TotaleNettoSconto float,
  Iva float
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixDettaglioOrdiniCliente_Ordine' AND object_id = OBJECT_ID(N'dbo.tabDettaglioOrdiniCliente'))
  CREATE INDEX ixDettaglioOrdiniCliente_Ordine ON dbo.tabDettaglioOrdiniCliente (idOrdine);
GO

IF OBJECT_ID(N'dbo.tabTestateOrdiniFornitore', N'U') IS NULL
CREATE TABLE dbo.tabTestateOrdiniFornitore (
  IdOrdine int NOT NULL PRIMARY KEY,
  Bollettario nvarchar(20),
  NumeroDocumento int,
  Data datetime,
  TotImponibile float,
  TotIva float,
  TotImporto float
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixTestateOrdiniFornitore_Numero' AND object_id = OBJECT_ID(N'dbo.tabTestateOrdiniFornitore'))
  CREATE INDEX ixTestateOrdiniFornitore_Numero ON dbo.tabTestateOrdiniFornitore (NumeroDocumento, Bollettario);
GO

IF OBJECT_ID(N'dbo.tabDettaglioOrdiniFornitore', N'U') IS NULL
CREATE TABLE dbo.tabDettaglioOrdiniFornitore (
  IdRiga int NOT NULL PRIMARY KEY,
  idOrdine int,
  AliquotaIva float,
  Imponibile float,
  TotaleNettoSconto float,
  Iva float
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixDettaglioOrdiniFornitore_Ordine' AND object_id = OBJECT_ID(N'dbo.tabDettaglioOrdiniFornitore'))
  CREATE INDEX ixDettaglioOrdiniFornitore_Ordine ON dbo.tabDettaglioOrdiniFornitore (idOrdine);
GO

IF OBJECT_ID(N'dbo.tabTestateRicevute', N'U') IS NULL
CREATE TABLE dbo.tabTestateRicevute (
  IdTestata int NOT NULL PRIMARY KEY,
  TotImponibile float,
  TotIva float,
  TotIvato float
);
GO

IF OBJECT_ID(N'dbo.tabTestatePreconto', N'U') IS NULL
CREATE TABLE dbo.tabTestatePreconto (
  IdTestata int NOT NULL PRIMARY KEY,
  TotImponibile float,
  TotIva float,
  TotIvato float
);
GO

IF OBJECT_ID(N'dbo.tabTestateCommesse', N'U') IS NULL
CREATE TABLE dbo.tabTestateCommesse (
  IdTestata int NOT NULL PRIMARY KEY,
  Bollettario nvarchar(20),
  NumeroDocumento int,
  DataDocumento datetime
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixTestateCommesse_Numero' AND object_id = OBJECT_ID(N'dbo.tabTestateCommesse'))
  CREATE INDEX ixTestateCommesse_Numero ON dbo.tabTestateCommesse (NumeroDocumento, Bollettario);
GO

IF OBJECT_ID(N'dbo.tabAssistenze_Testate', N'U') IS NULL
CREATE TABLE dbo.tabAssistenze_Testate (
  IdTestata int NOT NULL PRIMARY KEY,
  Sezione int,
  NumeroDocumento int,
  DataDocumento datetime
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixAssistenzeTestate_Numero' AND object_id = OBJECT_ID(N'dbo.tabAssistenze_Testate'))
  CREATE INDEX ixAssistenzeTestate_Numero ON dbo.tabAssistenze_Testate (NumeroDocumento, Sezione);
GO

-- Sync ledger: every POS receipt this till transferred, written in the receipt's own
-- transaction, so that no receipt is ever written twice.
IF OBJECT_ID(N'dbo.tabSincroScontrini', N'U') IS NULL
CREATE TABLE dbo.tabSincroScontrini (
  IdCassa int NOT NULL,
  IdScontrinoPos int NOT NULL,
  IdDocumento int NOT NULL,
  DataSincro datetime NOT NULL,
  PRIMARY KEY (IdCassa, IdScontrinoPos)
);
GO

-- Sync ledger of the POS payments that belong to no receipt, by POS payment id.
IF OBJECT_ID(N'dbo.tabSincroPagamenti', N'U') IS NULL
CREATE TABLE dbo.tabSincroPagamenti (
  IdCassa int NOT NULL,
  IdPagamentoPos int NOT NULL,
  IdPagamento int NOT NULL,
  DataSincro datetime NOT NULL,
  PRIMARY KEY (IdCassa, IdPagamentoPos)
);
GO

-- Sync ledger of the POS discount reasons copied with their receipt, by POS reason id: what
-- to flag in the front office when a receipt's flags were lost after its commit.
IF OBJECT_ID(N'dbo.tabSincroGiustifiche', N'U') IS NULL
CREATE TABLE dbo.tabSincroGiustifiche (
  IdCassa int NOT NULL,
  IdGiustificaPos int NOT NULL,
  IdScontrinoPos int NOT NULL,
  IdGiustifica int NOT NULL,
  DataSincro datetime NOT NULL,
  PRIMARY KEY (IdCassa, IdGiustificaPos)
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixSincroGiustifiche_Scontrino' AND object_id = OBJECT_ID(N'dbo.tabSincroGiustifiche'))
  CREATE INDEX ixSincroGiustifiche_Scontrino ON dbo.tabSincroGiustifiche (IdCassa, IdScontrinoPos);
GO

-- POS receipts that failed to transfer: attempts so far and the last error.
IF OBJECT_ID(N'dbo.tabSincroErrori', N'U') IS NULL
CREATE TABLE dbo.tabSincroErrori (
  IdCassa int NOT NULL,
  IdScontrinoPos int NOT NULL,
  Tentativi int NOT NULL,
  UltimoErrore nvarchar(4000) NULL,
  DataUltimoTentativo datetime NOT NULL,
  PRIMARY KEY (IdCassa, IdScontrinoPos)
);
GO

-- GetNewID: the next free id of a table's key column. The counter row is read and
-- written under UPDLOCK/HOLDLOCK inside one transaction, so concurrent callers get
-- distinct ids; with @checkConflictOnSourceTable = 1 the id also stays above the
-- table's own maximum (rows written by other programs).
IF OBJECT_ID(N'dbo.GetNewID', N'P') IS NOT NULL
  DROP PROCEDURE dbo.GetNewID;
GO
CREATE PROCEDURE dbo.GetNewID
  @schemaName varchar(255),
  @tableName varchar(255),
  @columnName varchar(255),
  @checkConflictOnSourceTable int,
  @newID int OUTPUT
AS
BEGIN
  SET NOCOUNT ON;
  SET XACT_ABORT ON;
  DECLARE @last int, @max int = 0, @sql nvarchar(max);
  DECLARE @table nvarchar(128) = LOWER(@tableName), @column nvarchar(128) = LOWER(@columnName);

  BEGIN TRANSACTION;
  SELECT @last = UltimoID
    FROM dbo.tabContatoriID WITH (UPDLOCK, HOLDLOCK)
   WHERE NomeTabella = @table AND NomeColonna = @column;

  IF @checkConflictOnSourceTable = 1
  BEGIN
    SET @sql = N'SELECT @m = ISNULL(MAX(' + QUOTENAME(@columnName) + N'), 0) FROM '
             + QUOTENAME(ISNULL(NULLIF(@schemaName, ''), 'dbo')) + N'.' + QUOTENAME(@tableName)
             + N' WITH (UPDLOCK, HOLDLOCK)';
    EXEC sp_executesql @sql, N'@m int OUTPUT', @m = @max OUTPUT;
  END

  SET @newID = ISNULL(@last, 0) + 1;
  IF @newID < 1 SET @newID = 1;  -- never an id below 1, whatever the counter holds
  IF @newID <= @max SET @newID = @max + 1;

  IF @last IS NULL
    INSERT INTO dbo.tabContatoriID (NomeTabella, NomeColonna, UltimoID) VALUES (@table, @column, @newID);
  ELSE
    UPDATE dbo.tabContatoriID SET UltimoID = @newID WHERE NomeTabella = @table AND NomeColonna = @column;
  COMMIT TRANSACTION;
END
GO
