-- Front-office (POS) database, SQLite form. Types follow SQL Server's (int ids, float
-- amounts, bit flags, nvarchar texts, datetime as ISO text); text compares without case.

-- Shop settings read by getDbValue: one row per setting.
CREATE TABLE IF NOT EXISTS tabImpostazioni (
  descrizione nvarchar(100) NOT NULL COLLATE NOCASE PRIMARY KEY,
  valore nvarchar(255) COLLATE NOCASE
);

-- POS receipt headers.
CREATE TABLE IF NOT EXISTS tabTestate (
  idTestata INTEGER PRIMARY KEY,
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
  CAP nvarchar(10) COLLATE NOCASE,
  idSospeso int
);
CREATE INDEX IF NOT EXISTS ixTestate_Causale ON tabTestate (IdCausale, Printed);

-- POS receipt rows.
CREATE TABLE IF NOT EXISTS tabDettaglio (
  idDettaglio INTEGER PRIMARY KEY,
  IdTestata int,
  FlagExport bit,
  IdRiferimento int,
  IdCausale int,
  idReparto int,
  idListino int,
  Barcode nvarchar(50) COLLATE NOCASE,
  Descrizione nvarchar(255) COLLATE NOCASE,
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
  CodiceIva nvarchar(10) COLLATE NOCASE,
  TipoSconto nvarchar(10) COLLATE NOCASE,
  idBuono int,
  idTipoBuono int,
  isOmaggio bit,
  IdModoPunti int,
  Fid_PuntiArticolo float,
  Fid_ImportoArticolo float,
  ScontriniNonStampare bit,
  IdCausaleMagazzino int,
  CodiceArticolo nvarchar(50) COLLATE NOCASE,
  Note nvarchar(4000) COLLATE NOCASE,
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
  UtenteUltimoAccesso nvarchar(50) COLLATE NOCASE
);
CREATE INDEX IF NOT EXISTS ixDettaglio_Testata ON tabDettaglio (IdTestata, IdCausale);
CREATE INDEX IF NOT EXISTS ixDettaglio_FlagExport ON tabDettaglio (FlagExport, IdTestata);

-- POS payments; idTestata -1 for payments that belong to no receipt.
CREATE TABLE IF NOT EXISTS tabPagamentiScontrini (
  ID INTEGER PRIMARY KEY,
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
  UtenteUltimoAccesso nvarchar(50) COLLATE NOCASE,
  Cambio float,
  valuta nvarchar(10) COLLATE NOCASE,
  NoteMovimento nvarchar(255) COLLATE NOCASE,
  Cassetto smallint,
  TipoOperazione smallint,
  ingenico_AuthCode nvarchar(50) COLLATE NOCASE,
  ingenico_Ticket nvarchar(4000) COLLATE NOCASE,
  ingenico_CardType smallint
);
CREATE INDEX IF NOT EXISTS ixPagamentiScontrini_Testata ON tabPagamentiScontrini (idTestata, FlagExport);

-- Till operators and the back-office user each one stands for.
CREATE TABLE IF NOT EXISTS tabPersonale (
  id INTEGER PRIMARY KEY,
  Nome nvarchar(100) COLLATE NOCASE,
  idUtente int
);

-- Kit components sold on a POS row.
CREATE TABLE IF NOT EXISTS tabPuntoCassa_DettaglioDistinta (
  ID INTEGER PRIMARY KEY,
  idTestata int,
  idDettaglio int,
  idArticolo int,
  qta float,
  Descrizione nvarchar(255) COLLATE NOCASE,
  idVariante1 int,
  idVariante2 int,
  idVariante3 int
);
CREATE INDEX IF NOT EXISTS ixDettaglioDistinta_Riga ON tabPuntoCassa_DettaglioDistinta (idTestata, idDettaglio);

-- Articles and barcodes as the till knows them.
CREATE TABLE IF NOT EXISTS tabArticoli (
  idArticolo INTEGER PRIMARY KEY,
  CodiceArticolo nvarchar(50) COLLATE NOCASE,
  Descrizione nvarchar(255) COLLATE NOCASE,
  aliquotaIva float,
  CodiceIva nvarchar(10) COLLATE NOCASE,
  UM nvarchar(10) COLLATE NOCASE,
  UM2 nvarchar(10) COLLATE NOCASE,
  TipoUmVen int
);
CREATE INDEX IF NOT EXISTS ixArticoli_Codice ON tabArticoli (CodiceArticolo);

CREATE TABLE IF NOT EXISTS tabBarcode (
  Barcode nvarchar(50) NOT NULL COLLATE NOCASE PRIMARY KEY,
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
CREATE INDEX IF NOT EXISTS ixBarcode_Articolo ON tabBarcode (idArticolo);

CREATE TABLE IF NOT EXISTS tabClienti (
  IdCliente INTEGER PRIMARY KEY,
  RagioneSociale nvarchar(255) COLLATE NOCASE,
  FlagIvaCliente bit,
  IvaCliente float,
  CodiceIvaCliente nvarchar(10) COLLATE NOCASE
);

-- Discount reasons given at the till: idTestataMovimento/idDettaglioMovimento hold the
-- POS receipt and row (-1 for a reason on the whole receipt).
CREATE TABLE IF NOT EXISTS tabGiustificaSconto (
  ID INTEGER PRIMARY KEY,
  idTestataMovimento int,
  idDettaglioMovimento int,
  idMagazzino int,
  idCassa int,
  NumeroScontrino int,
  dataScontrino datetime,
  percentualeSconto float,
  ImportoSconto float,
  motivazione nvarchar(255) COLLATE NOCASE,
  flagExport bit,
  dataExport datetime
);
CREATE INDEX IF NOT EXISTS ixGiustificaSconto_Movimento ON tabGiustificaSconto (idTestataMovimento, idDettaglioMovimento);
CREATE INDEX IF NOT EXISTS ixGiustificaSconto_Export ON tabGiustificaSconto (flagExport);
