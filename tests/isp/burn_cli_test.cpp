// rm516x-isp burn as a user runs it, against the simulator.
#include <gtest/gtest.h>

#include <signal.h>

#include <sstream>

#include "serial/serial_port.h"
#include "tests/isp/sim_process.h"

namespace {

struct IspRun {
  int exit_code = -1;
  std::string out;
  std::string err;
};

std::string LastLine(const std::string& text) {
  std::string body = text;
  if (!body.empty() && body.back() == '\n') body.pop_back();
  return body.substr(body.rfind('\n') == std::string::npos ? 0 : body.rfind('\n') + 1);
}

// How RunIsp treats the process: when interrupt_on is given, signal_number is sent once
// standard output shows that text; with closed_stdout its output goes to a pipe nobody reads.
struct RunHow {
  std::string interrupt_on;
  int signal_number = SIGINT;
  bool closed_stdout = false;
};

// Runs rm516x-isp with its own empty profile folder.
IspRun RunIsp(const TempDir& dir, const std::vector<std::string>& args, const RunHow& how = {}) {
  std::vector<std::string> argv = {RM_ISP_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildOptions options;
  options.env = {"XDG_CONFIG_HOME=" + dir.path().string(), "HOME=" + dir.path().string()};
  if (how.closed_stdout) options.out = ChildOutput::kUnread;
  ChildProcess isp(argv, options);
  if (!how.interrupt_on.empty() &&
      WaitUntil([&] { return isp.Out().find(how.interrupt_on) != std::string::npos; }, 10000)) {
    isp.Signal(how.signal_number);
  }
  IspRun run;
  run.exit_code = isp.Wait();
  run.out = isp.Out();
  run.err = isp.Err();
  return run;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::uint8_t> TestBytes(std::size_t count, unsigned seed) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + seed) ^ (i >> 8));
  return bytes;
}

TEST(BurnCli, JsonReportsACompleteBurnEventByEvent) {
  SimProcess sim({"--chip", "RM5168", "--idle-ms", "500"});
  const std::vector<std::uint8_t> file = TestBytes(70000, 3);  // over both banks
  const std::string path = sim.dir().Write("two-banks.bin", file);
  const IspRun run = RunIsp(sim.dir(), {"burn", "--chip", "RM5168", "--port", sim.device(), "--baud",
                                        "115200", "--verify", "--json", path});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_TRUE(sim.WaitExit(3000));

  std::vector<std::string> statuses;
  int progress_lines = 0;
  std::string version;
  for (const std::string& line : Lines(run.out)) {
    if (line.rfind("{\"event\":\"status\"", 0) == 0) statuses.push_back(line);
    if (line.rfind("{\"event\":\"progress\",\"percent\":", 0) == 0) ++progress_lines;
    if (line.rfind("{\"event\":\"version\"", 0) == 0) version = line;
  }
  const std::vector<std::string> expected = {
      R"({"event":"status","text":"Please enter ISP","color":"red"})",
      R"({"event":"status","text":"ISP erasing ...","color":"blue"})",
      R"({"event":"status","text":"ISP programming","color":"blue"})",
      R"({"event":"status","text":"Program OK","color":"green"})",
      R"({"event":"status","text":"Verify","color":"blue"})",
      R"({"event":"status","text":"Verify OK","color":"green"})"};
  EXPECT_EQ(statuses, expected);
  EXPECT_EQ(version, R"({"event":"version","text":"VER: 2.3"})");
  EXPECT_GT(progress_lines, 30);
  EXPECT_EQ(LastLine(run.out), R"({"event":"end","ok":true,"text":"Verify OK"})");

  const std::vector<std::uint8_t> flash = sim.Flash();
  ASSERT_EQ(flash.size(), 0x20000u);
  // One file over both banks: its first 64 KiB in bank 0, the rest in bank 1.
  EXPECT_TRUE(std::equal(file.begin(), file.end(), flash.begin()));
}

TEST(BurnCli, FailureExitsOneWithItsTextLastOnStandardError) {
  SimProcess sim({"--fault", "bad-page-echo=1", "--idle-ms", "300"});
  const std::string path = sim.dir().Write("app.bin", TestBytes(1000, 5));
  const IspRun run = RunIsp(sim.dir(), {"burn", "--chip", "RM5164", "--port", sim.device(), path});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(LastLine(run.err), "error: Program error");
  EXPECT_NE(run.out.find("ISP programming\n"), std::string::npos) << run.out;
  sim.WaitExit(3000);
  EXPECT_TRUE(sim.LogLines("VIOLATION").empty()) << sim.Log();
}

