#include <numeric>

#include "isp/protocol.h"
#include "isp/protocol_io.h"

bool SumBank(Link& link, const BurnPlan& plan, int bank, PageSums* sums, const std::string& text,
             std::string* failure_text) {
  const std::uint32_t pages = BankPages(plan, bank);
  for (std::uint32_t p = 0; p < pages; ++p) {
    const std::uint8_t page_byte = PageByte(bank, p);
    SendByte(link, page_byte);
    if (!ExpectByte(link, page_byte)) return FailPhase(text, failure_text);
    std::uint8_t answer[2] = {0, 0};
    if (link.port.Read(answer, 2) < 2) return FailPhase(text, failure_text);
    const auto chip_sum = static_cast<std::uint16_t>(answer[0] + 256u * answer[1]);
    sums->total = (sums->total + chip_sum) % 65536u;
    // Only page by page does a swap of two pages, or errors that cancel, show.
    if (plan.image && sums->differing_bank < 0) {
      const std::uint8_t* page = PagePointer(plan, bank, p);
      const auto image_sum =
          static_cast<std::uint16_t>(std::accumulate(page, page + plan.page_size_bytes, 0u));
      if (chip_sum != image_sum) *sums = {sums->total, bank, p, chip_sum, image_sum};
    }
    if (AnsweredThenStopped(link, PhaseChecksum)) return FailPhase(text, failure_text);
  }
  return true;
}

int ChecksumPhase(Link& link, const BurnPlan& plan, bool request_sums, std::uint32_t burn_sum,
                  std::string* failure_text, PageSums* sums) {
  PageSums own;
  if (!sums) sums = &own;
  *sums = {};
  if (!ExpectByte(link, kChecksumMarker)) return FailPhase("ISP error", failure_text);
  if (request_sums) {
    Report(link, PhaseChecksum, PhaseLoopBegins, plan.bank0_pages + plan.bank1_pages);
    const std::uint32_t target = (65536u - burn_sum % 65536u) % 65536u;
    if (!SumBank(link, plan, 0, sums, "CheckSum error", failure_text)) return 0;
    if (!SumBank(link, plan, 1, sums, "CheckSum error", failure_text)) return 0;
    // Decided only now, as for the total, so the wire carries every page's request.
    if (sums->total != target || sums->differing_bank >= 0) return FailPhase("CheckSum error", failure_text);
    Report(link, PhaseChecksum, PhaseLoopSucceeded, 0);
  }
  return EndPhase(link, "ISP error", failure_text);
}
