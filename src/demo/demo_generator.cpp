#include "demo/demo_generator.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "db/connection.h"
#include "db/error.h"
#include "db/sqlite/create_database.h"
#include "db/value.h"

namespace velkaris::demo {
namespace {

using db::Value;

constexpr int kArticles = 300;
constexpr int kKitArticle = 301;
constexpr int kVoucherArticle = 302;
constexpr int kBlockedArticle = 17;
constexpr int kVouchers = 40;
constexpr int kCards = 10;
constexpr int kCustomers = 20;

// A small deterministic generator: the same seed gives the same shop on every platform.
class Rng {
 public:
  explicit Rng(uint32_t seed) : engine_(seed) {}
  int Int(int lo, int hi) { return lo + static_cast<int>(engine_() % static_cast<uint32_t>(hi - lo + 1)); }
  bool Chance(double p) { return engine_() < p * 4294967296.0; }

 private:
  std::mt19937 engine_;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw db::Error("Cannot read the schema file '" + path + "'");
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Inserts rows of one table with a prepared statement.
class Inserter {
 public:
  Inserter(db::Connection& c, const std::string& table, std::vector<std::string> columns) : c_(c) {
    std::string cols, marks;
    for (size_t i = 0; i < columns.size(); ++i) {
      cols += (i ? ", " : "") + columns[i];
      marks += i ? ", ?" : "?";
    }
    sql_ = "INSERT INTO " + table + " (" + cols + ") VALUES (" + marks + ")";
  }
  void operator()(const std::vector<Value>& values) { c_.ExecuteWithParams(sql_, values); }

