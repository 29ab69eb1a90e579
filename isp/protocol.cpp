#include "isp/protocol.h"

#include "isp/protocol_io.h"

BurnPlan PlanFor(const std::uint8_t* image, std::uint32_t page_size, std::uint32_t bank0_bytes,
                 std::uint32_t bank1_bytes) {
  // A page size of 0 would make every division below meaningless; treat it as nothing to burn.
  if (page_size == 0) return BurnPlan{image, 0, 0, 0};
  return BurnPlan{image, page_size, bank0_bytes / page_size, bank1_bytes / page_size};
}

std::uint32_t PlanBurnSum(const BurnPlan& plan) {
  return BurnSum(plan.image, plan.bank0_pages * plan.page_size_bytes, plan.bank1_pages * plan.page_size_bytes);
}

int EndPhase(Link& link, const std::string& text, std::string* failure_text) {
  SendByte(link, kEndOfPhase);
  if (!ExpectByte(link, kEndAcknowledge)) return FailPhase(text, failure_text);
  return 1;
}
