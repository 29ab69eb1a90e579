#include <filesystem>

#include "tests/settings/profile_fixture.h"

namespace {

using Profile = ProfileFixture;

TEST_F(Profile, WriteKeepsEveryOtherLineAndReplacesTheKeyInPlace) {
  WriteIni("; kept comment\r\n[Other]\nChipID=7\n\n[rm516x_isp]\nChipID=1\nBaudRate=3\n\n[Tail]\nx=y\n");
  ProfileWriteString("RM516X_ISP", "chipid", "0");
  ProfileWriteString("RM516X_ISP", "Verify", "1");
  ProfileWriteString("New", "Key", "v");
  EXPECT_EQ(ReadIni(),
            "; kept comment\n[Other]\nChipID=7\n\n[rm516x_isp]\nchipid=0\nBaudRate=3\nVerify=1\n\n"
            "[Tail]\nx=y\n\n[New]\nKey=v\n");
  EXPECT_EQ(ProfileReadString("Other", "ChipID", "-"), "7");
  EXPECT_EQ(ProfileReadString("RM516X_ISP", "CHIPID", "-"), "0");
}

TEST_F(Profile, ReadsLikeTheSystemProfile) {
  EXPECT_EQ(ProfileReadString("RM516X_ISP", "OpenFilePath", "."), ".");  // no file yet
  WriteIni("[ RM516X_ISP ]\r\n  OpenFileName1 =  C:\\a b.hex  \r\nQuoted=\"x y\"\r\n"
           "OpenFilePath=" + std::string(300, 'p') + "\r\n[Next]\nMissing=1\n");
  EXPECT_EQ(ProfileReadString("rm516x_isp", "openfilename1", ""), "C:\\a b.hex");
  EXPECT_EQ(ProfileReadString("RM516X_ISP", "Quoted", ""), "x y");
  EXPECT_EQ(ProfileReadString("RM516X_ISP", "OpenFilePath", ".", 255), std::string(255, 'p'));
  EXPECT_EQ(ProfileReadString("RM516X_ISP", "Missing", "fallback"), "fallback");
}

TEST_F(Profile, IntegersAreStrictDecimal) {
  WriteIni("[S]\nA=42\nB= -3 \nC=12abc\nD=\nE=99999999999\nF=0x10\n");
  struct Case { const char* key; int value; bool is_number; };
  for (const Case& c : {Case{"A", 42, true}, Case{"B", -3, true}, Case{"C", 5, false},
                        Case{"D", 5, false}, Case{"E", 5, false}, Case{"F", 5, false},
                        Case{"Absent", 5, true}}) {
    bool is_number = !c.is_number;
    EXPECT_EQ(ProfileReadInt("S", c.key, 5, &is_number), c.value) << c.key;
    EXPECT_EQ(is_number, c.is_number) << c.key;
  }
}

TEST_F(Profile, FirstWriteCreatesTheFolderAndLeavesNoTemporaryFile) {
  ASSERT_FALSE(std::filesystem::exists(Folder()));
  ProfileWriteString("RM516X_ISP", "ChipID", "0");
  ProfileWriteString("RM516X_ISP", "ChipID", "1");
  EXPECT_EQ(ReadIni(), "[RM516X_ISP]\nChipID=1\n");
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Folder())) {
    EXPECT_EQ(entry.path().filename(), "profile.ini");
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

TEST_F(Profile, LineBreakInAValueCannotForgeOtherKeys) {
  ProfileWriteString("RM516X_ISP", "OpenFileName1", "/tmp/a\n[RM516X_ISP]\nChipID=1");
  EXPECT_EQ(ProfileReadString("RM516X_ISP", "OpenFileName1", ""), "/tmp/a");
  EXPECT_EQ(ProfileReadString("RM516X_ISP", "ChipID", "none"), "none");
}

TEST_F(Profile, LocationFollowsXdgConfigHomeOrHome) {
  EXPECT_EQ(ProfileLocation(), IniPath());
  const char* home = std::getenv("HOME");
  std::string saved_home = home ? home : "";
  setenv("HOME", "/home/someone", 1);
  setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  EXPECT_EQ(ProfileLocation(), "/home/someone/.config/rm516x-isp/profile.ini");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(ProfileLocation(), "/home/someone/.config/rm516x-isp/profile.ini");
  setenv("HOME", saved_home.c_str(), 1);
}

}  // namespace
