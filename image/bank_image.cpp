#include "image/bank_image.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "image/load_report.h"
#include "settings/settings.h"

std::uint8_t FirmwareImage[kImageCapacityBytes];
std::atomic<std::uint32_t> Bank0Size{0};
std::atomic<std::uint32_t> Bank1Size{0};
int FileState = 0;
std::uint32_t ImageChecksum = 0;

namespace {

constexpr std::uint32_t kRm5168BothBanksLimitBytes = kBankSizeBytes + kRm5168Bank1LimitBytes;

std::uint32_t SumBytes(std::uint32_t offset, std::uint32_t count) {
  std::uint32_t sum = 0;
  for (std::uint32_t i = 0; i < count; ++i) sum += FirmwareImage[offset + i];
  return sum;
}

void WarnSizeLimit(Window owner, std::uint32_t limit_bytes) {
  std::string limit = std::to_string(limit_bytes);
  TellLoad(owner, "Program size > " + limit + " bytes\nOnly " + limit + " bytes will be burned",
           MessageWarning);
}

}  // namespace

void FillImage() {
  const std::uint32_t extent = std::min(ImageSize, kImageCapacityBytes);
  if (extent == 0) return;
  std::memset(FirmwareImage, FillByte & 0xFF, extent);
  FirmwareImage[extent - 1] = 0xFF;
}

void ResetImage() {
  FillImage();
  Bank0Size = 0;
  Bank1Size = 0;
}

void ChooseChip(int model) {
  if (!SelectChip(model)) return;
  // The sizes go to 0 first so the old layout cannot raise a size warning.
  FileState = 0;
  ResetImage();
  RefreshAfterLoad(MainWindowHandle());  // title, bank sizes, checksum, repaint
}

void ShowBankSizes() { ShowBankBytes(Bank0Size.load(), Bank1Size.load()); }

std::string ImageTitle() {
  const std::string prefix = "RM516X ISP utility -- ";
  if (FileState == 1) return prefix + FileName1;
  if (FileState == 2) return prefix + FileName1 + "  ,  " + FileName2;
  return prefix + "No file is opened";
}

void RefreshAfterLoad(Window owner) {
  if (ChipModel == 0) {
    if (Bank0Size > kRm5164Bank0LimitBytes) {
      WarnSizeLimit(owner, kRm5164Bank0LimitBytes);
      Bank0Size = kRm5164Bank0LimitBytes;
    }
  } else if (Bank1Size > kRm5168Bank1LimitBytes) {
    WarnSizeLimit(owner, Bank0Size != 0 ? kRm5168BothBanksLimitBytes : kRm5168Bank1LimitBytes);
    Bank1Size = kRm5168Bank1LimitBytes;
  }

  ShowTitle(ImageTitle());
  if (FileState != 1 && FileState != 2) ResetImage();

  ShowBankSizes();
  // Every byte of the image in use except its last, which every fill forces to 0xFF.
  ImageChecksum = SumBytes(0, ChipModel == 0 ? 0xFFFF : 0x1FFFF) & 0xFFFF;
  ShowChecksum(ImageChecksum);
}

std::uint32_t BurnSum() {
  const std::uint32_t bank0 = std::min(Bank0Size.load(), kBankSizeBytes);
  const std::uint32_t bank1 = std::min(Bank1Size.load(), kBankSizeBytes);
  const std::uint32_t sum = SumBytes(0, bank0) + SumBytes(kBankSizeBytes, bank1);
  return (0u - sum) & 0xFFFF;
}
