#include <cstring>
#include <vector>

#include "isp/protocol.h"
#include "isp/protocol_io.h"

bool ReadPage(Link& link, const BurnPlan& plan, int bank, std::uint32_t page, std::uint8_t* dest) {
  const std::uint8_t page_byte = PageByte(bank, page);
  for (int attempts = 0; attempts < kVerifyAttemptsPerPage; ++attempts) {
    SendByte(link, page_byte);
    if (link.port.Read(dest, plan.page_size_bytes) == plan.page_size_bytes) return true;
  }
  return false;
}

namespace {
// A page whose bytes differ fails at once.
bool VerifyBank(Link& link, const BurnPlan& plan, int bank, std::string* failure_text) {
  std::vector<std::uint8_t> read_back(plan.page_size_bytes);
  const std::uint32_t pages = BankPages(plan, bank);
  for (std::uint32_t p = 0; p < pages; ++p) {
    if (!ReadPage(link, plan, bank, p, read_back.data())) return FailPhase("Verify error", failure_text);
    if (std::memcmp(read_back.data(), PagePointer(plan, bank, p), plan.page_size_bytes) != 0) {
      return FailPhase("Verify error", failure_text);
    }
    if (AnsweredThenStopped(link, PhaseVerify)) return FailPhase("Verify error", failure_text);
  }
  return true;
}
}  // namespace

int VerifyPhase(Link& link, const BurnPlan& plan, bool read_back, std::string* failure_text) {
  if (!ExpectByte(link, kVerifyMarker)) return FailPhase("ISP error", failure_text);
  if (read_back) {
    Report(link, PhaseVerify, PhaseLoopBegins, plan.bank0_pages + plan.bank1_pages);
    if (!VerifyBank(link, plan, 0, failure_text)) return 0;
    if (!VerifyBank(link, plan, 1, failure_text)) return 0;
    Report(link, PhaseVerify, PhaseLoopSucceeded, 0);
  }
  return EndPhase(link, "ISP error", failure_text);
}
