#include "image/classify_file.h"
#include "image/hex_reader.h"
#include "tests/image/image_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(HexReader, ParseSkipsAnySeparatorAndFailsRatherThanReadPastTheText) {
  HexRecord record;
  const std::string data = HexRecordText(0, 0x1234, "\xAB\xCD");
  for (const std::string gap : {"", "\r\n", "\n\n\n", " junk "}) {
    const std::string text = data + gap + ":00000001ff";  // lower case is accepted too
    std::size_t position = 0;
    ASSERT_EQ(ParseHexRecord(text, record, position), 2);
    EXPECT_EQ(position, data.size() + gap.size());
    EXPECT_EQ(record.Address, 0x1234u);
    EXPECT_EQ(record.Data[1], 0xCD);
    EXPECT_EQ(ParseHexRecord(text, record, position), 0);
    EXPECT_EQ(position, data.size() + gap.size());  // an end record leaves it
  }
  const std::string broken[] = {
      data, data + "\r\n",                        // no next ':'
      data.substr(0, data.size() - 1), ":10",     // cut short
      data + std::string(1, '\0') + kEndRecord,   // a zero byte ends the text
      ":020G0000" + data.substr(9),               // not hex
  };
  for (const std::string& text : broken) {
    std::size_t position = 0;
    EXPECT_EQ(ParseHexRecord(text, record, position), 1) << text;
  }
  std::size_t past = data.size() + 5;
  EXPECT_EQ(ParseHexRecord(data, record, past), 1);
}

TEST(HexReader, DataLandsInTheTargetBankRoundedToPages) {
  const std::string text = HexRecordText(0, 0, std::string(16, '\x5A')) + "\r\n" + kEndRecord + "\r\n";
  struct Case { int model; int mode; std::uint32_t offset; unsigned size; };
  for (const Case& c : {Case{0, 0, 0, 256}, Case{1, 0, 0, 512}, Case{1, 1, 0x10000, 512}, Case{1, 2, 0, 512}}) {
    UseChip(c.model, 0);
    EXPECT_EQ(LoadHexText(text, c.mode), c.size);
    EXPECT_TRUE(ImageRangeIs(c.offset, c.offset + 16, 0x5A));
    EXPECT_EQ(FirmwareImage[c.offset + 16], 0x00);
  }
  // The end is the highest address + length, an empty record included; a wrong sum is accepted.
  const std::string records = HexRecordText(0, 0x100, "ab") + HexRecordText(0, 0x234, "") + ":0100000003FF" +
                              HexRecordText(0, 0, "\x04") + kEndRecord;
  EXPECT_EQ(LoadHexText(records, 0), 0x400u);
  EXPECT_EQ(FirmwareImage[0], 0x04);  // later records overwrite
  UseChip(0, 0);
  EXPECT_EQ(LoadHexText(records, 0), 0x300u);
}

TEST(HexReader, AddressRecordsStoreNothingOtherTypesStoreData) {
  UseChip(0, 0);
  const std::string text = HexRecordText(4, 0, std::string("\0\1", 2)) + HexRecordText(2, 0x8000, "\x12\x34") +
                           HexRecordText(3, 0x9000, "\x12\x34\x56\x78") + HexRecordText(5, 0xA000, "\x12\x34") +
                           HexRecordText(7, 0x10, "\x77") + HexRecordText(0, 0, "\x66") + kEndRecord;
  EXPECT_EQ(LoadHexText(text, 0), 256u);
  EXPECT_EQ(FirmwareImage[0], 0x66);
  EXPECT_EQ(FirmwareImage[1], 0x00);
  EXPECT_EQ(FirmwareImage[0x10], 0x77);
  EXPECT_EQ(FirmwareImage[0x8000] | FirmwareImage[0x9000] | FirmwareImage[0xA000], 0x00);
}

TEST(HexReader, RecordsPastTheBankEndAreCutInOneBankAndRunOnOverBoth) {
  const std::string text = HexRecordText(0, 0xFFF8, std::string(16, '\x5A')) + kEndRecord;
  struct Case { int mode; unsigned size; std::uint32_t from, to, clean; };
  for (const Case& c : {Case{0, 0x10000, 0xFFF8, 0x10000, 0x10000}, Case{1, 0x10000, 0x1FFF8, 0x20000, 0},
                        Case{2, 0x10200, 0xFFF8, 0x10008, 0x10008}}) {
    UseChip(1, 0);
    EXPECT_EQ(LoadHexText(text, c.mode), c.size);
    EXPECT_TRUE(ImageRangeIs(c.from, c.to, 0x5A));
    EXPECT_TRUE(ImageRangeIs(c.clean, c.clean + 8, 0x00));  // nothing spilled or wrapped round
  }
}

TEST(HexReader, FailureWipesTheTargetRangeToFF) {
  const std::string data = HexRecordText(0, 0, "\x11\x22");
  for (const std::string& text : {data + "\r\n", kEndRecord, HexRecordText(4, 0, "ab") + kEndRecord,
                                 data + "\r\n" + std::string(1, '\0') + kEndRecord}) {
    UseChip(1, 0);
    EXPECT_EQ(LoadHexText(text, 1), 0u);
    EXPECT_TRUE(ImageRangeIs(0x10000, 0x20000, 0xFF));
    EXPECT_TRUE(ImageRangeIs(0, 0x10000, 0x00));
    EXPECT_EQ(LoadHexText(text, 2), 0u);
    EXPECT_TRUE(ImageRangeIs(0, 0x20000, 0xFF));
  }
}

TEST(ClassifyFile, FirstRecordDecides) {
  struct Case { std::string bytes; int kind; };
  const Case cases[] = {
      {"", FileKindEmpty},
      {"\x02\x00\x10", FileKindBinary},
      {":100000", FileKindBinary},                                  // fewer than 9 bytes
      {":G00000000000", FileKindBinary},                            // length not hex
      {HexRecordText(0, 0, "abcd").substr(0, 15), FileKindBinary},  // shorter than its length
      {":0000000GFF", FileKindBinary},                              // type not hex
      {kEndRecord, FileKindHex},
      {HexRecordText(0, 0, "ab") + "\n:zz broken", FileKindHex},
      {HexRecordText(0, 0, std::string(255, 'x')), FileKindHex},  // the longest record
  };
  for (const Case& c : cases) EXPECT_EQ(ClassifyBytes(c.bytes), c.kind) << c.bytes;

  TempDir dir;
  EXPECT_EQ(ClassifyFile((dir.path() / "missing.hex").string()), FileKindCannotOpen);
  EXPECT_EQ(ClassifyFile(dir.path().string()), FileKindCannotOpen);
  EXPECT_EQ(ClassifyFile(dir.Write("empty.bin", std::string())), FileKindEmpty);
  EXPECT_EQ(ClassifyFile(dir.Write("end.hex", kEndRecord + "\r\n")), FileKindHex);
}

}  // namespace