 private:
  db::Connection& c_;
  std::string sql_;
};

double Round2(double x) { return std::round(x * 100) / 100; }

struct Article {
  int id;
  std::string barcode;
  double price, rate;
  std::string vat_code;
};

const char* const kNouns[] = {"Latte", "Pane", "Pasta", "Riso", "Caffe", "Te", "Olio", "Vino", "Birra", "Acqua",
                              "Biscotti", "Formaggio", "Yogurt", "Burro", "Farina", "Zucchero", "Sale", "Miele",
                              "Marmellata", "Cioccolato"};
const char* const kAdjectives[] = {"intero", "bio", "fresco", "classico", "extra", "light", "integrale", "dolce"};

std::string Barcode(int id) { return std::to_string(8000000000000LL + id * 7919LL); }

std::vector<Article> WriteMasterData(db::Connection& front, db::Connection& back, Rng& rng) {
  Inserter settings(front, "tabImpostazioni", {"descrizione", "valore"});
  for (auto [k, v] : {std::pair<const char*, const char*>{"CodiceIvaPredefinito", "22"}, {"ValutaAziendale", "EUR"},
                      {"CifreDecimali", "2"}, {"CifreDecimaliQuantita", "3"}, {"IdMagazzinoCorrente", "1"},
                      {"UnitaMisuraPredefinita", "PZ"}, {"GestioneAnagraficheConBarcode", "1"},
                      {"GiacenzaByTrigger", "0"}, {"TipoPrezzoAcquistoRegola", "8"}}) {
    settings({Value(k), Value(v)});
  }
  Inserter vat(back, "tabAliquoteIva", {"Codice", "Descrizione", "aliquotaIva"});
  vat({Value("22"), Value("Ordinaria"), Value(22.0)});
  vat({Value("10"), Value("Ridotta"), Value(10.0)});
  vat({Value("4"), Value("Minima"), Value(4.0)});
  Inserter(back, "tabValute", {"Valuta", "Descrizione", "Arrotondamento"})({Value("EUR"), Value("Euro"), Value(0.01)});

  Inserter causali(back, "tabCausali", {"IdCausale", "Causale", "Descrizione", "TipoMovimento",
                                        "CausaleMovimentoSecondario", "FlagVendita", "Gestionale"});
  causali({Value(1), Value("VENDITA"), Value("Vendita al banco"), Value("S"), Value(), Value(true), Value(false)});
  causali({Value(2), Value("RESO"), Value("Reso dal cliente"), Value("C"), Value(), Value(false), Value(false)});
  causali({Value(4), Value("VEN"), Value("Scarico per vendita"), Value("S"), Value(), Value(true), Value(true)});
  causali({Value(5), Value("RES"), Value("Carico per reso"), Value("C"), Value(), Value(false), Value(true)});
  causali({Value(6), Value("RIC"), Value("Rientro resi"), Value("C"), Value(), Value(false), Value(true)});
  causali({Value(7), Value("OMA"), Value("Scarico omaggi"), Value("S"), Value("OMC"), Value(false), Value(true)});
  causali({Value(8), Value("OMC"), Value("Carico magazzino omaggi"), Value("C"), Value(), Value(false), Value(true)});
  causali({Value(9), Value("INV"), Value("Inventario iniziale"), Value("C"), Value(), Value(false), Value(true)});

  Inserter articles(back, "tabArticoli",
                    {"idArticolo", "CodiceArticolo", "Descrizione", "aliquotaIva", "CodiceIva", "UM", "UM2", "TipoUmVen",
                     "ConversioneUM", "TipoConversioneUM2", "FattoreConversione", "AggiornaGiacenze",
                     "BloccaConGiacenzaAZero", "Attivo", "CostoImponibile", "CostoImporto", "CostoCodiceIva",
                     "PrezzoVendita", "Peso"});
  Inserter pos_articles(front, "tabArticoli", {"idArticolo", "CodiceArticolo", "Descrizione", "aliquotaIva",
                                               "CodiceIva", "UM", "TipoUmVen"});
  Inserter barcodes(back, "tabBarcode", {"Barcode", "idArticolo", "DataCreaz", "idVariante1", "idVariante2", "idVariante3"});
  Inserter pos_barcodes(front, "tabBarcode", {"Barcode", "idArticolo"});
  std::vector<Article> list;
  for (int id = 1; id <= kVoucherArticle; ++id) {
    Article a{id, Barcode(id), 0, 22, "22"};
    std::string name = std::string(kNouns[rng.Int(0, 19)]) + " " + kAdjectives[rng.Int(0, 7)];
    int vat_pick = rng.Int(0, 9);
    if (vat_pick < 2) a.rate = 10, a.vat_code = "10";
    if (vat_pick == 2) a.rate = 4, a.vat_code = "4";
    a.price = Round2(rng.Int(50, 5000) / 100.0);
    bool by_case = id % 10 == 0;  // sold by the case of 6
    bool managed = id != kKitArticle && id != kVoucherArticle && rng.Chance(0.8);
    if (id == kKitArticle) name = "Cesto regalo", a.price = 29.9;
    if (id == kVoucherArticle) name = "Buono merce", a.price = 0;
    if (id == kBlockedArticle) managed = true;
    double net = a.price / (1 + a.rate / 100);
    double cost = Round2(net * (0.5 + rng.Int(0, 20) / 100.0));
    articles({Value(id), Value("ART" + std::to_string(id)), Value(name), Value(a.rate), Value(a.vat_code), Value("PZ"),
              by_case ? Value("CF") : Value(), Value(by_case ? 2 : 1), Value(by_case), Value(1), Value(by_case ? 6.0 : 0.0),
              Value(managed), Value(id == kBlockedArticle), Value(true), Value(cost),
              Value(Round2(cost * (1 + a.rate / 100))), Value(a.vat_code), Value(a.price), Value(0.2 + rng.Int(0, 30) / 10.0)});
    pos_articles({Value(id), Value("ART" + std::to_string(id)), Value(name), Value(a.rate), Value(a.vat_code),
                  Value("PZ"), Value(1)});
    barcodes({Value(a.barcode), Value(id), Value(db::Date::FromParts(2026, 1, 1)), Value(0), Value(0), Value(0)});
    pos_barcodes({Value(a.barcode), Value(id)});
    list.push_back(a);
  }
  // The kit: three components of the first articles.
  Inserter bom(back, "tabGestioneDistinteBase", {"idArticoloPadre", "idArticoloFiglio", "Quantita"});
  for (auto [child, qty] : {std::pair<int, double>{1, 1}, {2, 2}, {3, 1}}) bom({Value(kKitArticle), Value(child), Value(qty)});
  // The article blocked at zero stock has one piece left, loaded by an opening-stock movement
  // (so that every stock level is the sum of its movements).
  Inserter(back, "tabGiacenze", {"IdGiacenza", "idMagazzino", "Barcode", "idArticolo", "Giacenza", "Ordinato",
                                 "Impegnato", "Disponibile", "Arrivato"})(
      {Value(1), Value(1), Value(Barcode(kBlockedArticle)), Value(kBlockedArticle), Value(1.0), Value(0.0), Value(0.0),
       Value(1.0), Value(0.0)});
  Inserter(back, "tabTestateMagazzino", {"idTestata", "IdCausale", "IDMagazzinoPartenza", "DataDocumento", "idCassa"})(
      {Value(1), Value(9), Value(1), Value(db::Date::FromParts(2026, 1, 1)), Value(0)});
  Inserter(back, "tabDettaglioMagazzino", {"idDettaglio", "idTestata", "riga", "idArticolo", "Barcode", "Quantita",
                                           "idMagazzino"})(
      {Value(1), Value(1), Value(1), Value(kBlockedArticle), Value(Barcode(kBlockedArticle)), Value(1.0), Value(1)});

  Inserter customers(back, "tabClienti", {"IdCliente", "RagioneSociale", "FlagIvaCliente"});
  for (int id = 1; id <= kCustomers; ++id) customers({Value(id), Value("Cliente " + std::to_string(id)), Value(false)});
  for (db::Connection* c : {&front, &back}) {
    Inserter staff(*c, "tabPersonale", {"id", "Nome", "idUtente"});
    for (int id = 1; id <= 3; ++id) staff({Value(id), Value("Operatore " + std::to_string(id)), Value(100 + id)});
  }
  Inserter(back, "tabFidelity_Regole", {"idRegola", "Descrizione", "ModalitaPunti", "PremiComeIncasso"})(
      {Value(1), Value("Punti, premi come incasso"), Value(true), Value(true)});
  Inserter cards(back, "tabFidelityCard", {"idFidelityCard", "Codice", "IDCliente", "idRegola"});
  for (int id = 1; id <= kCards; ++id) cards({Value(id), Value("FC" + std::to_string(1000 + id)), Value(id), Value(1)});
  Inserter vouchers(back, "tabBuoniMerce", {"idBuono", "idTipoBuono", "Importo", "ImportoResiduo", "dataEmissione"});
  for (int id = 1; id <= kVouchers; ++id) {
    double amount = id % 2 ? 20.0 : 50.0;
    vouchers({Value(id), Value(1), Value(amount), Value(amount), Value(db::Date::FromParts(2026, 11, 1))});
  }
  return list;
}

// The POS receipts: rows, kits, payments, fidelity, vouchers, discount reasons.
class ReceiptWriter {
 public:
  ReceiptWriter(db::Connection& front, Rng& rng, const std::vector<Article>& articles)
      : rng_(rng),
        articles_(articles),
        header_(front, "tabTestate",
                {"idTestata", "IdCausale", "Printed", "Data", "Ora", "IDCliente", "Operatore", "Cassa", "NumScontrino",
                 "idFidelityCard", "IdModoPunti", "Fid_PuntiArticoli", "Fid_PuntiSpesa", "Fid_ImportoOmaggi", "Chiusura"}),
        row_(front, "tabDettaglio",
             {"idDettaglio", "IdTestata", "FlagExport", "IdCausale", "Barcode", "Descrizione", "Quantita", "Prezzo",
              "AIva", "CodiceIva", "Sconto1", "TotaleNettoSconto", "idBuono", "idTipoBuono", "isOmaggio", "IdModoPunti",
              "Fid_PuntiArticolo", "IdCausaleMagazzino", "idOperatore_Riga", "TipoSconto"}),
        kit_(front, "tabPuntoCassa_DettaglioDistinta",
             {"idTestata", "idDettaglio", "idArticolo", "qta", "Descrizione", "idVariante1", "idVariante2", "idVariante3"}),
        payment_(front, "tabPagamentiScontrini",
                 {"idTestata", "FlagExport", "IdPagamento", "ImportoIncassato", "Coefficiente", "DataOperazione", "valuta",
                  "Cambio", "TipoOperazione"}),
        reason_(front, "tabGiustificaSconto",
                {"idTestataMovimento", "idDettaglioMovimento", "idMagazzino", "idCassa", "NumeroScontrino",
                 "dataScontrino", "percentualeSconto", "ImportoSconto", "motivazione", "flagExport"}) {}

