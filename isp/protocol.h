#pragma once
// The byte protocol spoken with the chip's ISP firmware: the handshake, then the erase,
// program, verify and checksum phases in that order, each opened by a marker byte from the
// device and closed by EndPhase. Every phase runs over one Link (the port, the stop token,
// the time-outs and the hook that hears its progress) on the session's thread.
//
// After a failure a phase returns at once: nothing more is sent and nothing more is read.
// After the handshake word every answer is taken from the next bytes in the receive queue,
// strictly in order; there is no resynchronisation.
#include <cstdint>
#include <functional>
#include <string>

#include "chip/chip_spec.h"
#include "image/bank_image.h"

class SerialPort;
class StopToken;
struct SessionTimeouts;

inline constexpr char kHandshakeWord[4] = {'z', 'a', 'f', 'o'};
inline constexpr std::uint8_t kEraseMarker = 0x22;
inline constexpr std::uint8_t kProgramMarker = 0x23;
inline constexpr std::uint8_t kVerifyMarker = 0x24;
inline constexpr std::uint8_t kChecksumMarker = 0x25;
inline constexpr std::uint8_t kEndAcknowledge = 0x26;
inline constexpr std::uint8_t kEndOfPhase = 0xFF;

inline constexpr std::uint32_t kHandshakeTimeoutMs = 100;
inline constexpr std::uint32_t kEraseTimeoutMs = 1000;
inline constexpr std::uint32_t kProgramTimeoutMs = 2000;
inline constexpr int kVerifyAttemptsPerPage = 6;

// What one phase works on: pages of page_size_bytes from image (bank 0 at offset 0, bank 1 at
// 0x10000), bank0_pages and bank1_pages from each bank's start.
struct BurnPlan {
  const std::uint8_t* image;
  std::uint32_t page_size_bytes;
  std::uint32_t bank0_pages;
  std::uint32_t bank1_pages;
};

// The plan for an image's bytes with bank sizes in bytes (whole pages are burned).
BurnPlan PlanFor(const std::uint8_t* image, std::uint32_t page_size, std::uint32_t bank0_bytes,
                 std::uint32_t bank1_bytes);

// 16-bit two's complement of the byte sum of the plan's pages: what the chip's page sums
// must add up to with it.
std::uint32_t PlanBurnSum(const BurnPlan& plan);

enum BurnPhase : int { PhaseErase = 0, PhaseProgram = 1, PhaseVerify = 2, PhaseChecksum = 3 };

enum PhaseEvent : int {
  // The marker was accepted and the phase's command loop begins; `count` is the number of
  // commands it will answer (erase blocks, or pages). Not raised by a verify or checksum
  // phase that carries no page traffic.
  PhaseLoopBegins = 0,
  // One command was answered (an all-0xFF page skipped in programming counts as answered).
  // Raised before the stop test.
  PhaseCommandAnswered = 1,
  // Verify: every page read back and matched. Checksum: the page sums add up.
  PhaseLoopSucceeded = 2,
};

// Hears a phase's events on the session's thread; may be empty.
using PhaseHook = std::function<void(BurnPhase phase, PhaseEvent event, std::uint32_t count)>;

// What every phase runs over.
struct Link {
  SerialPort& port;
  const StopToken& stop;
  const SessionTimeouts& timeouts;
  PhaseHook hook;
};

// Sets the handshake time-outs, waits for "zafo" (wherever it starts in the input), echoes
// it and reads the version byte. Waits until the word comes or the stop token is set. Words
// already queued behind a word are read first: the newest one is answered.
// 1 with *version = the byte, or -1 when none arrived in time; 0 on a stop or when the port
// was lost.
int Handshake(Link& link, int* version);

// Each phase: 1 on success; 0 with *failure_text set (the phase's failure or stop text).
int ErasePhase(Link& link, const BurnPlan& plan, std::string* failure_text);
int ProgramPhase(Link& link, const BurnPlan& plan, std::string* failure_text);
// read_back: read every page back and compare; otherwise only the marker and EndPhase.
int VerifyPhase(Link& link, const BurnPlan& plan, bool read_back, std::string* failure_text);

// What the chip's page sums told: their 16-bit total and the first page whose sum is not
// that of the plan's page (bank -1 when none differed or none was compared).
struct PageSums {
  std::uint32_t total = 0;
  int differing_bank = -1;
  std::uint32_t differing_page = 0;  // within its bank
  std::uint16_t chip_sum = 0;        // of the differing page
  std::uint16_t image_sum = 0;
};

// request_sums: ask for every page's sum, compare each with the plan's page as it arrives,
// and after the last one fail when any page differed or the total is not (65536 - burn_sum).
// Otherwise only the marker and EndPhase. sums (may be nullptr) receives what came.
int ChecksumPhase(Link& link, const BurnPlan& plan, bool request_sums, std::uint32_t burn_sum,
                  std::string* failure_text, PageSums* sums = nullptr);

// Sends the end-of-phase byte and expects the acknowledge; otherwise fails with text.
int EndPhase(Link& link, const std::string& text, std::string* failure_text);

// Page byte of page p of a bank; erase byte of block k is the page byte of page 2k. Only the
// RM5168 has a bank 1, and bank 0's byte is the page number on either chip.
inline std::uint8_t PageByte(int bank, std::uint32_t page) { return kRm5168.PageByte(bank, page); }
