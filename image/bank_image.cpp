#include "image/bank_image.h"

#include <algorithm>
#include <cstring>

namespace {

std::uint32_t SumBytes(const std::uint8_t* bytes, std::uint32_t count) {
  std::uint32_t sum = 0;
  for (std::uint32_t i = 0; i < count; ++i) sum += bytes[i];
  return sum;
}

void WarnSizeLimit(LoadReport& report, std::uint32_t limit_bytes) {
  const std::string limit = std::to_string(limit_bytes);
  report.messages.push_back({LoadWarning, "Program size > " + limit + " bytes\nOnly " + limit + " bytes will be burned"});
}

}  // namespace

BankImage::BankImage(const ChipSpec& target, int fill_value)
    : bytes(kImageCapacityBytes, 0xFF), chip(&target), fill(fill_value) {
  FillImage(*this);
}

void FillImage(BankImage& image) {
  const std::uint32_t extent = std::min(image.chip->image_bytes, kImageCapacityBytes);
  std::memset(image.bytes.data(), image.fill & 0xFF, extent);
  image.bytes[extent - 1] = 0xFF;
}

void ResetImage(BankImage& image) {
  FillImage(image);
  image.bank_bytes[0] = 0;
  image.bank_bytes[1] = 0;
}

void FinishLoad(BankImage& image, LoadReport& report) {
  const ChipSpec& chip = *image.chip;
  std::uint32_t earlier_limits = 0;  // of the banks before this one that are burned
  for (int bank = 0; bank < chip.banks; ++bank) {
    const std::uint32_t limit = chip.burn_limit_bytes[bank];
    if (image.bank_bytes[bank] > limit) {
      WarnSizeLimit(report, earlier_limits + limit);
      image.bank_bytes[bank] = limit;
    }
    if (image.bank_bytes[bank] != 0) earlier_limits += limit;
  }
  if (image.file_state != 1 && image.file_state != 2) ResetImage(image);

  report.file_state = image.file_state;
  report.title = ImageTitle(image.file_state, report.files);
  report.bank0_bytes = image.bank_bytes[0];
  report.bank1_bytes = image.bank_bytes[1];
  report.image_checksum = PaintedChecksum(image);
  report.burn_sum = BurnSum(image);
}

LoadReport ChangeChip(BankImage& image, const ChipSpec& chip) {
  image.chip = &chip;
  // The sizes go to 0 first so the old layout cannot raise a size warning.
  image.file_state = 0;
  ResetImage(image);
  LoadReport report;
  FinishLoad(image, report);
  return report;
}

std::string ImageTitle(int file_state, const std::vector<std::string>& files) {
  const std::string prefix = "RM516X ISP utility -- ";
  const auto file = [&](std::size_t i) { return i < files.size() ? files[i] : std::string(); };
  if (file_state == 1) return prefix + file(0);
  if (file_state == 2) return prefix + file(0) + "  ,  " + file(1);
  return prefix + "No file is opened";
}

std::uint32_t PaintedChecksum(const BankImage& image) {
  return SumBytes(image.bytes.data(), image.chip->ChecksumBytes()) & 0xFFFF;
}

std::uint32_t BurnSum(const BankImage& image) {
  return BurnSum(image.bytes.data(), image.bank_bytes[0], image.bank_bytes[1]);
}

std::uint32_t BurnSum(const std::uint8_t* bytes, std::uint32_t bank0_bytes, std::uint32_t bank1_bytes) {
  const std::uint32_t bank0 = std::min(bank0_bytes, kBankSizeBytes);
  const std::uint32_t bank1 = std::min(bank1_bytes, kBankSizeBytes);
  return (0u - (SumBytes(bytes, bank0) + SumBytes(bytes + kBankSizeBytes, bank1))) & 0xFFFF;
}