  int64_t rows() const { return next_row_ - 1; }

  void Receipt(int id, const db::Date& day, int minute_of_day) {
    bool refund = rng_.Chance(0.05);
    int till = rng_.Int(1, 2), operatore = rng_.Int(1, 3);
    int card = !refund && rng_.Chance(0.2) ? rng_.Int(1, kCards) : 0;
    int customer = card ? card : (rng_.Chance(0.1) ? rng_.Int(1, kCustomers) : -1);
    db::Date time{minute_of_day / 1440.0};
    double total = 0;
    int rows = refund ? rng_.Int(1, 3) : rng_.Int(1, 15);
    for (int r = 0; r < rows; ++r) total += Row(id, refund, card, operatore, till, day);
    if (!refund && next_voucher_ <= kVouchers && rng_.Chance(0.03)) total += Voucher(id, operatore);
    header_({Value(id), Value(refund ? 5 : 4), Value(true), Value(day), Value(time), customer > 0 ? Value(customer) : Value(),
             Value(operatore), Value(till), Value(id), card ? Value(card) : Value(), card ? Value(1) : Value(),
             Value(card ? std::floor(total) : 0.0), Value(card ? 1.0 : 0.0), Value(0.0), Value(0)});
    Payments(id, total, day);
    if (!refund && rng_.Chance(0.02)) Reason(id, -1, till, day, 5, "Cliente abituale");
  }

