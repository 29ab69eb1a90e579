#include "isp/read_back.h"

#include <cstdio>

#include "isp/burn_status.h"
#include "isp/protocol_io.h"
#include "shell/shell.h"

namespace {

constexpr const char* kReadError = "Read error";

// Progress over the read's pages; only the thread running ReadChip touches them.
std::uint32_t pages_done = 0;
std::uint32_t pages_total = 0;

void OnReadEvent(BurnPhase, PhaseEvent event, std::uint32_t) {
  if (event != PhaseCommandAnswered || pages_total == 0) return;
  ++pages_done;
  ShowBurnProgress(static_cast<int>(pages_done * 100 / pages_total));
}

int FailRead(const std::string& text) {
  ShowBurnStatus(kColorRed, text);
  return 0;
}

bool ReadBank(const BurnPlan& plan, int bank, std::string* failure_text) {
  const std::uint32_t pages = BankPages(plan, bank);
  for (std::uint32_t p = 0; p < pages; ++p) {
    std::uint8_t* dest = ReadBackImage + (bank == 0 ? 0u : kBankSizeBytes) + p * plan.page_size_bytes;
    if (!ReadPage(plan, bank, p, dest)) {
      char text[80];
      std::snprintf(text, sizeof text, "%s: page %u of bank %d never arrived", kReadError,
                    static_cast<unsigned>(p), bank);
      return FailPhase(text, failure_text);
    }
    if (AnsweredThenStopped(OnReadEvent, PhaseVerify)) return FailPhase(kReadError, failure_text);
  }
  return true;
}

}  // namespace

int ReadChip(const BurnPlan& plan, ReadKind kind, PageSums* sums) {
  ShowBurnProgress(0);
  ShowBurnStatus(kColorRed, "Please enter ISP");
  int version = -1;
  if (!Handshake(&version)) return FailRead("");
  HandshakeSeen(version);
  if (StopRequested.load() != 0) return FailRead(kReadError);

  const BurnPlan nothing{plan.image, plan.page_size_bytes, 0, 0};
  std::string failure;
  if (!ErasePhase(nothing, nullptr, &failure)) return FailRead(failure);
  if (!ProgramPhase(nothing, nullptr, &failure)) return FailRead(failure);

  pages_done = 0;
  pages_total = plan.bank0_pages + plan.bank1_pages;
  ShowBurnStatus(kColorBlue, "Reading");
  if (!ExpectByte(kVerifyMarker)) return FailRead("ISP error");
  if (kind == ReadPages) {
    if (!ReadBank(plan, 0, &failure) || !ReadBank(plan, 1, &failure)) return FailRead(failure);
  }
  if (!EndPhase("ISP error", &failure)) return FailRead(failure);

  if (!ExpectByte(kChecksumMarker)) return FailRead("ISP error");
  if (kind == ReadPageSums) {
    *sums = {};
    if (!SumBank(plan, 0, sums, OnReadEvent, kReadError, &failure) ||
        !SumBank(plan, 1, sums, OnReadEvent, kReadError, &failure)) {
      return FailRead(failure);
    }
  }
  if (!EndPhase("ISP error", &failure)) return FailRead(failure);
  ShowBurnStatus(kColorGreen, "Read OK");
  return 1;
}
