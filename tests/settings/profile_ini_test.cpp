#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "tests/settings/profile_fixture.h"

namespace {

using Profile = ProfileFixture;

TEST_F(Profile, WriteKeepsEveryOtherLineAndLeavesNoTemporaryFile) {
  ProfileWriteString("Other", "ChipID", "7");  // creates the folder
  WriteIni("; kept\r\n[Other]\nChipID=7\n\n[rm516x_isp]\nChipID=1\nBaudRate=3\n\n[Tail]\nx=y\n");
  ProfileWriteString("RM516X_ISP", "chipid", "0");
  ProfileWriteString("RM516X_ISP", "Verify", "1");
  ProfileWriteString("New", "Key", "v");
  EXPECT_EQ(ReadIni(), "; kept\n[Other]\nChipID=7\n\n[rm516x_isp]\nchipid=0\nBaudRate=3\nVerify=1\n\n"
                       "[Tail]\nx=y\n\n[New]\nKey=v\n");
  auto entries = std::filesystem::directory_iterator(Folder());
  EXPECT_EQ(std::distance(begin(entries), end(entries)), 1);
}

TEST_F(Profile, ReadsLikeTheSystemProfileWithStrictIntegers) {
  WriteIni("[ RM516X_ISP ]\r\n  OpenFileName1 =  C:\\a b.hex  \r\nQuoted=\"x y\"\r\n[Next]\nMissing=1\n");
  EXPECT_EQ(ProfileReadString("rm516x_isp", "openfilename1", ""), "C:\\a b.hex");
  EXPECT_EQ(ProfileReadString("RM516X_ISP", "Quoted", ""), "x y");
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

// A profile that is not a plain file of ours is neither read (it could block or never end)
// nor replaced (its owner's other data would go): one warning, the defaults, no write.
TEST_F(Profile, SpecialOrHugeProfileIsIgnoredWithOneWarningAndNeverReplaced) {
  std::filesystem::create_directories(Folder());
  const std::string big = std::string("[RM516X_ISP]\nChipID=1\n") + std::string(1024 * 1024, ';');
  struct Case { std::function<void()> make; std::filesystem::file_type type; std::string warning; };
  const Case cases[] = {
      {[&] { ASSERT_EQ(mkfifo(IniPath().c_str(), 0600), 0); }, std::filesystem::file_type::fifo,
       "profile " + IniPath() + " is not a regular file; it is ignored"},
      {[&] { WriteIni(big); }, std::filesystem::file_type::regular,
       "profile " + IniPath() + " is larger than 1 MiB; it is ignored"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.warning);
    std::filesystem::remove(IniPath());
    c.make();
    ResetShellRecord();
    EXPECT_EQ(ProfileReadInt("RM516X_ISP", "ChipID", 0), 0);
    EXPECT_EQ(ProfileReadString("RM516X_ISP", "BaudRate", "3"), "3");
    ProfileWriteString("RM516X_ISP", "ChipID", "1");
    const auto messages = ShellRecord().messages;
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, c.warning);
    EXPECT_EQ(messages[0].kind, MessageWarning);
    EXPECT_EQ(std::filesystem::symlink_status(IniPath()).type(), c.type);
  }
  EXPECT_EQ(std::filesystem::file_size(IniPath()), big.size());
}

}  // namespace
