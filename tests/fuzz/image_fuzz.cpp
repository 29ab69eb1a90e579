// libFuzzer target: file bytes in, through classification, both readers, placement and (over
// a real file) the open sequences, for every mode, both chips and both fill values. Any broken safety rule
// aborts: a byte written outside the target range, a size beyond the range or not a whole
// number of pages, bank sizes above the chip's limits.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "image/bank_image.h"
#include "image/bin_reader.h"
#include "image/classify_file.h"
#include "image/file_open.h"
#include "image/hex_reader.h"
#include "settings/settings.h"
#include "shell/shell.h"

// No windows: every box and status text is dropped.
Window MainWindowHandle() { return nullptr; }
void ShowMessage(Window, const std::string&, int) {}
void ShowTitle(const std::string&) {}
void ShowChip(int) {}
void ShowPortStatus(const std::string&) {}
void ShowBankBytes(std::uint32_t, std::uint32_t) {}
void ShowChecksum(std::uint32_t) {}
void LockBurnInputs(bool) {}
void OfferBurn(bool) {}
void HandshakeSeen(int) {}
void BurnStatusChanged() {}
void ShowBurnProgress(int) {}
void SetBurnButton(BurnButton) {}
void EnableBurnButton(bool) {}
void EnableVerifyBox(bool) {}

