#include "image/classify_file.h"
#include "image/file_open.h"
#include "tests/image/image_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

class Placement : public ::testing::Test {
 protected:
  std::string Bin(const std::string& name, std::size_t length, char value = '\x5A') {
    return dir_.Write(name, std::string(length, value));
  }
  TempDir dir_;
  int owner_ = 0;
};

TEST_F(Placement, UnreadableAndEmptyFilesAreReported) {
  UseChip(0, 255);
  const std::string empty = Bin("empty.bin", 0);
  struct Case { std::string path; std::string text; };
  for (const Case& c : {Case{"", " open error"}, Case{empty, empty + " is an empty file"},
                        Case{dir_.path().string(), dir_.path().string() + " open error"}}) {
    ResetShellRecord();
    FileName1 = c.path;
    OpenSingleFile(&owner_);
    RecordedShell shell = ShellRecord();
    ASSERT_EQ(shell.messages.size(), 1u);
    EXPECT_EQ(shell.messages[0].text, c.text);
    EXPECT_EQ(shell.messages[0].kind, MessageError);
    EXPECT_EQ(shell.messages[0].owner, &owner_);
    EXPECT_EQ(FileState, 0);
    EXPECT_EQ(shell.title, "RM516X ISP utility -- No file is opened");
  }
}

TEST_F(Placement, HexThatFailsIsReadAsBinaryOverTheFFWipe) {
  UseChip(0, 0);
  const std::string path = dir_.Write("end.hex", ":00000001FF\r\n");
  EXPECT_EQ(LoadFile(&owner_, ClassifyFile(path), path, PlaceBank0), 256u);
  EXPECT_EQ(FirmwareImage[0], ':');
  EXPECT_EQ(FirmwareImage[12], '\n');
  EXPECT_TRUE(ImageRangeIs(13, 256, 0xFF));  // the failed HEX read's wipe, not the fill
}

TEST_F(Placement, BytesInMemoryPlaceLikeTheFile) {
  const std::string text = ":00000001FF\r\n";  // HEX that fails, then 13 bytes of binary
  UseChip(1, 0);
  EXPECT_EQ(PlaceBytes(&owner_, "mem.hex", text, PlaceBothBanks), 1);
  EXPECT_EQ(Bank0Size, 0x10000u);
  EXPECT_EQ(Bank1Size, 0x10000u);
  EXPECT_EQ(FirmwareImage[0x10000], ':');
  EXPECT_TRUE(ImageRangeIs(0x1000D, 0x10200, 0xFF));
  EXPECT_TRUE(ImageRangeIs(0, 0x10000, 0x00));

  EXPECT_EQ(PlaceBytes(&owner_, "mem.bin", "", PlaceBank1), 0);
  ASSERT_EQ(ShellRecord().messages.size(), 1u);
  EXPECT_EQ(ShellRecord().messages[0].text, "mem.bin is an empty file");
}

TEST_F(Placement, RM5164OpensOneFileIntoBankZero) {
  UseChip(0, 255);
  FileName1 = dir_.Write("fw.hex", HexRecordText(0, 0, "\x01\x02\x03") + "\n:00000001FF\n");
  OpenSingleFile(&owner_);
  EXPECT_EQ(FileState, 1);
  EXPECT_EQ(Bank0Size, 256u);
  EXPECT_EQ(Bank1Size, 0u);
  EXPECT_EQ(FirmwareImage[2], 0x03);
  EXPECT_EQ(ShellRecord().title, "RM516X ISP utility -- " + FileName1);
  EXPECT_EQ(ShellRecord().status[2], "BANK0 : 256 byte(s)");

  // A full bank is accepted, then cut to the chip's limit.
  UseChip(0, 255);
  FileName1 = Bin("full.bin", 0x10000);
  OpenSingleFile(&owner_);
  EXPECT_EQ(FileState, 1);
  EXPECT_EQ(Bank0Size, 0xFE00u);
  ASSERT_EQ(ShellRecord().messages.size(), 1u);
  EXPECT_EQ(ShellRecord().messages[0].text, "Program size > 65024 bytes\nOnly 65024 bytes will be burned");
}

