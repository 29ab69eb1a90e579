#include "image/classify_file.h"
#include "image/hex_reader.h"
#include "image/hex_writer.h"
#include "tests/image/image_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(HexReader, DataLandsInTheTargetBankRoundedToPages) {
  // Anything between records is skipped, and so is everything after the end record.
  const std::string text = HexRecordText(0, 0, std::string(16, '\x5A')) + "\r\n junk :00000001ff\n:zz\n";
  struct Case { const ChipSpec* chip; int mode; std::uint32_t offset; unsigned size; };
  for (const Case& c : {Case{&kRm5164, 0, 0, 256}, Case{&kRm5168, 0, 0, 512}, Case{&kRm5168, 1, 0x10000, 512},
                        Case{&kRm5168, 2, 0, 512}}) {
    BankImage image = EmptyImage(*c.chip, 0);
    EXPECT_EQ(LoadHexText(image, text, c.mode).size, c.size);
    EXPECT_TRUE(RangeIs(image, c.offset, c.offset + 16, 0x5A));
    EXPECT_EQ(image.bytes[c.offset + 16], 0x00);
  }
  // The end is the highest address + length, an empty record included.
  const std::string records = HexRecordText(0, 0x100, "ab") + HexRecordText(0, 0x234, "") +
                              HexRecordText(0, 0, "\x03") + HexRecordText(0, 0, "\x04") + kEndRecord;
  BankImage large = EmptyImage(kRm5168, 0);
  EXPECT_EQ(LoadHexText(large, records, 0).size, 0x400u);
  EXPECT_EQ(large.bytes[0], 0x04);  // later records overwrite
  BankImage small = EmptyImage(kRm5164, 0);
  EXPECT_EQ(LoadHexText(small, records, 0).size, 0x300u);
}

TEST(HexReader, ExtendedAddressesPlaceDataOverBothBanksAndAreOffsetsInOne) {
  const std::string base0 = HexRecordText(4, 0, std::string("\0\0", 2));
  const std::string base1 = HexRecordText(4, 0, std::string("\0\1", 2));
  const std::string segment = HexRecordText(2, 0, std::string("\x10\0", 2));  // 0x1000 x 16 = 0x10000
  const std::string data = HexRecordText(0, 0x10, "\x5A");
  struct Case { std::string text; int mode; std::uint32_t at; unsigned size; };
  const Case cases[] = {
      {base0 + HexRecordText(0, 0, "\x01") + base1 + data + kEndRecord, 2, 0x10010, 0x10200},
      {HexRecordText(2, 0, std::string("\x08\0", 2)) + HexRecordText(0, 0x8010, "\x5A") + kEndRecord, 2,
       0x10010, 0x10200},
      {base1 + HexRecordText(0, 0xFFFF, "\x5A") + kEndRecord, 2, 0x1FFFF, 0x20000},
      // One bank: a constant base, or a base set again with no data under the first.
      {segment + base0 + data + kEndRecord, 0, 0x10, 512},
      {base1 + data + segment + data + kEndRecord, 0, 0x10, 512},  // the same base spelled as a segment
      // 03 and 05 hold a start address; any type but 01 to 05 is data.
      {HexRecordText(3, 0, "\x12\x34\x56\x78") + HexRecordText(5, 0x9000, "\x12\x34\x56\x78") +
           HexRecordText(7, 0x10, "\x5A") + kEndRecord, 0, 0x10, 512},
  };
  for (const Case& c : cases) {
    BankImage image = EmptyImage(kRm5168, 0);
    const HexLoadResult result = LoadHexText(image, c.text, c.mode);
    EXPECT_EQ(result.error, HexOk) << c.text;
    EXPECT_EQ(result.size, c.size) << c.text;
    EXPECT_EQ(image.bytes[c.at], 0x5A) << c.text;
    EXPECT_EQ(std::count(image.bytes.begin(), image.bytes.end(), 0x5A), 1) << c.text;
  }
}

TEST(HexReader, RecordsPastTheBankEndAreCutInOneBankAndRunOnOverBoth) {
  const std::string text = HexRecordText(0, 0xFFF8, std::string(16, '\x5A')) + kEndRecord;
  struct Case { int mode; unsigned size; std::uint32_t from, to, clean; };
  for (const Case& c : {Case{0, 0x10000, 0xFFF8, 0x10000, 0x10000}, Case{1, 0x10000, 0x1FFF8, 0x20000, 0},
                        Case{2, 0x10200, 0xFFF8, 0x10008, 0x10008}}) {
    BankImage image = EmptyImage(kRm5168, 0);
    EXPECT_EQ(LoadHexText(image, text, c.mode).size, c.size);
    EXPECT_TRUE(RangeIs(image, c.from, c.to, 0x5A));
    EXPECT_TRUE(RangeIs(image, c.clean, c.clean + 8, 0x00));  // nothing spilled or wrapped round
  }
}

// What the writer makes opens again as the same bytes: over both banks (bank 1 through its
// 04 record, or alone down to one byte), and bank 0 alone into one bank.
TEST(HexWriter, OutputReadsBackAsTheSameImage) {
  struct Case { std::uint32_t bank0_bytes; std::uint32_t bank1_bytes; int mode; const ChipSpec* chip; };
  const Case cases[] = {{0x10000, 0xFC00, 2, &kRm5168}, {0, 1, 2, &kRm5168}, {0xFE00, 0, 0, &kRm5164},
                        {0x1234, 0, 0, &kRm5164}};
  const std::vector<std::uint8_t> source = TestBytes(kImageCapacityBytes, 13);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bank0_bytes + c.bank1_bytes);
    BankImage image = EmptyImage(*c.chip, 0);
    const HexLoadResult result =
        LoadHexText(image, WriteHexText(source.data(), c.bank0_bytes, c.bank1_bytes), c.mode);
    ASSERT_EQ(result.error, HexOk);
    EXPECT_EQ(result.bad_checksums, 0u);
    EXPECT_TRUE(std::equal(source.begin(), source.begin() + c.bank0_bytes, image.bytes.begin()));
    EXPECT_TRUE(std::equal(source.begin() + kBankSizeBytes, source.begin() + kBankSizeBytes + c.bank1_bytes,
                           image.bytes.begin() + kBankSizeBytes));
    if (c.bank0_bytes == 0) {
      EXPECT_TRUE(RangeIs(image, 0, kBankSizeBytes, 0));
    }
  }
}

// Text meant as HEX is read as HEX however its first line is spoiled; other text is refused
// (the open sequence's table shows the rest).
TEST(ClassifyBytes, TextBeforeTheFirstRecordDecides) {
  struct Case { std::string bytes; int kind; };
  const Case cases[] = {
      {"", FileKindEmpty},
      {"\x02\x00\x10", FileKindBinary},
      {std::string(":\x01\x02\n", 4), FileKindBinary},  // ':' then bytes that are no text
      {"read me first\n" + std::string(4096 - 14, 'x') + "\x02", FileKindText},  // only 4 KiB count
      {":00000001FF \t\r\n", FileKindHex},  // blanks after a record
      {"no line break", FileKindBinary},
      {std::string("\xFE\xFF\0:\0\n", 6), FileKindText},  // UTF-16 text, either byte order
      {"\xFF\xFE" "A\x12", FileKindBinary},  // a flash that starts FF FE: no ASCII in UTF-16,
      {std::string("\xFF\xFE\x02\x00", 4), FileKindBinary},  // be it by its high or its low byte
  };
  for (const Case& c : cases) EXPECT_EQ(ClassifyBytes(c.bytes), c.kind) << c.bytes;
}

}  // namespace
