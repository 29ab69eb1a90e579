#include "isp/protocol.h"

#include <algorithm>

#include "isp/protocol_io.h"

BurnPlan PlanFor(const std::uint8_t* image, std::uint32_t page_size, std::uint32_t bank0_bytes,
                 std::uint32_t bank1_bytes) {
  // A page size of 0 would make every division below meaningless; treat it as nothing to burn.
  if (page_size == 0) return BurnPlan{image, 0, 0, 0};
  return BurnPlan{image, page_size, bank0_bytes / page_size, bank1_bytes / page_size};
}

std::uint32_t PlanBurnSum(const BurnPlan& plan) {
  std::uint32_t sum = 0;
  for (int bank = 0; bank < 2; ++bank) {
    const std::uint32_t bytes = std::min(BankPages(plan, bank) * plan.page_size_bytes, kBankSizeBytes);
    const std::uint8_t* start = plan.image + BankOffset(bank);
    for (std::uint32_t i = 0; i < bytes; ++i) sum += start[i];
  }
  return (0u - sum) & 0xFFFF;
}

int EndPhase(Link& link, const std::string& text, std::string* failure_text) {
  SendByte(link, kEndOfPhase);
  if (!ExpectByte(link, kEndAcknowledge)) return FailPhase(text, failure_text);
  return 1;
}