TEST_F(Placement, SmallFileOverBothBanksMovesToBankOne) {
  UseChip(1, 255);
  FileName1 = Bin("small.bin", 20480);
  EXPECT_TRUE(OpenFileOverBothBanks(&owner_));
  EXPECT_EQ(Bank0Size, 0u);
  EXPECT_EQ(Bank1Size, 20480u);
  EXPECT_TRUE(ImageRangeIs(0, 0x10000, 0xFF));
  EXPECT_TRUE(ImageRangeIs(0x10000, 0x10000 + 20480, 0x5A));
  EXPECT_EQ(ShellRecord().title, "RM516X ISP utility -- " + FileName1);

  UseChip(1, 0);
  FileName1 = Bin("small.bin", 20480);
  EXPECT_TRUE(OpenFileOverBothBanks(&owner_));
  EXPECT_EQ(Bank0Size, 0x10000u);
  EXPECT_EQ(Bank1Size, 0xFC00u);
  EXPECT_TRUE(ImageRangeIs(0, 0x10000, 0x00));
  ASSERT_EQ(ShellRecord().messages.size(), 1u);
  EXPECT_EQ(ShellRecord().messages[0].text, "Program size > 130048 bytes\nOnly 130048 bytes will be burned");

  UseChip(1, 255);
  FileName1 = dir_.Write("low.hex", HexRecordText(0, 0x3F0, std::string(16, '\x77')) + "\n:00000001FF\n");
  EXPECT_TRUE(OpenFileOverBothBanks(&owner_));
  EXPECT_EQ(Bank1Size, 0x400u);
  EXPECT_TRUE(ImageRangeIs(0x103F0, 0x10400, 0x77));
}

TEST_F(Placement, LargeFileOverBothBanksSplitsAtTheBankBoundary) {
  UseChip(1, 255);
  FileName1 = Bin("large.bin", 100000);
  EXPECT_TRUE(OpenFileOverBothBanks(&owner_));
  EXPECT_EQ(Bank0Size, 0x10000u);
  EXPECT_EQ(Bank1Size, 34816u);  // 100,352 bytes of whole pages, less bank 0
  EXPECT_EQ(FirmwareImage[99999], 0x5A);
  EXPECT_EQ(FirmwareImage[100000], 0xFF);
}

TEST_F(Placement, TwoFilesOnePerBank) {
  UseChip(1, 255);
  FileName1 = Bin("a.bin", 600, '\x0A');
  FileName2 = Bin("b.bin", 10, '\x0B');
  EXPECT_TRUE(OpenFilesOnePerBank(&owner_));
  EXPECT_EQ(FileState, 2);
  EXPECT_EQ(Bank0Size, 1024u);
  EXPECT_EQ(Bank1Size, 512u);
  EXPECT_EQ(FirmwareImage[599], 0x0A);
  EXPECT_EQ(FirmwareImage[0x10009], 0x0B);
  EXPECT_EQ(ShellRecord().title, "RM516X ISP utility -- " + FileName1 + "  ,  " + FileName2);

  // The second file fails: nothing of the first is left to burn.
  UseChip(1, 255);
  FileName1 = Bin("a.bin", 600, '\x0A');
  FileName2 = "";
  EXPECT_FALSE(OpenFilesOnePerBank(&owner_));
  EXPECT_EQ(FileState, 0);
  EXPECT_EQ(Bank0Size, 0u);
  EXPECT_EQ(FirmwareImage[0], 0xFF);
  ASSERT_EQ(ShellRecord().messages.size(), 1u);
  EXPECT_EQ(ShellRecord().messages[0].text, " open error");
  EXPECT_EQ(ShellRecord().title, "RM516X ISP utility -- No file is opened");
}

TEST(PlacementPaths, BaseFileNameAndShortenPath) {
  EXPECT_EQ(BaseFileName("C:\\fw\\main.hex"), "main.hex");
  EXPECT_EQ(BaseFileName("main.hex"), "main.hex");
  EXPECT_EQ(BaseFileName(""), "");
  EXPECT_EQ(BaseFileName("C:\\fw\\"), "");
  EXPECT_EQ(ShortenPath("C:\\Projects\\Firmware\\Release\\build\\main.hex"), "C:\\Projects\\Firmware\\ ... \\main.hex");
  EXPECT_EQ(ShortenPath("C:\\Projects\\Firmware\\very_long_file_name_x.hex"),
            "C:\\Projects\\Firmware\\very_long_file_name_x.hex");
  EXPECT_EQ(ShortenPath("C:\\a\\b\\c\\d\\e.hex"), "C:\\a\\b\\c\\d\\e.hex");  // under 40 characters
  EXPECT_EQ(ShortenPath(""), "");
}

}  // namespace
