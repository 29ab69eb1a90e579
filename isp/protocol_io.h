#pragma once
// Small helpers the phases share; not part of the protocol's interface.
#include <cstdint>
#include <string>

#include "isp/protocol.h"
#include "isp/session.h"
#include "serial/serial_port.h"

// One byte from the receive queue under the read time-out in force; false when none came.
inline bool ReadByte(Link& link, std::uint8_t* byte) { return link.port.Read(byte, 1) == 1; }

inline void SendByte(Link& link, std::uint8_t byte) { link.port.Write(&byte, 1); }

// Reads one byte and checks it; false when none came or it differs.
inline bool ExpectByte(Link& link, std::uint8_t expected) {
  std::uint8_t byte = 0;
  return ReadByte(link, &byte) && byte == expected;
}

inline int FailPhase(const std::string& text, std::string* failure_text) {
  if (failure_text) *failure_text = text;
  return 0;
}

inline void Report(Link& link, BurnPhase phase, PhaseEvent event, std::uint32_t count) {
  if (link.hook) link.hook(phase, event, count);
}

// After each answered command: the hook first, then the stop test. True when stopped.
inline bool AnsweredThenStopped(Link& link, BurnPhase phase) {
  Report(link, phase, PhaseCommandAnswered, 0);
  return link.stop.Requested();
}

inline std::uint32_t BankOffset(int bank) { return bank == 0 ? 0u : kBankSizeBytes; }

inline const std::uint8_t* PagePointer(const BurnPlan& plan, int bank, std::uint32_t page) {
  return plan.image + BankOffset(bank) + page * plan.page_size_bytes;
}

inline std::uint32_t BankPages(const BurnPlan& plan, int bank) {
  return bank == 0 ? plan.bank0_pages : plan.bank1_pages;
}

// Asks for page p of a bank until a whole page arrives in dest, at most kVerifyAttemptsPerPage
// times (input is not discarded between attempts). False when none did.
bool ReadPage(Link& link, const BurnPlan& plan, int bank, std::uint32_t page, std::uint8_t* dest);

// Asks for the sum of each of a bank's pages, adds it to sums->total (mod 65536) and, with
// plan.image set, notes the first page whose sum is not the image page's; the hook hears each
// answer. False, with text, on a wrong echo, a missing sum or a stop.
bool SumBank(Link& link, const BurnPlan& plan, int bank, PageSums* sums, const std::string& text,
             std::string* failure_text);
