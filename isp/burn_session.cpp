// The burn as one function of its inputs.
#include <cstdint>
#include <cstdio>

#include "isp/protocol.h"
#include "isp/protocol_io.h"
#include "isp/session.h"
#include "shell/message_kind.h"

namespace {

constexpr const char* kOutOfDateFirmware =
    "The ISP firmware is out-of-date.\nPlease update the ISP firmware";

// Turns phase events into status texts and the dialog's progress. The counters are 8-bit,
// as the dialog's arithmetic has always been.
class BurnNarrator {
 public:
  BurnNarrator(SessionEvents& events, SessionOutcome& outcome) : events_(events), outcome_(outcome) {}

  void Status(Tone tone, const std::string& text) {
    outcome_.text = text;
    events_.Status(tone, text);
  }

  void OnPhaseEvent(BurnPhase phase, PhaseEvent event, std::uint32_t count) {
    switch (event) {
      case PhaseLoopBegins:
        total_ = static_cast<std::uint8_t>(count);
        done_ = 1;
        switch (phase) {
          case PhaseErase:
            events_.PhaseStarted(phase);
            Status(Tone::kBusy, "ISP erasing ...");
            break;
          case PhaseProgram:
            events_.Progress(0);
            events_.PhaseStarted(phase);
            Status(Tone::kBusy, "ISP programming");
            break;
          case PhaseVerify:
            events_.Progress(0);
            events_.PhaseStarted(phase);
            Status(Tone::kBusy, "Verify");
            break;
          case PhaseChecksum:
            events_.PhaseStarted(phase);
            Status(Tone::kBusy, "Calculate CheckSum");
            events_.Progress(0);
            break;
        }
        break;
      case PhaseCommandAnswered:
        // Only a loop of 256 or more commands (beyond every size limit) could wrap the total.
        if (total_ != 0) events_.Progress(done_ * 100 / total_);
        ++done_;
        break;
      case PhaseLoopSucceeded:
        events_.PhaseSucceeded(phase);
        Status(Tone::kPassed, phase == PhaseVerify ? "Verify OK" : "CheckSum OK");
        break;
    }
  }

 private:
  SessionEvents& events_;
  SessionOutcome& outcome_;
  std::uint8_t done_ = 0;
  std::uint8_t total_ = 0;
};

}  // namespace

std::string FirmwareVersionText(int version) {
  if (version < 1) return "";
  // Always the units digit: version byte 20 reads "VER: 2.0".
  char text[32];
  std::snprintf(text, sizeof text, "VER: %d.%d", version / 10, version % 10);
  return text;
}

SessionOutcome RunBurnSession(SerialPort& port, const BurnPlan& plan, const BurnSessionOptions& options,
                       const StopToken& stop, SessionEvents& events) {
  SessionOutcome outcome;
  BurnNarrator narrator(events, outcome);
  Link link{port, stop, options.timeouts,
            [&narrator](BurnPhase phase, PhaseEvent event, std::uint32_t count) {
              narrator.OnPhaseEvent(phase, event, count);
            }};
  const auto fail = [&](const std::string& text) {
    narrator.Status(Tone::kFailed, text);
    outcome.stopped = stop.Requested();
    outcome.lost = port.Lost();
    return outcome;
  };

  events.Progress(0);
  narrator.Status(Tone::kWaiting, "Please enter ISP");
  if (!Handshake(link, &outcome.version)) return fail("");
  outcome.handshake_seen = true;
  events.HandshakeSeen(outcome.version);
  if (outcome.version < 1) events.Message(MessageError, kOutOfDateFirmware);
  events.CommandsBegin();
  // A stop during the version wait or while the out-of-date message was up has had no
  // command to follow yet: honour it before the first erase byte.
  if (stop.Requested()) return fail("Erase error");

  std::string failure;
  if (!ErasePhase(link, plan, &failure)) return fail(failure);
  if (!ProgramPhase(link, plan, &failure)) return fail(failure);
  narrator.Status(Tone::kPassed, "Program OK");

  const bool read_back = options.read_back();
  if (!VerifyPhase(link, plan, read_back, &failure)) return fail(failure);
  // Every burn is checked once: a box that was clear for the verify phase and set again
  // before this one would otherwise end a burn that was never compared with "Program OK".
  const bool request_sums = !options.read_back() || !read_back;
  if (!ChecksumPhase(link, plan, request_sums, PlanBurnSum(plan), &failure, &outcome.sums)) {
    return fail(failure);
  }
  outcome.ok = true;
  return outcome;
}
