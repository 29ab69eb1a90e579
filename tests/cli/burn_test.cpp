// rm516x-isp burn as a user runs it, against the simulator: what only the command line
// adds to the worker (exit codes, error lines, JSON events, signals, the port left free).
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <memory>

#include "serial/serial_port.h"
#include "tests/cli/run_tool.h"
#include "tests/isp/sim_process.h"
#include "tests/support/pty.h"

namespace {

// An out-of-date firmware is told as a message where a current one tells its version.
TEST(BurnCommand, JsonReportsACompleteBurnEventByEvent) {
  const std::pair<const char*, const char*> versions[] = {
      {"23", R"({"event":"version","text":"VER: 2.3"})"},
      {"0", R"({"event":"message","kind":"error","text":"The ISP firmware is out-of-date.\nPlease update the ISP firmware"})"}};
  for (const auto& [version, told] : versions) {
    SCOPED_TRACE(version);
    SimProcess sim({"--version", version, "--idle-ms", "500"});
    // A load warning comes first, as an event of its own.
    const std::string path = sim.dir().Write("app.hex", ":0100000011EE\n:0100000022DD\n:00000001FF\n");
    const ToolRun run = RunIsp(sim.dir().path(), {"burn", "--chip", "RM5164", "--port", sim.device(),
                                                  "--baud", "115200", "--verify", "--wait", "30", "--json", path});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    ASSERT_TRUE(sim.WaitExit(3000));

    // One page: each phase's progress runs from 0 to 100 in one step.
    const std::string warning = R"({"event":"message","kind":"warning","text":")" + path +
                                ": line 2: overwrites data of an earlier record (1 record in all)\"}\n";
    EXPECT_EQ(run.out, warning + R"({"event":"progress","percent":0}
{"event":"status","text":"Please enter ISP","color":"red"}
)" + std::string(told) + R"(
{"event":"status","text":"ISP erasing ...","color":"blue"}
{"event":"progress","percent":100}
{"event":"progress","percent":0}
{"event":"status","text":"ISP programming","color":"blue"}
{"event":"progress","percent":100}
{"event":"status","text":"Program OK","color":"green"}
{"event":"progress","percent":0}
{"event":"status","text":"Verify","color":"blue"}
{"event":"progress","percent":100}
{"event":"status","text":"Verify OK","color":"green"}
{"event":"end","ok":true,"text":"Verify OK"}
)");
  }
}

// What rm516x-isp burn --chip RM5164 --baud 115200 --verify with args, its profile under
// home, shows on a terminal that takes both its streams. Read as it comes, or the terminal's
// buffer would fill and hold the tool; bounded by 60 s.
std::string ShownOnTerminal(const std::string& home, const std::vector<std::string>& args, int& exit_code) {
  Pty terminal(true);
  std::vector<std::string> argv = {"/bin/sh", "-c", "tty=$1; shift; exec \"$0\" \"$@\" >\"$tty\" 2>&1", RM_ISP_TOOL,
                                   terminal.path(), "burn", "--chip", "RM5164", "--baud", "115200", "--verify"};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildProcess tool(argv, false, {"XDG_CONFIG_HOME=" + home, "HOME=" + home});
  std::string shown;
  WaitUntil([&] {
    const std::vector<std::uint8_t> more = terminal.Received(20);
    shown.append(more.begin(), more.end());
    return tool.Wait(0) >= 0;
  }, 60000);
  exit_code = tool.Wait(0);
  const std::vector<std::uint8_t> rest = terminal.Received();
  return shown.append(rest.begin(), rest.end());
}

const std::string kEcho = RM_SOURCE_DIR "/examples/echo.hex";
const std::string kEchoLoaded = "RM516X ISP utility -- " + kEcho +
                                "\r\nBANK0 : 256 byte(s)\r\nBANK1 : 0 byte(s)\r\nCheckSum = B836\r\n";

// On a terminal each phase's progress is a bar drawn over itself, ended by the next line.
TEST(BurnCommand, OnATerminalEachPhaseDrawsItsBar) {
  SimProcess sim({"--idle-ms", "2000"});
  int exit_code = -1;
  const std::string shown = ShownOnTerminal(sim.dir().path().string(), {"--port", sim.device(), kEcho}, exit_code);
  EXPECT_EQ(exit_code, 0);
  const std::string bar = "\r\n\r  [" + std::string(40, '#') + "] 100%\r\n";
  EXPECT_EQ(shown, kEchoLoaded + "Please enter ISP\r\nVER: 2.3\r\nISP erasing ..." + bar + "ISP programming" + bar +
                       "Program OK\r\nVerify" + bar + "Verify OK\r\n");
}

