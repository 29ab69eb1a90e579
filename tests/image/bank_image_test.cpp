#include "tests/image/image_fixture.h"

namespace {

TEST(BankImage, EmptyImageChecksumSkipsTheLastByte) {
  struct Case { int model; int fill; std::uint32_t checksum; };
  for (const Case& c : {Case{0, 255, 0xFF01}, Case{0, 0, 0x0000}, Case{1, 255, 0xFF01}, Case{1, 0, 0x0000}}) {
    UseChip(c.model, c.fill);
    const std::uint32_t last = ImageSize - 1;
    EXPECT_EQ(FirmwareImage[last], 0xFF);
    EXPECT_TRUE(ImageRangeIs(0, last, static_cast<std::uint8_t>(c.fill)));
    RefreshAfterLoad(nullptr);
    EXPECT_EQ(ImageChecksum, c.checksum) << c.model << " " << c.fill;
    RecordedShell shell = ShellRecord();
    EXPECT_EQ(shell.title, "RM516X ISP utility -- No file is opened");
    EXPECT_EQ(shell.status[2], "BANK0 : 0 byte(s)");
    EXPECT_EQ(shell.status[3], "BANK1 : 0 byte(s)");
    EXPECT_EQ(shell.invalidations, 1);
  }
  UseChip(0, 0);
  EXPECT_TRUE(ImageRangeIs(0x10000, 0x20000, 0x55));  // the RM5164 fill stops at bank 0
}

TEST(BankImage, ChecksumCoversTheWholeExtentNotOnlyTheBanks) {
  UseChip(0, 0);
  FileState = 1;
  Bank0Size = 0x100;
  FirmwareImage[0xFFFE] = 0x01;  // outside the burned range: still counted
  FirmwareImage[0xFFFF] = 0x40;  // the last byte: never counted
  RefreshAfterLoad(nullptr);
  EXPECT_EQ(ImageChecksum, 0x0001u);
}

TEST(BankImage, SizeLimitsWarnAndCut) {
  struct Case {
    int model;
    std::uint32_t bank0, bank1;
    const char* warning;
    std::uint32_t bank0_after, bank1_after;
  };
  const Case cases[] = {
      {0, 0xFE00, 0, nullptr, 0xFE00, 0},
      {0, 0x10000, 0, "Program size > 65024 bytes\nOnly 65024 bytes will be burned", 0xFE00, 0},
      {1, 0x10000, 0xFC00, nullptr, 0x10000, 0xFC00},
      {1, 0x10000, 0x10000, "Program size > 130048 bytes\nOnly 130048 bytes will be burned", 0x10000, 0xFC00},
      {1, 0, 0xFE00, "Program size > 64512 bytes\nOnly 64512 bytes will be burned", 0, 0xFC00},
  };
  int owner = 0;
  for (const Case& c : cases) {
    UseChip(c.model, 255);
    FileState = 1;
    Bank0Size = c.bank0;
    Bank1Size = c.bank1;
    RefreshAfterLoad(&owner);
    RecordedShell shell = ShellRecord();
    if (c.warning) {
      ASSERT_EQ(shell.messages.size(), 1u);
      EXPECT_EQ(shell.messages[0].text, c.warning);
      EXPECT_EQ(shell.messages[0].kind, MessageWarning);
      EXPECT_EQ(shell.messages[0].owner, &owner);
    } else {
      EXPECT_TRUE(shell.messages.empty());
    }
    EXPECT_EQ(Bank0Size, c.bank0_after);
    EXPECT_EQ(Bank1Size, c.bank1_after);
    EXPECT_EQ(shell.status[2], "BANK0 : " + std::to_string(c.bank0_after) + " byte(s)");
    EXPECT_EQ(shell.status[3], "BANK1 : " + std::to_string(c.bank1_after) + " byte(s)");
    EXPECT_EQ(FileState, 1);  // a cut load still counts as opened
  }
}

TEST(BankImage, TitleFollowsFileStateAndNoFileEmptiesTheImage) {
  UseChip(1, 255);
  FileName1 = "a.hex";
  FileName2 = "b.hex";
  FileState = 1;
  RefreshAfterLoad(nullptr);
  EXPECT_EQ(ShellRecord().title, "RM516X ISP utility -- a.hex");
  FileState = 2;
  RefreshAfterLoad(nullptr);
  EXPECT_EQ(ShellRecord().title, "RM516X ISP utility -- a.hex  ,  b.hex");

  // The first of two files placed, the second failed.
  Bank0Size = 0x200;
  FirmwareImage[0] = 0x12;
  FileState = 0;
  RefreshAfterLoad(nullptr);
  EXPECT_EQ(ShellRecord().title, "RM516X ISP utility -- No file is opened");
  EXPECT_EQ(Bank0Size, 0u);
  EXPECT_EQ(FirmwareImage[0], 0xFF);
}

TEST(BankImage, BurnSumIsTheNegatedSumOfTheBurnedRanges) {
  UseChip(1, 255);
  EXPECT_EQ(BurnSum(), 0u);
  std::fill(FirmwareImage, FirmwareImage + 256, 0x01);
  Bank0Size = 256;
  EXPECT_EQ(BurnSum(), 0xFF00u);
  std::fill(FirmwareImage + 0x10000, FirmwareImage + 0x10000 + 512, 0x02);
  Bank1Size = 512;
  EXPECT_EQ(BurnSum(), (0x10000u - (256 + 1024)) & 0xFFFF);
  Bank0Size = 0;
  EXPECT_EQ(BurnSum(), 0xFC00u);
}

}  // namespace
