#include "tests/image/image_fixture.h"

namespace {

TEST(BankImage, EmptyImageChecksumCoversAllButTheLastByte) {
  struct Case { int model; int fill; std::uint32_t checksum; };
  for (const Case& c : {Case{0, 255, 0xFF01}, Case{0, 0, 0x0000}, Case{1, 255, 0xFF01}, Case{1, 0, 0x0000}}) {
    UseChip(c.model, c.fill);
    EXPECT_EQ(FirmwareImage[ImageSize - 1], 0xFF);
    EXPECT_TRUE(ImageRangeIs(0, ImageSize - 1, static_cast<std::uint8_t>(c.fill)));
    RefreshAfterLoad(nullptr);
    EXPECT_EQ(ImageChecksum, c.checksum) << c.model << " " << c.fill;
    EXPECT_EQ(ShellRecord().title, "RM516X ISP utility -- No file is opened");
    EXPECT_EQ(ShellRecord().bank_bytes, (std::vector<std::uint32_t>{0, 0}));
    EXPECT_EQ(ShellRecord().checksums, std::vector<std::uint32_t>{c.checksum});
  }
  UseChip(0, 0);
  FileState = 1;
  FirmwareImage[0xFFFE] = 0x01;  // beyond every bank size: still counted
  FirmwareImage[0xFFFF] = 0x40;  // the last byte: never counted
  RefreshAfterLoad(nullptr);
  EXPECT_EQ(ImageChecksum, 0x0001u);
}

TEST(BankImage, SizeLimitsWarnAndCut) {
  struct Case { int model; std::uint32_t bank0, bank1; const char* limit; std::uint32_t bank0_after, bank1_after; };
  const Case cases[] = {
      {0, 0xFE00, 0, nullptr, 0xFE00, 0},        {0, 0x10000, 0, "65024", 0xFE00, 0},
      {1, 0x10000, 0xFC00, nullptr, 0x10000, 0xFC00}, {1, 0x10000, 0x10000, "130048", 0x10000, 0xFC00},
      {1, 0, 0xFE00, "64512", 0, 0xFC00},
  };
  int owner = 0;
  for (const Case& c : cases) {
    UseChip(c.model, 255);
    FileState = 1;
    Bank0Size = c.bank0;
    Bank1Size = c.bank1;
    RefreshAfterLoad(&owner);
    std::vector<std::string> warnings;
    if (c.limit) {
      warnings.push_back(std::string("Program size > ") + c.limit + " bytes\nOnly " + c.limit +
                         " bytes will be burned");
    }
    ExpectMessages(&owner, MessageWarning, warnings);
    EXPECT_EQ(ShellRecord().bank_bytes, (std::vector<std::uint32_t>{c.bank0_after, c.bank1_after}));
    EXPECT_EQ(FileState, 1);  // a cut load still counts as opened
  }
}

}  // namespace
