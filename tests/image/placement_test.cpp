#include "image/file_open.h"
#include "image/hex_reader.h"
#include "tests/image/image_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

class Placement : public ::testing::Test {
 protected:
  std::string Bin(const std::string& name, std::size_t length, char value = '\x5A') {
    return dir_.Write(name, std::string(length, value));
  }
  // The text of the one box shown, after checking its owner and kind.
  std::string OnlyMessage(int kind) {
    RecordedShell shell = ShellRecord();
    EXPECT_EQ(shell.messages.size(), 1u);
    if (shell.messages.empty()) return "";
    EXPECT_EQ(shell.messages[0].owner, &owner_);
    EXPECT_EQ(shell.messages[0].kind, kind);
    return shell.messages[0].text;
  }
  TempDir dir_;
  int owner_ = 0;
};

TEST_F(Placement, UnreadableAndEmptyFilesAreReported) {
  const std::string empty = Bin("empty.bin", 0);
  for (const std::string& path : {std::string(), empty, dir_.path().string()}) {
    UseChip(0, 255);
    FileName1 = path;
    OpenSingleFile(&owner_);
    EXPECT_EQ(OnlyMessage(MessageError), path + (path == empty ? " is an empty file" : " open error"));
    EXPECT_EQ(FileState, 0);
    EXPECT_EQ(ShellRecord().title, "RM516X ISP utility -- No file is opened");
  }
}

TEST_F(Placement, HexFindingsAreToldAndErrorsPlaceNothing) {
  const std::string path = "/fw/app.hex";
  const std::string data = HexRecordText(0, 0, "\x11\x22") + "\n";
  const std::string base1 = HexRecordText(4, 0, std::string("\0\1", 2)) + "\n";
  struct Case { std::string text; int mode; int kind; std::vector<std::string> texts; };
  const std::vector<Case> cases = {
      {data + ":0200100011G2\n" + kEndRecord, 0, MessageError, {path + ": line 2: not a valid HEX record"}},
      {data + "\r\n" + data.substr(0, 10), 2, MessageError, {path + ": line 3: not a valid HEX record"}},
      {data + ":0100000403F8\n", 2, MessageError, {path + ": line 2: not a valid HEX record"}},  // 1-byte base
      {kEndRecord, 0, MessageError, {path + " holds no data"}},
      {base1 + kEndRecord, 2, MessageError, {path + " holds no data"}},
      // The first address past the chip is named: a record across its end, a segment beyond it.
      {data + base1 + HexRecordText(0, 0xFFF8, std::string(9, 'x')), 2, MessageError,
       {path + ": line 3: address 0x20000 lies beyond the chip's 128 KiB"}},
      {HexRecordText(2, 0, std::string("\x30\0", 2)) + "\n" + data, 2, MessageError,
       {path + ": line 2: address 0x30000 lies beyond the chip's 128 KiB"}},
      {data + base1 + data, 1, MessageError,
       {path + ": line 2: a second address base; a file for one bank takes one"}},
      {data + std::string(kHexFileMaxBytes, '\n'), 0, MessageError, {path + " > 16777216 bytes ..."}},
      {data + ":0100100003FF\n:0100200003FF\n", 0, MessageWarning,
       {path + ": line 2: wrong record checksum (2 records in all)", path + " has no end record"}},
      // CR LF ends one line; the end record's checksum counts too.
      {HexRecordText(0, 0, "\x11\x22") + "\r\n:0100100003FF\r\n" + data + ":00000001FE\n", 0, MessageWarning,
       {path + ": line 2: wrong record checksum (2 records in all)"}},
  };
  for (const Case& c : cases) {
    UseChip(1, 255);
    const int placed = PlaceBytes(&owner_, path, c.text, c.mode);
    EXPECT_EQ(placed, c.kind == MessageWarning ? 1 : 0) << c.texts[0];
    EXPECT_EQ(Bank0Size + Bank1Size, placed ? 512u : 0u) << c.texts[0];
    EXPECT_TRUE(placed || ImageRangeIs(c.mode == 1 ? 0x10000 : 0, c.mode == 0 ? 0x10000 : 0x20000, 0xFF)) << c.texts[0];
    const RecordedShell shell = ShellRecord();
    ASSERT_EQ(shell.messages.size(), c.texts.size()) << c.texts[0];
    for (std::size_t i = 0; i < c.texts.size(); ++i) {
      EXPECT_EQ(shell.messages[i].text, c.texts[i]);
      EXPECT_EQ(shell.messages[i].kind, c.kind);
      EXPECT_EQ(shell.messages[i].owner, &owner_);
    }
  }
  // A broken HEX file is never burned as its own text: the open fails as for a missing file.
  UseChip(0, 255);
  FileName1 = dir_.Write("cut.hex", data + data.substr(0, 7));
  OpenSingleFile(&owner_);
  EXPECT_EQ(OnlyMessage(MessageError), FileName1 + ": line 2: not a valid HEX record");
  EXPECT_EQ(FileState, 0);
  EXPECT_EQ(Bank0Size, 0u);
  EXPECT_TRUE(ImageRangeIs(0, 0xFFFF, 0xFF));
}

