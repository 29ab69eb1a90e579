// The ISP firmware's side of the exchange: announce, handshake, and the four phases, each a
// plain sequence of reads and answers. Faults are applied where the answer is formed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <vector>

#include "sim/sim.h"

namespace {

// Handshake words are not sent while this many bytes wait unread in the host's queue: with
// no host on the line they would otherwise fill the pty and block the master.
constexpr std::size_t kUnreadLimitBytes = 1024;
// A host that keeps sending after a failure would flood the log; the rest is counted.
constexpr int kListedLateBytes = 16;

constexpr std::uint8_t kNoiseBefore[] = {0x13, 0x37, 0xC4};
constexpr std::uint8_t kNoiseAfter[] = {0x5A, 0x00, 0x6F};  // "Z", NUL, "o": never completes the word

enum class Step { kNext, kEnded, kAbandoned, kWindowClosed, kStopped };

int Session = 0;
bool Erased[256];
bool ErasedAny = false;
bool Programmed[256];
int ShortReads[256];        // short read-backs sent per page in this session
unsigned ReportedTotal = 0;  // sum of the page sums sent in the checksum phase
unsigned IntendedTotal = 0;  // what they would add up to without faults
bool SumsAsked = false;
// While the chip lingers after its burn, its announcements end here (none: for ever).
std::optional<std::chrono::steady_clock::time_point> AnnounceUntil;
// When the chip leaves its bootloader if no host has answered (none: it waits for ever).
std::optional<std::chrono::steady_clock::time_point> WindowEnd;

bool Has(FaultKind kind, int a) { return FindFault(kind, a, Session) != nullptr; }

bool Has(FaultKind kind, Phase phase) { return Has(kind, static_cast<int>(phase)); }

Step Send(Phase phase, const std::uint8_t* bytes, std::size_t count) {
  LogExchange("TX", phase, bytes, count);
  return LinkWrite(bytes, count) ? Step::kNext : Step::kStopped;
}

Step Send(Phase phase, std::initializer_list<std::uint8_t> bytes) {
  return Send(phase, bytes.begin(), bytes.size());
}

Step NoByte(int result, Phase phase) {
  if (result == kLinkStopped) return Step::kStopped;
  LogNote(std::string("session abandoned in the ") + PhaseName(phase) + " phase: no byte for " +
          std::to_string(SimIdleMs) + " ms");
  return Step::kAbandoned;
}

Step Receive(Phase phase, int* byte) {
  int result = LinkRead(SimIdleMs);
  if (result < 0) return NoByte(result, phase);
  *byte = result;
  return Step::kNext;
}

// After a fault the host must see as a failure, or a silence, the device answers nothing
// more: a correct host has given up, so any byte it still sends is a violation. Silence
// ends the session.
Step GoQuiet(Phase phase, const std::string& reason) {
  LogNote(std::string(PhaseName(phase)) + ": " + reason + "; the device answers nothing more");
  int late = 0;
  for (;;) {
    int result = LinkRead(SimIdleMs);
    if (result < 0) {
      if (late > kListedLateBytes) {
        LogViolation(phase, std::to_string(late - kListedLateBytes) + " more byte(s) received after " + reason);
      }
      return NoByte(result, phase);
    }
    if (++late <= kListedLateBytes) {
      LogViolation(phase, "byte " + HexByte(result) + " received after " + reason);
    }
  }
}

// Reads for ms, logging every byte as one the host sent out of turn.
Step WaitQuiet(Phase phase, int ms, const char* what) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  int late = 0;
  for (;;) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    int result = LinkRead(static_cast<int>(left.count()));
    if (result == kLinkStopped) return Step::kStopped;
    if (result == kLinkNone) break;
    if (++late <= kListedLateBytes) {
      LogViolation(phase, "byte " + HexByte(result) + " received " + what);
    }
  }
  if (late > kListedLateBytes) {
    LogViolation(phase, std::to_string(late - kListedLateBytes) + " more byte(s) received " + what);
  }
  return Step::kNext;
}

// What a correct host never does with a page byte is logged; true when the page may be
// programmed (higher pages hold the ISP firmware and are left alone).
bool CheckPage(Phase phase, std::uint8_t page) {
  if (page > kLastUsablePage) {
    LogViolation(phase, "page byte " + HexByte(page) + " is beyond the chip's pages");
    return false;
  }
  // A session that erased nothing only reads the chip, and may ask for any page.
  if (!Erased[page] && ErasedAny) {
    LogViolation(phase, "page byte " + HexByte(page) +
                            " is outside the burned range (not erased in this session)");
  }
  return true;
}

