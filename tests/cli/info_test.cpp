// rm516x-isp info, run as a user runs it: real files, a private profile folder, exact texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>

#include "tests/cli/run_tool.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kBank = 0x10000;

const std::string kExamples = RM_SOURCE_DIR "/examples/";

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%.4X", value & 0xFFFF);
  return text;
}

unsigned Sum(const Bytes& bytes, std::size_t from, std::size_t to) {
  return std::accumulate(bytes.begin() + from, bytes.begin() + to, 0u);
}

bool AllEqual(const Bytes& bytes, std::size_t from, std::size_t to, std::uint8_t value) {
  for (std::size_t i = from; i < to; ++i) {
    if (bytes[i] != value) return false;
  }
  return true;
}

Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t count) {
  return Bytes(bytes.begin() + from, bytes.begin() + from + count);
}

class InfoCommand : public ::testing::Test {
 protected:
  ToolRun Info(std::vector<std::string> args) {
    args.insert(args.begin(), "info");
    return RunIsp(config.path(), args);
  }
  std::string ImagePath() const { return (work.path() / "image.bin").string(); }
  Bytes Image() const { return ReadBytes(ImagePath()); }

  TempDir work;
  TempDir config;
  const Bytes blink = ReadBytes(kExamples + "blink.bin");
};

TEST_F(InfoCommand, Rm5164HexRecordsInAnyOrderGiveTheSameBankAsTheBinary) {
  ASSERT_EQ(blink.size(), 133u);
  // 65,535 bytes counted: the program, then fill up to (not including) the last byte.
  const unsigned checksum = Sum(blink, 0, blink.size()) + 0xFF * (0xFFFF - blink.size());
  for (const char* name : {"blink.ihx", "blink.hex", "blink.bin"}) {
    SCOPED_TRACE(name);
    const std::string path = kExamples + name;
    auto run = Info({"--chip", "RM5164", "--image-out", ImagePath(), path});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "RM516X ISP utility -- " + path + "\nBANK0 : 256 byte(s)\nBANK1 : 0 byte(s)\n"
                       "CheckSum = " + Hex4(checksum) + "\n");
    Bytes image = Image();
    ASSERT_EQ(image.size(), 2 * kBank);
    EXPECT_EQ(Slice(image, 0, blink.size()), blink);
    EXPECT_TRUE(AllEqual(image, blink.size(), kBank, 0xFF));
  }
}

TEST_F(InfoCommand, Rm5168OneSmallFileGoesToBank1) {
  const std::string path = kExamples + "blink.bin";
  auto run = Info({"--chip", "RM5168", "--json", "--image-out", ImagePath(), path});
  const unsigned checksum = Sum(blink, 0, blink.size()) + 0xFF * (0x1FFFF - blink.size());
  const unsigned burned = Sum(blink, 0, blink.size()) + 0xFF * (512 - blink.size());
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, "{\"chip\":\"RM5168\",\"fill\":255,\"file_state\":1,\"files\":[\"" + path +
                         "\"],\"bank0_size\":0,\"bank1_size\":512,\"image_checksum\":" +
                         std::to_string(checksum & 0xFFFF) + ",\"burn_sum\":" +
                         std::to_string(-burned & 0xFFFF) + ",\"messages\":[]}\n");
  Bytes image = Image();
  EXPECT_TRUE(AllEqual(image, 0, kBank, 0xFF));
  EXPECT_EQ(Slice(image, kBank, blink.size()), blink);
}

TEST_F(InfoCommand, Rm5168TwoFilesWithZeroFillBurnWholeBanksAndWarn) {
  const std::string first = kExamples + "blink.hex";
  const std::string second = kExamples + "echo.hex";
  auto run = Info({"--chip", "RM5168", "--fill", "0x00", "--image-out", ImagePath(), first, second});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "warning: Program size > 130048 bytes\n"
                     "         Only 130048 bytes will be burned\n");
  Bytes image = Image();
  const unsigned checksum = Sum(image, 0, 2 * kBank - 1);
  EXPECT_EQ(run.out, "RM516X ISP utility -- " + first + "  ,  " + second +
                         "\nBANK0 : 65536 byte(s)\nBANK1 : 64512 byte(s)\nCheckSum = " +
                         Hex4(checksum) + "\n");
  EXPECT_EQ(Slice(image, 0, blink.size()), blink);
  EXPECT_TRUE(AllEqual(image, blink.size(), kBank, 0x00));
  EXPECT_EQ(image[kBank + 1], 0x00);  // echo.hex starts with a long jump to 0x0006
  EXPECT_EQ(image[kBank + 2], 0x06);
  EXPECT_EQ(image[2 * kBank - 1], 0xFF);
}

