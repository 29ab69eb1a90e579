#include "image/bin_reader.h"
#include "tests/image/image_fixture.h"

namespace {

TEST(BinReader, SizeLimitIsInclusiveAndOverItTheUserIsTold) {
  int owner = 0;
  struct Case { int mode; std::size_t length; unsigned result; const char* limit; };
  for (const Case& c : {Case{0, 0x10000, 0x10000, nullptr}, Case{1, 0x10001, 0, "65536"},
                        Case{2, 0x20000, 0x20000, nullptr}, Case{2, 0x20001, 0, "131072"}}) {
    UseChip(1, 0);
    const std::string path = "/fw/big.bin";
    EXPECT_EQ(LoadBinBytes(&owner, path, std::string(c.length, '\x5A'), c.mode), c.result);
    std::vector<std::string> errors;
    if (c.limit) errors.push_back(path + " > " + c.limit + " bytes ...");
    ExpectMessages(&owner, MessageError, errors);
    EXPECT_TRUE(ImageRangeIs(0, c.limit ? 0x1FFFF : static_cast<std::uint32_t>(c.length), c.limit ? 0 : 0x5A));
  }
  EXPECT_EQ(LoadBinBytes(&owner, "empty.bin", "", 0), 0u);
  EXPECT_EQ(ShellRecord().messages.size(), 1u);  // says nothing

  UseChip(1, 0);  // one byte takes a page; the rest of the page keeps the image
  FirmwareImage[0x10001] = 0x77;
  EXPECT_EQ(LoadBinBytes(nullptr, "one.bin", "\x42", 1), 512u);
  EXPECT_EQ(FirmwareImage[0x10000] + (FirmwareImage[0x10001] << 8), 0x7742);
}

}  // namespace
