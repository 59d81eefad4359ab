#include "stock/stock_levels.h"

#include "data/new_ids.h"
#include "data/sql_helpers.h"
#include "db/recordset.h"
#include "lookups/article_lookups.h"
#include "lookups/row_lookups.h"
#include "data/configuration.h"
#include "core/failure.h"
#include "util/text.h"

namespace velkaris {
namespace {

bool ArithmeticHere(Context& ctx) { return getDbValue(ctx, "GiacenzaByTrigger", "0") == "0"; }

// A quantity as SQL text: always with a decimal point.
std::string SqlNumber(Context& ctx, const db::Value& v) {
  return util::ReplaceAll(db::CStr(db::Value(Euro(ctx, TestNull(ctx, v, db::Value(0)), ctx.settings.CifreDecimaliQuantita))),
                          ",", ".");
}

// What is available of a stock row: its stock plus what is on order less what is committed.
db::Value Available(Context& ctx, const db::Recordset& rs) {
  auto n = [&](const char* c) { return db::CDbl(TestNull(ctx, rs[c], db::Value(0))); };
  return db::Value(Euro(ctx, db::Value(n("giacenza") + n("Ordinato") - n("impegnato")), ctx.settings.CifreDecimaliQuantita));
}

// In a receipt's unit of work on SQLite a stock row gets its available quantity in the same
// statement as its stock, instead of being written, read back and written again: reading it
// back would give what was just set (no trigger, no other writer inside the transaction).
// Only where the barcode is the movement's own, whose article the available quantity is
// worked out for.
bool AvailableWithStock(Context& ctx, db::Connection& connection, const std::string& barcode,
                        const std::string& stock_barcode) {
  return ctx.uow.no_read_back && ctx.ReceiptUnitOfWorkOnSqlite(connection) && stock_barcode == barcode;
}

// Likewise the article is marked moved in the statement that copies its stock into it, where
// that copy follows for the same article (the till's warehouse) and nothing reads the mark
// in between; its stock management flag, read before, then stays as it was read.
bool MovedWithCopy(Context& ctx, db::Connection& connection, const std::string& barcode,
                   const std::string& stock_barcode, int32_t id_magazzino) {
  return AvailableWithStock(ctx, connection, barcode, stock_barcode) && ArithmeticHere(ctx) &&
         id_magazzino == ctx.settings.IdMagazzinoCorrente;
}

std::string MovedMark(Context& ctx) { return "Movimentato=" + BooleanForSql(ctx, true, kSqlServer); }

void AvailableAndCopies(Context& ctx, const std::string& barcode, int32_t id_magazzino, db::Connection& connection,
                        bool written_with_stock, bool mark_moved);
void CopyToArticle(Context& ctx, db::Connection& connection, int32_t id_articolo, int32_t id_magazzino,
                   bool mark_moved);

void UpdateArticleStock(Context& ctx, db::Connection& connection, const db::Recordset& rs, const std::string& id,
                        bool mark_moved = false) {
  connection.ExecuteNoRecords("Update tabArticoli set " + (mark_moved ? MovedMark(ctx) + ", " : std::string()) +
                              "Giacenza=" + SqlNumber(ctx, rs["Giacenza"]) + ", Disponibile=" +
                              SqlNumber(ctx, rs["Disponibile"]) + " where idarticolo=" + id);
}

}  // namespace

bool Giacenze_AggiornaGiacenza(Context& ctx, db::Connection& connection, int32_t id_magazzino,
                               const std::string& barcode, double quantita, const std::string& tipo_movimento) {
  bool result = false;
  Guarded(ctx, "Giacenze_AggiornaGiacenza", [&] {
    if (util::ToLower(tipo_movimento) == "n") return;
    if (id_magazzino < 0) {
      // No stock exists for a movement that names no warehouse; writing it would also copy a
      // phantom warehouse's figures over the barcode's and the article's stock.
      ctx.logs.ScriviLogErrore("Giacenze_AggiornaGiacenza", "Stock of barcode '" + barcode +
                                                                "' not updated: the movement row has warehouse " +
                                                                std::to_string(id_magazzino) +
                                                                ". Check the warehouses of its causale.");
      return;
    }
    int32_t id_articolo = GetIdArticoloCorretto(ctx, barcode, false);
    std::string stock_barcode =
        EsisteBarcode(ctx, barcode, connection) ? barcode : funGetBarcode(ctx, connection, barcode, true);
    if (!funGetGestioneGiacenzaArticolo(ctx, id_articolo)) return;
    bool moved_with_copy = MovedWithCopy(ctx, connection, barcode, stock_barcode, id_magazzino);
    if (!moved_with_copy) {
      connection.ExecuteNoRecords("Update tabArticoli set " + MovedMark(ctx) + " where IdArticolo=" +
                                  std::to_string(id_articolo));
    }
    bool with_available = false;
    if (ArithmeticHere(ctx)) {
      auto rs = connection.OpenRecordset("Select * from tabGiacenze where Barcode='" + stock_barcode +
                                             "' and IdMagazzino=" + std::to_string(id_magazzino),
                                         db::kStatic, db::kPessimistic);
      bool out = tipo_movimento == "S";
      if (rs->Eof()) {
        rs->AddNew();
        rs->Set("IdGiacenza", db::Value(funGetNuovoIdGENERICO(ctx, "tabGiacenze", "idGiacenza", connection, -1, -1)));
        rs->Set("idMagazzino", db::Value(id_magazzino));
        rs->Set("Barcode", db::Value(stock_barcode));
        rs->Set("idArticolo", db::Value(id_articolo));
        rs->Set("giacenza", db::Value(Euro(ctx, db::Value(out ? -quantita : quantita), ctx.settings.CifreDecimaliQuantita)));
        rs->Set("Ordinato", db::Value(0));
        rs->Set("impegnato", db::Value(0));
        rs->Set("disponibile", db::Value(0));
      } else {
        double stock = db::CDbl(TestNull(ctx, (*rs)["giacenza"], db::Value(0)));
        rs->Set("giacenza", db::Value(Euro(ctx, db::Value(out ? stock - quantita : stock + quantita),
                                           ctx.settings.CifreDecimaliQuantita)));
      }
      with_available = AvailableWithStock(ctx, connection, barcode, stock_barcode);
      if (with_available) rs->Set("disponibile", Available(ctx, *rs));
      rs->Update();
      rs->Close();
      ++ctx.account.written.stock_rows;
    }
    CheckBloccoArticoloGiacenza(ctx, id_articolo);
    AvailableAndCopies(ctx, stock_barcode, id_magazzino, connection, with_available, moved_with_copy);
    result = true;
  });
  return result;
}

bool funGetGestioneGiacenzaArticolo(Context& ctx, int32_t id_articolo) {
  bool result = false;
  Guarded(ctx, "funGetGestioneGiacenzaArticolo", [&] {
    auto rs = ctx.connDbLocale->OpenRecordset("Select * from tabArticoli where idArticolo=" + std::to_string(id_articolo),
                                              db::kStatic, db::kReadOnly);
    if (!rs->Eof()) {
      const db::Value& managed = (*rs)["AggiornaGiacenze"];
      result = !managed.IsNull() &&
               BooleanForSql(ctx, db::CBool(managed), kSqlServer) != BooleanForSql(ctx, false, kSqlServer);
    }
    rs->Close();
  });
  return result;
}

void CheckBloccoArticoloGiacenza(Context& ctx, int32_t id_articolo) {
  Guarded(ctx, "CheckBloccoArticoloGiacenza", [&] {
    std::string id = std::to_string(id_articolo);
    auto flag = ctx.connDbLocale->OpenRecordset("select BloccaConGiacenzaAZero from tabarticoli where idarticolo =" + id,
                                                db::kStatic, db::kReadOnly);
    if (flag->Eof() || !db::CBool(TestNull(ctx, (*flag)["BloccaConGiacenzaAZero"], db::Value(0)))) return;
    flag->Close();
    auto sums = ctx.connDbLocale->OpenRecordset(
        "select sum(giacenza) as g, sum(ordinato) as o, sum(Arrivato) as A, sum(Disponibile) as D from tabgiacenze "
        "where idArticolo=" + id + " group by idarticolo",
        db::kStatic, db::kReadOnly);
    if (sums->Eof()) return;
    auto positive = [&](const char* c) { return db::CDbl(TestNull(ctx, (*sums)[c], db::Value(0))) > 0; };
    if (positive("g") || positive("o") || positive("A")) {
      ctx.connDbLocale->ExecuteNoRecords("update tabarticoli set Attivo=" + BooleanForSql(ctx, true, kSqlServer) +
                                         "  where idarticolo =" + id);
    } else {
      ctx.connDbLocale->ExecuteNoRecords("update tabarticoli set Attivo=0  where idarticolo =" + id);
    }
    sums->Close();
  });
}

void Giacenze_AggiornaDisponibile(Context& ctx, const std::string& barcode, int32_t id_magazzino,
                                  db::Connection& connection) {
  AvailableAndCopies(ctx, barcode, id_magazzino, connection, false, false);
}

namespace {

void AvailableAndCopies(Context& ctx, const std::string& barcode, int32_t id_magazzino, db::Connection& connection,
                        bool written_with_stock, bool mark_moved) {
  Guarded(ctx, "Giacenze_AggiornaDisponibile", [&] {
    int32_t id_articolo = GetIdArticoloCorretto(ctx, barcode, false);
    if (!funGetGestioneGiacenzaArticolo(ctx, id_articolo) || !ArithmeticHere(ctx)) return;
    if (!written_with_stock) {
      auto rs = connection.OpenRecordset("SELECT * FROM tabGiacenze WHERE Barcode='" + barcode +
                                             "' AND idMagazzino=" + std::to_string(id_magazzino),
                                         db::kForwardOnly, db::kPessimistic);
      if (!rs->Eof()) {
        rs->Set("disponibile", Available(ctx, *rs));
        rs->Update();
      }
      rs->Close();
    }
    GiacenzeTabBarcode_LanciaAllineamento(ctx, connection, 2, barcode, id_magazzino);
    CopyToArticle(ctx, connection, id_articolo, id_magazzino, mark_moved);
  });
}

}  // namespace

void GiacenzeTabBarcode_LanciaAllineamento(Context& ctx, db::Connection& connection, int32_t sintassi,
                                           const std::string& barcode, int32_t id_magazzino) {
  Guarded(ctx, "GiacenzeTabBarcode_LanciaAllineamento", [&] {
    if (barcode.empty()) {
      connection.ExecuteNoRecords("Update tabBarcode set Giacenza=null, Disponibile=Null");
    } else if (id_magazzino < 0 || id_magazzino != ctx.settings.IdMagazzinoCorrente) {
      return;  // another warehouse's stock (or none) is not the till's
    }
    std::string where = barcode.empty() ? "" : "WHERE tabGiacenze.Barcode='" + Apice(ctx, barcode) +
                                                   "' and tabGiacenze.IdMagazzino=" + std::to_string(id_magazzino);
    if (sintassi == 0) {
      connection.ExecuteNoRecords(
          "UPDATE tabGiacenze INNER JOIN tabBarcode ON tabGiacenze.Barcode = tabBarcode.barcode SET "
          "tabBarcode.Giacenza = tabGiacenze.Giacenza, tabBarcode.Disponibile = tabGiacenze.Disponibile " +
          where);
    } else {
      connection.ExecuteNoRecords(
          "UPDATE tabBarcode SET tabBarcode.Giacenza = tabGiacenze.Giacenza, tabBarcode.Disponibile = "
          "tabGiacenze.Disponibile FROM tabGiacenze INNER JOIN tabBarcode ON tabGiacenze.Barcode = "
          "tabBarcode.barcode " +
          where);
    }
  });
}

void GiacenzeTabArticolo_LanciaAllineamento(Context& ctx, db::Connection& connection, int32_t /*sintassi*/,
                                            int32_t id_articolo, int32_t id_magazzino) {
  CopyToArticle(ctx, connection, id_articolo, id_magazzino, false);
}

namespace {

void CopyToArticle(Context& ctx, db::Connection& connection, int32_t id_articolo, int32_t id_magazzino,
                   bool mark_moved) {
  Guarded(ctx, "GiacenzeTabArticolo_LanciaAllineamento", [&] {
    if (id_articolo == -1) {
      connection.ExecuteNoRecords("Update tabArticoli set Giacenza=null, Disponibile=Null");
      auto rs = connection.OpenRecordset(
          "Select idArticolo, Sum(Giacenza) as Giacenza, Sum(Disponibile) as Disponibile from tabGiacenze group by "
          "idarticolo having Sum(Giacenza) <>0 or  Sum(Disponibile)<>0",
          db::kStatic, db::kReadOnly);
      for (; !rs->Eof(); rs->MoveNext()) UpdateArticleStock(ctx, connection, *rs, db::CStr((*rs)["idArticolo"]));
      rs->Close();
      return;
    }
    if (id_magazzino < 0 || id_magazzino != ctx.settings.IdMagazzinoCorrente) return;
    std::string id = std::to_string(id_articolo);
    auto rs = connection.OpenRecordset(
        "Select idArticolo, Sum(Giacenza) as Giacenza, Sum(Disponibile) as Disponibile from tabGiacenze where "
        "idMagazzino=" + std::to_string(id_magazzino) + " group by idarticolo having idArticolo=" + id,
        db::kStatic, db::kReadOnly);
    if (!rs->Eof()) {
      UpdateArticleStock(ctx, connection, *rs, id, mark_moved);
    } else {
      connection.ExecuteNoRecords("Update tabArticoli set " + (mark_moved ? MovedMark(ctx) + ", " : std::string()) +
                                  "Giacenza=0, Disponibile=0 where idarticolo=" + id);
    }
    rs->Close();
  });
}

}  // namespace

}  // namespace velkaris
