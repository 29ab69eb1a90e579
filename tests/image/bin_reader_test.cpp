#include "image/bin_reader.h"
#include "tests/image/image_fixture.h"

namespace {

TEST(BinReader, SizeLimitIsInclusiveAndOverItTheUserIsTold) {
  struct Case { int mode; std::size_t length; unsigned result; const char* limit; };
  for (const Case& c : {Case{0, 0x10000, 0x10000, nullptr}, Case{1, 0x10001, 0, "65536"},
                        Case{2, 0x20000, 0x20000, nullptr}, Case{2, 0x20001, 0, "131072"}}) {
    BankImage image = EmptyImage(kRm5168, 0);
    std::vector<LoadMessage> messages;
    const std::string path = "/fw/big.bin";
    EXPECT_EQ(LoadBinBytes(image, path, std::string(c.length, '\x5A'), c.mode, messages), c.result);
    std::vector<std::string> errors;
    if (c.limit) errors.push_back(path + " > " + c.limit + " bytes ...");
    ExpectMessages(messages, LoadError, errors);
    EXPECT_TRUE(RangeIs(image, 0, c.limit ? 0x1FFFF : static_cast<std::uint32_t>(c.length), c.limit ? 0 : 0x5A));
  }
  BankImage image = EmptyImage(kRm5168, 0);
  std::vector<LoadMessage> messages;
  EXPECT_EQ(LoadBinBytes(image, "empty.bin", "", 0, messages), 0u);
  EXPECT_TRUE(messages.empty());  // says nothing

  image.bytes[0x10001] = 0x77;  // one byte takes a page; the rest of the page keeps the image
  EXPECT_EQ(LoadBinBytes(image, "one.bin", "\x42", 1, messages), 512u);
  EXPECT_EQ(image.bytes[0x10000] + (image.bytes[0x10001] << 8), 0x7742);
}

}  // namespace
