// The settings and the INI profile under them, each test with the profile in a fresh folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "settings/profile.h"
#include "settings/settings.h"
#include "tests/support/temp_dir.h"

namespace {

class ProfileFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_CONFIG_HOME", temp_.path().c_str(), 1);
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

std::vector<int> Numbers(const ProfileSettings& settings) {
  return {settings.baud_index, settings.com_port, settings.chip_model, settings.fill_byte, settings.verify};
}

TEST_F(Settings, WithoutASectionEverythingTakesItsDefaultAndNothingIsWritten) {
  const ProfileSettings settings = ReadProfileSettings();
  EXPECT_EQ(settings.file_name1 + "|" + settings.file_name2 + "|" + settings.open_path + "|" + settings.warning, "||.|");
  EXPECT_EQ(Numbers(settings), std::vector<int>({6, 0, 0, 255, 1}));
  EXPECT_FALSE(std::filesystem::exists(Folder()));
  WriteSetting("UnusedBytes", 0);
  WriteSetting("OpenFilePath", "/fw");
  EXPECT_EQ(ReadIni(), "[RM516X_ISP]\nUnusedBytes=0\nOpenFilePath=/fw\n");
}

TEST_F(Settings, StoredValuesAreReadAndBadOnesTakeTheirDefaults) {
  WriteIni("[RM516X_ISP]\nOpenFileName1=C:\\a.hex\nOpenFilePath=" + std::string(300, 'd') +
           "\nBaudRate=7\nComPort=3\nChipID=1\nUnusedBytes=-2\nVerify=0\n");
  ProfileSettings settings = ReadProfileSettings();
  EXPECT_EQ(settings.file_name1, "C:\\a.hex");
  EXPECT_EQ(settings.open_path, std::string(255, 'd'));
  EXPECT_EQ(Numbers(settings), std::vector<int>({7, 3, 1, -2, 0}));

  WriteIni("[RM516X_ISP]\nBaudRate=8\nComPort=4\nChipID=one\nUnusedBytes=abc\nVerify=-1\n");
  EXPECT_EQ(Numbers(ReadProfileSettings()), std::vector<int>({6, 0, 0, 255, 1}));
  WriteIni("[RM516X_ISP]\nBaudRate=-1\nComPort=-1\nChipID=2\nVerify=2\n");  // each past its other end
  EXPECT_EQ(Numbers(ReadProfileSettings()), std::vector<int>({6, 0, 0, 255, 1}));
  WriteIni("[RM516X_ISP]\nBaudRate=0\nUnusedBytes=0\n");  // the lowest rate, whose index is no default's
  EXPECT_EQ(Numbers(ReadProfileSettings()), std::vector<int>({0, 0, 0, 0, 1}));
}

TEST_F(Profile, WriteKeepsEveryOtherLine) {
  ProfileWriteString("Other", "ChipID", "7");  // creates the folder
  WriteIni("; kept\r\n[Other]\nChipID=7\n\n[rm516x_isp]\nChipID=1\nBaudRate=3\n\n[Tail]\nx=y\n");
  ASSERT_EQ(chmod(IniPath().c_str(), 0640), 0);  // and the file keeps the mode its user gave it
  ProfileWriteString("RM516X_ISP", "chipid", "0");
  ProfileWriteString("RM516X_ISP", "Verify", "1");
  ProfileWriteString("New", "Key", "v");
  EXPECT_EQ(ReadIni(), "; kept\n[Other]\nChipID=7\n\n[rm516x_isp]\nchipid=0\nBaudRate=3\nVerify=1\n\n"
                       "[Tail]\nx=y\n\n[New]\nKey=v\n");
  struct stat after {};
  ASSERT_EQ(stat(IniPath().c_str(), &after), 0);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
}

TEST_F(Profile, ReadsLikeTheSystemProfileWithStrictIntegers) {
  WriteIni("[ RM516X_ISP ]\r\n  OpenFileName1 =  C:\\a b.hex  \r\nQ=\" x \"\nR='y'\nU=\"z'\nV=\"\"\n[Next]\nMissing=1\n");
  EXPECT_EQ(ProfileReadString("rm516x_isp", "openfilename1", ""), "C:\\a b.hex");
  // Quotes around a whole value go, and keep the spaces inside them.
  EXPECT_EQ(ProfileReadString("RM516X_ISP", "Q", "") + "|" + ProfileReadString("RM516X_ISP", "R", "") + "|" +
                ProfileReadString("RM516X_ISP", "U", "") + "|" + ProfileReadString("RM516X_ISP", "V", "-"),
            " x |y|\"z'|");
  EXPECT_EQ(ProfileReadString("RM516X_ISP", "Missing", "fallback"), "fallback");

  WriteIni("[S]\nAZ= -3 \nP=+3\nC=0x10\nE=99999999999\n");  // keys in any case, A to Z
  struct Case { const char* key; int value; bool is_number; };
  for (const Case& c : {Case{"az", -3, true}, Case{"P", 3, true}, Case{"C", 5, false}, Case{"E", 5, false},
                        Case{"Absent", 5, true}}) {
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
// replaced (its owner's data would go): the defaults, no write, and the reason for the front
// end to show.
TEST_F(Profile, SpecialProfileIsIgnoredWithAWarningAndNeverReplaced) {
  std::filesystem::create_directories(Folder());
  ASSERT_EQ(mkfifo(IniPath().c_str(), 0600), 0);
  EXPECT_EQ(ProfileReadInt("RM516X_ISP", "ChipID", 0), 0);
  EXPECT_EQ(ProfileReadString("RM516X_ISP", "BaudRate", "3"), "3");
  ProfileWriteString("RM516X_ISP", "ChipID", "1");
  const ProfileSettings settings = ReadProfileSettings();
  EXPECT_EQ(settings.warning, "profile " + IniPath() + " is not a regular file; it is ignored");
  EXPECT_EQ(Numbers(settings), std::vector<int>({6, 0, 0, 255, 1}));
  EXPECT_EQ(std::filesystem::symlink_status(IniPath()).type(), std::filesystem::file_type::fifo);
}

}  // namespace
