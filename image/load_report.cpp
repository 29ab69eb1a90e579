#include "image/load_report.h"

std::string BankSizeText(int bank, std::uint32_t bytes) {
  return "BANK" + std::to_string(bank) + " : " + std::to_string(bytes) + " byte(s)";
}
