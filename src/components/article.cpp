#include "components/article.h"

#include "data/sql_helpers.h"
#include "db/recordset.h"
#include "lookups/article_lookups.h"
#include "lookups/row_lookups.h"

namespace velkaris {
namespace {

std::string Text(Context& ctx, const db::Recordset& rs, const char* field) {
  return db::CStr(TestNull(ctx, rs[field], db::Value("")));
}
double Number(Context& ctx, const db::Recordset& rs, const char* field) {
  return db::CDbl(TestNull(ctx, rs[field], db::Value(0)));
}

}  // namespace

bool ArticleComponent::LoadByBarcode(const std::string& barcode, CompanionSql& sql) {
  loaded_ = false;
  try {
    int32_t id = FindArticle(sql, barcode);
    if (id == -1) return false;
    ReadArticle(sql, id);
  } catch (const std::exception&) {
    // A database that cannot be read reports "not loaded": the caller's recovery restores it.
    loaded_ = false;
  }
  if (loaded_) barcode_ = barcode;
  return loaded_;
}

int32_t ArticleComponent::FindArticle(CompanionSql& sql, const std::string& code) {
  auto first_id = [&](const std::string& query) {
    auto rs = sql.connection().OpenRecordset(query, db::kStatic, db::kReadOnly);
    int32_t id = rs->Eof() || (*rs)["idArticolo"].IsNull() ? -1 : db::CLng((*rs)["idArticolo"]);
    rs->Close();
    return id;
  };
  std::string quoted = Apice(ctx_, code);
  if (ctx_.settings.GestioneAnagraficheConBarcode == 1) {
    int32_t id = first_id("Select idArticolo from tabBarcode where Barcode='" + quoted + "'");
    if (id != -1) return id;
  }
  return first_id("Select idArticolo from tabArticoli where CodiceArticolo='" + quoted + "'");
}

bool ArticleComponent::LoadById(CompanionSql& sql, int32_t id_articolo, const std::string& barcode_hint) {
  ReadArticle(sql, id_articolo);
  if (!loaded_) return false;
  if (!barcode_hint.empty()) {
    auto rs = sql.connection().OpenRecordset("Select idArticolo from tabBarcode where Barcode='" +
                                                 Apice(ctx_, barcode_hint) + "' and idArticolo=" +
                                                 std::to_string(id_articolo),
                                             db::kStatic, db::kReadOnly);
    if (!rs->Eof()) {
      barcode_ = barcode_hint;
      return true;
    }
  }
  barcode_ = funGetBarcode(ctx_, sql.connection(), std::to_string(id_articolo), false);
  if (barcode_.empty()) barcode_ = barcode_hint;
  return true;
}

void ArticleComponent::ReadArticle(CompanionSql& sql, int32_t id_articolo) {
  auto rs = sql.connection().OpenRecordset("Select * from tabArticoli where idArticolo=" + std::to_string(id_articolo),
                                           db::kStatic, db::kReadOnly);
  loaded_ = !rs->Eof();
  if (!loaded_) return;
  const db::Recordset& r = *rs;
  id_articolo_ = id_articolo;
  descrizione_ = Text(ctx_, r, "Descrizione");
  conversione_um_ = db::CBool(TestNull(ctx_, r["ConversioneUM"], db::Value(false)));
  um1_ = Text(ctx_, r, "UM");
  um2_ = Text(ctx_, r, "UM2");
  um3_ = Text(ctx_, r, "UM3");
  tipo_conversione_um2_ = db::CLng(TestNull(ctx_, r["TipoConversioneUM2"], db::Value(1)));
  tipo_conversione_um3_ = db::CLng(TestNull(ctx_, r["TipoConversioneUM3"], db::Value(1)));
  fattore_conversione_ = Number(ctx_, r, "FattoreConversione");
  um_alternativa_ = Text(ctx_, r, "UMAlternativa");
  um_alternativa_destinazione_ = Text(ctx_, r, "UMAlternativaDestinazione");
  costo_imponibile_ = Number(ctx_, r, "CostoImponibile");
  costo_importo_ = Number(ctx_, r, "CostoImporto");
  costo_codice_iva_ = Text(ctx_, r, "CostoCodiceIva");
  for (int i = 0; i < 4; ++i) {
    costo_sconto_[i] = Number(ctx_, r, ("CostoSconto" + std::to_string(i + 1)).c_str());
  }
  prezzo_vendita_ = Number(ctx_, r, "PrezzoVendita");
  aliquota_iva_ = db::CDbl(TestNull(ctx_, r["aliquotaIva"], db::Value(ctx_.settings.AliquotaIvaPredefinita)));
  codice_iva_ = db::CStr(TestNull(ctx_, r["CodiceIva"], db::Value(ctx_.settings.CodiceIvaPredefinito)));
  um_vendita_ = UnitaDiVendita(ctx_, r["UM"], r["UM2"], r["TipoUmVen"]);
  peso_ = Number(ctx_, r, "Peso");
  volume_ = Number(ctx_, r, "Volume");
}

RigaVendita ArticleComponent::CalcolaRiga(const std::string& descrizione, double quantita, double prezzo,
                                          double aliquota, double imponibile, const std::string& codice_iva,
                                          int32_t reparto, const double sconti[4]) const {
  RigaVendita r;
  r.Descrizione = descrizione.empty() ? descrizione_ : descrizione;
  r.Quantita = quantita;
  // The unit of the receipt row (funGetUMVend), so that both rows count the same quantity.
  r.UM = loaded_ ? um_vendita_ : ctx_.settings.UnitaMisuraPredefinita;
  r.PrezzoVendita = prezzo;
  r.PrezzoVenditaNettoIva = imponibile;
  r.AliquotaIva = aliquota;
  r.CodiceIva = codice_iva;
  r.idReparto = reparto;
  for (int i = 0; i < 4; ++i) r.Sconto[i] = sconti[i];
  r.Peso = peso_ * quantita;
  r.Volume = volume_ * quantita;
  return r;
}

CostoArticolo ArticleComponent::Costo(CompanionSql&, int32_t) const {
  CostoArticolo c;
  c.CostoImponibile = costo_imponibile_;
  c.CostoImporto = costo_importo_;
  c.CostoCodiceIva = costo_codice_iva_;
  for (int i = 0; i < 4; ++i) c.CostoSconto[i] = costo_sconto_[i];
  return c;
}

PrezzoArticolo ArticleComponent::Prezzo(CompanionSql&, int32_t, const db::Date&, int32_t, double, bool) const {
  PrezzoArticolo p;
  p.PrezzoVendita = prezzo_vendita_;
  p.PrezzoVenditaNettoIva = Euro(ctx_, db::Value(prezzo_vendita_ / (aliquota_iva_ / 100 + 1)), ctx_.settings.CifreDecimali);
  return p;
}

}  // namespace velkaris
