#include <algorithm>
#include <vector>

#include "image/bank_image.h"
#include "settings/settings.h"
#include "tests/settings/profile_fixture.h"

namespace {

using Settings = ProfileFixture;

TEST_F(Settings, WithoutASectionEverythingTakesItsDefaultAndStartUpWritesOnlyChipId) {
  // Each test runs in a fresh process: the RM5164's size holds until a model is read.
  EXPECT_EQ(ImageSize, 0x10000u);
  FileName1 = OpenPath = "stale";
  BaudRateIndex = FillByte = VerifyAfterBurn = 9;
  UseChipModel(1);
  LoadSettings();
  EXPECT_EQ(FileName1 + "|" + FileName2 + "|" + OpenPath, "||.");
  EXPECT_EQ(std::vector<int>({BaudRateIndex, ComPortIndex, ChipModel, FillByte, VerifyAfterBurn}),
            std::vector<int>({6, 0, 0, 255, 1}));
  EXPECT_EQ(ImageSize, 0x10000u);

  EXPECT_FALSE(SelectChip(ChipModel));  // the model read at start-up is no change
  EXPECT_EQ(ReadIni(), "[RM516X_ISP]\nChipID=0\n");
  SelectFillByte(0);
  EXPECT_EQ(ReadIni(), "[RM516X_ISP]\nChipID=0\nUnusedBytes=0\n");
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

  WriteIni("[RM516X_ISP]\nBaudRate=8\nComPort=4\nChipID=one\nUnusedBytes=abc\nVerify=-1\n");
  LoadSettings();
  EXPECT_EQ(std::vector<int>({BaudRateIndex, ComPortIndex, ChipModel, FillByte, VerifyAfterBurn}),
            std::vector<int>({6, 0, 0, 255, 1}));
  WriteIni("[RM516X_ISP]\nUnusedBytes=263\n");  // any number is kept; the fill takes its low 8 bits
  LoadSettings();
  EXPECT_EQ(FillByte, 263);
}

// Lowest layer that holds both the choice and the image it empties. The empty image's
// title, sizes and checksum are the image module's.
TEST_F(Settings, ChoosingAnotherChipLeavesAnEmptyImageSizedForIt) {
  UseChipModel(1);
  FileState = 2;
  Bank0Size = 0x10000;  // legal on the RM5168, over the RM5164's limit
  Bank1Size = 0x800;
  FillByte = 255;
  ChooseChip(1);  // no change: the image stays
  EXPECT_EQ(FileState, 2);
  EXPECT_TRUE(ShellRecord().checksums.empty());
  ChooseChip(0);
  EXPECT_TRUE(ShellRecord().messages.empty());  // the old layout raises no size warning
  EXPECT_EQ(FileState, 0);
  EXPECT_EQ(Bank0Size + Bank1Size, 0u);
  EXPECT_EQ(ShellRecord().checksums, std::vector<std::uint32_t>{0xFF01});
  FirmwareImage[0x1FFFF] = 0x00;
  ChooseChip(1);
  EXPECT_TRUE(std::all_of(FirmwareImage, FirmwareImage + 0x20000, [](std::uint8_t b) { return b == 0xFF; }));
}

}  // namespace
