// Goods vouchers sold or used on a receipt, written back to tabBuoniMerce after the
// receipt's rows and totals.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/connection.h"
#include "core/context.h"

namespace velkaris {

class clsBuonoMerce {
 public:
  explicit clsBuonoMerce(Context& ctx) : ctx_(ctx) {}

  // Every database operation does nothing until the connection is set.
  void setConnessione(db::Connection* connection);
  bool isConnessioneIstanziata() const { return connection_ != nullptr; }

  // Loads the voucher's amounts and dates.
  void Inizializza(int32_t id_buono);
  // Records the receipt on the voucher; true whenever a connection was set.
  bool updateBuonoMerce(int32_t id_testata_scontrino, int32_t id_cliente, double importo, double imponibile);
  // Takes ImportoDaStornare off the residual amount; true whenever a connection was set.
  bool UpdateImportoResiduo();

  int32_t idBuono = -1;
  double Importo = 0;
  double ImportoResiduo = 0;
  double ImportoDaStornare = 0;
  std::string dataEmissione;
  std::string dataFineValidita;
  std::string dataRientro;
  int32_t idTestataScontrino = -1;
  int32_t IDCliente = -1;
  double importoVendutoScontrino = 0;
  double imponibileVendutoScontrino = 0;
  bool IsRigaVendita = false;
  int32_t idTipoBuono = -1;

 private:
  void LogError(const char* operation, const std::exception& e);

  Context& ctx_;
  db::Connection* connection_ = nullptr;
};

using VoucherCollection = std::vector<std::shared_ptr<clsBuonoMerce>>;

// For each voucher: the receipt's sold and taxable amounts (returns subtract) go on the
// voucher, and a used voucher's residual is lowered. A voucher problem never undoes the
// receipt.
void ScritturaBuoniMerce(Context& ctx, VoucherCollection& vouchers);

}  // namespace velkaris