Step Handshake() {
  if (Has(FaultKind::kSilent, Phase::kHandshake)) {
    LogNote("silent=handshake: the device never announces");
    for (;;) {
      int result = LinkRead(1000);
      if (result == kLinkStopped) return Step::kStopped;
      if (result >= 0) {
        LogViolation(Phase::kHandshake, "byte " + HexByte(result) + " received from a host that saw no handshake word");
      }
    }
  }
  bool noise = FindFaultKind(FaultKind::kNoise, Session) != nullptr;
  std::uint8_t window[4] = {0, 0, 0, 0};
  long received = 0;
  auto next_word = std::chrono::steady_clock::now();
  for (;;) {
    auto now = std::chrono::steady_clock::now();
    if (AnnounceUntil && now >= *AnnounceUntil) return Step::kAbandoned;
    if (WindowEnd && SimResetRequested) {
      SimResetRequested = 0;
      WindowEnd = now + std::chrono::milliseconds(SimIspWindowMs);
    }
    if (WindowEnd && now >= *WindowEnd) return Step::kWindowClosed;
    if (now >= next_word) {
      if (LinkPendingForHost() < kUnreadLimitBytes) {
        std::vector<std::uint8_t> out;
        if (noise) {
          out.insert(out.end(), std::begin(kNoiseBefore), std::end(kNoiseBefore));
          out.insert(out.end(), kHandshakeWord, kHandshakeWord + 3);
          out.insert(out.end(), std::begin(kNoiseAfter), std::end(kNoiseAfter));
          noise = false;
        }
        out.insert(out.end(), kHandshakeWord, kHandshakeWord + 4);
        if (Send(Phase::kHandshake, out.data(), out.size()) != Step::kNext) return Step::kStopped;
      }
      next_word = std::chrono::steady_clock::now() + std::chrono::milliseconds(SimAnnounceMs);
    }
    auto wake = AnnounceUntil ? std::min(next_word, *AnnounceUntil) : next_word;
    if (WindowEnd) wake = std::min(wake, *WindowEnd);
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
        wake - std::chrono::steady_clock::now());
    int result = LinkRead(static_cast<int>(std::max<long long>(wait.count(), 0)));
    if (result == kLinkStopped) return Step::kStopped;
    if (result == kLinkNone) continue;
    std::memmove(window, window + 1, 3);
    window[3] = static_cast<std::uint8_t>(result);
    ++received;
    if (std::memcmp(window, kHandshakeWord, 4) == 0) break;
  }
  LogExchange("RX", Phase::kHandshake, window, 4);
  if (AnnounceUntil) {
    LogViolation(Phase::kHandshake, "the host answered the chip of session " +
                                        std::to_string(Session) + " again after its burn");
  }
  if (received > 4) {
    LogViolation(Phase::kHandshake, std::to_string(received - 4) +
                                        " unexpected byte(s) before the echo of the handshake word");
  }

  int version = SimVersion;
  if (const Fault* f = FindFaultKind(FaultKind::kVersion, Session)) version = f->a;
  if (version >= 0) {
    if (Send(Phase::kHandshake, {static_cast<std::uint8_t>(version)}) != Step::kNext) {
      return Step::kStopped;
    }
  }
  // The gap before the erase marker lets a host that got no version byte time out on it
  // (it waits 100 ms) before the marker arrives, instead of taking the marker as the version.
  return WaitQuiet(Phase::kHandshake, SimMarkerDelayMs, "before the erase marker");
}

Step OpenPhase(Phase phase) {
  if (Has(FaultKind::kSilent, phase)) {
    return GoQuiet(phase, std::string("the device went silent (silent=") + PhaseName(phase) + ")");
  }
  bool bad = Has(FaultKind::kBadMarker, phase);
  std::uint8_t marker = static_cast<std::uint8_t>(PhaseMarker(phase) + (bad ? 1 : 0));
  if (Send(phase, {marker}) != Step::kNext) return Step::kStopped;
  if (bad) return GoQuiet(phase, "the wrong marker " + HexByte(marker));
  return Step::kNext;
}

// The host's 0xFF has arrived.
Step ClosePhase(Phase phase) {
  const std::uint8_t end = kEndOfPhase;
  LogExchange("RX", phase, &end, 1);
  if (phase == Phase::kChecksum && SumsAsked && (ReportedTotal & 0xFFFF) != (IntendedTotal & 0xFFFF)) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "end of phase after page sums totalling 0x%04X where the programmed data sums "
                  "to 0x%04X (the host must have failed)",
                  ReportedTotal & 0xFFFF, IntendedTotal & 0xFFFF);
    LogViolation(phase, text);
  }
  if (Has(FaultKind::kNoAck, phase)) return GoQuiet(phase, "the unanswered end of phase");
  if (Has(FaultKind::kBadAck, phase)) {
    if (Send(phase, {kBadEndAck}) != Step::kNext) return Step::kStopped;
    return GoQuiet(phase, "the wrong end acknowledge " + HexByte(kBadEndAck));
  }
  if (Send(phase, {kEndAck}) != Step::kNext) return Step::kStopped;
  return phase == Phase::kChecksum ? Step::kEnded : Step::kNext;
}