  // Payments of no receipt: money put into the drawer.
  void DrawerPayment(const db::Date& day) {
    payment_({Value(-1), Value(false), Value(1), Value(100.0), Value(1), Value(day), Value("EUR"), Value(1.0), Value(2)});
  }

 private:
  // Writes one row; returns its amount (negative for a return).
  double Row(int receipt, bool refund, int card, int operatore, int till, const db::Date& day) {
    int id = next_row_++;
    if (!refund && rng_.Chance(0.05)) {
      row_({Value(id), Value(receipt), Value(false), Value(1), Value(""), Value("Offerta del giorno"), Value(), Value(),
            Value(), Value(), Value(), Value(), Value(), Value(), Value(false), Value(), Value(), Value(), Value(operatore),
            Value("")});
      return 0;
    }
    bool kit = !refund && rng_.Chance(0.02);
    const Article& a = kit ? articles_[kKitArticle - 1] : articles_[rng_.Int(0, kArticles - 1)];
    bool omaggio = card && rng_.Chance(0.1);
    bool returned = refund || rng_.Chance(0.03);
    double qty = rng_.Int(1, 3);
    double price = omaggio ? 0 : a.price;
    double discount = !omaggio && rng_.Chance(0.1) ? 10 : 0;
    double amount = Round2(price * qty * (1 - discount / 100));
    row_({Value(id), Value(receipt), Value(false), Value(returned ? 2 : 1), Value(a.barcode),
          Value(omaggio ? "Omaggio" : "Articolo " + std::to_string(a.id)), Value(qty), Value(price), Value(a.rate),
          Value(a.vat_code), discount ? Value(discount) : Value(), Value(amount), Value(), Value(), Value(omaggio),
          card ? Value(1) : Value(), Value(omaggio ? 5.0 : 0.0), omaggio ? Value(7) : Value(), Value(operatore),
          Value(discount ? "%" : "")});
    if (kit) {
      for (auto [child, each] : {std::pair<int, double>{1, 1}, {2, 2}, {3, 1}}) {
        kit_({Value(receipt), Value(id), Value(child), Value(each * qty), Value("Componente cesto"), Value(0), Value(0),
              Value(0)});
      }
    }
    if (discount && rng_.Chance(0.5)) Reason(receipt, id, till, day, discount, "Promozione");
    return returned ? -amount : amount;
  }

  double Voucher(int receipt, int operatore) {
    int id = next_row_++;
    int voucher = next_voucher_++;
    bool sold = voucher % 2 == 1;
    double amount = sold ? 20.0 : 10.0;  // a sale of a 20.00 voucher, or 10.00 paid with one
    row_({Value(id), Value(receipt), Value(false), Value(sold ? 1 : 2), Value(articles_[kVoucherArticle - 1].barcode),
          Value("Buono merce"), Value(1.0), Value(amount), Value(22.0), Value("22"), Value(), Value(amount),
          Value(voucher), Value(1), Value(false), Value(), Value(), Value(), Value(operatore), Value("")});
    return sold ? amount : -amount;
  }

