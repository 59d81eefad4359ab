#include "receipts/vouchers.h"

#include "data/sql_helpers.h"
#include "db/error.h"
#include "db/recordset.h"
#include "core/failure.h"
#include "rows/row_margins.h"

namespace velkaris {

void clsBuonoMerce::setConnessione(db::Connection* connection) { connection_ = connection; }

void clsBuonoMerce::LogError(const char* operation, const std::exception& e) {
  int number = -2147467259;
  if (auto* vb = dynamic_cast<const db::VbError*>(&e)) number = vb->number();
  if (auto* dbe = dynamic_cast<const db::Error*>(&e)) number = dbe->number();
  ctx_.logs.ScriviLogErrore(std::string("Velkaris-") + operation, std::to_string(number) + "-" + e.what());
}

void clsBuonoMerce::Inizializza(int32_t id_buono) {
  try {
    idBuono = id_buono;
    if (!connection_) return;
    auto rs = connection_->OpenRecordset("Select * from tabBuoniMerce where idBuono=" + std::to_string(id_buono),
                                         db::kStatic, db::kReadOnly);
    if (!rs->Eof()) {
      auto amount = [&](const char* column) {
        return db::CDbl(db::Value(FormatPV(ctx_, TestNull(ctx_, (*rs)[column], db::Value(0)), ctx_.settings.CifreDecimali)));
      };
      auto text = [&](const char* column) { return db::CStr(TestNull(ctx_, (*rs)[column], db::Value(""))); };
      Importo = amount("Importo");
      ImportoResiduo = amount("ImportoResiduo");
      dataEmissione = text("dataEmissione");
      dataFineValidita = text("dataValidita");
      dataRientro = text("dataRientro");
      idTipoBuono = db::CLng(TestNull(ctx_, (*rs)["idTipoBuono"], db::Value(-1)));
    }
    rs->Close();
  } catch (const std::exception& e) {
    LogError("Inizializza", e);
  }
}

bool clsBuonoMerce::updateBuonoMerce(int32_t id_testata_scontrino, int32_t id_cliente, double importo,
                                     double imponibile) {
  bool result = false;
  try {
    if (!connection_) return false;
    auto rs = connection_->OpenRecordset("select * from tabBuoniMerce where idbuono=" + std::to_string(idBuono),
                                         db::kForwardOnly, db::kPessimistic);
    if (!rs->Eof()) {
      if (IsRigaVendita) {
        auto receipt = connection_->OpenRecordset(
            " select idcassa,numeroscontrino,dataorascontrino , idmagazzino from dbo.tabTestateScontrini where "
            "idtestata = " + std::to_string(id_testata_scontrino),
            db::kStatic, db::kReadOnly);
        if (!receipt->Eof()) {
          rs->Set("idMagazzinoScontrinoAcquisto", TestNull(ctx_, (*receipt)["idMagazzino"], db::Value(-1)));
          rs->Set("idCassaScontrinoAcquisto", TestNull(ctx_, (*receipt)["idCassa"], db::Value(-1)));
          rs->Set("numeroScontrinoAcquisto", TestNull(ctx_, (*receipt)["NumeroScontrino"], db::Value(-1)));
          rs->Set("dataScontrinoAcquisto", TestNull(ctx_, (*receipt)["DataOraScontrino"], db::Value(ctx_.clock.Now())));
        }
        CloseRS(receipt);
      } else {
        rs->Set("idTestataScontrino", db::Value(id_testata_scontrino));
      }
      rs->Set("IDCliente", db::Value(id_cliente));
      rs->Set("importoVendutoScontrino", db::Value(Euro(ctx_, db::Value(importo), ctx_.settings.CifreDecimali)));
      rs->Set("imponibileVendutoScontrino", db::Value(Euro(ctx_, db::Value(imponibile), ctx_.settings.CifreDecimali)));
      rs->Update();
    }
    rs->Close();
    result = true;
  } catch (const std::exception& e) {
    LogError("updateBuonoMerce", e);
  }
  return result;
}

bool clsBuonoMerce::UpdateImportoResiduo() {
  bool result = false;
  try {
    if (!connection_) return false;
    auto rs = connection_->OpenRecordset("select * from tabBuoniMerce where idbuono=" + std::to_string(idBuono),
                                         db::kForwardOnly, db::kPessimistic);
    // A voucher without a residual keeps it Null: Null less an amount is Null.
    if (!rs->Eof() && !(*rs)["ImportoResiduo"].IsNull()) {
      double residual = db::CDbl((*rs)["ImportoResiduo"]);
      rs->Set("ImportoResiduo", db::Value(residual - Euro(ctx_, db::Value(ImportoDaStornare), ctx_.settings.CifreDecimali)));
      rs->Update();
    }
    rs->Close();
    ImportoDaStornare = 0;
    result = true;
  } catch (const std::exception& e) {
    LogError("UpdateImportoResiduo", e);
  }
  return result;
}

void ScritturaBuoniMerce(Context& ctx, VoucherCollection& vouchers) {
  Guarded(ctx, "ScritturaBuoniMerce", [&] {
    for (const auto& voucher : vouchers) {
      double sold = 0, taxable = 0;
      auto rs = ctx.connDbLocale->OpenRecordset(
          std::string("SELECT Sum(([tabdettaglioscontrini].[Imponibile])) AS TotImponibile, "
                      "Sum(([tabdettaglioscontrini].[Iva])) AS TotIva, "
                      "Sum(([tabdettaglioscontrini].[TotaleNettoSconto])) AS TotImporto, "
                      "tabdettaglioscontrini.IdCausale, tabCausali.TipoMovimento, tabdettaglioscontrini.IdTestata ") +
              "FROM tabdettaglioscontrini LEFT JOIN tabCausali ON tabdettaglioscontrini.IdCausale = "
              "tabCausali.IdCausale " +
              "GROUP BY tabdettaglioscontrini.IdCausale, tabCausali.TipoMovimento, tabdettaglioscontrini.IdTestata " +
              "HAVING  tabdettaglioscontrini.IdTestata=" + std::to_string(voucher->idTestataScontrino) + " ",
          db::kStatic, db::kReadOnly);
      for (; !rs->Eof(); rs->MoveNext()) {
        double sign = db::CStr(TestNull(ctx, (*rs)["TipoMovimento"], db::Value("S"))) == "S" ? 1 : -1;
        sold = Euro(ctx, db::Value(sold + sign * db::CDbl(TestNull(ctx, (*rs)["TotImporto"], db::Value(0)))),
                    ctx.settings.CifreDecimali);
        taxable = Euro(ctx, db::Value(taxable + sign * db::CDbl(TestNull(ctx, (*rs)["TotImponibile"], db::Value(0)))),
                       ctx.settings.CifreDecimali);
      }
      rs->Close();
      bool ok = voucher->updateBuonoMerce(voucher->idTestataScontrino, voucher->IDCliente, sold, taxable);
      if (!ok) {
        ctx.logs.ScriviLogErrore("TovoVelkaris_Scontrino", "Attenzione: buono merce emesso il " + voucher->dataEmissione +
                                                               ", importo " + db::CStr(db::Value(voucher->Importo)) +
                                                               " non sincronizzato con backoffice.",
                                 "Errore sincro scontrino");
        ctx.logs.ScriviLogErrore("TovoVelkaris_Scontrino",
                                 "Lo scontrino NON VERRA' ELIMINATO e verrà comunque sincronizzato con backoffice.", "");
        return;
      }
      if (!voucher->IsRigaVendita) voucher->UpdateImportoResiduo();
    }
  });
}

}  // namespace velkaris
