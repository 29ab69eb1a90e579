#include <algorithm>

#include "isp/protocol.h"
#include "isp/protocol_io.h"

namespace {
bool ProgramBank(const BurnPlan& plan, int bank, PhaseHook hook, std::string* failure_text) {
  SetPortTimeouts(kProgramTimeoutMs, kProgramTimeoutMs);
  const std::uint32_t pages = BankPages(plan, bank);
  for (std::uint32_t p = 0; p < pages; ++p) {
    const std::uint8_t* page = PagePointer(plan, bank, p);
    // Erased flash already reads 0xFF; sending such a page would only cost time.
    const bool blank =
        std::all_of(page, page + plan.page_size_bytes, [](std::uint8_t b) { return b == 0xFF; });
    if (!blank) {
      const std::uint8_t page_byte = PageByte(bank, p);
      SendByte(page_byte);
      PortWrite(page, plan.page_size_bytes);
      if (!ExpectByte(page_byte)) return FailPhase("Program error", failure_text);
    }
    if (AnsweredThenStopped(hook, PhaseProgram)) return FailPhase("Program error", failure_text);
  }
  return true;
}
}  // namespace

int ProgramPhase(const BurnPlan& plan, PhaseHook hook, std::string* failure_text) {
  // Still under the erase phase's 1000 ms.
  if (!ExpectByte(kProgramMarker)) return FailPhase("ISP program error", failure_text);
  Report(hook, PhaseProgram, PhaseLoopBegins, plan.bank0_pages + plan.bank1_pages);
  if (!ProgramBank(plan, 0, hook, failure_text)) return 0;
  if (!ProgramBank(plan, 1, hook, failure_text)) return 0;
  return EndPhase("Program error", failure_text);
}
