// --fault FAULT parsing and lookup.
#include <cerrno>
#include <cstdlib>

#include "sim/sim.h"

std::vector<Fault> SimFaults;

namespace {

struct KindName {
  const char* name;
  FaultKind kind;
};

constexpr KindName kKindNames[] = {
    {"noise", FaultKind::kNoise},
    {"version", FaultKind::kVersion},
    {"silent", FaultKind::kSilent},
    {"bad-marker", FaultKind::kBadMarker},
    {"bad-erase-echo", FaultKind::kBadEraseEcho},
    {"bad-page-echo", FaultKind::kBadPageEcho},
    {"bad-sum-echo", FaultKind::kBadSumEcho},
    {"no-ack", FaultKind::kNoAck},
    {"bad-ack", FaultKind::kBadAck},
    {"short-read", FaultKind::kShortRead},
    {"corrupt-write", FaultKind::kCorruptWrite},
    {"cancel-sums", FaultKind::kCancelSums},
    {"bad-sum", FaultKind::kBadSum},
    {"hangup", FaultKind::kHangup},
};

// Decimal or 0x-prefixed hexadecimal, the whole text, within [low, high].
bool ParseNumber(const std::string& text, long low, long high, long* out) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  errno = 0;
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || value < low || value > high) return false;
  *out = value;
  return true;
}

bool ParsePhase(const std::string& text, bool allow_handshake, int* out) {
  static constexpr Phase kPhases[] = {Phase::kHandshake, Phase::kErase, Phase::kProgram,
                                      Phase::kVerify, Phase::kChecksum};
  for (Phase phase : kPhases) {
    if (text == PhaseName(phase) && (allow_handshake || phase != Phase::kHandshake)) {
      *out = static_cast<int>(phase);
      return true;
    }
  }
  return false;
}

bool ParsePage(const std::string& text, int* out) {
  long value = 0;
  if (!ParseNumber(text, 0, 0xFE, &value)) return false;
  *out = static_cast<int>(value);
  return true;
}

bool ParsePagePair(const std::string& text, int* first, int* second, bool second_is_page) {
  std::size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  if (!ParsePage(text.substr(0, colon), first)) return false;
  std::string rest = text.substr(colon + 1);
  if (second_is_page) return ParsePage(rest, second);
  long count = 0;
  if (!ParseNumber(rest, 0, 1000000, &count)) return false;
  *second = static_cast<int>(count);
  return true;
}

}  // namespace

bool ParseFault(const std::string& text, Fault* out, std::string* error) {
  Fault fault;
  std::string body = text;
  std::size_t at = body.rfind('@');
  if (at != std::string::npos) {
    long session = 0;
    if (!ParseNumber(body.substr(at + 1), 1, 1000000, &session)) {
      *error = "bad session in --fault " + text + " (want @1, @2, ...)";
      return false;
    }
    fault.session = static_cast<int>(session);
    body.resize(at);
  }
  std::size_t eq = body.find('=');
  std::string name = body.substr(0, eq);
  std::string arg = eq == std::string::npos ? std::string() : body.substr(eq + 1);
  bool has_arg = eq != std::string::npos;

  bool known = false;
  for (const KindName& k : kKindNames) {
    if (name == k.name) {
      fault.kind = k.kind;
      known = true;
    }
  }
  if (!known) {
    *error = "unknown fault " + text + " (see --help)";
    return false;
  }

  bool ok = true;
  std::string want;
  switch (fault.kind) {
    case FaultKind::kNoise:
      ok = !has_arg;
      want = "noise";
      break;
    case FaultKind::kVersion:
      want = "version=N (0..255) or version=none";
      if (arg == "none") {
        fault.a = -1;
      } else {
        long v = 0;
        ok = ParseNumber(arg, 0, 255, &v);
        fault.a = static_cast<int>(v);
      }
      break;
    case FaultKind::kSilent:
      want = "silent=handshake|erase|program|verify|checksum";
      ok = ParsePhase(arg, true, &fault.a);
      break;
    case FaultKind::kBadMarker:
    case FaultKind::kNoAck:
    case FaultKind::kBadAck:
      want = name + "=erase|program|verify|checksum";
      ok = ParsePhase(arg, false, &fault.a);
      break;
    case FaultKind::kBadEraseEcho:
    case FaultKind::kBadPageEcho:
    case FaultKind::kBadSumEcho:
    case FaultKind::kCorruptWrite:
    case FaultKind::kBadSum:
      want = name + "=P with a page byte 0..0xFE";
      ok = ParsePage(arg, &fault.a);
      break;
    case FaultKind::kShortRead:
      want = "short-read=P:N";
      ok = ParsePagePair(arg, &fault.a, &fault.b, false);
      break;
    case FaultKind::kCancelSums:
      want = "cancel-sums=P1:P2 with two different pages";
      ok = ParsePagePair(arg, &fault.a, &fault.b, true) && fault.a != fault.b;
      break;
    case FaultKind::kHangup: {
      want = "hangup=N";
      long n = 0;
      ok = ParseNumber(arg, 0, 1000000000, &n);
      fault.a = static_cast<int>(n);
      break;
    }
  }
  if (!ok) {
    *error = "bad fault " + text + " (want " + want + ")";
    return false;
  }
  *out = fault;
  return true;
}

