#pragma once
// rm516x-sim: plays the ISP firmware of an RM5164/RM5168 on a pseudo-terminal, so the host
// side can be run and tested without a chip. One process, one thread, process-wide state.
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---- Protocol constants (the device's view) ------------------------------------------------

inline constexpr char kHandshakeWord[4] = {'z', 'a', 'f', 'o'};
inline constexpr std::uint8_t kEndOfPhase = 0xFF;
inline constexpr std::uint8_t kEndAck = 0x26;       // '&'
inline constexpr std::uint8_t kBadEndAck = 0x27;    // what bad-ack sends instead
inline constexpr int kLastUsablePage = 0xFD;        // higher page bytes hold the ISP firmware

enum class Phase { kHandshake, kErase, kProgram, kVerify, kChecksum };

// "handshake", "erase", "program", "verify", "checksum".
const char* PhaseName(Phase phase);
// 0x22, 0x23, 0x24, 0x25 for the four phases (handshake: 0).
std::uint8_t PhaseMarker(Phase phase);

// ---- Options (main.cpp) ----------------------------------------------------------------------

extern int SimChipModel;          // 0 = RM5164, 1 = RM5168
extern int SimVersion;            // version byte, or -1 for none
extern int SimAnnounceMs;         // gap between handshake words
extern int SimIdleMs;             // host silence that abandons a session
extern int SimMarkerDelayMs;      // from the echo to the erase marker
extern int SimSessions;           // sessions before exit, 0 = for ever
extern int SimLingerMs;           // announcing after a burn, before the board is swapped
extern int SimSwapMs;             // silence while the board is swapped
extern std::uint32_t SimSeed;     // pseudo-random flash contents
extern std::string SimFlashOut;   // "" = not written

// Set by SIGINT/SIGTERM; every wait returns soon after.
extern volatile std::sig_atomic_t SimStopRequested;
// Cleared by --powered-off, set by SIGUSR1.
extern volatile std::sig_atomic_t SimPoweredOn;
// Set by SIGUSR1: a reset sends a running chip back into its bootloader.
extern volatile std::sig_atomic_t SimResetRequested;
extern bool SimRun;               // run bank 0 in s51 once the bootloader is left
extern int SimIspWindowMs;        // bootloader's wait for a host, 0 = for ever
extern int SimXtalHz;             // the application's crystal

// ---- Faults (faults.cpp) ---------------------------------------------------------------------

enum class FaultKind {
  kNoise, kVersion, kSilent, kBadMarker, kBadEraseEcho, kBadPageEcho, kBadSumEcho,
  kNoAck, kBadAck, kShortRead, kCorruptWrite, kCancelSums, kBadSum, kHangup
};

struct Fault {
  FaultKind kind = FaultKind::kNoise;
  int a = 0;        // phase (as int), page byte, erase byte, version (-1 none) or byte count
  int b = 0;        // short-read count, cancel-sums second page
  int session = 0;  // 1-based session it applies to, 0 = every session
};

extern std::vector<Fault> SimFaults;

// Parses one --fault FAULT. On failure returns false and sets *error to a one-line reason.
bool ParseFault(const std::string& text, Fault* out, std::string* error);

// The text of --help's fault section.
const char* FaultHelp();

// The first fault of this kind in force in session whose first argument is a, or nullptr.
// For kCancelSums either page matches.
const Fault* FindFault(FaultKind kind, int a, int session);
// The first fault of this kind in force in session, whatever its arguments.
const Fault* FindFaultKind(FaultKind kind, int session);

// ---- Flash (flash.cpp) -----------------------------------------------------------------------

// The chip's flash: 64 KiB (RM5164) or 128 KiB (RM5168).
extern std::vector<std::uint8_t> Flash;
// What the host asked each byte to hold in the current session: the flash as it was at the
// session's start, 0xFF after an erase, the host's data after a program. A read-back or a
// page sum that differs from it is one the host must reject.
extern std::vector<std::uint8_t> Intended;

std::size_t FlashSize();
std::size_t FlashPageSize();
// Flash offset of a page byte: p * 256 on the RM5164; bank (bit 7) * 0x10000 + (p & 0x7F) * 512
// on the RM5168.
std::size_t PageOffset(std::uint8_t page);

// Fills the flash with the seeded pseudo-random bytes, then lays path's bytes over its start
// ("" = none). False with *error when the file cannot be read or is larger than the flash.
bool LoadFlash(const std::string& path, std::uint32_t seed, std::string* error);
// Writes the whole flash to path through a temporary file, so a reader never sees half.
bool SaveFlash(const std::string& path, std::string* error);

void ErasePage(std::uint8_t page);
// NOR programming: bits can only go from 1 to 0, so an unerased page keeps old zeros.
// corrupt_first_byte stores the page's first byte with bit 0 flipped (corrupt-write).
void ProgramPage(std::uint8_t page, const std::uint8_t* data, bool corrupt_first_byte);
// 16-bit byte sum of a page of Flash or of Intended.
std::uint16_t FlashPageSum(std::uint8_t page);
std::uint16_t IntendedPageSum(std::uint8_t page);
void BeginIntended();

// ---- Pseudo-terminal link (pty_link.cpp) ----------------------------------------------------

inline constexpr int kLinkNone = -1;     // nothing arrived in time
inline constexpr int kLinkStopped = -2;  // signal, or the link was hung up

// Opens the pair; *slave_path is what the host opens. False with *error on failure.
bool LinkOpen(std::string* slave_path, std::string* error);
// Makes path a symbolic link to the slave (an existing link is replaced); false with *error
// when path exists and is not a link, or cannot be made.
bool LinkMakeSymlink(const std::string& path, const std::string& slave_path, std::string* error);
// Removes the link made above, if it still points at our slave.
void LinkRemoveSymlink();
void LinkClose();

// Holds every byte to the wire time of the rate the host set (10 bits a byte).
void LinkSetPacing(bool on);
// Holds the device's output until 62 bytes are queued or ms have passed since the first,
// as a USB serial adapter's latency timer does (0 = none).
void LinkSetLatency(int ms);
// Closes the master once the device has written n bytes since LinkResetCount (-1 = never).
void LinkSetHangupAfter(long n);
void LinkResetCount();
bool LinkHungUp();

// The next host byte (0..255) within timeout_ms, kLinkNone, or kLinkStopped.
int LinkRead(int timeout_ms);
// Sends bytes; false when the link was hung up (by hangup=N) before all were sent.
bool LinkWrite(const std::uint8_t* bytes, std::size_t count);
// Bytes written to the host that it has not read yet (0 when unknown).
std::size_t LinkPendingForHost();
// Sleeps ms, returning early on a stop request.
void LinkSleep(int ms);
// Waits up to timeout_ms until a host byte can be read or other_fd is readable.
void LinkWait(int other_fd, int timeout_ms);
// True when --pace holds bytes to a rate the host set.
bool LinkPaced();

// The line rate the host set on the pty in bit/s, 0 when unknown (line_rate.cpp).
std::uint32_t LineRate(int fd);

// ---- Log (sim_log.cpp) -----------------------------------------------------------------------

bool LogOpen(const std::string& path, std::string* error);
// "TX erase 22" / "RX program 05 ff 00 ..." : one line per exchange.
void LogExchange(const char* direction, Phase phase, const std::uint8_t* bytes, std::size_t count);
// "VIOLATION program: page 0x05 was not erased in this session".
void LogViolation(Phase phase, const std::string& text);
// "NOTE ..." : sessions, faults that fire, abandonment.
void LogNote(const std::string& text);
std::string HexByte(int value);

// ---- Device (device.cpp) ---------------------------------------------------------------------

enum class SessionEnd { kEnded, kAbandoned, kWindowClosed, kStopped };

// One session: announce until the host echoes the word, then the four phases. Returns when
// the last '&' was sent, when the host went silent, when SimIspWindowMs passed with no echo
// (a SIGUSR1 meanwhile starts it again), or on a stop request or hang-up.
SessionEnd RunSession(int session);

// Between two sessions, as a production line sees it: the burned chip keeps announcing for
// SimLingerMs (a host that answers runs a session on it again, logged as a violation), then
// the line is silent for SimSwapMs while the next board goes in. False on a stop request or
// hang-up.
bool SwapBoard(int session);

// ---- Application (application.cpp) ---------------------------------------------------------

// The s51 found in PATH, or "" when there is none.
std::string FindS51();
// Runs bank 0 in s51 with its UART relayed to the host's line, until SIGUSR1 (true) or a stop
// request or hang-up (false). The s51 process has ended when this returns.
bool RunApplication(const std::string& s51_path);
