#include <algorithm>

#include "isp/protocol.h"
#include "isp/protocol_io.h"

namespace {
bool ProgramBank(Link& link, const BurnPlan& plan, int bank, std::string* failure_text) {
  link.port.SetTimeouts(link.timeouts.program_ms, link.timeouts.program_ms);
  const std::uint32_t pages = BankPages(plan, bank);
  for (std::uint32_t p = 0; p < pages; ++p) {
    const std::uint8_t* page = PagePointer(plan, bank, p);
    // Erased flash already reads 0xFF; sending such a page would only cost time.
    const bool blank =
        std::all_of(page, page + plan.page_size_bytes, [](std::uint8_t b) { return b == 0xFF; });
    if (!blank) {
      const std::uint8_t page_byte = PageByte(bank, p);
      SendByte(link, page_byte);
      link.port.Write(page, plan.page_size_bytes);
      if (!ExpectByte(link, page_byte)) return FailPhase("Program error", failure_text);
    }
    if (AnsweredThenStopped(link, PhaseProgram)) return FailPhase("Program error", failure_text);
  }
  return true;
}
}  // namespace

int ProgramPhase(Link& link, const BurnPlan& plan, std::string* failure_text) {
  // Still under the erase phase's time-out.
  if (!ExpectByte(link, kProgramMarker)) return FailPhase("ISP program error", failure_text);
  Report(link, PhaseProgram, PhaseLoopBegins, plan.bank0_pages + plan.bank1_pages);
  if (!ProgramBank(link, plan, 0, failure_text)) return 0;
  if (!ProgramBank(link, plan, 1, failure_text)) return 0;
  return EndPhase(link, "Program error", failure_text);
}
