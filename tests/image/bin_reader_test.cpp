#include "image/bin_reader.h"
#include "tests/image/image_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(BinReader, SizeLimitIsInclusiveAndOverItTheUserIsTold) {
  TempDir dir;
  int owner = 0;
  struct Case { int mode; std::size_t length; unsigned result; const char* limit; };
  for (const Case& c : {Case{0, 0x10000, 0x10000, nullptr}, Case{0, 0x10001, 0, "65536"},
                        Case{1, 0x10001, 0, "65536"}, Case{2, 0x20000, 0x20000, nullptr},
                        Case{2, 0x20001, 0, "131072"}}) {
    UseChip(1, 0);
    const std::string path = dir.Write("big.bin", std::string(c.length, '\x5A'));
    EXPECT_EQ(LoadBinFile(&owner, path, c.mode), c.result);
    RecordedShell shell = ShellRecord();
    if (c.limit) {
      ASSERT_EQ(shell.messages.size(), 1u);
      EXPECT_EQ(shell.messages[0].text, path + " > " + c.limit + " bytes ...");
      EXPECT_EQ(shell.messages[0].kind, MessageError);
      EXPECT_EQ(shell.messages[0].owner, &owner);
      EXPECT_TRUE(ImageRangeIs(0, 0x1FFFF, 0x00));  // nothing written
    } else {
      EXPECT_TRUE(shell.messages.empty());
      EXPECT_TRUE(ImageRangeIs(0, static_cast<std::uint32_t>(c.length), 0x5A));
    }
  }
}

TEST(BinReader, OneByteTakesAPageAndTheRestOfThePageKeepsTheImage) {
  for (int model : {0, 1}) {
    UseChip(model, 0);
    const std::uint8_t after_byte = FirmwareImage[0x10001];
    EXPECT_EQ(LoadBinBytes(nullptr, "one.bin", "\x42", 1), model == 0 ? 256u : 512u);
    EXPECT_EQ(FirmwareImage[0x10000], 0x42);
    EXPECT_EQ(FirmwareImage[0x10001], after_byte);
    EXPECT_EQ(FirmwareImage[0], 0x00);
  }
}

TEST(BinReader, NothingToReadGivesZeroWithoutABox) {
  UseChip(0, 255);
  TempDir dir;
  EXPECT_EQ(LoadBinBytes(nullptr, "empty.bin", "", 0), 0u);
  EXPECT_EQ(LoadBinFile(nullptr, (dir.path() / "vanished.bin").string(), 0), 0u);
  EXPECT_TRUE(ShellRecord().messages.empty());
}

}  // namespace
