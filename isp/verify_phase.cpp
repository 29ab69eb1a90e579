#include <cstring>

#include "isp/protocol.h"
#include "isp/protocol_io.h"

bool ReadPage(const BurnPlan& plan, int bank, std::uint32_t page, std::uint8_t* dest) {
  const std::uint8_t page_byte = PageByte(bank, page);
  for (int attempts = 0; attempts < kVerifyAttemptsPerPage; ++attempts) {
    SendByte(page_byte);
    if (PortRead(dest, plan.page_size_bytes) == plan.page_size_bytes) return true;
  }
  return false;
}

namespace {
// A page whose bytes differ fails at once.
bool VerifyBank(const BurnPlan& plan, int bank, PhaseHook hook, std::string* failure_text) {
  const std::uint32_t pages = BankPages(plan, bank);
  for (std::uint32_t p = 0; p < pages; ++p) {
    std::uint8_t* read_back = ReadBackImage + (bank == 0 ? 0u : kBankSizeBytes) + p * plan.page_size_bytes;
    if (!ReadPage(plan, bank, p, read_back)) return FailPhase("Verify error", failure_text);
    if (std::memcmp(read_back, PagePointer(plan, bank, p), plan.page_size_bytes) != 0) {
      return FailPhase("Verify error", failure_text);
    }
    if (AnsweredThenStopped(hook, PhaseVerify)) return FailPhase("Verify error", failure_text);
  }
  return true;
}
}  // namespace

int VerifyPhase(const BurnPlan& plan, bool read_back, PhaseHook hook, std::string* failure_text) {
  if (!ExpectByte(kVerifyMarker)) return FailPhase("ISP error", failure_text);
  if (read_back) {
    Report(hook, PhaseVerify, PhaseLoopBegins, plan.bank0_pages + plan.bank1_pages);
    if (!VerifyBank(plan, 0, hook, failure_text)) return 0;
    if (!VerifyBank(plan, 1, hook, failure_text)) return 0;
    Report(hook, PhaseVerify, PhaseLoopSucceeded, 0);
  }
  return EndPhase("ISP error", failure_text);
}
