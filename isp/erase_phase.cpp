#include "isp/protocol.h"
#include "isp/protocol_io.h"

namespace {
// Erases a bank in two-page blocks; an odd page count ends with a block whose second page
// lies beyond the burned range.
bool EraseBank(const BurnPlan& plan, int bank, const char* echo_error, PhaseHook hook,
               std::string* failure_text) {
  const std::uint32_t blocks = (BankPages(plan, bank) + 1) / 2;
  for (std::uint32_t k = 0; k < blocks; ++k) {
    const std::uint8_t erase_byte = PageByte(bank, 2 * k);
    SendByte(erase_byte);
    if (!ExpectByte(erase_byte)) return FailPhase(echo_error, failure_text);
    if (AnsweredThenStopped(hook, PhaseErase)) return FailPhase("Erase error", failure_text);
  }
  return true;
}
}  // namespace

int ErasePhase(const BurnPlan& plan, PhaseHook hook, std::string* failure_text) {
  SetPortTimeouts(kEraseTimeoutMs, kEraseTimeoutMs);
  if (!ExpectByte(kEraseMarker)) return FailPhase("ISP erase error", failure_text);
  Report(hook, PhaseErase, PhaseLoopBegins, (plan.bank0_pages + 1) / 2 + (plan.bank1_pages + 1) / 2);
  if (!EraseBank(plan, 0, "ISP Erase error", hook, failure_text)) return 0;
  if (!EraseBank(plan, 1, "ISP Erase error ...", hook, failure_text)) return 0;
  return EndPhase("ISP erase error", failure_text);
}
