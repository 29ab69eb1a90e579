#include "image/bin_reader.h"
#include "image/file_open.h"
#include "tests/image/image_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(BankImage, EmptyImageChecksumCoversAllButTheLastByte) {
  struct Case { const ChipSpec* chip; int fill; std::uint32_t checksum; };
  for (const Case& c : {Case{&kRm5164, 255, 0xFF01}, Case{&kRm5164, 0, 0x0000}, Case{&kRm5168, 255, 0xFF01},
                        Case{&kRm5168, 0, 0x0000}}) {
    BankImage image = EmptyImage(*c.chip, c.fill);
    const std::uint32_t size = c.chip->image_bytes;
    EXPECT_EQ(image.bytes[size - 1], 0xFF);
    EXPECT_TRUE(RangeIs(image, 0, size - 1, static_cast<std::uint8_t>(c.fill)));
    EXPECT_TRUE(RangeIs(image, size, kImageCapacityBytes, 0x55));  // past the chip: untouched
    LoadReport report;
    FinishLoad(image, report);
    EXPECT_EQ(report.image_checksum, c.checksum) << c.chip->name << " " << c.fill;
    EXPECT_EQ(report.title, "RM516X ISP utility -- No file is opened");
    EXPECT_EQ(report.bank0_bytes + report.bank1_bytes, 0u);
  }
  BankImage image = EmptyImage(kRm5164, 0);
  image.file_state = 1;
  image.bytes[0xFFFE] = 0x01;  // beyond every bank size: still counted
  image.bytes[0xFFFF] = 0x40;  // the last byte: never counted
  EXPECT_EQ(PaintedChecksum(image), 0x0001u);
}

TEST(BankImage, SizeLimitsWarnAndCut) {
  struct Case { const ChipSpec* chip; std::uint32_t bank0, bank1; const char* limit; std::uint32_t bank0_after, bank1_after; };
  const Case cases[] = {
      {&kRm5164, 0xFE00, 0, nullptr, 0xFE00, 0},          {&kRm5164, 0x10000, 0, "65024", 0xFE00, 0},
      {&kRm5168, 0x10000, 0xFC00, nullptr, 0x10000, 0xFC00}, {&kRm5168, 0x10000, 0x10000, "130048", 0x10000, 0xFC00},
      {&kRm5168, 0, 0xFE00, "64512", 0, 0xFC00},
  };
  for (const Case& c : cases) {
    BankImage image = EmptyImage(*c.chip, 255);
    image.file_state = 1;
    image.bank_bytes[0] = c.bank0;
    image.bank_bytes[1] = c.bank1;
    LoadReport report;
    FinishLoad(image, report);
    std::vector<std::string> warnings;
    if (c.limit) {
      warnings.push_back(std::string("Program size > ") + c.limit + " bytes\nOnly " + c.limit +
                         " bytes will be burned");
    }
    ExpectMessages(report.messages, LoadWarning, warnings);
    EXPECT_EQ(std::make_pair(report.bank0_bytes, report.bank1_bytes), std::make_pair(c.bank0_after, c.bank1_after));
    EXPECT_EQ(report.burn_sum, BurnSum(image));
    EXPECT_EQ(report.file_state, 1);  // a cut load still counts as opened
  }
}

// Each image follows its own chip: pages, limits and the checksum's range, and a change of
// one leaves the other as it was.
TEST(BankImage, ImagesOfBothChipsLiveSideBySide) {
  BankImage small = EmptyImage(kRm5164, 255);
  BankImage large = EmptyImage(kRm5168, 255);
  std::vector<LoadMessage> messages;
  const std::string bytes(700, '\x01');
  EXPECT_EQ(LoadBinBytes(small, "a.bin", bytes, PlaceBank0, messages), 768u);
  EXPECT_EQ(LoadBinBytes(large, "a.bin", bytes, PlaceBank0, messages), 1024u);
  EXPECT_TRUE(messages.empty());
  large.bytes[0x1FFFE] = 0x02;  // inside the RM5168's checksum only
  small.bytes[0x1FFFE] = 0x02;
  EXPECT_EQ(PaintedChecksum(small), (700u + (0xFFFFu - 700) * 0xFF) & 0xFFFF);
  EXPECT_EQ(PaintedChecksum(large), (700u + (0x1FFFFu - 700 - 1) * 0xFF + 0x02) & 0xFFFF);

  const std::vector<std::uint8_t> before = large.bytes;
  const LoadReport report = ChangeChip(small, kRm5168);
  EXPECT_EQ(small.chip, &kRm5168);
  EXPECT_EQ(report.image_checksum, 0xFF01u);
  EXPECT_TRUE(RangeIs(small, 0, kImageCapacityBytes - 1, 0xFF));
  EXPECT_EQ(large.bytes, before);
  EXPECT_EQ(large.chip, &kRm5168);
}

// The GUI opens file after file into one image: each open starts from the empty image, so no
// byte or size of the file before survives into the next burn.
TEST(BankImage, AnOpenStartsFromTheEmptyImage) {
  TempDir dir;
  const std::string big = dir.Write("big.bin", std::string(2000, '\x11'));
  const std::string small = dir.Write("small.bin", std::string(300, '\x22'));
  BankImage image = EmptyImage(kRm5168, 255);
  const auto ignore = [](const LoadMessage&) {};
  OpenFilesOnePerBank(image, big, big, ignore);
  const LoadReport report = OpenOneFile(image, small, PlaceBank0, ignore);
  EXPECT_EQ(std::make_pair(report.bank0_bytes, report.bank1_bytes), std::make_pair(512u, 0u));
  EXPECT_TRUE(RangeIs(image, 0, 300, 0x22));
  EXPECT_TRUE(RangeIs(image, 300, kRm5168.image_bytes, 0xFF));
}

}  // namespace
