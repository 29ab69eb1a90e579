// The settings and the INI profile under them, each test with the profile in a fresh folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "image/global_image.h"
#include "settings/profile.h"
#include "settings/settings.h"
#include "tests/support/recording_shell.h"
#include "tests/support/temp_dir.h"

namespace {

class ProfileFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_CONFIG_HOME", temp_.path().c_str(), 1);
    ResetShellRecord();
  }
  std::string Folder() const { return (temp_.path() / "rm516x-isp").string(); }
  std::string IniPath() const { return Folder() + "/profile.ini"; }
  void WriteIni(const std::string& text) const {
    std::filesystem::create_directories(Folder());
    std::ofstream(IniPath(), std::ios::binary) << text;
  }
  std::string ReadIni() const { return ReadText(IniPath()); }

  TempDir temp_;
};

using Settings = ProfileFixture;
using Profile = ProfileFixture;

TEST_F(Settings, WithoutASectionEverythingTakesItsDefaultAndStartUpWritesOnlyChipId) {
  // Each test runs in a fresh process: the RM5164's size holds until a model is read.
  EXPECT_EQ(PageSize, kRm5164.page_bytes);
  FileName1 = OpenPath = "stale";
  BaudRateIndex = FillByte = VerifyAfterBurn = 9;
  UseChipModel(1);
  LoadSettings();
  EXPECT_EQ(FileName1 + "|" + FileName2 + "|" + OpenPath, "||.");
  EXPECT_EQ(std::vector<int>({BaudRateIndex, ComPortIndex, ChipModel, FillByte, VerifyAfterBurn}),
            std::vector<int>({6, 0, 0, 255, 1}));
  EXPECT_EQ(PageSize, kRm5164.page_bytes);

  EXPECT_FALSE(SelectChip(ChipModel));  // the model read at start-up is no change
  EXPECT_EQ(ReadIni(), "[RM516X_ISP]\nChipID=0\n");
  SelectFillByte(0);
  EXPECT_EQ(ReadIni(), "[RM516X_ISP]\nChipID=0\nUnusedBytes=0\n");
  EXPECT_TRUE(SelectChip(1));
  EXPECT_EQ(PageSize, kRm5168.page_bytes);
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

TEST_F(Profile, WriteKeepsEveryOtherLine) {
  ProfileWriteString("Other", "ChipID", "7");  // creates the folder
  WriteIni("; kept\r\n[Other]\nChipID=7\n\n[rm516x_isp]\nChipID=1\nBaudRate=3\n\n[Tail]\nx=y\n");
  ProfileWriteString("RM516X_ISP", "chipid", "0");
  ProfileWriteString("RM516X_ISP", "Verify", "1");
  ProfileWriteString("New", "Key", "v");
  EXPECT_EQ(ReadIni(), "; kept\n[Other]\nChipID=7\n\n[rm516x_isp]\nchipid=0\nBaudRate=3\nVerify=1\n\n"
                       "[Tail]\nx=y\n\n[New]\nKey=v\n");
}

TEST_F(Profile, ReadsLikeTheSystemProfileWithStrictIntegers) {
  WriteIni("[ RM516X_ISP ]\r\n  OpenFileName1 =  C:\\a b.hex  \r\n[Next]\nMissing=1\n");
  EXPECT_EQ(ProfileReadString("rm516x_isp", "openfilename1", ""), "C:\\a b.hex");
  EXPECT_EQ(ProfileReadString("RM516X_ISP", "Missing", "fallback"), "fallback");

  WriteIni("[S]\nB= -3 \nC=0x10\nE=99999999999\n");
  struct Case { const char* key; int value; bool is_number; };
  for (const Case& c : {Case{"B", -3, true}, Case{"C", 5, false}, Case{"E", 5, false}, Case{"Absent", 5, true}}) {
    bool is_number = !c.is_number;
    EXPECT_EQ(ProfileReadInt("S", c.key, 5, &is_number), c.value) << c.key;
    EXPECT_EQ(is_number, c.is_number) << c.key;
  }
}

TEST_F(Profile, LineBreakInAValueCannotForgeOtherKeys) {
  ProfileWriteString("RM516X_ISP", "OpenFileName1", "/tmp/a\n[RM516X_ISP]\nChipID=1");
  EXPECT_EQ(ProfileReadString("RM516X_ISP", "OpenFileName1", ""), "/tmp/a");
  EXPECT_EQ(ProfileReadString("RM516X_ISP", "ChipID", "none"), "none");
}

// A profile that is not a plain file of ours is neither read (a FIFO would block) nor
// replaced (its owner's data would go): one warning, the defaults, no write.
TEST_F(Profile, SpecialProfileIsIgnoredWithOneWarningAndNeverReplaced) {
  std::filesystem::create_directories(Folder());
  ASSERT_EQ(mkfifo(IniPath().c_str(), 0600), 0);
  EXPECT_EQ(ProfileReadInt("RM516X_ISP", "ChipID", 0), 0);
  EXPECT_EQ(ProfileReadString("RM516X_ISP", "BaudRate", "3"), "3");
  ProfileWriteString("RM516X_ISP", "ChipID", "1");
  const auto messages = ShellRecord().messages;
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "profile " + IniPath() + " is not a regular file; it is ignored");
  EXPECT_EQ(messages[0].kind, MessageWarning);
  EXPECT_EQ(std::filesystem::symlink_status(IniPath()).type(), std::filesystem::file_type::fifo);
}

}  // namespace
