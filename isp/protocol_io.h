#pragma once
// Small helpers the phases share; not part of the protocol's interface.
#include <cstdint>
#include <string>

#include "isp/burn_status.h"
#include "isp/protocol.h"
#include "serial/global_port.h"

// One byte from the receive queue under the read time-out in force; false when none came.
inline bool ReadByte(std::uint8_t* byte) { return PortRead(byte, 1) == 1; }

inline void SendByte(std::uint8_t byte) { PortWrite(&byte, 1); }

// Reads one byte and checks it; false when none came or it differs.
inline bool ExpectByte(std::uint8_t expected) {
  std::uint8_t byte = 0;
  return ReadByte(&byte) && byte == expected;
}

inline int FailPhase(const std::string& text, std::string* failure_text) {
  if (failure_text) *failure_text = text;
  return 0;
}

inline void Report(PhaseHook hook, BurnPhase phase, PhaseEvent event, std::uint32_t count) {
  if (hook) hook(phase, event, count);
}

// After each answered command: the hook first, then the stop test. True when stopped.
inline bool AnsweredThenStopped(PhaseHook hook, BurnPhase phase) {
  Report(hook, phase, PhaseCommandAnswered, 0);
  return StopRequested.load() != 0;
}

inline const std::uint8_t* PagePointer(const BurnPlan& plan, int bank, std::uint32_t page) {
  return plan.image + (bank == 0 ? 0u : kBankSizeBytes) + page * plan.page_size_bytes;
}

inline std::uint32_t BankPages(const BurnPlan& plan, int bank) {
  return bank == 0 ? plan.bank0_pages : plan.bank1_pages;
}

// Asks for page p of a bank until a whole page arrives in dest, at most kVerifyAttemptsPerPage
// times (input is not discarded between attempts). False when none did.
bool ReadPage(const BurnPlan& plan, int bank, std::uint32_t page, std::uint8_t* dest);

// Asks for the sum of each of a bank's pages, adds it to sums->total (mod 65536) and, with
// plan.image set, notes the first page whose sum is not the image page's; the hook hears each
// answer. False, with text, on a wrong echo, a missing sum or a stop.
bool SumBank(const BurnPlan& plan, int bank, PageSums* sums, PhaseHook hook, const std::string& text,
             std::string* failure_text);
