#include "isp/protocol.h"
#include "isp/protocol_io.h"

namespace {
// Erases a bank in two-page blocks; an odd page count ends with a block whose second page
// lies beyond the burned range.
bool EraseBank(Link& link, const BurnPlan& plan, int bank, const char* echo_error,
               std::string* failure_text) {
  const std::uint32_t blocks = (BankPages(plan, bank) + 1) / 2;
  for (std::uint32_t k = 0; k < blocks; ++k) {
    const std::uint8_t erase_byte = PageByte(bank, 2 * k);
    SendByte(link, erase_byte);
    if (!ExpectByte(link, erase_byte)) return FailPhase(echo_error, failure_text);
    if (AnsweredThenStopped(link, PhaseErase)) return FailPhase("Erase error", failure_text);
  }
  return true;
}
}  // namespace

int ErasePhase(Link& link, const BurnPlan& plan, std::string* failure_text) {
  link.port.SetTimeouts(link.timeouts.erase_ms, link.timeouts.erase_ms);
  if (!ExpectByte(link, kEraseMarker)) return FailPhase("ISP erase error", failure_text);
  Report(link, PhaseErase, PhaseLoopBegins, (plan.bank0_pages + 1) / 2 + (plan.bank1_pages + 1) / 2);
  if (!EraseBank(link, plan, 0, "ISP Erase error", failure_text)) return 0;
  if (!EraseBank(link, plan, 1, "ISP Erase error ...", failure_text)) return 0;
  return EndPhase(link, "ISP erase error", failure_text);
}