  void Payments(int receipt, double total, const db::Date& day) {
    if (total == 0) return;
    bool split = std::fabs(total) > 20 && rng_.Chance(0.2);
    double first = split ? Round2(total / 2) : Round2(total);
    int coefficient = total < 0 ? -1 : 1;
    payment_({Value(receipt), Value(false), Value(rng_.Int(1, 2)), Value(first), Value(coefficient), Value(day),
              Value("EUR"), Value(1.0), Value(0)});
    if (split) {
      payment_({Value(receipt), Value(false), Value(2), Value(Round2(total - first)), Value(coefficient), Value(day),
                Value("EUR"), Value(1.0), Value(1)});
    }
  }

  void Reason(int receipt, int row, int till, const db::Date& day, double percent, const char* why) {
    reason_({Value(receipt), Value(row), Value(1), Value(till), Value(receipt), Value(day), Value(percent), Value(1.0),
             Value(why), Value(false)});
  }

  Rng& rng_;
  const std::vector<Article>& articles_;
  Inserter header_, row_, kit_, payment_, reason_;
  int next_row_ = 1;
  int next_voucher_ = 1;
};

void WriteRegistry(const DemoFiles& files) {
  std::ofstream out(files.registry, std::ios::binary);
  out << "Windows Registry Editor Version 5.00\r\n\r\n"
      << "[HKEY_CURRENT_USER\\SOFTWARE\\KORV\\ARN\\Options]\r\n"
      << "\"Velkarys.ConnDBLocale.ConnectionString\"=\"Provider=SQLite;Data Source=" << files.back << ";\"\r\n"
      << "\"Velkarys.ConnDBPuntoCassa.ConnectionString\"=\"Provider=SQLite;Data Source=" << files.front << ";\"\r\n"
      << "\"IdCassa\"=dword:00000001\r\n"
      << "\"IdMagazzinoForzato\"=\"\"\r\n\r\n"
      << "[HKEY_CURRENT_USER\\SOFTWARE\\KORV\\ARN\\options]\r\n"
      << "\"Velkarissysprocesses\"=\"1\"\r\n";
  if (!out) throw db::Error("Cannot write the registry file '" + files.registry + "'");
}

}  // namespace

DemoFiles DemoPaths(const std::string& dir) {
  std::string abs = std::filesystem::absolute(dir).lexically_normal().string();
  if (abs.size() > 1 && abs.back() == '/') abs.pop_back();
  return {abs + "/front.db", abs + "/back.db", abs + "/velkaris.reg"};
}

int64_t GenerateDemo(const DemoOptions& options) {
  std::filesystem::create_directories(options.dir);
  DemoFiles files = DemoPaths(options.dir);
  for (const std::string& f : {files.front, files.back}) {
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(f + suffix);
  }
  db::sqlite::CreateDatabase(files.front, ReadFile(options.schema_dir + "/sqlite/frontoffice.sql"));
  db::sqlite::CreateDatabase(files.back, ReadFile(options.schema_dir + "/sqlite/backoffice.sql"));
  db::Connection front, back;
  front.Open("Provider=SQLite;Data Source=" + files.front + ";");
  back.Open("Provider=SQLite;Data Source=" + files.back + ";");
  Rng rng(options.seed);
  front.Execute("BEGIN");
  back.Execute("BEGIN");
  std::vector<Article> articles = WriteMasterData(front, back, rng);
  ReceiptWriter writer(front, rng, articles);
  int days = options.days > 0 ? options.days : 1;
  for (int d = 0; d < days; ++d) writer.DrawerPayment(db::Date::FromParts(2026, 12, 1 + d % 28));
  for (int i = 0; i < options.receipts; ++i) {
    int d = i * days / std::max(options.receipts, 1);
    int per_day = std::max(options.receipts / days, 1);
    int minute = 8 * 60 + (i % per_day) * (12 * 60) / per_day;
    writer.Receipt(i + 1, db::Date::FromParts(2026, 12, 1 + d % 28), minute);
  }
  front.Execute("COMMIT");
  back.Execute("COMMIT");
  WriteRegistry(files);
  return writer.rows();
}

}  // namespace velkaris::demo