// Every way a burn ends without success that the worker does not show: exit code, the last
// error line, and the JSON end event (exactly one).
struct FailureCase {
  const char* name;
  std::vector<std::string> sim_args;  // empty: no simulator, the port does not exist
  std::vector<std::string> args;
  int signal_number;  // sent once the tool printed ready, 0 for none
  int exit_code;
  std::string text;   // the end event's text, "=" when it is the error; "%port" stands for the device
  std::string error;
  std::string port = {};  // --port instead of the simulator's or a missing device
  std::string ready = "Please enter ISP";  // printed once the stop signals are caught
  std::string command = "burn";
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

const std::string kLost = "the port %port was lost";
const std::string kMissing = "/nonexistent/app.hex";  // given instead of the image
const FailureCase kFailureCases[] = {
    {"NoHandshake", {"--fault", "silent=handshake"}, {"--wait", "0.3"}, 0, 1, "",
     "no handshake from the chip within 0.3 s (is it in ISP mode?)"},
    {"SIGINT", {"--fault", "silent=handshake"}, {"--wait", "30"}, SIGINT, 130, "", "stopped"},
    {"SIGTERM", {"--fault", "silent=handshake"}, {"--wait", "30"}, SIGTERM, 143, "", "stopped"},
    // A gang stopped: its other port never opened.
    {"GangSIGTERM", {"--fault", "silent=handshake"}, {"--wait", "30", "--port", "/nonexistent/tty"}, SIGTERM, 143,
     "=", "0 port(s) done, 2 failed"},
    {"ReadSIGINT", {"--fault", "silent=handshake"}, {"--wait", "30", "-o", "flash.bin"}, SIGINT, 130, "",
     "stopped", {}, "Please enter ISP", "read"},
    // Sums that add up to the image's total, with two pages wrong.
    {"SumsThatCancel", {"--fault", "cancel-sums=1:3"}, {"--checksum", "--wait", "30"}, 0, 1,
     "CheckSum error", "CheckSum error: the sum of page 0x01 of bank 0 is 8081, the image's 7F80"},
    // An unplugged adapter amid the read-back: a burn that missed it would wait 12 s a page.
    {"LostInVerify", {"--fault", "hangup=600"}, {"--wait", "5"}, 0, 1, "Verify error",
     "Verify error (" + kLost + ")"},
    {"ResetLineMissing", {"--powered-off"}, {"--reset", "rts-inverted", "--reset-ms", "60000"}, 0, 1, "=",
     "--reset rts-inverted: cannot drive RTS on %port (the device has no such modem line)"},
    {"ResetCommandFails", {"--powered-off"}, {"--reset-command", "echo relay stuck; exit 3"}, 0, 1, "=",
     "--reset-command 'echo relay stuck; exit 3' exited with status 3"},
    {"ResetCommandHangs", {"--powered-off"}, {"--reset-command", "sleep 600", "--reset-timeout", "0.5"},
     0, 1, "=", "--reset-command 'sleep 600' did not end within 0.5 s and was ended"},
    {"SIGHUPInResetCommand", {"--powered-off"}, {"--reset-command", "echo relay on; sleep 600"},
     SIGHUP, 129, "", "stopped", {}, "relay on"},
    {"NoDevice", {}, {}, 0, 1, "=", "cannot open %port: No such file or directory"},
    {"NoFile", {}, {kMissing}, 0, 1, "=", kMissing + " open error"},
    // Checked before any chip: a chip that could not be logged must not be burned.
    {"LogNotWritable", {}, {"--repeat", "--log", "/nonexistent/chips.log"}, 0, 1, "=",
     "cannot open /nonexistent/chips.log: No such file or directory"},
    {"NoSuchAdapter", {}, {}, 0, 1, "=", "no USB serial adapter with serial number 'RM-NONE' is plugged in",
     "usb-serial:RM-NONE"},
};

class BurnFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(BurnFailure, ExitsWithItsCodeAndSaysWhy) {
  const FailureCase& c = GetParam();
  std::unique_ptr<SimProcess> sim;
  TempDir dir;
  std::string port = c.port.empty() ? (dir.path() / "no-such-tty").string() : c.port;
  if (!c.sim_args.empty()) {
    std::vector<std::string> sim_args = c.sim_args;
    sim_args.insert(sim_args.end(), {"--idle-ms", "600"});
    sim = std::make_unique<SimProcess>(sim_args);
    port = sim->device();
  }
  auto fill = [&](std::string text) {
    if (const auto at = text.find("%port"); at != std::string::npos) text.replace(at, 5, port);
    return text;
  };
  std::vector<std::string> args = {c.command, "--chip", "RM5164", "--port", port, "--baud", "115200", "--json"};
  const bool burn = c.command == "burn";
  if (burn) args.push_back("--verify");
  args.insert(args.end(), c.args.begin(), c.args.end());
  if (burn && (c.args.empty() || c.args[0] != kMissing)) args.push_back(dir.Write("app.bin", TestBytes(1024, 7)));
  RunHow how;
  if (c.signal_number) how = {c.ready, c.signal_number};
  const ToolRun run = RunIsp(dir.path(), args, how);

