#pragma once
// Reading the chip without changing it. With no erase blocks and no pages to program, the
// verify phase answers any page the host asks for, so a read is a session whose erase and
// program phases are empty (marker, end byte, acknowledge).
#include <cstdint>

#include "isp/protocol.h"

enum ReadKind : int {
  ReadPages = 0,     // the plan's pages land in ReadBackImage at their image offsets
  ReadPageSums = 1,  // the checksum phase's sum of each of the plan's pages, added up
};

// One whole read on the calling thread: the handshake (waited for until StopRequested), the
// empty erase and program phases, then the verify phase reading the plan's pages (a short
// page is asked for again, up to kVerifyAttemptsPerPage times) or only its marker and end,
// then the checksum phase asking for the pages' sums or only its marker and end. plan.image
// is used only to compare page sums with (nullptr: not compared). Tells the shell as a burn
// does: "Please enter ISP", HandshakeSeen, "Reading" with its progress, then "Read OK" in
// green or the failure text in red (BurnStatusText). 1 on success, with *sums what the page
// sums told for ReadPageSums (a differing page is no failure of the read); 0 otherwise.
int ReadChip(const BurnPlan& plan, ReadKind kind, PageSums* sums);