Step ErasePhase() {
  Step step = OpenPhase(Phase::kErase);
  while (step == Step::kNext) {
    int byte = 0;
    step = Receive(Phase::kErase, &byte);
    if (step != Step::kNext) break;
    if (byte == kEndOfPhase) return ClosePhase(Phase::kErase);
    auto e = static_cast<std::uint8_t>(byte);
    LogExchange("RX", Phase::kErase, &e, 1);
    if (e & 1) LogViolation(Phase::kErase, "erase byte " + HexByte(e) + " is not an even page");
    for (int page : {int{e}, e + 1}) {
      if (page > kLastUsablePage) {
        LogViolation(Phase::kErase, "erase byte " + HexByte(e) + " reaches page byte " +
                                        HexByte(page) + ", beyond the chip's pages");
        continue;
      }
      ErasePage(static_cast<std::uint8_t>(page));
      Erased[page] = true;
      ErasedAny = true;
    }
    bool bad = Has(FaultKind::kBadEraseEcho, e);
    std::uint8_t echo = bad ? static_cast<std::uint8_t>(e ^ 1) : e;
    step = Send(Phase::kErase, {echo});
    if (step == Step::kNext && bad) {
      return GoQuiet(Phase::kErase, "the wrong echo " + HexByte(echo) + " of erase byte " + HexByte(e));
    }
  }
  return step;
}

Step ProgramPhase() {
  const std::size_t page_size = FlashPageSize();
  std::vector<std::uint8_t> frame(1 + page_size);
  Step step = OpenPhase(Phase::kProgram);
  while (step == Step::kNext) {
    int byte = 0;
    step = Receive(Phase::kProgram, &byte);
    if (step != Step::kNext) break;
    if (byte == kEndOfPhase) return ClosePhase(Phase::kProgram);
    auto page = static_cast<std::uint8_t>(byte);
    frame[0] = page;
    for (std::size_t i = 1; i <= page_size; ++i) {
      step = Receive(Phase::kProgram, &byte);
      if (step != Step::kNext) {
        LogExchange("RX", Phase::kProgram, frame.data(), i);
        if (step == Step::kAbandoned) {
          LogViolation(Phase::kProgram, "page byte " + HexByte(page) + " followed by " +
                                            std::to_string(i - 1) + " of " +
                                            std::to_string(page_size) + " data bytes");
        }
        return step;
      }
      frame[i] = static_cast<std::uint8_t>(byte);
    }
    LogExchange("RX", Phase::kProgram, frame.data(), frame.size());
    if (CheckPage(Phase::kProgram, page)) {
      if (Programmed[page]) {
        LogViolation(Phase::kProgram, "page byte " + HexByte(page) + " programmed twice in this session");
      }
      bool corrupt = Has(FaultKind::kCorruptWrite, page);
      ProgramPage(page, frame.data() + 1, corrupt);
      Programmed[page] = true;
    }
    bool bad = Has(FaultKind::kBadPageEcho, page);
    std::uint8_t echo = bad ? static_cast<std::uint8_t>(page ^ 1) : page;
    step = Send(Phase::kProgram, {echo});
    if (step == Step::kNext && bad) {
      return GoQuiet(Phase::kProgram, "the wrong echo " + HexByte(echo) + " of page byte " + HexByte(page));
    }
  }
  return step;
}

Step VerifyPhase() {
  const std::size_t page_size = FlashPageSize();
  Step step = OpenPhase(Phase::kVerify);
  while (step == Step::kNext) {
    int byte = 0;
    step = Receive(Phase::kVerify, &byte);
    if (step != Step::kNext) break;
    if (byte == kEndOfPhase) return ClosePhase(Phase::kVerify);
    auto page = static_cast<std::uint8_t>(byte);
    LogExchange("RX", Phase::kVerify, &page, 1);
    CheckPage(Phase::kVerify, page);
    std::size_t count = page_size;
    const Fault* short_read = FindFault(FaultKind::kShortRead, page, Session);
    if (short_read != nullptr && ShortReads[page] < short_read->b) {
      count = page_size / 2;
      ++ShortReads[page];
    }
    const std::uint8_t* at = Flash.data() + PageOffset(page);
    step = Send(Phase::kVerify, at, count);
    if (step != Step::kNext) break;
    // The host asks again after a short read-back, five times at most.
    if (count < page_size && ShortReads[page] >= 6) {
      return GoQuiet(Phase::kVerify, "six short read-backs of page byte " + HexByte(page));
    }
    if (count == page_size &&
        std::memcmp(at, Intended.data() + PageOffset(page), page_size) != 0) {
      return GoQuiet(Phase::kVerify, "a read-back of page byte " + HexByte(page) +
                                         " that differs from what the host programmed");
    }
  }
  return step;
}

