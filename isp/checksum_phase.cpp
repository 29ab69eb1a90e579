#include "isp/protocol.h"
#include "isp/protocol_io.h"

bool SumBank(const BurnPlan& plan, int bank, std::uint32_t* total, PhaseHook hook,
             const std::string& text, std::string* failure_text) {
  const std::uint32_t pages = BankPages(plan, bank);
  for (std::uint32_t p = 0; p < pages; ++p) {
    const std::uint8_t page_byte = PageByte(bank, p);
    SendByte(page_byte);
    if (!ExpectByte(page_byte)) return FailPhase(text, failure_text);
    std::uint8_t sum[2] = {0, 0};
    if (PortRead(sum, 2) < 2) return FailPhase(text, failure_text);
    *total = (*total + sum[0] + 256u * sum[1]) % 65536u;
    if (AnsweredThenStopped(hook, PhaseChecksum)) return FailPhase(text, failure_text);
  }
  return true;
}

int ChecksumPhase(const BurnPlan& plan, bool request_sums, std::uint32_t burn_sum, PhaseHook hook,
                  std::string* failure_text) {
  if (!ExpectByte(kChecksumMarker)) return FailPhase("ISP error", failure_text);
  if (request_sums) {
    Report(hook, PhaseChecksum, PhaseLoopBegins, plan.bank0_pages + plan.bank1_pages);
    const std::uint32_t target = (65536u - burn_sum % 65536u) % 65536u;
    std::uint32_t total = 0;
    if (!SumBank(plan, 0, &total, hook, "CheckSum error", failure_text)) return 0;
    if (!SumBank(plan, 1, &total, hook, "CheckSum error", failure_text)) return 0;
    if (total != target) return FailPhase("CheckSum error", failure_text);
    Report(hook, PhaseChecksum, PhaseLoopSucceeded, 0);
  }
  return EndPhase("ISP error", failure_text);
}
