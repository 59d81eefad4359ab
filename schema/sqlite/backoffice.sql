-- Back-office database, SQLite form. Types follow SQL Server's (int ids, float amounts,
-- bit flags, nvarchar texts, datetime as ISO text); text compares without case.

-- Counters behind the "GetNewID" procedure: the last id handed out per table and column
-- (names kept in lower case).
CREATE TABLE IF NOT EXISTS tabContatoriID (
  NomeTabella nvarchar(128) NOT NULL COLLATE NOCASE,
  NomeColonna nvarchar(128) NOT NULL COLLATE NOCASE,
  UltimoID int NOT NULL,
  PRIMARY KEY (NomeTabella, NomeColonna)
);

-- Stand-in for SQL Server's sys.sysprocesses, read by the pending-transaction guard.
CREATE TABLE IF NOT EXISTS sysprocesses (
  spid smallint PRIMARY KEY,
  kpid smallint,
  blocked smallint,
  waittime bigint,
  lastwaittype nvarchar(32),
  dbid smallint,
  uid smallint,
  cpu int,
  physical_io bigint,
  memusage int,
  login_time datetime,
  last_batch datetime,
  ecid smallint,
  open_tran smallint,
  status nvarchar(30) COLLATE NOCASE,
  hostname nvarchar(128) COLLATE NOCASE,
  program_name nvarchar(128) COLLATE NOCASE,
  hostprocess nvarchar(10),
  cmd nvarchar(16),
  nt_domain nvarchar(128),
  nt_username nvarchar(128),
  net_address nvarchar(12),
  net_library nvarchar(12),
  loginame nvarchar(128) COLLATE NOCASE
);

CREATE TABLE IF NOT EXISTS tabAliquoteIva (
  Codice nvarchar(10) NOT NULL COLLATE NOCASE PRIMARY KEY,
  Descrizione nvarchar(255) COLLATE NOCASE,
  aliquotaIva float
);

CREATE TABLE IF NOT EXISTS tabValute (
  Valuta nvarchar(10) NOT NULL COLLATE NOCASE PRIMARY KEY,
  Descrizione nvarchar(100) COLLATE NOCASE,
  Arrotondamento float
);

