// Process-wide shop settings, filled once per run from the registry and the databases.
// Every value starts empty, 0 or 0.0 until the run fills it.
#pragma once

#include <cstdint>
#include <string>

namespace velkaris {

struct Settings {
  std::string CodiceIvaPredefinito;
  double AliquotaIvaPredefinita = 0;
  int16_t LunghMaxBarcode = 0;
  int16_t LunghMaxDescrizione = 0;
  int16_t LunghMaxSchedaTecnica = 0;
  std::string UnitaMisuraPredefinita;
  int16_t PrezziFatturaNettoIva = 0;
  int16_t PrezziFatturaNettoIva_PCassa = 0;
  std::string ValutaAziendale;
  int16_t CifreDecimaliQuantita = 0;
  std::string BollettarioPredefinito;
  int16_t CifreDecimali = 0;
  std::string FormatoNumero;
  int16_t GestioneAnagraficheConBarcode = 0;
  int32_t IdMagazzinoCorrente = 0;
  int32_t IdCassa = 0;
  int32_t TipoPrezzoAcquistoRegola = 0;
  double ArrotondamentoValutaAziendale = 0;
};

}  // namespace velkaris
