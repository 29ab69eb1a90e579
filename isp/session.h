#pragma once
// One session with the chip's ISP firmware as a function of its inputs: the port, the plan,
// the options, a stop token and an events sink, returning an outcome. Nothing here reads or
// writes process-wide state, so a process may run one session per port at once.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "isp/protocol.h"
#include "serial/serial_port.h"

// A stop asked for by another thread or a signal handler (lock-free); a session looks at it
// between commands and while it waits for the handshake. A token with a parent is also
// stopped by its parent's stop: one stop for a whole run, one more per port.
class StopToken {
 public:
  StopToken() = default;
  explicit StopToken(const StopToken* parent) : parent_(parent) {}
  StopToken(const StopToken&) = delete;
  StopToken& operator=(const StopToken&) = delete;

  void Request() noexcept { requested_.store(true); }
  void Reset() noexcept { requested_.store(false); }
  bool Requested() const noexcept {
    return requested_.load() || (parent_ != nullptr && parent_->Requested());
  }

 private:
  std::atomic<bool> requested_{false};
  const StopToken* parent_ = nullptr;
  static_assert(std::atomic<bool>::is_always_lock_free);
};

// How a status text reads: waiting for the user, at work, passed, failed.
enum class Tone : int { kWaiting = 0, kBusy = 1, kPassed = 2, kFailed = 3 };

// What a session tells as it goes, on its own thread, in order. Every call may block (the
// out-of-date message waits for the user); none may call back into the session.
class SessionEvents {
 public:
  virtual ~SessionEvents() = default;
  // The status line: "Please enter ISP", "ISP erasing ...", "Program OK", a failure text.
  virtual void Status(Tone /*tone*/, const std::string& /*text*/) {}
  // The current phase's progress, 0..100; 0 starts a phase.
  virtual void Progress(int /*percent*/) {}
  // The chip answered the handshake with this version byte (-1: no byte came).
  virtual void HandshakeSeen(int /*version*/) {}
  // A message the user must see before the session goes on (kind: MessageError, MessageWarning).
  virtual void Message(int /*kind*/, const std::string& /*text*/) {}
  // The chip is in ISP and the commands begin: from now on a stop ends the session with the
  // phase's stop text.
  virtual void CommandsBegin() {}
  // A phase's page loop begins, and it ended with every page matched (verify, checksum).
  virtual void PhaseStarted(BurnPhase /*phase*/) {}
  virtual void PhaseSucceeded(BurnPhase /*phase*/) {}
};

// The waits of one session, in milliseconds. Tests shorten those they do not test.
struct SessionTimeouts {
  std::uint32_t handshake_ms = kHandshakeTimeoutMs;
  std::uint32_t erase_ms = kEraseTimeoutMs;
  std::uint32_t program_ms = kProgramTimeoutMs;
};

struct BurnSessionOptions {
  // Read every page back after programming (otherwise ask for the page sums). Asked once when
  // the verify phase begins and once when the checksum phase begins, so a front end may change
  // its mind until then, as the burn dialog's Verify box does.
  std::function<bool()> read_back = [] { return true; };
  SessionTimeouts timeouts;
};

struct SessionOutcome {
  bool ok = false;
  bool handshake_seen = false;
  int version = -1;         // the version byte (-1 none came, or no handshake)
  std::string text;         // the last status text: "CheckSum OK", "Verify OK", "Read OK" or the failure
  bool stopped = false;     // ended by the stop token
  bool lost = false;        // the port was lost
  PageSums sums;            // what the checksum phase was told, when it asked for sums
};

// The burn: handshake (waited for until the token stops it), erase, program, verify or
// checksum. The port must be open at the burn's rate.
SessionOutcome RunBurnSession(SerialPort& port, const BurnPlan& plan, const BurnSessionOptions& options,
                       const StopToken& stop, SessionEvents& events);

enum ReadKind : int {
  ReadPages = 0,     // the plan's pages land in read_back at their image offsets
  ReadPageSums = 1,  // the checksum phase's sum of each of the plan's pages
};

// Reading the chip without changing it: the handshake, empty erase and program phases, then
// the plan's pages read back (a short page asked for again up to kVerifyAttemptsPerPage times)
// into read_back (kImageCapacityBytes, laid out like the image), or their sums. plan.image is
// used only to compare page sums with (nullptr: not compared). Tells "Please enter ISP",
// "Reading" with its progress, then "Read OK" or the failure. A differing page sum is no
// failure of the read: outcome.sums tells it.
SessionOutcome RunReadSession(SerialPort& port, const BurnPlan& plan, ReadKind kind, std::uint8_t* read_back,
                        const SessionTimeouts& timeouts, const StopToken& stop, SessionEvents& events);

// "VER: 2.3" for version byte 23; "" for a version the chip did not tell (below 1).
std::string FirmwareVersionText(int version);