-- Causali of documents and warehouse movements.
CREATE TABLE IF NOT EXISTS tabCausali (
  IdCausale INTEGER PRIMARY KEY,
  Causale nvarchar(20) COLLATE NOCASE,
  Descrizione nvarchar(255) COLLATE NOCASE,
  TipoMovimento nvarchar(1) COLLATE NOCASE,
  CausaleMovimentoSecondario nvarchar(20) COLLATE NOCASE,
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
CREATE INDEX IF NOT EXISTS ixCausali_Causale ON tabCausali (Causale);

CREATE TABLE IF NOT EXISTS tabConti (
  ID INTEGER PRIMARY KEY,
  Conto nvarchar(255) COLLATE NOCASE
);

CREATE TABLE IF NOT EXISTS tabClienti (
  IdCliente INTEGER PRIMARY KEY,
  RagioneSociale nvarchar(255) COLLATE NOCASE,
  FlagIvaCliente bit,
  IvaCliente float,
  CodiceIvaCliente nvarchar(10) COLLATE NOCASE
);

-- Till operators and the back-office user each one stands for (the user-lookup
-- component reads it).
CREATE TABLE IF NOT EXISTS tabPersonale (
  id INTEGER PRIMARY KEY,
  Nome nvarchar(100) COLLATE NOCASE,
  idUtente int
);

-- Articles: Movimentato, AggiornaGiacenze (stock-managed), BloccaConGiacenzaAZero,
-- Attivo, Giacenza and Disponibile are kept by the stock update.
CREATE TABLE IF NOT EXISTS tabArticoli (
  idArticolo INTEGER PRIMARY KEY,
  CodiceArticolo nvarchar(50) COLLATE NOCASE,
  Descrizione nvarchar(255) COLLATE NOCASE,
  aliquotaIva float,
  CodiceIva nvarchar(10) COLLATE NOCASE,
  UM nvarchar(10) COLLATE NOCASE,
  UM2 nvarchar(10) COLLATE NOCASE,
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
  UM3 nvarchar(10) COLLATE NOCASE,
  ConversioneUM bit,
  TipoConversioneUM2 int,
  TipoConversioneUM3 int,
  FattoreConversione float,
  UMAlternativa nvarchar(10) COLLATE NOCASE,
  UMAlternativaDestinazione nvarchar(10) COLLATE NOCASE,
  -- Purchase cost: net of VAT, with VAT, its VAT code and four discounts in percent.
  CostoImponibile float,
  CostoImporto float,
  CostoCodiceIva nvarchar(10) COLLATE NOCASE,
  CostoSconto1 float,
  CostoSconto2 float,
  CostoSconto3 float,
  CostoSconto4 float,
  -- Sale price with VAT, weight and volume of one base unit.
  PrezzoVendita float,
  Peso float,
  Volume float
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
  idVariante3 int,
  Giacenza float,
  Disponibile float
);
CREATE INDEX IF NOT EXISTS ixBarcode_Articolo ON tabBarcode (idArticolo, DataCreaz);

-- Stock per barcode and warehouse.
CREATE TABLE IF NOT EXISTS tabGiacenze (
  IdGiacenza INTEGER PRIMARY KEY,
  idMagazzino int,
  Barcode nvarchar(50) COLLATE NOCASE,
  idArticolo int,
  Giacenza float,
  Ordinato float,
  Impegnato float,
  Disponibile float,
  Arrivato float
);
CREATE INDEX IF NOT EXISTS ixGiacenze_Barcode ON tabGiacenze (Barcode, idMagazzino);
CREATE INDEX IF NOT EXISTS ixGiacenze_Articolo ON tabGiacenze (idArticolo, idMagazzino);

-- Document number counters per book (Prefisso), year and key.
CREATE TABLE IF NOT EXISTS tabProgressivi (
  ID INTEGER PRIMARY KEY,
  Prefisso nvarchar(20) COLLATE NOCASE,
  AnnoProgressivo int,
  Causale nvarchar(50) COLLATE NOCASE,
  Numero int
);
CREATE INDEX IF NOT EXISTS ixProgressivi_Chiave ON tabProgressivi (Causale, AnnoProgressivo, Prefisso);

-- Back-office receipt documents.
CREATE TABLE IF NOT EXISTS tabTestateScontrini (
  idTestata INTEGER PRIMARY KEY,
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
  bollettario nvarchar(20) COLLATE NOCASE,
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
  UtenteUltimoAccesso nvarchar(50) COLLATE NOCASE,
  CAP nvarchar(10) COLLATE NOCASE
);
CREATE INDEX IF NOT EXISTS ixTestateScontrini_Cassa ON tabTestateScontrini (idMagazzino, idCassa, DataOraScontrino);

CREATE TABLE IF NOT EXISTS tabDettaglioScontrini (
  idDettaglio INTEGER PRIMARY KEY,
  idTestata int,
  riga int,
  IdCausale int,
  idListino int,
  idReparto int,
  idGiustificaSconto int,
  Barcode nvarchar(50) COLLATE NOCASE,
  idArticolo int,
  Descrizione nvarchar(255) COLLATE NOCASE,
  PrezzoVenditaNettoIva float,
  prezzoVendita float,
  Quantita float,
  UM nvarchar(10) COLLATE NOCASE,
  Quantita2 float,
  UM2 nvarchar(10) COLLATE NOCASE,
  aliquotaIva float,
  CodiceIva nvarchar(10) COLLATE NOCASE,
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
  CostoCodiceIva nvarchar(10) COLLATE NOCASE,
  CostoSconto1 float,
  CostoSconto2 float,
  CostoSconto3 float,
  CostoSconto4 float,
  codiceArticolo nvarchar(50) COLLATE NOCASE,
  IdCausaleMagazzino int,
  Note nvarchar(4000) COLLATE NOCASE,
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
CREATE INDEX IF NOT EXISTS ixDettaglioScontrini_Riga ON tabDettaglioScontrini (idTestata, Riga);

CREATE TABLE IF NOT EXISTS tabPagamentiScontriniBackoffice (
  ID INTEGER PRIMARY KEY,
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
CREATE INDEX IF NOT EXISTS ixPagamentiBackoffice_Testata ON tabPagamentiScontriniBackoffice (idTestata);

-- Fidelity-card movements; idScontrino is the back-office receipt they belong to.
CREATE TABLE IF NOT EXISTS tabFidelity_Transazioni (
  idTransazione INTEGER PRIMARY KEY,
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
  Codice nvarchar(50) COLLATE NOCASE,
  Descrizione nvarchar(255) COLLATE NOCASE,
  TipoDocumento int,
  idScontrino int,
  DataCreaz datetime
);
CREATE INDEX IF NOT EXISTS ixFidelityTransazioni_Scontrino ON tabFidelity_Transazioni (idScontrino);

-- Fidelity cards and the rules they follow (the card-rules component reads them):
-- ModalitaPunti set: the card collects points, else amounts; PremiComeIncasso set: redeemed
-- prizes count as takings and are reversed.
CREATE TABLE IF NOT EXISTS tabFidelity_Regole (
  idRegola INTEGER PRIMARY KEY,
  Descrizione nvarchar(255) COLLATE NOCASE,
  ModalitaPunti bit,
  PremiComeIncasso bit
);

CREATE TABLE IF NOT EXISTS tabFidelityCard (
  idFidelityCard INTEGER PRIMARY KEY,
  Codice nvarchar(50) COLLATE NOCASE,
  IDCliente int,
  idRegola int
);

-- Goods vouchers.
CREATE TABLE IF NOT EXISTS tabBuoniMerce (
  idBuono INTEGER PRIMARY KEY,
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

-- Customer down-payment movements.
CREATE TABLE IF NOT EXISTS tabdettaglioAccontiClienti (
  ID INTEGER PRIMARY KEY,
  idtabAccontiClienti int,
  TipoOperazione int,
  TipoDocumento int,
  IdDettaglioDocumento int,
  ImportoMovimentoAcconto float,
  UtenteUltimoAccesso nvarchar(50) COLLATE NOCASE
);

-- Warehouse movements: summary headers and their rows.
CREATE TABLE IF NOT EXISTS tabTestateMagazzino (
  idTestata INTEGER PRIMARY KEY,
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
  bollettario nvarchar(20) COLLATE NOCASE,
  idAgente int,
  idOrdineConsegna int,
  Ddt bit,
  NumeroDocumento int,
  DataDocumento datetime,
  NumeroDocumentoRiferimento nvarchar(50) COLLATE NOCASE,
  dataDocumentoRiferimento datetime,
  NumeroFatturaRiferimento nvarchar(50) COLLATE NOCASE,
  DataFatturaRiferimento datetime,
  Referente nvarchar(255) COLLATE NOCASE,
  Oggetto nvarchar(255) COLLATE NOCASE,
  Note nvarchar(4000) COLLATE NOCASE,
  idListino int,
  idScontoListini int,
  Sconto1 float,
  Sconto2 float,
  Sconto3 float,
  Sconto4 float,
  DataCreaz datetime,
  DataAgg datetime,
  BollettarioRientroVuoti nvarchar(20) COLLATE NOCASE,
  NumeroDocumentoRientroVuoti nvarchar(50) COLLATE NOCASE,
  DataDocumentoRientroVuoti datetime,
  IdCausaleRientroVuoti int,
  AggiornaPrezziAcquisto bit,
  Dest_RagioneSociale nvarchar(255) COLLATE NOCASE,
  Dest_Indirizzo nvarchar(255) COLLATE NOCASE,
  Dest_CAP nvarchar(10) COLLATE NOCASE,
  Dest_Citta nvarchar(100) COLLATE NOCASE,
  Dest_provincia nvarchar(10) COLLATE NOCASE,
  Dest_Stato nvarchar(100) COLLATE NOCASE,
  Dest_IsFatturazione bit,
  numDocRiferimento nvarchar(50) COLLATE NOCASE,
  dataDocRiferimento nvarchar(50) COLLATE NOCASE,
  valuta nvarchar(10) COLLATE NOCASE,
  Cambio float,
  TotImponibile float,
  TotIva float,
  TotIvato float
);
CREATE INDEX IF NOT EXISTS ixTestateMagazzino_Riepilogo ON tabTestateMagazzino (IdCausale, DataDocumento, idCassa);
CREATE INDEX IF NOT EXISTS ixTestateMagazzino_Numero ON tabTestateMagazzino (NumeroDocumento, bollettario);

CREATE TABLE IF NOT EXISTS tabDettaglioMagazzino (
  idDettaglio INTEGER PRIMARY KEY,
  idTestata int,
  riga int,
  idArticolo int,
  Barcode nvarchar(50) COLLATE NOCASE,
  Descrizione nvarchar(255) COLLATE NOCASE,
  Quantita float,
  UM nvarchar(10) COLLATE NOCASE,
  Quantita2 float,
  UM2 nvarchar(10) COLLATE NOCASE,
  PrezzoVenditaNettoIva float,
  prezzoVendita float,
  aliquotaIva float,
  CodiceIva nvarchar(10) COLLATE NOCASE,
  Sconto1 float,
  Sconto2 float,
  Sconto3 float,
  Sconto4 float,
  Note nvarchar(4000) COLLATE NOCASE,
  Annotazioni nvarchar(4000) COLLATE NOCASE,
  idMagazzino int,
  idReparto int,
  isVuoto bit,
  IdRifDettaglioVuoto int,
  CostoImponibile float,
  CostoImporto float,
  CostoCodiceIva nvarchar(10) COLLATE NOCASE,
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
CREATE INDEX IF NOT EXISTS ixDettaglioMagazzino_Riga ON tabDettaglioMagazzino (idTestata, Riga);

-- Discount reasons, re-keyed to the movement header and row.
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

-- Links between documents written by the document link component: a receipt and its
-- rows with the warehouse movement and rows they produced (TipoCollegamento 9 or 23).
CREATE TABLE IF NOT EXISTS tabDocumentiCollegati (
  ID INTEGER PRIMARY KEY,
  TipoCollegamento int,
  idTestataOrigine int,
  idDettaglioOrigine int,
  idTestataDestinazione int,
  idDettaglioDestinazione int,
  DataCreaz datetime
);
CREATE INDEX IF NOT EXISTS ixDocumentiCollegati_Origine ON tabDocumentiCollegati (idTestataOrigine, TipoCollegamento);

-- Bills of materials: the components of a kit article (the kit explosion component reads
-- them, following components that are kits themselves). Quantita is per unit of the kit.
CREATE TABLE IF NOT EXISTS tabGestioneDistinteBase (
  ID INTEGER PRIMARY KEY,
  idArticoloPadre int,
  idArticoloFiglio int,
  Quantita float,
  DataInizioValidita datetime,
  DataFineValidita datetime
);
CREATE INDEX IF NOT EXISTS ixGestioneDistinteBase_Padre ON tabGestioneDistinteBase (idArticoloPadre);

-- Other document kinds: the number test and the totals reach them by document type.
CREATE TABLE IF NOT EXISTS tabTestateFatture (
  idTestata INTEGER PRIMARY KEY,
  IdCausale int,
  Bollettario nvarchar(20) COLLATE NOCASE,
  NumeroDocumento int,
  DataDocumento datetime,
  TotImponibile float,
  TotIva float,
  TotIvato float,
  TotNonImponibile float
);
CREATE INDEX IF NOT EXISTS ixTestateFatture_Numero ON tabTestateFatture (NumeroDocumento, Bollettario);

CREATE TABLE IF NOT EXISTS tabDettaglioFatture (
  idDettaglio INTEGER PRIMARY KEY,
  idTestata int,
  riga int,
  idArticolo int,
  Barcode nvarchar(50) COLLATE NOCASE,
  Descrizione nvarchar(255) COLLATE NOCASE,
  Quantita float,
  UM nvarchar(10) COLLATE NOCASE,
  Quantita2 float,
  UM2 nvarchar(10) COLLATE NOCASE,
  PrezzoVenditaNettoIva float,
  prezzoVendita float,
  aliquotaIva float,
  CodiceIva nvarchar(10) COLLATE NOCASE,
  Sconto1 float,
  Sconto2 float,
  Sconto3 float,
  Sconto4 float,
  Note nvarchar(4000) COLLATE NOCASE,
  Annotazioni nvarchar(4000) COLLATE NOCASE,
  idMagazzino int,
  idReparto int,
  IdConto int,
  DescrizioneConto nvarchar(255) COLLATE NOCASE,
  isVuoto bit,
  IdRifDettaglioVuoto int,
  CostoImponibile float,
  CostoImporto float,
  CostoCodiceIva nvarchar(10) COLLATE NOCASE,
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
CREATE INDEX IF NOT EXISTS ixDettaglioFatture_Testata ON tabDettaglioFatture (idTestata);

CREATE TABLE IF NOT EXISTS tabTestatePreventivi (
  IdTestata INTEGER PRIMARY KEY,
  Bollettario nvarchar(20) COLLATE NOCASE,
  NumeroDocumento int,
  Revisione int,
  DataDocumento datetime,
  TotImponibile float,
  TotIva float,
  TotImporto float
);
CREATE INDEX IF NOT EXISTS ixTestatePreventivi_Numero ON tabTestatePreventivi (NumeroDocumento, Bollettario);

CREATE TABLE IF NOT EXISTS tabDettaglioPreventivi (
  idDettaglio INTEGER PRIMARY KEY,
  idTestata int,
  AliquotaIva float,
  Imponibile float,
  TotaleNettoSconto float,
  Iva float
);
CREATE INDEX IF NOT EXISTS ixDettaglioPreventivi_Testata ON tabDettaglioPreventivi (idTestata);

CREATE TABLE IF NOT EXISTS tabTestateEstrattiConto (
  IdTestata INTEGER PRIMARY KEY,
  Bollettario nvarchar(20) COLLATE NOCASE,
  NumeroDocumento int,
  DataDocumento datetime,
  TotImponibile float,
  TotIva float,
  TotImporto float
);
CREATE INDEX IF NOT EXISTS ixTestateEstrattiConto_Numero ON tabTestateEstrattiConto (NumeroDocumento, Bollettario);

CREATE TABLE IF NOT EXISTS tabDettaglioEstrattiConto (
  idDettaglio INTEGER PRIMARY KEY,
  idTestata int,
  AliquotaIva float,
  Imponibile float,
  TotaleNettoSconto float,
  Iva float
);
CREATE INDEX IF NOT EXISTS ixDettaglioEstrattiConto_Testata ON tabDettaglioEstrattiConto (idTestata);

CREATE TABLE IF NOT EXISTS tabTestateOrdiniCliente (
  IdOrdine INTEGER PRIMARY KEY,
  Bollettario nvarchar(20) COLLATE NOCASE,
  NumeroDocumento int,
  Data datetime,
  TotImponibile float,
  TotIva float,
  TotImporto float
);
CREATE INDEX IF NOT EXISTS ixTestateOrdiniCliente_Numero ON tabTestateOrdiniCliente (NumeroDocumento, Bollettario);

CREATE TABLE IF NOT EXISTS tabDettaglioOrdiniCliente (
  IdRiga INTEGER PRIMARY KEY,
  idOrdine int,
  AliquotaIva float,
  Imponibile float,
  TotaleNettoSconto float,
  Iva float
);
CREATE INDEX IF NOT EXISTS ixDettaglioOrdiniCliente_Ordine ON tabDettaglioOrdiniCliente (idOrdine);

CREATE TABLE IF NOT EXISTS tabTestateOrdiniFornitore (
  IdOrdine INTEGER PRIMARY KEY,
  Bollettario nvarchar(20) COLLATE NOCASE,
  NumeroDocumento int,
  Data datetime,
  TotImponibile float,
  TotIva float,
  TotImporto float
);
CREATE INDEX IF NOT EXISTS ixTestateOrdiniFornitore_Numero ON tabTestateOrdiniFornitore (NumeroDocumento, Bollettario);

CREATE TABLE IF NOT EXISTS tabDettaglioOrdiniFornitore (
  IdRiga INTEGER PRIMARY KEY,
  idOrdine int,
  AliquotaIva float,
  Imponibile float,
  TotaleNettoSconto float,
  Iva float
);
CREATE INDEX IF NOT EXISTS ixDettaglioOrdiniFornitore_Ordine ON tabDettaglioOrdiniFornitore (idOrdine);

CREATE TABLE IF NOT EXISTS tabTestateRicevute (
  IdTestata INTEGER PRIMARY KEY,
  TotImponibile float,
  TotIva float,
  TotIvato float
);

CREATE TABLE IF NOT EXISTS tabTestatePreconto (
  IdTestata INTEGER PRIMARY KEY,
  TotImponibile float,
  TotIva float,
  TotIvato float
);

CREATE TABLE IF NOT EXISTS tabTestateCommesse (
  IdTestata INTEGER PRIMARY KEY,
  Bollettario nvarchar(20) COLLATE NOCASE,
  NumeroDocumento int,
  DataDocumento datetime
);
CREATE INDEX IF NOT EXISTS ixTestateCommesse_Numero ON tabTestateCommesse (NumeroDocumento, Bollettario);

CREATE TABLE IF NOT EXISTS tabAssistenze_Testate (
  IdTestata INTEGER PRIMARY KEY,
  Sezione int,
  NumeroDocumento int,
  DataDocumento datetime
);
CREATE INDEX IF NOT EXISTS ixAssistenzeTestate_Numero ON tabAssistenze_Testate (NumeroDocumento, Sezione);

-- Sync ledger: every POS receipt this till transferred, written in the receipt's own
-- transaction, so that no receipt is ever written twice.
CREATE TABLE IF NOT EXISTS tabSincroScontrini (
  IdCassa int NOT NULL,
  IdScontrinoPos int NOT NULL,
  IdDocumento int NOT NULL,
  DataSincro datetime NOT NULL,
  PRIMARY KEY (IdCassa, IdScontrinoPos)
);

-- Sync ledger of the POS payments that belong to no receipt, by POS payment id.
CREATE TABLE IF NOT EXISTS tabSincroPagamenti (
  IdCassa int NOT NULL,
  IdPagamentoPos int NOT NULL,
  IdPagamento int NOT NULL,
  DataSincro datetime NOT NULL,
  PRIMARY KEY (IdCassa, IdPagamentoPos)
);

-- Sync ledger of the POS discount reasons copied with their receipt, by POS reason id: what
-- to flag in the front office when a receipt's flags were lost after its commit.
CREATE TABLE IF NOT EXISTS tabSincroGiustifiche (
  IdCassa int NOT NULL,
  IdGiustificaPos int NOT NULL,
  IdScontrinoPos int NOT NULL,
  IdGiustifica int NOT NULL,
  DataSincro datetime NOT NULL,
  PRIMARY KEY (IdCassa, IdGiustificaPos)
);
CREATE INDEX IF NOT EXISTS ixSincroGiustifiche_Scontrino ON tabSincroGiustifiche (IdCassa, IdScontrinoPos);

-- POS receipts that failed to transfer: attempts so far and the last error.
CREATE TABLE IF NOT EXISTS tabSincroErrori (
  IdCassa int NOT NULL,
  IdScontrinoPos int NOT NULL,
  Tentativi int NOT NULL,
  UltimoErrore nvarchar(4000) COLLATE NOCASE,
  DataUltimoTentativo datetime NOT NULL,
  PRIMARY KEY (IdCassa, IdScontrinoPos)
);