TEST_F(InfoCommand, FailedLoadsShowTheErrorAndNoFile) {
  const std::string record = ":020000001122CB\n";
  const std::string cut = work.Write("cut.hex", record + record.substr(0, 12));
  const std::string empty = work.Write("empty.hex", "");
  const std::string missing = (work.path() / "missing.hex").string();
  const std::string too_big = work.Write("big.bin", Bytes(kBank + 1, 0x11));
  const std::string no_file = "RM516X ISP utility -- No file is opened\nBANK0 : 0 byte(s)\n"
                              "BANK1 : 0 byte(s)\nCheckSum = FF01\n";
  struct Case {
    std::string path;
    std::string err;
  };
  for (const Case& c : {Case{empty, "error: " + empty + " is an empty file\n"},
                        Case{missing, "error: " + missing + " open error\n"},
                        Case{too_big, "error: " + too_big + " > 65536 bytes ...\n"},
                        Case{cut, "error: " + cut + ": line 2: not a valid HEX record\n"}}) {
    SCOPED_TRACE(c.path);
    auto run = Info({"--chip", "RM5164", "--image-out", ImagePath(), c.path});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out, no_file);
    EXPECT_TRUE(AllEqual(Image(), 0, kBank, 0xFF));
  }
  // A warning keeps the load.
  const std::string no_end = work.Write("no-end.hex", record);
  auto run = Info({"--chip", "RM5164", no_end});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "warning: " + no_end + " has no end record\n");
  EXPECT_NE(run.out.find("BANK0 : 256 byte(s)"), std::string::npos) << run.out;
}

TEST_F(InfoCommand, FailedSecondFileUndoesTheFirstInJson) {
  const std::string first = kExamples + "blink.hex";
  const std::string missing = (work.path() / "b.hex").string();
  auto run = Info({"--chip", "RM5168", "--json", first, missing});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, "{\"chip\":\"RM5168\",\"fill\":255,\"file_state\":0,\"files\":[\"" + first +
                         "\",\"" + missing + "\"],\"bank0_size\":0,\"bank1_size\":0,"
                         "\"image_checksum\":65281,\"burn_sum\":0,\"messages\":[{\"kind\":\"error\","
                         "\"text\":\"" + missing + " open error\"}]}\n");
}

TEST_F(InfoCommand, JsonEscapesPathsAndLineBreaks) {
  // A quote, a backslash, a control character, valid UTF-8 and a lone Latin-1 byte, which
  // comes out as the surrogate that gives the byte back.
  const std::string name = "we\"ird\\\x01" "\xC3\xA9\xE9.bin";
  const std::string path = work.Write(name, Bytes(kBank, 0x00));
  const std::string escaped = work.path().string() + "/we\\\"ird\\\\\\u0001\xC3\xA9\\uDCE9.bin";
  auto run = Info({"--chip", "RM5164", "--json", path});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, "{\"chip\":\"RM5164\",\"fill\":255,\"file_state\":1,\"files\":[\"" + escaped +
                         "\"],\"bank0_size\":65024,\"bank1_size\":0,\"image_checksum\":0,"
                         "\"burn_sum\":0,\"messages\":[{\"kind\":\"warning\",\"text\":\"Program size "
                         "> 65024 bytes\\nOnly 65024 bytes will be burned\"}]}\n");
}