const Fault* FindFault(FaultKind kind, int a, int session) {
  for (const Fault& f : SimFaults) {
    if (f.kind != kind || (f.session != 0 && f.session != session)) continue;
    if (f.a == a || (kind == FaultKind::kCancelSums && f.b == a)) return &f;
  }
  return nullptr;
}

const Fault* FindFaultKind(FaultKind kind, int session) {
  for (const Fault& f : SimFaults) {
    if (f.kind == kind && (f.session == 0 || f.session == session)) return &f;
  }
  return nullptr;
}

const char* FaultHelp() {
  return R"(Faults (--fault FAULT, repeatable). Append @S to a FAULT to apply it only in session S
(1 = the first burn); without it a fault applies in every session. P is a page byte as on
the wire (bank 0 page p = p, RM5168 bank 1 page p = 0x80+p), decimal or 0x hex, 0..0xFE.
PHASE is erase, program, verify or checksum.
  noise              before the session's first word: 3 noise bytes, "zaf", 3 noise bytes
  version=N|none     send version byte N (0..255), or none (same as --version)
  silent=PHASE       send nothing from PHASE's marker on (the '&' closing the phase before
                     is still sent); silent=handshake never announces
  bad-marker=PHASE   send PHASE's marker + 1 instead of the marker, then nothing more
  bad-erase-echo=E   echo erase byte E as E^1 (the block is still erased), then nothing more
  bad-page-echo=P    echo page byte P as P^1 in the program phase (the page is still
                     written), then nothing more
  bad-sum-echo=P     echo page byte P as P^1 in the checksum phase (the sum still follows),
                     then nothing more
  no-ack=PHASE       do not answer the 0xFF that ends PHASE, and nothing more
  bad-ack=PHASE      answer the 0xFF that ends PHASE with 0x27 instead of '&', nothing more
  short-read=P:N     the first N read-backs of page P in a session send half a page; after
                     the 6th short read-back of a page the device answers nothing more
  corrupt-write=P    page P is stored with its first byte XOR 0x01
  cancel-sums=P1:P2  page P1's sum is reported 0x0101 too high, P2's 0x0101 too low
  bad-sum=P          page P's sum is reported 1 too high
  hangup=N           close the link after the device wrote N bytes in the session (the
                     handshake words count), then write --flash-out and exit 0
"Nothing more": the host must fail; every byte it still sends is logged as a VIOLATION,
and after --idle-ms of silence the session counts as abandoned.
)";
}