  EXPECT_EQ(run.exit_code, c.exit_code);
  const std::string error = fill(c.error);
  EXPECT_EQ(LastLine(run.err), "error: " + error);
  EXPECT_EQ(LastLine(run.out), R"({"event":"end","ok":false,"text":")" + (c.text == "=" ? error : fill(c.text)) +
                                   R"(","error":")" + error + "\"}");
  EXPECT_EQ(run.out.find("\"end\""), run.out.rfind("\"end\""));
  if (sim && c.exit_code != 1) {
    SerialPort freed;  // a stopped burn leaves the port free
    EXPECT_TRUE(freed.Open(port, 115200)) << freed.LastError();
  }
  if (sim) {
    sim->Terminate();  // a failed burn's chip waits for the next host; its log is whole
    EXPECT_TRUE(sim->LogLines("VIOLATION").empty()) << sim->Log();
  }
}

INSTANTIATE_TEST_SUITE_P(BurnCommand, BurnFailure, ::testing::ValuesIn(kFailureCases),
                         [](const ::testing::TestParamInfo<FailureCase>& param) { return param.param.name; });

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Several ports on a terminal: a line each, drawn again in place with its bar and last status.
TEST(BurnCommand, GangOnATerminalKeepsALinePerPort) {
  const std::string line = "\r\x1b[2K", done = "  [" + std::string(20, '#') + "] 100%  Verify OK\r\n";
  TempDir config;
  const std::string home = config.path().string();
  int exit_code = -1;
  {
    SimProcess sims[2] = {SimProcess({"--idle-ms", "2000"}), SimProcess({"--idle-ms", "2000"})};
    const std::string shown = ShownOnTerminal(home, {"--port", sims[0].device(), "--port", sims[1].device(), kEcho},
                                              exit_code);
    EXPECT_EQ(exit_code, 0);
    // The load's lines stay above the ports' lines, which every later drawing goes back up over.
    EXPECT_EQ(shown.rfind(kEchoLoaded + line + sims[0].device() + "  [", 0), 0u) << shown;
    EXPECT_EQ(Count(shown, line + sims[0].device()), Count(shown, "\x1b[2A") + 1);
    EXPECT_EQ(shown.substr(shown.rfind("\x1b[2A") + 4),
              line + sims[0].device() + done + line + sims[1].device() + done + "2 port(s) done, 0 failed\r\n");
  }
  // A monitor's note on standard error stays: the ports' lines are drawn anew below it.
  SimProcess sims[2] = {SimProcess({"--idle-ms", "2000"}), SimProcess({"--idle-ms", "2000"})};
  const std::string shown = ShownOnTerminal(
      home, {"--port", sims[0].device(), "--port", sims[1].device(), "--monitor", "--seconds", "0.3", kEcho},
      exit_code);
  for (const SimProcess& sim : sims) {
    EXPECT_EQ(Count(shown, sim.device() + ": Watching " + sim.device() + " at 115200 bit/s\r\n"), 1u) << shown;
  }
  EXPECT_EQ(Count(shown, "bit/s\r\n\x1b[2A"), 0u) << shown;
}

// The burned program runs in the simulated chip (s51): a monitor sees the line it sent come
// back from the 8051's echo, and fails within its time limit when nothing is sent. The burn
// itself prints plain lines, as into a log.
TEST(BurnCommand, TheSimulatedChipRunsWhatWasBurned) {
  SimProcess sim({"--run"});
  const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + sim.dir().path().string(),
                                        "HOME=" + sim.dir().path().string()};
  const ToolRun burn = RunIsp(sim.dir().path(), {"burn", "--chip", "RM5164", "--port", sim.device(), "--baud",
                                                 "9600", "--wait", "30", RM_SOURCE_DIR "/examples/echo.hex"});
  ASSERT_EQ(burn.exit_code, 0) << burn.err;
  EXPECT_EQ(burn.out, "RM516X ISP utility -- " RM_SOURCE_DIR "/examples/echo.hex\nBANK0 : 256 byte(s)\n"
                      "BANK1 : 0 byte(s)\nCheckSum = B836\nPlease enter ISP\nVER: 2.3\nISP erasing ...\n"
                      "  100%\nISP programming\n  100%\nProgram OK\nVerify\n  100%\nVerify OK\n");
  const std::string monitor = "\"$0\" monitor --port " + sim.device() + " --baud 9600 --expect 'hello board' ";
  const ToolRun echoed =
      RunProgram({"/bin/sh", "-c", "echo 'hello board' | " + monitor + "--seconds 20", RM_ISP_TOOL}, env);
  EXPECT_EQ(echoed.exit_code, 0) << echoed.out << echoed.err;
  const auto start = std::chrono::steady_clock::now();
  const ToolRun silent = RunProgram({RM_ISP_TOOL, "monitor", "--port", sim.device(), "--baud", "9600",
                                     "--expect", "hello board", "--seconds", "2"}, env);
  EXPECT_EQ(silent.exit_code, 1) << silent.out << silent.err;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
