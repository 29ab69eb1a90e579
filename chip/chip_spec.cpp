#include "chip/chip_spec.h"

#include <algorithm>
#include <cctype>

namespace {

// A page byte holds at most 256 page numbers, and bank 1's must stay clear of its bank bit.
constexpr bool PagesFitTheirByte(const ChipSpec& chip) {
  if (chip.banks == 1) return chip.ReadPages(0) <= 0x100 && chip.bank1_page_bit == 0;
  return chip.ReadPages(0) <= chip.bank1_page_bit && chip.ReadPages(1) <= chip.bank1_page_bit;
}
static_assert(PagesFitTheirByte(kRm5164) && PagesFitTheirByte(kRm5168));
static_assert(kRm5164.image_bytes == kRm5164.banks * kBankSizeBytes &&
              kRm5168.image_bytes == kRm5168.banks * kBankSizeBytes);

bool SameLetters(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

const ChipSpec& ChipSpecFor(int model) { return model == kRm5164.model ? kRm5164 : kRm5168; }

const ChipSpec* ChipSpecNamed(std::string_view name) {
  for (const ChipSpec* chip : {&kRm5164, &kRm5168}) {
    if (SameLetters(name, chip->name)) return chip;
  }
  return nullptr;
}
