// rm516x-isp monitor, and burn --monitor, as a user runs them: on pseudo-terminal pairs the
// test holds (one as the board's UART, one as the user's terminal), and against the simulator.
#include <gtest/gtest.h>

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "tests/cli/run_tool.h"
#include "tests/isp/sim_process.h"
#include "tests/support/pty.h"

namespace {

constexpr int kBoundMs = 20000;

std::unique_ptr<ChildProcess> StartMonitor(const TempDir& config, const std::vector<std::string>& args,
                                           const std::string& stdin_path = "/dev/null") {
  std::vector<std::string> argv = {RM_ISP_TOOL, "monitor"};
  argv.insert(argv.end(), args.begin(), args.end());
  const std::string home = config.path().string();
  return std::make_unique<ChildProcess>(argv, false, std::vector<std::string>{"XDG_CONFIG_HOME=" + home, "HOME=" + home},
                                        stdin_path);
}

// How a script's monitor ends: what the board sends, each piece once the tool has shown the
// one before, so that --expect's text arrives split across reads.
struct EndCase {
  const char* name;
  std::vector<std::string> args;
  std::vector<std::string> sends;
  bool hang_up;
  int exit_code;
  std::string shown;  // in standard output
  std::string error;  // standard error's last line, "" for none; "%port" is the device
};

TEST(MonitorCommand, EndsAsAScriptAsksAndSaysWhy) {
  const EndCase cases[] = {
      {"expect split across reads", {"--baud", "31250", "--json", "--hex", "--expect", "READY", "--seconds", "30"},
       {"boot\nREA", "DY\n"}, false, 0,
       R"("hex":"44590A"})" "\n" R"({"event":"end","ok":true,"text":"expect passed"})", ""},
      {"expect timed out", {"--hex", "--timestamps", "--expect", "NEVER", "--seconds", "1"}, {"OK\r\n"}, false, 1,
       "] 4F 4B 0D 0A \n", "error: expect timed out"},
      {"lost port", {"--baud", "250000", "--expect", "NEVER", "--seconds", "60"}, {"bye"}, true, 1, "bye\n",
       "error: the port %port was lost"},
  };
  for (const EndCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir config;
    Pty board;
    std::vector<std::string> args = {"--port", board.path()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto tool = StartMonitor(config, args);
    ASSERT_TRUE(WaitUntil([&] { return (tool->Out() + tool->Err()).find("Watching") != std::string::npos; },
                          kBoundMs)) << tool->Err();
    EXPECT_EQ((tool->Out() + tool->Err()).find("Ctrl-]"), std::string::npos) << "no keys to end it with";
    for (const std::string& piece : c.sends) {
      const std::size_t shown = tool->Out().size();
      board.Send(piece);
      EXPECT_TRUE(WaitUntil([&] { return tool->Out().size() > shown; }, kBoundMs));
    }
    if (c.hang_up) board.HangUp();
    EXPECT_EQ(tool->Wait(kBoundMs), c.exit_code) << tool->Err();
    EXPECT_NE(tool->Out().find(c.shown), std::string::npos) << tool->Out();
    std::string error = c.error;
    if (const auto at = error.find("%port"); at != std::string::npos) error.replace(at, 5, board.path());
    EXPECT_EQ(error.empty() ? "" : LastLine(tool->Err()), error) << tool->Err();
  }
}

// What the board sent before its reset is not shown: the reset starts the watch afresh.
TEST(MonitorCommand, AResetDropsWhatCameBeforeIt) {
  TempDir config;
  Pty board;
  board.Send("stale\n");
  const auto tool = StartMonitor(config, {"--port", board.path(), "--reset-command", "true", "--seconds", "0.5"});
  EXPECT_EQ(tool->Wait(kBoundMs), 0) << tool->Err();
  EXPECT_EQ(tool->Out(), "");
}

// Keys typed on a terminal go to the port, raw; Ctrl-] or a signal ends the monitor and the
// terminal has its settings back.
TEST(MonitorCommand, TerminalIsRawWhileItRunsAndGivenBackAfter) {
  for (const int signal_number : {0, SIGTERM}) {
    SCOPED_TRACE(signal_number);
    TempDir config;
    Pty board;
    Pty terminal(true);
    termios known{};
    ASSERT_EQ(tcgetattr(terminal.slave(), &known), 0);
    known.c_lflag |= ECHOCTL | ECHOKE;
    known.c_cc[VINTR] = 0x07;
    known.c_cc[VMIN] = 3;
    ASSERT_EQ(tcsetattr(terminal.slave(), TCSANOW, &known), 0);
    ASSERT_EQ(tcgetattr(terminal.slave(), &known), 0);

    const auto tool = StartMonitor(config, {"--port", board.path(), "--baud", "9600"}, terminal.path());
    ASSERT_TRUE(WaitUntil([&] { return tool->Err().find("(Ctrl-] ends)") != std::string::npos; }, kBoundMs))
        << tool->Err();
    termios raw{};
    ASSERT_EQ(tcgetattr(terminal.slave(), &raw), 0);
    EXPECT_EQ(raw.c_lflag & (ICANON | ECHO | ISIG), 0u);
    terminal.Send("a\x03\r");  // Ctrl-C is the board's, Enter a carriage return
    EXPECT_EQ(board.Receive(3), "a\x03\r");

    if (signal_number != 0) {
      tool->Signal(signal_number);
    } else {
      terminal.Send("\x1d");
    }
    EXPECT_EQ(tool->Wait(kBoundMs), signal_number != 0 ? 128 + signal_number : 0) << tool->Err();
    termios after{};
    ASSERT_EQ(tcgetattr(terminal.slave(), &after), 0);
    EXPECT_EQ(std::vector<tcflag_t>({after.c_iflag, after.c_oflag, after.c_cflag, after.c_lflag}),
              std::vector<tcflag_t>({known.c_iflag, known.c_oflag, known.c_cflag, known.c_lflag}));
    EXPECT_EQ(std::memcmp(after.c_cc, known.c_cc, sizeof known.c_cc), 0);
  }
}

// A board's self-test after each burn: the burned chip announcing is its program's output.
// Each port's monitor speaks with its prefix, a line at a time (in hex, a line per read),
// and each chip's log line carries how its monitor ended; the last chip's simulator exits,
// which its monitor sees as a lost port. On the second port the last chip fails its burn:
// no monitor runs, and its line tells of none.
TEST(BurnMonitor, EachChipsMonitorEndsInItsLineAndLog) {
  std::vector<std::unique_ptr<SimProcess>> sims;
  for (int i = 0; i < 2; ++i) {
    std::vector<std::string> args = {"--sessions", "2", "--linger-ms",   "1500", "--swap-ms",
                                     "400",        "--announce-ms", "50", "--idle-ms", "600"};
    if (i == 1) args.insert(args.end(), {"--fault", "bad-page-echo=1@2"});
    sims.push_back(std::make_unique<SimProcess>(args));
  }
  const std::string path = sims[0]->dir().Write("app.bin", TestBytes(512, 5));
  const std::string log = (sims[0]->dir().path() / "chips.log").string();
  const ToolRun run = RunIsp(sims[0]->dir().path(),
                             {"burn", "--chip", "RM5164", "--port", sims[0]->device(), "--port", sims[1]->device(),
                              "--baud", "115200", "--repeat", "--count", "2", "--gap-ms", "200", "--log", log,
                              "--expect", "zafozafozafozafozafo", "--seconds", "30", "--hex", "--monitor", "57600",
                              path});
  EXPECT_EQ(run.exit_code, 1) << run.err;
  const std::vector<std::string> entries = LinesStartingWith(ReadText(log));
  EXPECT_EQ(entries.size(), 4u);
  for (const auto& sim : sims) {
    const std::string device = sim->device();
    const bool last_fails = &sim == &sims[1];
    const std::string word = "7A 61 66 6F";
    EXPECT_NE(run.out.find(device + ": " + word + " " + word + " " + word + " " + word + "\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find(device + ": Watching " + device + " at 57600 bit/s"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("\n" + device + ": Verify OK\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("#1  " + device + "  Verify OK  expect passed  VER: 2.3"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("#2  " + device + (last_fails ? "  Program error  VER: 2.3"
                                                          : "  Verify OK  the port " + device + " was lost  VER: 2.3")),
              std::string::npos) << run.out;
    for (const std::string& entry : entries) {
      if (entry.find(device) == std::string::npos) continue;
      const bool first = entry.find(R"("chip":1)") != std::string::npos;
      EXPECT_NE(entry.find(first        ? R"("ok":true,"result":"Verify OK","monitor":"expect passed")"
                           : last_fails ? R"("ok":false,"result":"Program error","version")"
                                        : R"("ok":false,"result":"Verify OK","monitor":"the port )"),
                std::string::npos) << entry;
    }
    EXPECT_TRUE(sim->WaitExit(3000));
    EXPECT_TRUE(sim->LogLines("VIOLATION").empty()) << sim->Log();
  }
}

}  // namespace