TEST_F(Placement, OneFileOverBothBanks) {
  struct Case { int fill; std::size_t length; std::uint32_t bank0, bank1; };
  for (const Case& c : {Case{255, 20480, 0, 20480}, Case{0, 20480, 0x10000, 0xFC00},
                        Case{255, 100000, 0x10000, 34816}}) {
    UseChip(1, c.fill);
    FileName1 = Bin("one.bin", c.length);
    EXPECT_EQ(OpenFileOverBothBanks(&owner_).file_state, 1);
    EXPECT_EQ(Bank0Size, c.bank0);
    EXPECT_EQ(Bank1Size, c.bank1);
    // A file that fits one bank moves to bank 1 and bank 0 takes the fill.
    const std::uint32_t from = c.length > 0x10000 ? 0 : 0x10000;
    EXPECT_TRUE(ImageRangeIs(from, from + static_cast<std::uint32_t>(c.length), 0x5A));
    if (from) {
      EXPECT_TRUE(ImageRangeIs(0, 0x10000, static_cast<std::uint8_t>(c.fill)));
    }
    EXPECT_EQ(ShellRecord().title, "RM516X ISP utility -- " + FileName1);
    EXPECT_EQ(ShellRecord().messages.size(), c.fill == 0 ? 1u : 0u);  // the zero fill's 130048 cut
  }
}

TEST_F(Placement, TwoFilesOnePerBank) {
  UseChip(1, 255);
  FileName1 = Bin("a.bin", 600, '\x0A');
  FileName2 = Bin("b.bin", 10, '\x0B');
  LoadReport report = OpenFilesOnePerBank(&owner_);
  EXPECT_EQ(FileState, 2);
  EXPECT_EQ(FirmwareImage[0x10009], 0x0B);
  EXPECT_EQ(ShellRecord().title, "RM516X ISP utility -- " + FileName1 + "  ,  " + FileName2);
  // The report says what the window shows, without reading it back.
  EXPECT_EQ(report.title, ShellRecord().title);
  EXPECT_EQ(report.bank0_bytes + report.bank1_bytes, 1536u);
  EXPECT_EQ(report.image_checksum, ShellRecord().checksums.back());
  EXPECT_EQ(report.burn_sum, BurnSum());
  EXPECT_TRUE(report.messages.empty());

  // The second file fails: nothing of the first is left to burn.
  UseChip(1, 255);
  FileName2 = "";
  report = OpenFilesOnePerBank(&owner_);
  EXPECT_EQ(report.file_state, 0);
  ASSERT_EQ(report.messages.size(), 1u);
  EXPECT_EQ(Bank0Size, 0u);
  EXPECT_EQ(FirmwareImage[0], 0xFF);
  EXPECT_EQ(OnlyMessage(MessageError), " open error");
  EXPECT_EQ(ShellRecord().title, "RM516X ISP utility -- No file is opened");
}

TEST(PlacementPaths, BaseFileNameAndShortenPath) {
  EXPECT_EQ(BaseFileName("C:\\fw\\main.hex"), "main.hex");
  EXPECT_EQ(BaseFileName("main.hex"), "main.hex");
  EXPECT_EQ(BaseFileName("C:\\fw\\"), "");
  EXPECT_EQ(ShortenPath("C:\\Projects\\Firmware\\Release\\build\\main.hex"), "C:\\Projects\\Firmware\\ ... \\main.hex");
  for (const char* whole : {"C:\\Projects\\Firmware\\very_long_file_name_x.hex", "C:\\a\\b\\c\\d\\e.hex", ""}) {
    EXPECT_EQ(ShortenPath(whole), whole);
  }
}

}  // namespace
