#include <algorithm>
#include <vector>

#include "image/bank_image.h"
#include "settings/settings.h"
#include "tests/settings/profile_fixture.h"

namespace {

using Settings = ProfileFixture;

bool ImageRangeIs(std::uint32_t from, std::uint32_t to, std::uint8_t value) {
  return std::all_of(FirmwareImage + from, FirmwareImage + to, [&](std::uint8_t b) { return b == value; });
}

TEST_F(Settings, WithoutASectionEverythingTakesItsDefaultAndStartUpWritesOnlyChipId) {
  FileName1 = OpenPath = "stale";
  BaudRateIndex = FillByte = VerifyAfterBurn = 9;
  UseChipModel(1);
  LoadSettings();
  EXPECT_EQ(FileName1 + "|" + FileName2 + "|" + OpenPath, "||.");
  EXPECT_EQ(std::vector<int>({BaudRateIndex, ComPortIndex, ChipModel, FillByte, VerifyAfterBurn}),
            std::vector<int>({6, 0, 0, 255, 1}));
  EXPECT_EQ(PageSize, 256u);
  EXPECT_EQ(ImageSize, 0x10000u);

  EXPECT_FALSE(SelectChip(ChipModel));  // the model read at start-up is no change
  EXPECT_EQ(ReadIni(), "[RM516X_ISP]\nChipID=0\n");
  SelectFillByte(0);
  EXPECT_EQ(ReadIni(), "[RM516X_ISP]\nChipID=0\nUnusedBytes=0\n");
  EXPECT_EQ(ShellRecord().chip, 0);
  EXPECT_TRUE(SelectChip(1));
  EXPECT_EQ(PageSize, 512u);
  EXPECT_EQ(ImageSize, 0x20000u);
  EXPECT_EQ(ShellRecord().chip, 1);
  EXPECT_EQ(ReadIni(), "[RM516X_ISP]\nChipID=1\nUnusedBytes=0\n");
}

TEST_F(Settings, StoredValuesAreReadAndBadOnesTakeTheirDefaults) {
  WriteIni("[RM516X_ISP]\nOpenFileName1=C:\\a.hex\nOpenFilePath=" + std::string(300, 'd') +
           "\nBaudRate=7\nComPort=3\nChipID=1\nUnusedBytes=0\nVerify=0\n");
  LoadSettings();
  EXPECT_EQ(FileName1, "C:\\a.hex");
  EXPECT_EQ(OpenPath, std::string(255, 'd'));
  EXPECT_EQ(std::vector<int>({BaudRateIndex, ComPortIndex, ChipModel, FillByte, VerifyAfterBurn}),
            std::vector<int>({7, 3, 1, 0, 0}));
  EXPECT_EQ(PageSize, 512u);
  EXPECT_EQ(ImageSize, 0x20000u);

  WriteIni("[RM516X_ISP]\nBaudRate=8\nComPort=4\nChipID=one\nUnusedBytes=abc\nVerify=-1\n");
  LoadSettings();
  EXPECT_EQ(std::vector<int>({BaudRateIndex, ComPortIndex, ChipModel, FillByte, VerifyAfterBurn}),
            std::vector<int>({6, 0, 0, 255, 1}));
  WriteIni("[RM516X_ISP]\nUnusedBytes=263\n");  // any number is kept; the fill takes its low 8 bits
  LoadSettings();
  EXPECT_EQ(FillByte, 263);
}

// Lowest layer that holds both the choice and the image it empties.
TEST_F(Settings, ChoosingAnotherChipLeavesAnEmptyImageSizedForIt) {
  FillByte = 263;  // any fill number: its low 8 bits fill the image
  UseChipModel(1);
  ResetImage();
  EXPECT_TRUE(ImageRangeIs(0, 0x1FFFF, 0x07));
  FileState = 2;
  Bank0Size = 0x10000;  // legal on the RM5168, over the RM5164's limit
  Bank1Size = 0x800;
  FillByte = 255;
  ResetShellRecord();
  ChooseChip(1);  // no change: the image stays, the chip is shown again
  EXPECT_EQ(FileState, 2);
  EXPECT_EQ(ShellRecord().chip, 1);
  EXPECT_TRUE(ShellRecord().checksums.empty());
  ChooseChip(0);
  RecordedShell shell = ShellRecord();
  EXPECT_TRUE(shell.messages.empty());  // the old layout raises no size warning
  EXPECT_EQ(PageSize, 256u);
  EXPECT_EQ(FileState, 0);
  EXPECT_EQ(Bank0Size + Bank1Size, 0u);
  EXPECT_TRUE(ImageRangeIs(0, 0xFFFF, 0xFF));
  EXPECT_EQ(shell.checksums, std::vector<std::uint32_t>{0xFF01});
  EXPECT_EQ(shell.title, "RM516X ISP utility -- No file is opened");
  EXPECT_EQ(shell.chip, 0);
  EXPECT_EQ(shell.bank_bytes, (std::vector<std::uint32_t>{0, 0}));
  FirmwareImage[0x1FFFF] = 0x00;
  ChooseChip(1);
  EXPECT_EQ(ImageSize, 0x20000u);
  EXPECT_TRUE(ImageRangeIs(0, 0x20000, 0xFF));
}

}  // namespace
