#include "image/classify_file.h"
#include "image/hex_reader.h"
#include "tests/image/image_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string text;
  for (int v : values) text += static_cast<char>(v);
  return text;
}

TEST(HexReader, HexToValue) {
  std::uint32_t value = 7;
  EXPECT_EQ(HexToValue("1aF0", value), 1);
  EXPECT_EQ(value, 0x1AF0u);
  EXPECT_EQ(HexToValue("", value), 1);
  EXPECT_EQ(value, 0u);
  for (const char* bad : {"G0", " 1", "1:", "-1"}) EXPECT_EQ(HexToValue(bad, value), 0) << bad;
  EXPECT_EQ(HexToValue(std::string_view("1\0", 2), value), 0);
}

TEST(HexReader, ParseFindsTheNextRecordPastAnySeparator) {
  HexRecord record;
  const std::string data = HexRecordText(0, 0x1234, Bytes({0xAB, 0xCD}));
  for (const std::string gap : {"", "\r\n", "\n\n\n", " junk text "}) {
    std::string text = data + gap + kEndRecord;
    std::size_t position = 0;
    ASSERT_EQ(ParseHexRecord(text, record, position), 2);
    EXPECT_EQ(position, data.size() + gap.size());
    EXPECT_EQ(record.Length, 2u);
    EXPECT_EQ(record.Address, 0x1234u);
    EXPECT_EQ(record.Data[1], 0xCD);
    EXPECT_EQ(ParseHexRecord(text, record, position), 0);  // end record
    EXPECT_EQ(position, data.size() + gap.size());
  }
}

TEST(HexReader, ParseFailsOnShortOrBrokenRecordsWithoutReadingPastTheText) {
  HexRecord record;
  const std::string data = HexRecordText(0, 0, Bytes({1, 2, 3, 4}));
  const std::string cases[] = {
      data,                                     // no next ':'
      data + "\r\n",                            // only a line end follows
      data.substr(0, data.size() - 1),          // checksum cut short
      data.substr(0, 12),                       // data cut short
      ":10",                                    // header cut short
      data + std::string(1, '\0') + kEndRecord,  // a zero byte ends the text
      ":040G0000" + data.substr(9),             // non-hex address
  };
  for (const std::string& text : cases) {
    std::size_t position = 0;
    EXPECT_EQ(ParseHexRecord(text, record, position), 1) << text;
  }
  std::size_t past = data.size() + 5;
  EXPECT_EQ(ParseHexRecord(data, record, past), 1);
}

TEST(HexReader, DataLandsInTheTargetBankRoundedToPages) {
  const std::string sixteen(16, '\x5A');
  const std::string text = HexRecordText(0, 0, sixteen) + "\r\n" + kEndRecord + "\r\n";
  struct Case { int model; int mode; std::uint32_t offset; unsigned size; };
  for (const Case& c : {Case{0, 0, 0, 256}, Case{1, 0, 0, 512}, Case{1, 1, 0x10000, 512}, Case{1, 2, 0, 512}}) {
    UseChip(c.model, 0);
    EXPECT_EQ(LoadHexText(text, c.mode), c.size);
    EXPECT_TRUE(ImageRangeIs(c.offset, c.offset + 16, 0x5A));
    EXPECT_EQ(FirmwareImage[c.offset + 16], 0x00);
  }
}

TEST(HexReader, EndIsTheHighestAddressPlusLength) {
  for (unsigned model : {0u, 1u}) {
    UseChip(static_cast<int>(model), 255);
    const std::string text = HexRecordText(0, 0x100, "ab") + HexRecordText(0, 0x234, "") +
                             HexRecordText(0, 0x10, "c") + kEndRecord;
    EXPECT_EQ(LoadHexText(text, 0), model == 0 ? 0x300u : 0x400u);
  }
}

TEST(HexReader, LaterRecordsOverwriteAndBadChecksumsOrLowerCaseAreAccepted) {
  UseChip(0, 255);
  const std::string text = HexRecordText(0, 0, "\x01\x02") + ":0100000003fc\n" + ":01000100" "0400\n" + kEndRecord;
  EXPECT_EQ(LoadHexText(text, 0), 256u);
  EXPECT_EQ(FirmwareImage[0], 0x03);
  EXPECT_EQ(FirmwareImage[1], 0x04);
}

