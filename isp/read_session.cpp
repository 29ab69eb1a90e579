// Reading the chip: a session whose erase and program phases are empty, so the verify phase
// answers any page asked for.
#include <cstdio>

#include "isp/protocol.h"
#include "isp/protocol_io.h"
#include "isp/session.h"

namespace {

constexpr const char* kReadError = "Read error";

bool ReadBank(Link& link, const BurnPlan& plan, int bank, std::uint8_t* read_back,
              std::string* failure_text) {
  const std::uint32_t pages = BankPages(plan, bank);
  for (std::uint32_t p = 0; p < pages; ++p) {
    std::uint8_t* dest = read_back + BankOffset(bank) + p * plan.page_size_bytes;
    if (!ReadPage(link, plan, bank, p, dest)) {
      char text[80];
      std::snprintf(text, sizeof text, "%s: page %u of bank %d never arrived", kReadError,
                    static_cast<unsigned>(p), bank);
      return FailPhase(text, failure_text);
    }
    if (AnsweredThenStopped(link, PhaseVerify)) return FailPhase(kReadError, failure_text);
  }
  return true;
}

}  // namespace

SessionOutcome RunReadSession(SerialPort& port, const BurnPlan& plan, ReadKind kind, std::uint8_t* read_back,
                        const SessionTimeouts& timeouts, const StopToken& stop, SessionEvents& events) {
  SessionOutcome outcome;
  const auto status = [&](Tone tone, const std::string& text) {
    outcome.text = text;
    events.Status(tone, text);
  };
  const auto fail = [&](const std::string& text) {
    status(Tone::kFailed, text);
    outcome.stopped = stop.Requested();
    outcome.lost = port.Lost();
    return outcome;
  };
  std::uint32_t pages_done = 0;
  const std::uint32_t pages_total = plan.bank0_pages + plan.bank1_pages;
  Link link{port, stop, timeouts, nullptr};

  events.Progress(0);
  status(Tone::kWaiting, "Please enter ISP");
  if (!Handshake(link, &outcome.version)) return fail("");
  outcome.handshake_seen = true;
  events.HandshakeSeen(outcome.version);
  events.CommandsBegin();
  if (stop.Requested()) return fail(kReadError);

  const BurnPlan nothing{plan.image, plan.page_size_bytes, 0, 0};
  std::string failure;
  if (!ErasePhase(link, nothing, &failure)) return fail(failure);
  if (!ProgramPhase(link, nothing, &failure)) return fail(failure);

  link.hook = [&](BurnPhase, PhaseEvent event, std::uint32_t) {
    if (event != PhaseCommandAnswered || pages_total == 0) return;
    ++pages_done;
    events.Progress(static_cast<int>(pages_done * 100 / pages_total));
  };
  status(Tone::kBusy, "Reading");
  if (!ExpectByte(link, kVerifyMarker)) return fail("ISP error");
  if (kind == ReadPages) {
    if (!ReadBank(link, plan, 0, read_back, &failure) || !ReadBank(link, plan, 1, read_back, &failure)) {
      return fail(failure);
    }
  }
  if (!EndPhase(link, "ISP error", &failure)) return fail(failure);

  if (!ExpectByte(link, kChecksumMarker)) return fail("ISP error");
  if (kind == ReadPageSums) {
    if (!SumBank(link, plan, 0, &outcome.sums, kReadError, &failure) ||
        !SumBank(link, plan, 1, &outcome.sums, kReadError, &failure)) {
      return fail(failure);
    }
  }
  if (!EndPhase(link, "ISP error", &failure)) return fail(failure);
  status(Tone::kPassed, "Read OK");
  outcome.ok = true;
  return outcome;
}
