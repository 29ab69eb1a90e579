#include "image/file_open.h"
#include "image/hex_reader.h"
#include "image/hex_writer.h"
#include "tests/image/image_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

class Placement : public ::testing::Test {
 protected:
  std::string Bin(const std::string& name, std::size_t length, char value = '\x5A') {
    return dir_.Write(name, std::string(length, value));
  }
  TempDir dir_;
};

TEST_F(Placement, UnreadableAndEmptyFilesAreReported) {
  const std::string empty = Bin("empty.bin", 0);
  for (const std::string& path : {std::string(), empty, dir_.path().string()}) {
    BankImage image = EmptyImage(kRm5164, 255);
    const LoadReport report = OpenOneFile(image, path, PlaceBank0);
    ExpectMessages(report.messages, LoadError, {path + (path == empty ? " is an empty file" : " open error")});
    EXPECT_EQ(image.file_state, 0);
    EXPECT_EQ(report.title, "RM516X ISP utility -- No file is opened");
  }
}

TEST_F(Placement, HexFindingsAreToldAndErrorsPlaceNothing) {
  const std::string path = "/fw/app.hex";
  const std::string data = HexRecordText(0, 0, "\x11\x22") + "\n";
  const std::string base1 = HexRecordText(4, 0, std::string("\0\1", 2)) + "\n";
  struct Case { std::string bytes; int mode; int kind; std::string text; };
  const std::vector<Case> cases = {
      {data + ":0200100011G2\n" + kEndRecord, 0, LoadError, path + ": line 2: not a valid HEX record"},
      {data + "\r\n" + data.substr(0, 10), 2, LoadError, path + ": line 3: not a valid HEX record"},
      {data + ":0100000403F8\n", 2, LoadError, path + ": line 2: not a valid HEX record"},  // 1-byte base
      {kEndRecord, 0, LoadError, path + " holds no data"},
      {base1 + kEndRecord, 2, LoadError, path + " holds no data"},
      // The first address past the chip is named: a record across its end, a segment beyond it.
      {data + base1 + HexRecordText(0, 0xFFF8, std::string(9, 'x')), 2, LoadError,
       path + ": line 3: address 0x20000 lies beyond the chip's 128 KiB"},
      {HexRecordText(2, 0, std::string("\x30\0", 2)) + "\n" + data, 2, LoadError,
       path + ": line 2: address 0x30000 lies beyond the chip's 128 KiB"},
      {data + base1 + data, 1, LoadError, path + ": line 2: a second address base; a file for one bank takes one"},
      {data + std::string(kHexFileMaxBytes, '\n'), 0, LoadError, path + " > 16777216 bytes ..."},
      {data + ":0100100003FF\n", 0, LoadError, path + " has no end record: is it cut short?"},
      {data + std::string(1, '\0') + kEndRecord, 0, LoadError,
       path + ": line 2: a zero byte before the end record"},
      {" \t:0200000011G2\n" + kEndRecord, 0, LoadError, path + ": line 1: not a valid HEX record"},
      // Text that is not HEX is refused, never burned as its characters.
      {"S00600004844521B\nS9030000FC\n", 2, LoadError,
       path + " is a Motorola S-record file, not Intel HEX (convert it first: objcopy -I srec -O ihex " + path +
           " OUT.hex)"},
      {std::string("\xFF\xFE:\0" "0\0", 6), 0, LoadError,
       path + " is a text file, not Intel HEX (it is UTF-16: save it as UTF-8 or ASCII)"},
      {"notes\r\n", 1, LoadError, path + " is a text file, not Intel HEX"},
      // A byte-order mark and a blank line before the records; the later of two writes wins.
      {"\xEF\xBB\xBF\r\n" + data + HexRecordText(0, 1, "\x33") + "\n" + kEndRecord, 0, LoadWarning,
       path + ": line 3: overwrites data of an earlier record (1 record in all)"},
      // CR LF ends one line; the end record's checksum counts too.
      {HexRecordText(0, 0, "\x11\x22") + "\r\n:0100100003FF\r\n" + HexRecordText(0, 0x20, "\x11") +
           "\r\n:00000001FE\n", 0, LoadWarning,
       path + ": line 2: wrong record checksum (2 records in all)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    BankImage image = EmptyImage(kRm5168, 255);
    std::vector<LoadMessage> messages;
    const int placed = PlaceBytes(image, path, c.bytes, c.mode, messages);
    EXPECT_EQ(placed, c.kind == LoadWarning ? 1 : 0);
    EXPECT_EQ(image.bank_bytes[0] + image.bank_bytes[1], placed ? 512u : 0u);
    EXPECT_TRUE(placed || RangeIs(image, c.mode == 1 ? 0x10000 : 0, c.mode == 0 ? 0x10000 : 0x20000, 0xFF));
    ExpectMessages(messages, c.kind, {c.text});
  }
}

TEST_F(Placement, OneFileOverBothBanks) {
  struct Case { int fill; std::size_t length; std::uint32_t bank0, bank1; std::size_t warnings; };
  // warnings: the program cut to what the RM5168 takes.
  for (const Case& c : {Case{255, 20480, 0, 20480, 0}, Case{0, 20480, 0x10000, 0xFC00, 1},
                        Case{255, 0x10000, 0, 0xFC00, 1}, Case{255, 100000, 0x10000, 34816, 0}}) {
    BankImage image = EmptyImage(kRm5168, c.fill);
    const std::string path = Bin("one.bin", c.length);
    const LoadReport report = OpenOneFile(image, path, PlaceBothBanks);
    EXPECT_EQ(report.file_state, 1);
    EXPECT_EQ(image.bank_bytes[0], c.bank0);
    EXPECT_EQ(image.bank_bytes[1], c.bank1);
    // A file that fits one bank moves to bank 1 and bank 0 takes the fill.
    const std::uint32_t from = c.length > 0x10000 ? 0 : 0x10000;
    EXPECT_TRUE(RangeIs(image, from, from + static_cast<std::uint32_t>(c.length), 0x5A));
    if (from) {
      EXPECT_TRUE(RangeIs(image, 0, 0x10000, static_cast<std::uint8_t>(c.fill)));
    }
    EXPECT_EQ(report.title, "RM516X ISP utility -- " + path);
    EXPECT_EQ(report.messages.size(), c.warnings);
  }
}

// What read writes of one bank, or a file whose extended addresses name bank 0, stays in
// its bank; only the banks its data reach are burned.
TEST_F(Placement, HexWithExtendedAddressesStaysInItsBanks) {
  std::vector<std::uint8_t> chip(kImageCapacityBytes, 0x5A);
  struct Case { int fill; std::uint32_t bank0, bank1; std::uint32_t size0, size1; };
  for (const Case& c : {Case{255, 0x1234, 0, 0x1400, 0}, Case{0, 0x1234, 0, 0x10000, 0},
                        Case{255, 0, 0x200, 0, 0x200}, Case{0, 0, 0x200, 0, 0x10000}}) {
    BankImage image = EmptyImage(kRm5168, c.fill);
    std::vector<LoadMessage> messages;
    EXPECT_EQ(PlaceBytes(image, "b.hex", WriteHexText(chip.data(), c.bank0, c.bank1), PlaceBothBanks, messages), 1);
    EXPECT_EQ(std::make_pair(image.bank_bytes[0], image.bank_bytes[1]), std::make_pair(c.size0, c.size1));
    EXPECT_TRUE(RangeIs(image, 0, c.bank0, 0x5A) && RangeIs(image, 0x10000, 0x10000 + c.bank1, 0x5A));
    EXPECT_TRUE(RangeIs(image, c.bank0, 0x10000, static_cast<std::uint8_t>(c.fill)) &&
                RangeIs(image, 0x10000 + c.bank1, 0x1FFFF, static_cast<std::uint8_t>(c.fill)));
  }
}

TEST_F(Placement, TwoFilesOnePerBank) {
  BankImage image = EmptyImage(kRm5168, 255);
  const std::string a = Bin("a.bin", 600, '\x0C');
  const std::string b = Bin("b.bin", 10, '\x0B');
  LoadReport report = OpenFilesOnePerBank(image, a, b);
  EXPECT_EQ(image.file_state, 2);
  EXPECT_EQ(image.bytes[0x10009], 0x0B);
  EXPECT_EQ(report.title, "RM516X ISP utility -- " + a + "  ,  " + b);
  EXPECT_EQ(report.bank0_bytes + report.bank1_bytes, 1536u);
  EXPECT_EQ(report.image_checksum, PaintedChecksum(image));
  EXPECT_EQ(report.burn_sum, BurnSum(image));
  EXPECT_TRUE(report.messages.empty());

  // The second file fails: nothing of the first is left to burn.
  report = OpenFilesOnePerBank(image, a, "");
  EXPECT_EQ(report.file_state, 0);
  ExpectMessages(report.messages, LoadError, {" open error"});
  EXPECT_EQ(image.bank_bytes[0], 0u);
  EXPECT_EQ(image.bytes[0], 0xFF);
  EXPECT_EQ(report.title, "RM516X ISP utility -- No file is opened");
}

// The first file's warning is told before the second file is read, as a box would be shown
// while the user can still act on it.
TEST_F(Placement, MessagesAreToldAsTheyArise) {
  BankImage image = EmptyImage(kRm5168, 255);
  const std::string first = dir_.Write("a.hex", HexRecordText(0, 0, "\x11") + "\n" + HexRecordText(0, 0, "\x22") +
                                                    "\n" + kEndRecord);
  const std::string second = (dir_.path() / "b.bin").string();
  std::vector<LoadMessage> told;
  const LoadReport report = OpenFilesOnePerBank(image, first, second, [&](const LoadMessage& message) {
    told.push_back(message);
    if (told.size() == 1) dir_.Write("b.bin", "\x0B");
  });
  EXPECT_EQ(report.file_state, 2);
  ExpectMessages(told, LoadWarning, {first + ": line 2: overwrites data of an earlier record (1 record in all)"});
  ExpectMessages(report.messages, LoadWarning, {told[0].text});
  EXPECT_EQ(image.bytes[0x10000], 0x0B);
}

}  // namespace
