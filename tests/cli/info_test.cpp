// rm516x-isp info, run as a user runs it: real files, a private profile folder, exact texts.
// What a load finds is told by the image tests; here is how the command line shows it.
#include <gtest/gtest.h>

#include "tests/cli/run_tool.h"
#include "tests/support/temp_dir.h"

namespace {

const std::string kExamples = RM_SOURCE_DIR "/examples/";

class InfoCommand : public ::testing::Test {
 protected:
  ToolRun Info(std::vector<std::string> args, const RunHow& how = {}) {
    args.insert(args.begin(), "info");
    return RunIsp(config.path(), args, how);
  }
  TempDir work;
  TempDir config;
};

TEST_F(InfoCommand, PrintsTheLoadAndItsMessagesWithTheExitCode) {
  const std::string blink = kExamples + "blink.hex";
  const std::string echo = kExamples + "echo.hex";
  const std::string missing = (work.path() / "missing.hex").string();
  auto shown = [](const std::string& title, const char* banks) {
    return "RM516X ISP utility -- " + title + "\n" + banks;
  };
  const char* blink_banks = "BANK0 : 256 byte(s)\nBANK1 : 0 byte(s)\nCheckSum = B211\n";
  struct Case { std::vector<std::string> args; int exit_code; std::string out, err; };
  const Case cases[] = {
      {{"--chip", "RM5164", blink}, 0, shown(blink, blink_banks), ""},
      // The same program as binary; decimal with leading zeros is no hexadecimal.
      {{"--chip", "RM5164", "--fill", "0255", kExamples + "blink.bin"}, 0,
       shown(kExamples + "blink.bin", blink_banks), ""},
      {{"--chip", "RM5168", "--fill", "0x00", blink, echo}, 0,
       shown(blink + "  ,  " + echo, "BANK0 : 65536 byte(s)\nBANK1 : 64512 byte(s)\nCheckSum = 6E42\n"),
       "warning: Program size > 130048 bytes\n         Only 130048 bytes will be burned\n"},
      {{"--chip", "RM5164", missing}, 1,
       shown("No file is opened", "BANK0 : 0 byte(s)\nBANK1 : 0 byte(s)\nCheckSum = FF01\n"),
       "error: " + missing + " open error\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const ToolRun run = Info(c.args);
    EXPECT_EQ(run.exit_code, c.exit_code);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
  }
}

TEST_F(InfoCommand, JsonEscapesPathsAndListsAFailedImageWrite) {
  // A quote, a backslash, a control character, valid UTF-8 (with the lowest and highest
  // two-byte characters, the lowest three-byte one, the first past the surrogates and the
  // last of all), a lone Latin-1 byte, an encoded surrogate, an overlong three-byte form and
  // the first four bytes past the last character: each byte that is not UTF-8 comes out as
  // the surrogate that gives it back.
  const std::string valid = "\xC3\xA9\xC2\x80\xDF\xBF\xE0\xA0\x80\xEE\x80\x80\xF4\x8F\xBF\xBF";
  const std::string path = work.Write("we\"ird\\\x01" + valid + "\xE9\xED\xA0\x80\xE0\x9F\xBF\xF4\x90\x80\x80.bin",
                                      std::string(0x10000, '\0'));
  const std::string escaped = work.path().string() + "/we\\\"ird\\\\\\u0001" + valid +
                              "\\uDCE9\\uDCED\\uDCA0\\uDC80\\uDCE0\\uDC9F\\uDCBF\\uDCF4\\uDC90\\uDC80\\uDC80.bin";
  ToolRun run = Info({"--chip", "RM5164", "--json", path});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, "{\"chip\":\"RM5164\",\"fill\":255,\"file_state\":1,\"files\":[\"" + escaped +
                         "\"],\"bank0_size\":65024,\"bank1_size\":0,\"image_checksum\":0,"
                         "\"burn_sum\":0,\"messages\":[{\"kind\":\"warning\",\"text\":\"Program size "
                         "> 65024 bytes\\nOnly 65024 bytes will be burned\"}]}\n");

  // The image is loaded but not written: the failure is one of the report's messages.
  const std::string unwritable = (work.path() / "no-such-folder" / "image.bin").string();
  run = Info({"--chip", "RM5164", "--json", "--image-out", unwritable, kExamples + "blink.bin"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find(",\"file_state\":1,"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"messages\":[{\"kind\":\"error\",\"text\":\"cannot write " + unwritable +
                         ": No such file or directory\"}]}\n"), std::string::npos) << run.out;
}

// A file the load could not fill, the input itself, or a disk too small: the old image stays
// whole and nothing else is left beside it.
TEST_F(InfoCommand, ImageOutIsReplacedWholeOrNotAtAll) {
  const std::string out = work.Write("image.bin", std::string("old"));
  struct Case { std::vector<std::string> args; std::size_t limit_bytes; int exit_code; std::string err; };
  const std::string missing = (work.path() / "missing.hex").string();
  const std::string same = (work.path() / "." / "image.bin").string();
  const Case cases[] = {
      {{"--image-out", out, missing}, 0, 1, "error: " + missing + " open error\n"},
      {{"--image-out", same, out}, 0, 2,
       "rm516x-isp info: --image-out " + same + " is also an input file\nTry 'rm516x-isp info --help'.\n"},
      {{"--image-out", out, kExamples + "blink.hex"}, 1024, 1, "error: cannot write " + out + ": File too large\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const ToolRun run = Info(c.args, {.file_limit_bytes = c.limit_bytes});
    EXPECT_EQ(run.exit_code, c.exit_code);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(ReadText(out), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(work.path()),
                            std::filesystem::directory_iterator()), 1);
  }
}

// The texts users see for what the parser rejects, for every command, and each help.
TEST_F(InfoCommand, UsageErrorsExitWithTwoAndAHint) {
  const std::string file = kExamples + "blink.hex";
  struct Case { std::vector<std::string> args; std::string who, problem; };
  const std::vector<Case> cases = {
      {{"info", "--chip", "RM5165", file}, "info", "unknown chip 'RM5165' (RM5164 or RM5168)"},
      {{"info", "--fill", "0xFFx", file}, "info", "unused bytes must be 0xFF or 0x00, not '0xFFx'"},
      {{"info"}, "info", "no file given"},
      {{"info", "--chip=RM5168", file, file, file}, "info", "RM5168 takes one or two files, not 3"},
      {{"burn", file}, "burn", "no serial device given: use --port DEVICE ('rm516x-isp ports' lists them)"},
      {{"burn", "--port", "/dev/null", "--baud", "12345", file}, "burn",
       "unknown baud rate '12345' (4800, 9600, 14400, 19200, 28800, 38400, 57600 or 115200)"},
      {{"burn", "--port", "/dev/null", "--wait", "0", file}, "burn",
       "--wait needs a number of seconds greater than 0, not '0'"},
      {{"burn", "--port", "/dev/null", "--reset-ms", "60001", file}, "burn",
       "--reset-ms needs a number of milliseconds from 1 to 60000, not '60001'"},
      {{"burn", "--port", "/dev/null", "--reset-ms", "100ms", file}, "burn",
       "--reset-ms needs a number of milliseconds from 1 to 60000, not '100ms'"},
      {{"burn", "--port", "/dev/null", "--reset-timeout", "2s", file}, "burn",
       "--reset-timeout needs a number of seconds greater than 0, not '2s'"},
      {{"monitor", "--port", "/dev/null", "--baud", "0"}, "monitor",
       "--baud needs a rate in bit/s, a whole number above 0, not '0'"},
      {{"burn", "--port", "/dev/null", "--seconds", "5", file}, "burn", "--seconds requires --monitor"},
      {{"monitor", "--port", "/dev/null", "--port", "/dev/zero"}, "monitor", "--port may be given once here"},
      {{"monitor", "--port", "/dev/null", "--reset", "dtx"}, "monitor",
       "--reset needs dtr, rts, dtr-inverted or rts-inverted, not 'dtx'"},
      {{"read", "--chip", "RM5164", "--port", "/dev/null", "--bank", "1", "-o", "x.bin"}, "read",
       "the RM5164 has bank 0 only"},
      {{"read", "--port", "/dev/null", "-o", "x"}, "read", "OUT must end in .bin, .hex or .ihx, not 'x'"},
      {{"flash", file}, "", "unknown command 'flash'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.problem);
    const ToolRun run = RunIsp(config.path(), c.args);
    const std::string who = c.who.empty() ? "rm516x-isp" : "rm516x-isp " + c.who;
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, who + ": " + c.problem + "\nTry '" + who + " --help'.\n");
  }
  const ToolRun bare = RunIsp(config.path(), {});
  EXPECT_EQ(bare.exit_code, 2);
  EXPECT_NE(bare.err.find("Usage: rm516x-isp"), std::string::npos) << bare.err;
  const std::pair<std::vector<std::string>, std::string> helps[] = {
      {{"--help"}, "\nExit status: 0 done"}, {{"--version"}, "rm516x-isp "},
      {{"burn", "--help"}, "Usage: rm516x-isp burn [OPTIONS]"}};
  for (const auto& [args, shown] : helps) {
    const ToolRun help = RunIsp(config.path(), args);
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find(shown), std::string::npos) << help.out;
  }
}

TEST_F(InfoCommand, DefaultsComeFromTheProfileWhichIsNeverWritten) {
  const auto profile_dir = config.path() / "rm516x-isp";
  const std::string path = kExamples + "blink.bin";
  EXPECT_EQ(Info({"--json", path}).out.rfind("{\"chip\":\"RM5164\",\"fill\":255,", 0), 0u);
  EXPECT_FALSE(std::filesystem::exists(profile_dir));

  const std::string stored = "[RM516X_ISP]\nOpenFileName1=/elsewhere/x.hex\nChipID=1\nUnusedBytes=0\n";
  std::filesystem::create_directories(profile_dir);
  std::filesystem::copy_file(work.Write("p", stored), profile_dir / "profile.ini");
  EXPECT_EQ(Info({"--json", path}).out.rfind("{\"chip\":\"RM5168\",\"fill\":0,\"file_state\":1,\"files\":[\"" +
                                             path + "\"],\"bank0_size\":65536,\"bank1_size\":64512,", 0), 0u);
  EXPECT_NE(Info({"--chip", "RM5164", "--fill", "0xff", path}).out.find("BANK0 : 256 byte(s)"), std::string::npos);

  EXPECT_EQ(ReadText((profile_dir / "profile.ini").string()), stored);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(profile_dir),
                          std::filesystem::directory_iterator()), 1);
}

}  // namespace
