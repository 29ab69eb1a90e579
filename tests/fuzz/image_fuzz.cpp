// libFuzzer target: file bytes in, through classification, both readers, placement and (over
// a real file) the open sequences, for every mode, both chips and both fill values. Any broken safety rule
// aborts: a byte written outside the target range, a size beyond the range or not a whole
// number of pages, bank sizes above the chip's limits, a failed load that says nothing.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "image/bank_image.h"
#include "image/bin_reader.h"
#include "image/classify_file.h"
#include "image/file_open.h"
#include "image/hex_reader.h"

namespace {

constexpr std::uint32_t kBank = kBankSizeBytes;
constexpr std::uint32_t kUntouchedSize = 0xABC;  // a bank size no placement can produce

// What the input is being checked as, for the report of a broken rule.
int current_mode = -1, current_page = 0, current_fill = -1;

#define FUZZ_CHECK(condition)                                                                        \
  do {                                                                                               \
    if (!(condition)) {                                                                              \
      std::fprintf(stderr, "broken rule: %s (line %d, mode %d, page %d, fill %d)\n", #condition,     \
                   __LINE__, current_mode, current_page, current_fill);                              \
      std::abort();                                                                                  \
    }                                                                                                \
  } while (0)

std::uint8_t pattern[kImageCapacityBytes];

// An image of the chip holding the pattern, so that every byte a load writes shows.
BankImage PatternImage(const ChipSpec& chip, int fill) {
  current_page = static_cast<int>(chip.page_bytes);
  current_fill = fill;
  BankImage image(chip, fill);
  std::memcpy(image.bytes.data(), pattern, sizeof pattern);
  return image;
}

bool Untouched(const BankImage& image, std::uint32_t from, std::uint32_t to) {
  return from >= to || std::memcmp(image.bytes.data() + from, pattern + from, to - from) == 0;
}

std::uint8_t all_ff[kImageCapacityBytes];

bool AllFF(const BankImage& image, std::uint32_t from, std::uint32_t to) {
  return from >= to || std::memcmp(image.bytes.data() + from, all_ff, to - from) == 0;
}

bool WholePages(const BankImage& image, std::uint32_t size) { return size % image.chip->page_bytes == 0; }

// The bytes a mode may write: bank 0, bank 1, or both.
std::uint32_t RangeStart(int mode) { return mode == 1 ? kBank : 0; }
std::uint32_t RangeSize(int mode) { return mode == 2 ? 2 * kBank : kBank; }

void CheckReaders(std::string_view bytes) {
  const int kind = ClassifyBytes(bytes);
  FUZZ_CHECK(kind == FileKindHex || kind == FileKindBinary || kind == FileKindEmpty || kind == FileKindText);
  FUZZ_CHECK((kind == FileKindEmpty) == bytes.empty());

  for (const ChipSpec* chip : {&kRm5164, &kRm5168}) {
    for (int mode : {0, 1, 2}) {
      current_mode = mode;
      const std::uint32_t start = RangeStart(mode);
      const std::uint32_t end = start + RangeSize(mode);
      {
        BankImage image = PatternImage(*chip, 255);
        const HexLoadResult loaded = LoadHexText(image, bytes, mode);
        const std::uint32_t hex = loaded.size;
        FUZZ_CHECK(hex <= RangeSize(mode) && WholePages(image, hex));
        FUZZ_CHECK((hex == 0) == (loaded.error != HexOk));
        FUZZ_CHECK(loaded.bad_checksums == 0 || loaded.bad_checksum_line != 0 || hex == 0);
        FUZZ_CHECK(Untouched(image, 0, start) && Untouched(image, end, kImageCapacityBytes));
        if (hex == 0) {
          FUZZ_CHECK(AllFF(image, start, end));
        } else {
          FUZZ_CHECK(Untouched(image, start + hex, end));  // nothing past the reported end
        }
      }
      BankImage image = PatternImage(*chip, 255);
      std::vector<LoadMessage> messages;
      const std::uint32_t bin = LoadBinBytes(image, "fuzz.bin", bytes, mode, messages);
      if (bytes.empty() || bytes.size() > RangeSize(mode)) {
        FUZZ_CHECK(bin == 0 && Untouched(image, 0, kImageCapacityBytes));
        FUZZ_CHECK(messages.size() == (bytes.empty() ? 0u : 1u));
      } else {
        const auto size = static_cast<std::uint32_t>(bytes.size());
        FUZZ_CHECK(bin >= size && bin - size < chip->page_bytes && WholePages(image, bin) && bin <= RangeSize(mode));
        FUZZ_CHECK(std::memcmp(image.bytes.data() + start, bytes.data(), size) == 0);
        FUZZ_CHECK(Untouched(image, 0, start) && Untouched(image, start + size, kImageCapacityBytes));
      }
    }
  }
}

void CheckPlacement(std::string_view bytes) {
  for (const ChipSpec* chip : {&kRm5164, &kRm5168}) {
    for (int fill : {255, 0}) {
      for (int mode : {0, 1, 2}) {
        current_mode = mode;
        BankImage image = PatternImage(*chip, fill);
        image.bank_bytes[0] = kUntouchedSize;
        image.bank_bytes[1] = kUntouchedSize;
        std::vector<LoadMessage> messages;
        const int placed = PlaceBytes(image, "fuzz.bin", bytes, mode, messages);
        const std::uint32_t bank0 = image.bank_bytes[0], bank1 = image.bank_bytes[1];
        if (mode == 0) FUZZ_CHECK(Untouched(image, kBank, 2 * kBank) && bank1 == kUntouchedSize);
        if (mode == 1) FUZZ_CHECK(Untouched(image, 0, kBank) && bank0 == kUntouchedSize);
        if (!placed) {
          FUZZ_CHECK(bank0 == kUntouchedSize && bank1 == kUntouchedSize);
          FUZZ_CHECK(!messages.empty());  // a refusal always says why
          continue;
        }
        FUZZ_CHECK(placed == 1);
        if (mode != 1) FUZZ_CHECK(bank0 <= kBank && WholePages(image, bank0));
        if (mode != 0) FUZZ_CHECK(bank1 <= kBank && WholePages(image, bank1));
        // A zero fill burns a bank whole; only a HEX file with extended addresses over both
        // banks may leave one out.
        if (fill != 255 && mode != 1) FUZZ_CHECK(bank0 == kBank || (mode == 2 && bank0 == 0));
        if (fill != 255 && mode != 0) FUZZ_CHECK(bank1 == kBank || (mode == 2 && bank1 == 0));
        if (mode == 2) FUZZ_CHECK(bank0 + bank1 > 0);
      }
    }
  }
}

void CheckOpenSequence(const std::string& path, const ChipSpec& chip, int fill, int files) {
  current_mode = files == 2 ? 1 : (chip.banks == 1 ? 0 : 2);
  BankImage image = PatternImage(chip, fill);
  std::vector<LoadMessage> told;
  const auto tell = [&told](const LoadMessage& message) { told.push_back(message); };
  const LoadReport report = files == 2 ? OpenFilesOnePerBank(image, path, path, tell)
                                       : OpenOneFile(image, path, current_mode, tell);
  const std::uint32_t bank0 = image.bank_bytes[0], bank1 = image.bank_bytes[1];
  FUZZ_CHECK(image.file_state == 0 || image.file_state == (files == 2 ? 2 : 1));
  FUZZ_CHECK(WholePages(image, bank0) && WholePages(image, bank1));
  FUZZ_CHECK(image.file_state != 0 || (bank0 == 0 && bank1 == 0 && !report.messages.empty()));
  FUZZ_CHECK(report.file_state == image.file_state && report.bank0_bytes == bank0 && report.bank1_bytes == bank1);
  FUZZ_CHECK(report.image_checksum == PaintedChecksum(image) && report.burn_sum == BurnSum(image));
  FUZZ_CHECK(report.image_checksum <= 0xFFFF && report.burn_sum <= 0xFFFF);
  FUZZ_CHECK(told.size() == report.messages.size());
  FUZZ_CHECK(image.bytes[chip.image_bytes - 1] == 0xFF || image.file_state != 0);
  FUZZ_CHECK(bank0 <= chip.burn_limit_bytes[0] && bank1 <= chip.burn_limit_bytes[1]);
  if (chip.banks == 1) {
    FUZZ_CHECK(Untouched(image, kBank, 2 * kBank));  // a one-bank chip's image ends with bank 0
    if (image.file_state != 0 && fill != 255) FUZZ_CHECK(bank0 == chip.burn_limit_bytes[0]);
  }
}

// One file per process, named before the exit handler that removes it is registered.
std::string input_path;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::memset(all_ff, 0xFF, sizeof all_ff);
  // Not a fill value and not 0xFF, and different in every byte of a page.
  for (std::uint32_t i = 0; i < kImageCapacityBytes; ++i) {
    pattern[i] = static_cast<std::uint8_t>(0x5A ^ (i * 7) ^ (i >> 8));
  }
  input_path = (std::filesystem::temp_directory_path() /
                ("rm516x-fuzz-" + std::to_string(getpid()) + ".bin")).string();
  std::atexit([] { std::remove(input_path.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckReaders(bytes);
  CheckPlacement(bytes);

  {
    std::ofstream out(input_path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  for (int fill : {255, 0}) {
    CheckOpenSequence(input_path, kRm5164, fill, 1);
    CheckOpenSequence(input_path, kRm5168, fill, 1);
    CheckOpenSequence(input_path, kRm5168, fill, 2);
  }
  return 0;
}