Step ChecksumPhase() {
  Step step = OpenPhase(Phase::kChecksum);
  while (step == Step::kNext) {
    int byte = 0;
    step = Receive(Phase::kChecksum, &byte);
    if (step != Step::kNext) break;
    if (byte == kEndOfPhase) return ClosePhase(Phase::kChecksum);
    auto page = static_cast<std::uint8_t>(byte);
    LogExchange("RX", Phase::kChecksum, &page, 1);
    CheckPage(Phase::kChecksum, page);
    unsigned sum = FlashPageSum(page);
    if (Has(FaultKind::kBadSum, page)) sum += 1;
    if (const Fault* f = FindFault(FaultKind::kCancelSums, page, Session)) {
      sum += f->a == page ? 0x0101u : 0x10000u - 0x0101u;
    }
    sum &= 0xFFFF;
    ReportedTotal += sum;
    IntendedTotal += IntendedPageSum(page);
    SumsAsked = true;
    bool bad = Has(FaultKind::kBadSumEcho, page);
    std::uint8_t echo = bad ? static_cast<std::uint8_t>(page ^ 1) : page;
    step = Send(Phase::kChecksum, {echo, static_cast<std::uint8_t>(sum & 0xFF),
                                   static_cast<std::uint8_t>(sum >> 8)});
    if (step == Step::kNext && bad) {
      return GoQuiet(Phase::kChecksum, "the wrong echo " + HexByte(echo) + " of page byte " + HexByte(page));
    }
  }
  return step;
}

}  // namespace

const char* PhaseName(Phase phase) {
  switch (phase) {
    case Phase::kHandshake: return "handshake";
    case Phase::kErase: return "erase";
    case Phase::kProgram: return "program";
    case Phase::kVerify: return "verify";
    case Phase::kChecksum: return "checksum";
  }
  return "?";
}

std::uint8_t PhaseMarker(Phase phase) {
  switch (phase) {
    case Phase::kErase: return 0x22;
    case Phase::kProgram: return 0x23;
    case Phase::kVerify: return 0x24;
    case Phase::kChecksum: return 0x25;
    case Phase::kHandshake: break;
  }
  return 0;
}

SessionEnd RunSession(int session) {
  Session = session;
  std::memset(Erased, 0, sizeof Erased);
  ErasedAny = false;
  std::memset(Programmed, 0, sizeof Programmed);
  std::memset(ShortReads, 0, sizeof ShortReads);
  ReportedTotal = IntendedTotal = 0;
  SumsAsked = false;
  BeginIntended();
  LinkResetCount();
  const Fault* hangup = FindFaultKind(FaultKind::kHangup, session);
  LinkSetHangupAfter(hangup != nullptr ? hangup->a : -1);
  WindowEnd.reset();
  if (SimIspWindowMs > 0 && !AnnounceUntil) {
    WindowEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(SimIspWindowMs);
  }
  LogNote("session " + std::to_string(session) + (AnnounceUntil ? ": the burned chip still announces" : ""));

  Step (*const phases[])() = {Handshake, ErasePhase, ProgramPhase, VerifyPhase, ChecksumPhase};
  Step step = Step::kNext;
  for (auto phase : phases) {
    step = phase();
    if (step != Step::kNext) break;
  }
  switch (step) {
    case Step::kEnded:
      LogNote("session " + std::to_string(session) + " ended");
      return SessionEnd::kEnded;
    case Step::kAbandoned:
      return SessionEnd::kAbandoned;
    case Step::kWindowClosed:
      LogNote("no host answered within " + std::to_string(SimIspWindowMs) + " ms: the chip leaves its bootloader");
      return SessionEnd::kWindowClosed;
    default:
      return SessionEnd::kStopped;
  }
}

bool SwapBoard(int session) {
  if (SimLingerMs > 0) {
    AnnounceUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(SimLingerMs);
    const SessionEnd end = RunSession(session);
    AnnounceUntil.reset();
    if (end == SessionEnd::kStopped) return false;
  }
  if (SimSwapMs == 0) return true;
  LogNote("board swapped: the line is silent for " + std::to_string(SimSwapMs) + " ms");
  return WaitQuiet(Phase::kHandshake, SimSwapMs, "while the board was swapped") == Step::kNext;
}