namespace {

constexpr std::uint32_t kBank = kBankSizeBytes;
constexpr std::uint32_t kUntouchedSize = 0xABC;  // a bank size no placement can produce

#define FUZZ_CHECK(condition)                                                           \
  do {                                                                                  \
    if (!(condition)) {                                                                 \
      std::fprintf(stderr, "broken rule: %s (line %d, mode %d, page %u, fill %d)\n",    \
                   #condition, __LINE__, current_mode, PageSize.load(), FillByte);      \
      std::abort();                                                                     \
    }                                                                                   \
  } while (0)

int current_mode = -1;
std::uint8_t pattern[kImageCapacityBytes];

void PaintPattern() { std::memcpy(FirmwareImage, pattern, sizeof pattern); }

bool Untouched(std::uint32_t from, std::uint32_t to) {
  return from >= to || std::memcmp(FirmwareImage + from, pattern + from, to - from) == 0;
}

std::uint8_t all_ff[kImageCapacityBytes];

bool AllFF(std::uint32_t from, std::uint32_t to) {
  return from >= to || std::memcmp(FirmwareImage + from, all_ff, to - from) == 0;
}

bool WholePages(std::uint32_t size) { return size % PageSize.load() == 0; }

// The bytes a mode may write: bank 0, bank 1, or both.
std::uint32_t RangeStart(int mode) { return mode == 1 ? kBank : 0; }
std::uint32_t RangeSize(int mode) { return mode == 2 ? 2 * kBank : kBank; }

void UseChip(int model, int fill) {
  UseChipModel(model);
  FillByte = fill;
}

void CheckReaders(std::string_view bytes) {
  const int kind = ClassifyBytes(bytes);
  FUZZ_CHECK(kind == FileKindHex || kind == FileKindBinary || kind == FileKindEmpty || kind == FileKindText);
  FUZZ_CHECK((kind == FileKindEmpty) == bytes.empty());

  for (int model : {0, 1}) {
    UseChip(model, 255);
    for (int mode : {0, 1, 2}) {
      current_mode = mode;
      const std::uint32_t start = RangeStart(mode);
      const std::uint32_t end = start + RangeSize(mode);

      PaintPattern();
      const HexLoadResult loaded = LoadHexText(bytes, mode);
      const std::uint32_t hex = loaded.size;
      FUZZ_CHECK(hex <= RangeSize(mode) && WholePages(hex));
      FUZZ_CHECK((hex == 0) == (loaded.error != HexOk));
      FUZZ_CHECK(loaded.bad_checksums == 0 || loaded.bad_checksum_line != 0 || hex == 0);
      FUZZ_CHECK(Untouched(0, start) && Untouched(end, kImageCapacityBytes));
      if (hex == 0) {
        FUZZ_CHECK(AllFF(start, end));
      } else {
        FUZZ_CHECK(Untouched(start + hex, end));  // nothing past the reported end
      }

      PaintPattern();
      const std::uint32_t bin = LoadBinBytes(nullptr, "fuzz.bin", bytes, mode);
      if (bytes.empty() || bytes.size() > RangeSize(mode)) {
        FUZZ_CHECK(bin == 0 && Untouched(0, kImageCapacityBytes));
      } else {
        const auto size = static_cast<std::uint32_t>(bytes.size());
        FUZZ_CHECK(bin >= size && bin - size < PageSize && WholePages(bin) && bin <= RangeSize(mode));
        FUZZ_CHECK(std::memcmp(FirmwareImage + start, bytes.data(), size) == 0);
        FUZZ_CHECK(Untouched(0, start) && Untouched(start + size, kImageCapacityBytes));
      }
    }
  }
}

void CheckPlacement(std::string_view bytes) {
  for (int model : {0, 1}) {
    for (int fill : {255, 0}) {
      UseChip(model, fill);
      for (int mode : {0, 1, 2}) {
        current_mode = mode;
        PaintPattern();
        Bank0Size = kUntouchedSize;
        Bank1Size = kUntouchedSize;
        const int placed = PlaceBytes(nullptr, "fuzz.bin", bytes, mode);
        const std::uint32_t bank0 = Bank0Size, bank1 = Bank1Size;
        if (mode == 0) FUZZ_CHECK(Untouched(kBank, 2 * kBank) && bank1 == kUntouchedSize);
        if (mode == 1) FUZZ_CHECK(Untouched(0, kBank) && bank0 == kUntouchedSize);
        if (!placed) {
          FUZZ_CHECK(bank0 == kUntouchedSize && bank1 == kUntouchedSize);
          continue;
        }
        FUZZ_CHECK(placed == 1);
        if (mode != 1) FUZZ_CHECK(bank0 <= kBank && WholePages(bank0));
        if (mode != 0) FUZZ_CHECK(bank1 <= kBank && WholePages(bank1));
        // A zero fill burns a bank whole; only a HEX file with extended addresses over both
        // banks may leave one out.
        if (fill != 255 && mode != 1) FUZZ_CHECK(bank0 == kBank || (mode == 2 && bank0 == 0));
        if (fill != 255 && mode != 0) FUZZ_CHECK(bank1 == kBank || (mode == 2 && bank1 == 0));
        if (mode == 2) FUZZ_CHECK(bank0 + bank1 > 0);
      }
    }
  }
}

void CheckOpenSequence(int model, int fill, int files) {
  UseChip(model, fill);
  current_mode = files == 2 ? 1 : (model == 0 ? 0 : 2);
  PaintPattern();
  if (model == 0) {
    OpenSingleFile(nullptr);
  } else if (files == 1) {
    OpenFileOverBothBanks(nullptr);
  } else {
    OpenFilesOnePerBank(nullptr);
  }
  const std::uint32_t bank0 = Bank0Size, bank1 = Bank1Size;
  FUZZ_CHECK(FileState == 0 || FileState == (files == 2 ? 2 : 1));
  FUZZ_CHECK(WholePages(bank0) && WholePages(bank1));
  FUZZ_CHECK(FileState != 0 || (bank0 == 0 && bank1 == 0));
  FUZZ_CHECK(ImageChecksum <= 0xFFFF && BurnSum() <= 0xFFFF);
  FUZZ_CHECK(FirmwareImage[ImageSize - 1] == 0xFF || FileState != 0);
  if (model == 0) {
    FUZZ_CHECK(bank0 <= kRm5164Bank0LimitBytes && bank1 == 0);
    FUZZ_CHECK(Untouched(kBank, 2 * kBank));  // the RM5164's image ends with bank 0
    if (FileState != 0 && fill != 255) FUZZ_CHECK(bank0 == kRm5164Bank0LimitBytes);
  } else {
    FUZZ_CHECK(bank0 <= kBank && bank1 <= kRm5168Bank1LimitBytes);
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
  FileName1 = input_path;
  FileName2 = input_path;
  for (int fill : {255, 0}) {
    CheckOpenSequence(0, fill, 1);
    CheckOpenSequence(1, fill, 1);
    CheckOpenSequence(1, fill, 2);
  }
  return 0;
}