// The texts users see for what the parser rejects, for every command.
TEST_F(InfoCommand, UsageErrorsExitWithTwoAndAHint) {
  const std::string file = kExamples + "blink.hex";
  struct Case {
    std::vector<std::string> args;
    std::string who;
    std::string problem;
  };
  const std::vector<Case> cases = {
      {{"info", "--chip", "RM5165", file}, "info", "unknown chip 'RM5165' (RM5164 or RM5168)"},
      {{"info", "--fill", "0x7F", file}, "info", "unused bytes must be 0xFF or 0x00, not '0x7F'"},
      {{"info", file, "--image-out"}, "info", "option --image-out needs a value"},
      {{"info", "--verbose", file}, "info", "unknown option '--verbose'"},
      {{"info"}, "info", "no file given"},
      {{"info", "--chip", "RM5164", file, file}, "info", "RM5164 takes one file, not 2"},
      {{"info", "--chip=RM5168", file, file, file}, "info", "RM5168 takes one or two files, not 3"},
      {{"burn", file}, "burn", "no serial device given: use --port DEVICE ('rm516x-isp ports' lists them)"},
      {{"burn", "--port", "/dev/null", "--baud", "12345", file}, "burn",
       "unknown baud rate '12345' (4800, 9600, 14400, 19200, 28800, 38400, 57600 or 115200)"},
      {{"burn", "--port", "/dev/null", "--wait", "0", file}, "burn",
       "--wait needs a number of seconds greater than 0, not '0'"},
      {{"ports", "x"}, "ports", "unexpected argument 'x'"},
      {{"flash", file}, "", "unknown command 'flash'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.problem);
    auto run = RunIsp(config.path(), c.args);
    const std::string who = c.who.empty() ? "rm516x-isp" : "rm516x-isp " + c.who;
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, who + ": " + c.problem + "\nTry '" + who + " --help'.\n");
  }
  EXPECT_EQ(RunIsp(config.path(), {}).exit_code, 2);

  auto help = Info({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("Usage: rm516x-isp info [OPTIONS]"), std::string::npos) << help.out;
}

TEST_F(InfoCommand, DefaultsComeFromTheProfileWhichIsNeverWritten) {
  const auto profile_dir = config.path() / "rm516x-isp";
  const std::string path = kExamples + "blink.bin";

  // No profile: the built-in defaults, and no profile appears.
  auto plain = Info({"--json", path});
  EXPECT_EQ(plain.exit_code, 0);
  EXPECT_EQ(plain.out.rfind("{\"chip\":\"RM5164\",\"fill\":255,", 0), 0u);
  EXPECT_FALSE(std::filesystem::exists(profile_dir));

  std::filesystem::create_directories(profile_dir);
  const std::string stored = "[RM516X_ISP]\nOpenFileName1=/elsewhere/x.hex\nChipID=1\nUnusedBytes=0\n";
  const std::string profile = (profile_dir / "profile.ini").string();
  {
    TempDir unused;
    std::filesystem::copy_file(unused.Write("p", stored), profile);
  }
  auto from_profile = Info({"--json", path});
  EXPECT_EQ(from_profile.exit_code, 0);
  EXPECT_EQ(from_profile.out.rfind("{\"chip\":\"RM5168\",\"fill\":0,\"file_state\":1,\"files\":[\"" +
                                   path + "\"],\"bank0_size\":65536,\"bank1_size\":64512,", 0), 0u);
  auto overridden = Info({"--chip", "RM5164", "--fill", "0xff", path});
  EXPECT_EQ(overridden.exit_code, 0);
  EXPECT_NE(overridden.out.find("BANK0 : 256 byte(s)"), std::string::npos);

  const Bytes after = ReadBytes(profile);
  EXPECT_EQ(std::string(after.begin(), after.end()), stored);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(profile_dir),
                          std::filesystem::directory_iterator()), 1);
}

TEST_F(InfoCommand, ImageThatCannotBeWrittenFailsTheCommand) {
  const std::string target = (work.path() / "no-such-folder" / "image.bin").string();
  auto run = Info({"--chip", "RM5164", "--image-out", target, kExamples + "blink.bin"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "error: cannot write " + target + ": No such file or directory\n");
  EXPECT_NE(run.out.find("BANK0 : 256 byte(s)"), std::string::npos);
}

}  // namespace
