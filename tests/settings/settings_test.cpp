#include <algorithm>

#include "image/bank_image.h"
#include "settings/settings.h"
#include "tests/settings/profile_fixture.h"

namespace {

class Settings : public ProfileFixture {
 protected:
  void SetUp() override {
    ProfileFixture::SetUp();
    // Leftovers of an earlier test must not pass for values LoadSettings set.
    FileName1 = FileName2 = OpenPath = "stale";
    BaudRateIndex = ComPortIndex = ChipModel = FillByte = VerifyAfterBurn = -9;
    FileState = 0;
    std::fill(std::begin(FirmwareImage), std::end(FirmwareImage), 0x55);
  }
};

bool ImageRangeIs(std::uint32_t from, std::uint32_t to, std::uint8_t value) {
  return std::all_of(FirmwareImage + from, FirmwareImage + to, [&](std::uint8_t b) { return b == value; });
}

TEST_F(Settings, WithoutASectionEverythingTakesItsDefaultAndStartUpWritesOnlyChipId) {
  LoadSettings();
  EXPECT_EQ(FileName1, "");
  EXPECT_EQ(FileName2, "");
  EXPECT_EQ(OpenPath, ".");
  EXPECT_EQ(BaudRateIndex, 6);
  EXPECT_EQ(ComPortIndex, 0);
  EXPECT_EQ(ChipModel, 0);
  EXPECT_EQ(FillByte, 255);
  EXPECT_EQ(VerifyAfterBurn, 1);
  EXPECT_EQ(PageSize, 256u);
  EXPECT_EQ(ImageSize, 0x10000u);
  EXPECT_TRUE(ImageRangeIs(0, 0x10000, 0xFF));
  EXPECT_TRUE(ImageRangeIs(0x10000, 0x20000, 0x55));  // beyond ImageSize: untouched
  EXPECT_FALSE(std::filesystem::exists(IniPath()));   // reading writes nothing

  SelectChip(ChipModel);
  EXPECT_EQ(ReadIni(), "[RM516X_ISP]\nChipID=0\n");
  RecordedShell shell = ShellRecord();
  EXPECT_EQ(shell.status[0], "RM5164");
  EXPECT_EQ(shell.invalidations, 1);
  EXPECT_EQ(shell.title, "");  // no change of model: the image is not touched
}

TEST_F(Settings, StoredValuesAreReadAndSizeTheImage) {
  WriteIni("[RM516X_ISP]\nOpenFileName1=C:\\fw\\a.hex\nOpenFileName2=C:\\fw\\b.hex\nOpenFilePath=" +
           std::string(300, 'd') + "\nBaudRate=7\nComPort=3\nChipID=1\nUnusedBytes=0\nVerify=0\n");
  LoadSettings();
  EXPECT_EQ(FileName1, "C:\\fw\\a.hex");
  EXPECT_EQ(FileName2, "C:\\fw\\b.hex");
  EXPECT_EQ(OpenPath, std::string(255, 'd'));
  EXPECT_EQ(BaudRateIndex, 7);
  EXPECT_EQ(ComPortIndex, 3);
  EXPECT_EQ(ChipModel, 1);
  EXPECT_EQ(FillByte, 0);
  EXPECT_EQ(VerifyAfterBurn, 0);
  EXPECT_EQ(PageSize, 512u);
  EXPECT_EQ(ImageSize, 0x20000u);
  EXPECT_TRUE(ImageRangeIs(0, 0x1FFFF, 0x00));
  EXPECT_EQ(FirmwareImage[0x1FFFF], 0xFF);
}

TEST_F(Settings, ValuesOutOfRangeOrNotNumbersTakeTheirDefaults) {
  WriteIni("[RM516X_ISP]\nBaudRate=8\nComPort=4\nChipID=2\nUnusedBytes=abc\nVerify=-1\n");
  LoadSettings();
  EXPECT_EQ(BaudRateIndex, 6);
  EXPECT_EQ(ComPortIndex, 0);
  EXPECT_EQ(ChipModel, 0);
  EXPECT_EQ(FillByte, 255);
  EXPECT_EQ(VerifyAfterBurn, 1);

  WriteIni("[RM516X_ISP]\nBaudRate=3x\nComPort=-1\nChipID=one\nUnusedBytes=263\nVerify=2\n");
  LoadSettings();
  EXPECT_EQ(BaudRateIndex, 6);
  EXPECT_EQ(ComPortIndex, 0);
  EXPECT_EQ(ChipModel, 0);
  EXPECT_EQ(FillByte, 263);  // any number is kept; the fill takes its low 8 bits
  EXPECT_EQ(FirmwareImage[0], 0x07);
  EXPECT_EQ(VerifyAfterBurn, 1);
}

TEST_F(Settings, SelectingTheCurrentModelKeepsTheImage) {
  LoadSettings();
  FileState = 1;
  Bank0Size = 0x100;
  FirmwareImage[0] = 0x12;
  SelectChip(0);
  EXPECT_EQ(FileState, 1);
  EXPECT_EQ(Bank0Size, 0x100u);
  EXPECT_EQ(FirmwareImage[0], 0x12);
  EXPECT_EQ(ProfileReadString(kProfileSection, "ChipID", ""), "0");
  EXPECT_EQ(ShellRecord().status[0], "RM5164");
  EXPECT_EQ(ShellRecord().invalidations, 1);
}

TEST_F(Settings, ChangingTheModelLeavesAnEmptyImageSizedForTheNewChip) {
  WriteIni("[RM516X_ISP]\nChipID=1\n");
  LoadSettings();
  int main_window = 0;
  SetRecordedMainWindow(&main_window);
  FileState = 2;
  Bank0Size = 0x10000;  // legal on the RM5168, over the RM5164's limit
  Bank1Size = 0x800;
  FirmwareImage[0] = 0x12;

  SelectChip(0);
  RecordedShell shell = ShellRecord();
  EXPECT_TRUE(shell.messages.empty());  // the old layout raises no size warning
  EXPECT_EQ(PageSize, 256u);
  EXPECT_EQ(ImageSize, 0x10000u);
  EXPECT_EQ(FileState, 0);
  EXPECT_EQ(Bank0Size, 0u);
  EXPECT_EQ(Bank1Size, 0u);
  EXPECT_TRUE(ImageRangeIs(0, 0x10000, 0xFF));
  EXPECT_EQ(ImageChecksum, 0xFF01u);
  EXPECT_EQ(shell.title, "RM516X ISP utility -- No file is opened");
  EXPECT_EQ(shell.status[0], "RM5164");
  EXPECT_EQ(shell.status[2], "BANK0 : 0 byte(s)");
  EXPECT_EQ(shell.status[3], "BANK1 : 0 byte(s)");
  EXPECT_GE(shell.invalidations, 1);
  EXPECT_EQ(ProfileReadString(kProfileSection, "ChipID", ""), "0");

  FirmwareImage[0x1FFFF] = 0x00;
  SelectChip(1);
  EXPECT_EQ(PageSize, 512u);
  EXPECT_EQ(ImageSize, 0x20000u);
  EXPECT_TRUE(ImageRangeIs(0, 0x20000, 0xFF));
  EXPECT_EQ(ShellRecord().status[0], "RM5168");
  SetRecordedMainWindow(nullptr);
}

TEST_F(Settings, NewFillValueIsStoredButTheImageWaitsForTheNextOpen) {
  LoadSettings();
  RefreshAfterLoad(nullptr);
  const std::uint32_t checksum = ImageChecksum;
  SelectFillByte(0);
  EXPECT_EQ(FillByte, 0);
  EXPECT_EQ(ProfileReadString(kProfileSection, "UnusedBytes", ""), "0");
  EXPECT_TRUE(ImageRangeIs(0, 0x10000, 0xFF));
  EXPECT_EQ(ImageChecksum, checksum);
  ResetImage();
  EXPECT_TRUE(ImageRangeIs(0, 0xFFFF, 0x00));
}

}  // namespace
