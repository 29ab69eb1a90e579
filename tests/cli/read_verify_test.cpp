// rm516x-isp read and verify against the simulator: what they read is what the flash holds,
// what they compare is reported exactly, and the chip is never erased or written.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tests/cli/run_tool.h"
#include "tests/isp/sim_process.h"

namespace {

// Only the end-of-phase byte in the erase and program phases, over every session.
void ExpectNothingErasedOrWritten(const SimProcess& sim) {
  for (const char* phase : {"RX erase", "RX program"}) {
    for (const std::string& line : sim.LogLines(phase)) EXPECT_EQ(line, std::string(phase) + " ff");
  }
  EXPECT_TRUE(sim.LogLines("VIOLATION").empty()) << sim.Log();
}

// Read, then verify the file just written against the same flash through the open sequence:
// in HEX, and as a binary that holds the RM5164's bank exactly.
TEST(ReadCommand, WritesTheFlashThatVerifyThenFindsEqual) {
  TempDir dir;
  SimProcess sim({"--chip", "RM5164", "--flash-in", dir.Write("in.bin", TestBytes(0x10000, 5)), "--sessions", "4",
                  "--idle-ms", "2000"});
  for (const char* name : {"flash.ihx", "flash.bin"}) {
    const std::string out = (dir.path() / name).string();
    const ToolRun read = RunIsp(dir.path(), {"read", "--chip", "RM5164", "--port", sim.device(),
                                             "--baud", "115200", "-o", out});
    ASSERT_EQ(read.exit_code, 0) << read.err;
    EXPECT_EQ(LastLine(read.out), "65024 bytes read into " + out);
    EXPECT_EQ(read.err, "");
    EXPECT_EQ(ReadText(out).size() == 65024, out.ends_with(".bin"));
    const ToolRun verify = RunIsp(dir.path(), {"verify", "--chip", "RM5164", "--port", sim.device(),
                                               "--baud", "115200", "--json", out});
    EXPECT_EQ(verify.exit_code, 0) << verify.err;
    EXPECT_EQ(LastLine(verify.out), R"({"event":"end","ok":true,"text":"Verify OK"})");
  }
  EXPECT_TRUE(sim.WaitExit(3000));
  ExpectNothingErasedOrWritten(sim);
}

// A backup of one bank or both, in either format, verifies against the untouched chip and
// burns back into the banks it came from; the other bank of the chip burned keeps its bytes.
TEST(ReadCommand, BackupsRestoreIntoTheBanksTheyCameFrom) {
  struct Case { std::string bank, out; std::vector<std::string> restore; std::size_t from, to; };
  const Case cases[] = {{"0", "b0.hex", {}, 0, 0x10000}, {"1", "b1.hex", {}, 0x10000, 0x1FC00},
                        {"both", "all.hex", {}, 0, 0x1FC00}, {"0", "b0.bin", {"--bank", "0"}, 0, 0x10000},
                        {"1", "b1.bin", {"--bank", "1"}, 0x10000, 0x1FC00}, {"both", "all.bin", {}, 0, 0x1FC00}};
  TempDir dir;
  const std::vector<std::uint8_t> flash = TestBytes(0x20000, 3), old = TestBytes(0x20000, 8);
  SimProcess source({"--chip", "RM5168", "--flash-in", dir.Write("in.bin", flash), "--sessions", "12",
                     "--idle-ms", "2000"});
  const auto run = [&](const std::string& command, std::vector<std::string> args, const std::string& device) {
    args.insert(args.begin(), {command, "--chip", "RM5168", "--baud", "115200", "--wait", "10", "--port", device});
    const ToolRun tool = RunIsp(dir.path(), args);
    EXPECT_EQ(tool.exit_code, 0) << command << ": " << tool.err;
    return tool.exit_code == 0;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    const std::string out = (dir.path() / c.out).string();
    ASSERT_TRUE(run("read", {"--bank", c.bank, "-o", out}, source.device()));
    const std::string written = ReadText(out);  // in the format its name asks for
    EXPECT_EQ(written.starts_with(":"), c.out.ends_with(".hex"));
    if (c.out.ends_with(".bin")) {
      EXPECT_EQ(written.size(), c.to - c.from);
    }
    std::vector<std::string> load = c.restore;  // the profile's fill, 0xFF
    load.push_back(out);
    run("verify", load, source.device());
    SimProcess target({"--chip", "RM5168", "--flash-in", dir.Write("old.bin", old)});
    run("burn", load, target.device());
    ASSERT_TRUE(target.WaitExit(3000));
    std::vector<std::uint8_t> expected = old;
    std::copy(flash.begin() + c.from, flash.begin() + c.to, expected.begin() + c.from);
    EXPECT_TRUE(target.Flash() == expected);
  }
  EXPECT_TRUE(source.WaitExit(3000));
  ExpectNothingErasedOrWritten(source);
}

// An output the read could not be written to is told before the port is opened.
TEST(ReadCommand, RefusesAnOutputItCannotWriteBeforeOpeningThePort) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "folder.bin");
  ASSERT_EQ(mkfifo((dir.path() / "fifo.hex").c_str(), 0644), 0);
  const std::pair<const char*, std::string> cases[] = {
      {"folder.bin", "Is a directory"},
      {"missing/flash.bin", "No such file or directory"},
      {"fifo.hex", "not a regular file"},
  };
  for (const auto& [name, why] : cases) {
    const std::string out = (dir.path() / name).string();
    const ToolRun run = RunIsp(dir.path(), {"read", "--chip", "RM5164", "--wait", "5", "--port",
                                            (dir.path() / "no-such-tty").string(), "-o", out});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "error: cannot write " + out + ": " + why + "\n");
  }
}

