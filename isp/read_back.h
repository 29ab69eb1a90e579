#pragma once
// Reading the chip over the process's one port, telling the shell as a burn does: the
// transitional layer over the ReadChip session.
#include <cstdint>

#include "isp/protocol.h"
#include "isp/session.h"

// Where ReadChip puts the pages it reads, laid out like FirmwareImage.
extern std::uint8_t ReadBackImage[kImageCapacityBytes];

// ReadChip on GlobalPort with the stop of RequestBurnStop; "Read OK" in green or the failure
// text in red (BurnStatusText). 1 on success, with *sums what the page sums told for
// ReadPageSums; 0 otherwise.
int ReadChip(const BurnPlan& plan, ReadKind kind, PageSums* sums);
