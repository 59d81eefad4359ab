-- Front-office database, SQL Server form: the same tables, columns, keys and indexes
-- as schema/sqlite/frontoffice.sql. Run with sqlcmd -d <database> -i this file (GO separates batches).

-- Shop settings read by getDbValue: one row per setting.
IF OBJECT_ID(N'dbo.tabImpostazioni', N'U') IS NULL
CREATE TABLE dbo.tabImpostazioni (
  descrizione nvarchar(100) NOT NULL PRIMARY KEY,
  valore nvarchar(255)
);
GO

-- POS receipt headers.
IF OBJECT_ID(N'dbo.tabTestate', N'U') IS NULL
CREATE TABLE dbo.tabTestate (
  idTestata int NOT NULL PRIMARY KEY,
  IdCausale int,
  Printed bit,
  Data datetime,
  Ora datetime,
  IDCliente int,
  Operatore int,
  Cassa int,
  NumScontrino int,
  Chiusura int,
  idListino int,
  idScontoListini int,
  Sconto1 float,
  Sconto2 float,
  Sconto3 float,
  Sconto4 float,
  ForzaListinoTestata bit,
  idFidelityCard int,
  IdModoPunti int,
  Fid_SaldoPunti float,
  Fid_SaldoImporto float,
  Fid_PuntiArticoli float,
  Fid_ImportoArticoli float,
  Fid_PuntiOmaggi float,
  Fid_ImportoOmaggi float,
  Fid_PuntiSpesa float,
  Fid_ImportoSpesa float,
  CAP nvarchar(10),
  idSospeso int
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixTestate_Causale' AND object_id = OBJECT_ID(N'dbo.tabTestate'))
  CREATE INDEX ixTestate_Causale ON dbo.tabTestate (IdCausale, Printed);
GO

-- POS receipt rows.
IF OBJECT_ID(N'dbo.tabDettaglio', N'U') IS NULL
CREATE TABLE dbo.tabDettaglio (
  idDettaglio int NOT NULL PRIMARY KEY,
  IdTestata int,
  FlagExport bit,
  IdRiferimento int,
  IdCausale int,
  idReparto int,
  idListino int,
  Barcode nvarchar(50),
  Descrizione nvarchar(255),
  Prezzo float,
  PrezzoVenditaNettoIva float,
  Quantita float,
  AIva float,
  Imponibile float,
  Iva float,
  Totale float,
  Sconto1 float,
  Sconto2 float,
  Sconto3 float,
  Sconto4 float,
  ImportoSconto float,
  TotaleNettoSconto float,
  CodiceIva nvarchar(10),
  TipoSconto nvarchar(10),
  idBuono int,
  idTipoBuono int,
  isOmaggio bit,
  IdModoPunti int,
  Fid_PuntiArticolo float,
  Fid_ImportoArticolo float,
  ScontriniNonStampare bit,
  IdCausaleMagazzino int,
  CodiceArticolo nvarchar(50),
  Note nvarchar(4000),
  priceManuallyChanged bit,
  idOperatore_Riga int,
  idPromoAttivata int,
  idTipoPromoAttivata int,
  PromoExPrezzo float,
  PromoExSconto1 float,
  PromoExSconto2 float,
  PromoExSconto3 float,
  PromoExSconto4 float,
  StoricoImportoRegolaSconto float,
  StoricoSc1RegolaSconto float,
  StoricoSc2RegolaSconto float,
  StoricoSc3RegolaSconto float,
  StoricoSc4RegolaSconto float,
  StoricoImportoListino float,
  StoricoSc1Listino float,
  StoricoSc2Listino float,
  StoricoSc3Listino float,
  StoricoSc4Listino float,
  idTabRegolePrezziVendita int,
  idtabAccontiClienti int,
  UtenteUltimoAccesso nvarchar(50)
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixDettaglio_Testata' AND object_id = OBJECT_ID(N'dbo.tabDettaglio'))
  CREATE INDEX ixDettaglio_Testata ON dbo.tabDettaglio (IdTestata, IdCausale);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixDettaglio_FlagExport' AND object_id = OBJECT_ID(N'dbo.tabDettaglio'))
  CREATE INDEX ixDettaglio_FlagExport ON dbo.tabDettaglio (FlagExport, IdTestata);
GO

-- POS payments; idTestata -1 for payments that belong to no receipt.
IF OBJECT_ID(N'dbo.tabPagamentiScontrini', N'U') IS NULL
CREATE TABLE dbo.tabPagamentiScontrini (
  ID int NOT NULL PRIMARY KEY,
  idTestata int,
  FlagExport bit,
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
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixPagamentiScontrini_Testata' AND object_id = OBJECT_ID(N'dbo.tabPagamentiScontrini'))
  CREATE INDEX ixPagamentiScontrini_Testata ON dbo.tabPagamentiScontrini (idTestata, FlagExport);
GO

-- Till operators and the back-office user each one stands for.
IF OBJECT_ID(N'dbo.tabPersonale', N'U') IS NULL
CREATE TABLE dbo.tabPersonale (
  id int NOT NULL PRIMARY KEY,
  Nome nvarchar(100),
  idUtente int
);
GO

-- Kit components sold on a POS row.
IF OBJECT_ID(N'dbo.tabPuntoCassa_DettaglioDistinta', N'U') IS NULL
CREATE TABLE dbo.tabPuntoCassa_DettaglioDistinta (
  ID int NOT NULL PRIMARY KEY,
  idTestata int,
  idDettaglio int,
  idArticolo int,
  qta float,
  Descrizione nvarchar(255),
  idVariante1 int,
  idVariante2 int,
  idVariante3 int
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixDettaglioDistinta_Riga' AND object_id = OBJECT_ID(N'dbo.tabPuntoCassa_DettaglioDistinta'))
  CREATE INDEX ixDettaglioDistinta_Riga ON dbo.tabPuntoCassa_DettaglioDistinta (idTestata, idDettaglio);
GO

-- Articles and barcodes as the till knows them.
IF OBJECT_ID(N'dbo.tabArticoli', N'U') IS NULL
CREATE TABLE dbo.tabArticoli (
  idArticolo int NOT NULL PRIMARY KEY,
  CodiceArticolo nvarchar(50),
  Descrizione nvarchar(255),
  aliquotaIva float,
  CodiceIva nvarchar(10),
  UM nvarchar(10),
  UM2 nvarchar(10),
  TipoUmVen int
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
  idVariante3 int
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixBarcode_Articolo' AND object_id = OBJECT_ID(N'dbo.tabBarcode'))
  CREATE INDEX ixBarcode_Articolo ON dbo.tabBarcode (idArticolo);
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

-- Discount reasons given at the till: idTestataMovimento/idDettaglioMovimento hold the
-- POS receipt and row (-1 for a reason on the whole receipt).
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
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'ixGiustificaSconto_Export' AND object_id = OBJECT_ID(N'dbo.tabGiustificaSconto'))
  CREATE INDEX ixGiustificaSconto_Export ON dbo.tabGiustificaSconto (flagExport);
GO
