#pragma once
// The byte protocol spoken with the chip's ISP firmware: the handshake, then the erase,
// program, verify and checksum phases in that order, each opened by a marker byte from the
// device and closed by EndPhase. Everything here runs on the burn worker's thread over
// PortRead/PortWrite/SetPortTimeouts and tests StopRequested; what the user sees is left to
// the PhaseHook the worker passes in.
//
// After a failure a phase returns at once: nothing more is sent and nothing more is read.
// After the handshake word every answer is taken from the next bytes in the receive queue,
// strictly in order; there is no resynchronisation.
#include <atomic>
#include <cstdint>
#include <string>

#include "chip/chip_spec.h"
#include "image/global_image.h"  // CurrentBurnPlan reads the shared image

// Non-zero once a stop was asked for (RequestBurnStop); cleared only when a worker starts.
extern std::atomic<int> StopRequested;

inline constexpr char kHandshakeWord[4] = {'z', 'a', 'f', 'o'};
inline constexpr std::uint8_t kEraseMarker = 0x22;
inline constexpr std::uint8_t kProgramMarker = 0x23;
inline constexpr std::uint8_t kVerifyMarker = 0x24;
inline constexpr std::uint8_t kChecksumMarker = 0x25;
inline constexpr std::uint8_t kEndAcknowledge = 0x26;
inline constexpr std::uint8_t kEndOfPhase = 0xFF;
inline constexpr std::uint8_t kBank1PageBit = kRm5168.bank1_page_bit;

inline constexpr std::uint32_t kHandshakeTimeoutMs = 100;
inline constexpr std::uint32_t kEraseTimeoutMs = 1000;
inline constexpr std::uint32_t kProgramTimeoutMs = 2000;
inline constexpr int kVerifyAttemptsPerPage = 6;

// Where the verify phase puts each page it reads back, laid out like FirmwareImage.
extern std::uint8_t ReadBackImage[kImageCapacityBytes];

// What one phase works on: pages of page_size_bytes from image (bank 0 at offset 0, bank 1 at
// 0x10000), bank0_pages and bank1_pages from each bank's start.
struct BurnPlan {
  const std::uint8_t* image;
  std::uint32_t page_size_bytes;
  std::uint32_t bank0_pages;
  std::uint32_t bank1_pages;
};

// The plan for FirmwareImage with the bank sizes and PageSize as they are now.
BurnPlan CurrentBurnPlan();

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

// Called on the worker's thread; may be nullptr.
using PhaseHook = void (*)(BurnPhase phase, PhaseEvent event, std::uint32_t count);

// Sets the 100/100 ms time-outs, waits for "zafo" (wherever it starts in the input), echoes
// it and reads the version byte. Waits until the word comes or StopRequested is set. Words
// already queued behind a word are read first: the newest one is answered.
// 1 with *version = the byte, or -1 when none arrived within 100 ms; 0 on a stop or when
// the port was lost (PortLost), both with the text "".
int Handshake(int* version);

// Each phase: 1 on success; 0 with *failure_text set (the phase's failure or stop text).
int ErasePhase(const BurnPlan& plan, PhaseHook hook, std::string* failure_text);
int ProgramPhase(const BurnPlan& plan, PhaseHook hook, std::string* failure_text);
// read_back: read every page back and compare; otherwise only the marker and EndPhase.
int VerifyPhase(const BurnPlan& plan, bool read_back, PhaseHook hook, std::string* failure_text);
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
int ChecksumPhase(const BurnPlan& plan, bool request_sums, std::uint32_t burn_sum, PhaseHook hook,
                  std::string* failure_text, PageSums* sums = nullptr);

// Sends the end-of-phase byte and expects the acknowledge; otherwise fails with text.
int EndPhase(const std::string& text, std::string* failure_text);

// Page byte of page p of a bank; erase byte of block k is the page byte of page 2k. Only the
// RM5168 has a bank 1, and bank 0's byte is the page number on either chip.
inline std::uint8_t PageByte(int bank, std::uint32_t page) { return kRm5168.PageByte(bank, page); }