// Each way verify finds the chip unlike the file: the JSON end event and the error line.
TEST(VerifyCommand, ReportsTheFirstDifferenceAndHowManyBytesDiffer) {
  // changed: addresses of the file's bytes made unlike the flash.
  struct Case {
    const char* name;
    std::vector<std::size_t> changed;
    std::vector<std::string> args, sim_args;
    std::string error;
  };
  const Case cases[] = {
      {"bytes", {0x00105, 0x10010, 0x10011}, {}, {},
       "the flash differs from the image at 0x00105 (3 bytes differ)"},
      // Two pages wrong in ways that cancel in the total.
      {"sums", {}, {"--checksum"}, {"--fault", "cancel-sums=0x01:0x81"},
       "the flash differs from the image: the sum of page 0x01 of bank 0 is 0001, the image's FF00"},
      // The device goes quiet, then away, after half of the page.
      {"lost page", {}, {}, {"--fault", "short-read=0x81:6"},
       "Read error: page 1 of bank 1 never arrived (the port %port was lost)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::vector<std::uint8_t> flash = TestBytes(0x20000, 9);
    std::vector<std::string> sim_args = {"--chip", "RM5168", "--flash-in", dir.Write("in.bin", flash),
                                         "--idle-ms", "600"};
    sim_args.insert(sim_args.end(), c.sim_args.begin(), c.sim_args.end());
    SimProcess sim(sim_args);
    std::vector<std::uint8_t> file(flash.begin(), flash.begin() + 0x10400);
    for (std::size_t at : c.changed) ++file[at];
    std::vector<std::string> args = {"verify", "--chip", "RM5168", "--port", sim.device(), "--baud",
                                     "115200", "--json", dir.Write("app.bin", file)};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ToolRun run = RunIsp(dir.path(), args);

    std::string error = c.error;
    if (const auto at = error.find("%port"); at != std::string::npos) error.replace(at, 5, sim.device());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(LastLine(run.err), "error: " + error);
    EXPECT_EQ(LastLine(run.out), R"({"event":"end","ok":false,"text":")" + error.substr(0, error.find(" (the port")) + R"(","error":")" + error + "\"}");
    sim.WaitExit(3000);
    ExpectNothingErasedOrWritten(sim);
  }
}

}  // namespace