TEST(BurnCli, WaitGivesUpWhenNoHandshakeComes) {
  SimProcess sim({"--fault", "silent=handshake"});
  const std::string path = sim.dir().Write("app.bin", TestBytes(300, 2));
  const IspRun run = RunIsp(sim.dir(), {"burn", "--port", sim.device(), "--wait", "0.3", path});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(LastLine(run.err), "error: no handshake from the chip within 0.3 s (is it in ISP mode?)");
  sim.Terminate();
  EXPECT_TRUE(sim.LogLines("RX").empty()) << sim.Log();
}

TEST(BurnCli, StopSignalsEndTheBurnLikeTheStopButtonAndFreeThePort) {
  struct Case {
    int signal_number;
    int exit_code;
  };
  for (const Case c : {Case{SIGINT, 130}, Case{SIGTERM, 143}, Case{SIGHUP, 129}}) {
    SCOPED_TRACE(c.signal_number);
    SimProcess sim({"--fault", "silent=handshake"});
    const std::string path = sim.dir().Write("app.bin", TestBytes(300, 2));
    const IspRun run = RunIsp(sim.dir(), {"burn", "--port", sim.device(), "--json", path},
                              {"Please enter ISP", c.signal_number});
    EXPECT_EQ(run.exit_code, c.exit_code);
    EXPECT_EQ(LastLine(run.err), "error: stopped");
    EXPECT_EQ(LastLine(run.out), R"({"event":"end","ok":false,"text":"","error":"stopped"})");
    SetPortDevice(sim.device());
    EXPECT_EQ(ReopenComPort(), 1) << LastPortError();
    ClosePort();
  }
  SetPortDevice("");
}

// The simulator keeps its end of the line open for a second burn, which must find the
// device free. The first has nobody reading its output and must still burn to the end.
TEST(BurnCli, BurnsToTheEndWithoutAReaderAndLeavesThePortFree) {
  SimProcess sim({"--sessions", "2", "--idle-ms", "300"});
  const std::string path = sim.dir().Write("app.bin", TestBytes(2000, 6));
  for (int round = 0; round < 2; ++round) {
    RunHow how;
    how.closed_stdout = round == 0;
    const IspRun run = RunIsp(sim.dir(), {"burn", "--chip", "RM5164", "--port", sim.device(), "--baud",
                                          "115200", "--verify", path}, how);
    EXPECT_EQ(run.exit_code, 0) << "round " << round << ": " << run.err;
  }
  EXPECT_TRUE(sim.WaitExit(3000));
}

// The simulator closes its end of the line after so many bytes, as an unplugged adapter
// does: in the handshake (the word cut short) and amid the read-back of the second page.
TEST(BurnCli, LostDeviceEndsTheBurnAtOnceAndSaysSo) {
  struct Case {
    const char* hangup;
    const char* failure_text;
  };
  for (const Case c : {Case{"hangup=2", ""}, Case{"hangup=600", "Verify error"}}) {
    SCOPED_TRACE(c.hangup);
    SimProcess sim({"--fault", c.hangup});
    const std::string path = sim.dir().Write("app.bin", TestBytes(4 * 256, 7));
    // A burn that missed the loss would wait for ever in the handshake, or 12 s per page.
    const IspRun run = RunIsp(sim.dir(), {"burn", "--chip", "RM5164", "--port", sim.device(), "--baud",
                                          "115200", "--verify", "--wait", "5", "--json", path});
    const std::string lost = "the port " + sim.device() + " was lost";
    const std::string error = *c.failure_text ? std::string(c.failure_text) + " (" + lost + ")" : lost;
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(LastLine(run.err), "error: " + error);
    EXPECT_EQ(LastLine(run.out), std::string(R"({"event":"end","ok":false,"text":")") + c.failure_text +
                                     R"(","error":")" + error + "\"}");
  }
}

// A load failure exits 1 before any attempt on the (absent) device.
TEST(BurnCli, JsonEndEventAlsoSaysWhyNothingWasBurned) {
  TempDir dir;
  const std::string tty = (dir.path() / "no-such-tty").string();
  const std::string missing = (dir.path() / "missing.hex").string();
  const std::string load_error = missing + " open error";
  const std::string open_error = "cannot open " + tty + ": No such file or directory";
  struct Case {
    std::string file;
    int exit_code;
    std::string error;
  };
  for (const Case& c : {Case{missing, 1, load_error},
                        Case{dir.Write("app.bin", TestBytes(100, 1)), 1, open_error}}) {
    SCOPED_TRACE(c.error);
    const IspRun run = RunIsp(dir, {"burn", "--port", tty, "--json", c.file});
    EXPECT_EQ(run.exit_code, c.exit_code);
    const std::string end = R"({"event":"end","ok":false,"text":")" + c.error + R"(","error":")" + c.error + "\"}";
    EXPECT_EQ(LastLine(run.out), end);
    EXPECT_EQ(run.out.find("\"end\""), run.out.rfind("\"end\""));  // exactly one
  }
}

}  // namespace
