// Our article component: a back-office article read from tabArticoli and tabBarcode
// through the companion SQL object. It answers the unit questions of the conversion, the
// article's barcode, its purchase costs, and its sale price record.
#pragma once

#include <cstdint>
#include <string>

#include "core/companion_sql.h"
#include "db/value.h"
#include "core/context.h"

namespace velkaris {

// A movement row as the article component computes it from the values of a POS row.
struct RigaVendita {
  std::string Descrizione;
  double Quantita = 0;
  std::string UM;                  // the unit the article is sold in
  double PrezzoVendita = 0;        // with VAT
  double PrezzoVenditaNettoIva = 0;
  double AliquotaIva = 0;
  std::string CodiceIva;
  int32_t idReparto = -1;
  double Sconto[4] = {0, 0, 0, 0};
  double Peso = 0, Volume = 0;     // of the whole quantity
};

// Purchase cost of an article.
struct CostoArticolo {
  double CostoImponibile = 0, CostoImporto = 0;
  std::string CostoCodiceIva;
  double CostoSconto[4] = {0, 0, 0, 0};
};

// Sale price of an article for a document.
struct PrezzoArticolo {
  double PrezzoVenditaNettoIva = 0, PrezzoVendita = 0;
  double Sconto[4] = {0, 0, 0, 0};
};

class ArticleComponent {
 public:
  explicit ArticleComponent(Context& ctx) : ctx_(ctx) {}

  // Loads the article of a barcode or article code, searched in the order of
  // GetIdArticoloCorretto; false when it is unknown or the database cannot be read.
  bool LoadByBarcode(const std::string& barcode, CompanionSql& sql);
  // Loads an article by id; `barcode_hint` is kept as the article's barcode when it is one
  // of the article's own, otherwise its newest visible barcode is taken.
  bool LoadById(CompanionSql& sql, int32_t id_articolo, const std::string& barcode_hint = "");
  // Set-up without an article: only the unit questions are answered, from these values.
  void SetIdArticolo(int32_t id) { id_articolo_ = id; }
  void SetUMAlternativa(const std::string& unit) { um_alternativa_ = unit; }
  void SetUMAlternativaDestinazione(const std::string& unit) { um_alternativa_destinazione_ = unit; }
  void SetFattoreConversione(double factor) { fattore_conversione_ = factor; }
  void SetBarcode(const std::string& barcode) { barcode_ = barcode; }

  bool loaded() const { return loaded_; }
  // Unit data.
  bool ConversioneUM() const { return conversione_um_; }
  int32_t IdArticolo() const { return id_articolo_; }
  const std::string& UM1() const { return um1_; }
  const std::string& UM2() const { return um2_; }
  const std::string& UM3() const { return um3_; }
  int32_t TipoConversioneUM2() const { return tipo_conversione_um2_; }
  int32_t TipoConversioneUM3() const { return tipo_conversione_um3_; }
  double FattoreConversione() const { return fattore_conversione_; }
  const std::string& UMAlternativa() const { return um_alternativa_; }
  const std::string& UMAlternativaDestinazione() const { return um_alternativa_destinazione_; }
  const std::string& Barcode() const { return barcode_; }
  const std::string& Descrizione() const { return descrizione_; }
  // Purchase costs.
  double CostoImponibile() const { return costo_imponibile_; }
  double CostoImporto() const { return costo_importo_; }
  const std::string& CostoCodiceIva() const { return costo_codice_iva_; }
  double CostoSconto(int i) const { return costo_sconto_[i - 1]; }
  // Computes the movement row of a sale of this article (or of an unknown one, from the
  // values given alone).
  RigaVendita CalcolaRiga(const std::string& descrizione, double quantita, double prezzo, double aliquota,
                          double imponibile, const std::string& codice_iva, int32_t reparto,
                          const double sconti[4]) const;
  // The purchase cost under the shop's purchase-price rule (one rule: the article's cost).
  CostoArticolo Costo(CompanionSql& sql, int32_t regola) const;
  // The sale price for a document, date, customer and quantity: the article's list price.
  PrezzoArticolo Prezzo(CompanionSql& sql, int32_t tipo_documento, const db::Date& data, int32_t id_cliente,
                        double quantita, bool flag) const;
  // Sale data.
  double PrezzoVendita() const { return prezzo_vendita_; }
  double AliquotaIva() const { return aliquota_iva_; }
  const std::string& CodiceIva() const { return codice_iva_; }
  double Peso() const { return peso_; }
  double Volume() const { return volume_; }

 private:
  void ReadArticle(CompanionSql& sql, int32_t id_articolo);
  // -1 when neither a barcode nor an article code; errors reach the caller.
  int32_t FindArticle(CompanionSql& sql, const std::string& code);

  Context& ctx_;
  bool loaded_ = false;
  bool conversione_um_ = false;
  int32_t id_articolo_ = -1;
  std::string um1_, um2_, um3_;
  int32_t tipo_conversione_um2_ = 0, tipo_conversione_um3_ = 0;
  double fattore_conversione_ = 0;
  std::string um_alternativa_, um_alternativa_destinazione_;
  std::string barcode_, descrizione_;
  double costo_imponibile_ = 0, costo_importo_ = 0;
  std::string costo_codice_iva_;
  double costo_sconto_[4] = {0, 0, 0, 0};
  double prezzo_vendita_ = 0, aliquota_iva_ = 0;
  std::string codice_iva_;
  double peso_ = 0, volume_ = 0;
  std::string um_vendita_;  // the unit the article is sold in
};

}  // namespace velkaris