TEST(HexReader, AddressRecordsStoreNothingOtherTypesStoreData) {
  UseChip(0, 0);
  const std::string text = HexRecordText(4, 0x0000, Bytes({0x00, 0x01})) + HexRecordText(2, 0x8000, "\x12\x34") +
                           HexRecordText(3, 0x9000, "\x12\x34\x56\x78") + HexRecordText(5, 0xA000, "\x12\x34\x56\x78") +
                           HexRecordText(7, 0x0010, "\x77") + HexRecordText(0, 0x0000, "\x66") + kEndRecord;
  EXPECT_EQ(LoadHexText(text, 0), 256u);  // End from the data records only
  EXPECT_EQ(FirmwareImage[0], 0x66);
  EXPECT_EQ(FirmwareImage[1], 0x00);
  EXPECT_EQ(FirmwareImage[0x10], 0x77);
  EXPECT_EQ(FirmwareImage[0x8000], 0x00);
  EXPECT_EQ(FirmwareImage[0x9000], 0x00);
  EXPECT_EQ(FirmwareImage[0xA000], 0x00);

  // Address records alone are no data: the read fails.
  EXPECT_EQ(LoadHexText(HexRecordText(4, 0, Bytes({0, 1})) + kEndRecord, 0), 0u);
}

TEST(HexReader, RecordsPastTheBankEndAreCutInOneBankAndRunOnOverBoth) {
  const std::string text = HexRecordText(0, 0xFFF8, std::string(16, '\x5A')) + kEndRecord;
  UseChip(1, 0);
  EXPECT_EQ(LoadHexText(text, 0), 0x10000u);
  EXPECT_TRUE(ImageRangeIs(0xFFF8, 0x10000, 0x5A));
  EXPECT_TRUE(ImageRangeIs(0x10000, 0x10008, 0x00));

  UseChip(1, 0);
  EXPECT_EQ(LoadHexText(text, 1), 0x10000u);
  EXPECT_TRUE(ImageRangeIs(0x1FFF8, 0x20000, 0x5A));
  EXPECT_TRUE(ImageRangeIs(0, 0x10, 0x00));  // nothing wrapped round to bank 0

  UseChip(1, 0);
  EXPECT_EQ(LoadHexText(text, 2), 0x10200u);
  EXPECT_TRUE(ImageRangeIs(0xFFF8, 0x10008, 0x5A));
}

TEST(HexReader, FailureWipesOnlyTheTargetRangeToFF) {
  const std::string data = HexRecordText(0, 0, "\x11\x22");
  const std::string failing[] = {
      data + "\r\n",                                   // no end record
      kEndRecord,                                      // no data
      data + "\r\n" + std::string(1, '\0') + kEndRecord,  // zero byte where the next ':' is sought
  };
  for (const std::string& text : failing) {
    UseChip(1, 0);
    EXPECT_EQ(LoadHexText(text, 1), 0u);
    EXPECT_TRUE(ImageRangeIs(0x10000, 0x20000, 0xFF));
    EXPECT_TRUE(ImageRangeIs(0, 0x10000, 0x00));
    UseChip(1, 0);
    EXPECT_EQ(LoadHexText(text, 2), 0u);
    EXPECT_TRUE(ImageRangeIs(0, 0x20000, 0xFF));
  }
}

TEST(HexReader, FileThatCannotBeReadFailsLikeBadText) {
  UseChip(0, 0);
  TempDir dir;
  EXPECT_EQ(LoadHexFile((dir.path() / "missing.hex").string(), 0), 0u);
  EXPECT_TRUE(ImageRangeIs(0, 0x10000, 0xFF));
  EXPECT_TRUE(ShellRecord().messages.empty());
}

TEST(ClassifyFile, FirstRecordDecides) {
  const std::string end_only = kEndRecord;
  struct Case { std::string bytes; int kind; };
  const Case cases[] = {
      {"", FileKindEmpty},
      {"\x02\x00\x10", FileKindBinary},
      {":100000", FileKindBinary},                     // fewer than 9 bytes
      {":G00000000000", FileKindBinary},               // length not hex
      {HexRecordText(0, 0, "abcd").substr(0, 15), FileKindBinary},  // shorter than its length
      {":0000000GFF", FileKindBinary},                 // type not hex
      {end_only, FileKindHex},
      {end_only + "\r\n", FileKindHex},
      {HexRecordText(0, 0, "ab") + "\n:zz broken", FileKindHex},
      {HexRecordText(0, 0, std::string(255, 'x')), FileKindHex},  // the longest record
  };
  for (const Case& c : cases) EXPECT_EQ(ClassifyBytes(c.bytes), c.kind) << c.bytes;

  TempDir dir;
  EXPECT_EQ(ClassifyFile((dir.path() / "missing.hex").string()), FileKindCannotOpen);
  EXPECT_EQ(ClassifyFile(dir.path().string()), FileKindCannotOpen);
  EXPECT_EQ(ClassifyFile(""), FileKindCannotOpen);
  EXPECT_EQ(ClassifyFile(dir.Write("empty.bin", std::string())), FileKindEmpty);
  EXPECT_EQ(ClassifyFile(dir.Write("end.hex", end_only + "\r\n")), FileKindHex);
}

}  // namespace
