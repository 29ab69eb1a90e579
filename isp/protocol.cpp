#include "isp/protocol.h"

#include "isp/protocol_io.h"

std::uint8_t ReadBackImage[kImageCapacityBytes];

BurnPlan CurrentBurnPlan() {
  const std::uint32_t page_size = PageSize.load();
  // A page size of 0 would make every division below meaningless; treat it as nothing to burn.
  if (page_size == 0) return BurnPlan{FirmwareImage, 0, 0, 0};
  return BurnPlan{FirmwareImage, page_size, Bank0Size.load() / page_size,
                  Bank1Size.load() / page_size};
}

int EndPhase(const std::string& text, std::string* failure_text) {
  SendByte(kEndOfPhase);
  if (!ExpectByte(kEndAcknowledge)) return FailPhase(text, failure_text);
  return 1;
}
