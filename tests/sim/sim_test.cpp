// The simulator as a host sees it, the host's side played byte by byte through the tool's
// own port. Its faults and phases are shown by the real host in the isp tests; here is what
// a correct host never makes it show: timing, violations, its options.
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "serial/serial_port.h"
#include "settings/settings.h"
#include "tests/isp/sim_process.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
const Bytes kWord = {'z', 'a', 'f', 'o'};

// Up to count bytes: fewer when timeout_ms passed.
Bytes Read(std::size_t count, int timeout_ms) {
  SetPortTimeouts(timeout_ms, timeout_ms);
  Bytes got(count);
  got.resize(PortRead(got.data(), static_cast<std::uint32_t>(count)));
  return got;
}

// Slides a four-byte window over the input until it holds the handshake word.
bool WaitWord(int timeout_ms) {
  Bytes window(4, 0);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (window != kWord) {
    const Bytes b = Read(1, 50);
    if (std::chrono::steady_clock::now() >= end) return false;
    if (b.empty()) continue;
    window.erase(window.begin());
    window.push_back(b[0]);
  }
  return true;
}

Bytes Page(std::uint8_t page, const Bytes& data) {
  Bytes command(data.size() + 1, page);
  std::copy(data.begin(), data.end(), command.begin() + 1);
  return command;
}

// Without a value it names the program instead of setting the version byte.
TEST(Simulator, VersionAloneNamesTheProgram) {
  ChildProcess sim({RM_SIM_PATH, "--version"});
  EXPECT_EQ(sim.Wait(3000), 0);
  EXPECT_EQ(sim.Out(), "rm516x-sim " RM_VERSION "\n");
}

TEST(Simulator, PagesOutsideTheBurnAreViolationsAndAMissingEraseShows) {
  TempDir dir;
  SimProcess sim({"--announce-ms", "20", "--idle-ms", "300", "--flash-in",
                  dir.Write("in.bin", Bytes(0x10000, 0x5A))});
  OpenSimPort(sim.device());
  ASSERT_TRUE(WaitWord(1000));
  const Bytes ones(256, 0x0F);
  // What the host sends, and the device's whole answer.
  const std::vector<std::pair<Bytes, Bytes>> steps = {
      {kWord, {23, 0x22}},
      {{0x00}, {0x00}},
      {{0xFF}, {0x26, 0x23}},
      {Page(0x02, ones), {0x02}},
      {Page(0xFE, ones), {0xFE}},
      {{0xFF}, {0x26, 0x24}},
      {{0xFE}, Bytes(256, 0x5A)},           // the firmware's page was not written
      {{0x02}, Bytes(256, 0x5A & 0x0F)}};  // unerased: programming cleared bits only
  for (const auto& [send, answer] : steps) {
    PortWrite(send.data(), static_cast<std::uint32_t>(send.size()));
    ASSERT_EQ(Read(answer.size(), 1000), answer) << int{send[0]};
  }
  PortWrite(Bytes{0xFF}.data(), 1);
  EXPECT_EQ(Read(1, 300), Bytes{});
  ClosePort();
  sim.process().Signal(SIGTERM);
  EXPECT_EQ(sim.process().Wait(3000), 0);

  const std::string log = sim.Log();
  for (const char* violation :
       {"VIOLATION program: page byte 0x02 is outside the burned range (not erased in this session)\n",
        "VIOLATION program: page byte 0xFE is beyond the chip's pages\n",
        "VIOLATION verify: byte 0xFF received after a read-back of page byte 0x02 that differs from "
        "what the host programmed\n"}) {
    EXPECT_NE(log.find(violation), std::string::npos) << violation << log;
  }
}

TEST(Simulator, LinkNamesThePtyAndGoesAtExit) {
  TempDir dir;
  const std::string link = (dir.path() / "ttyRM").string();
  std::filesystem::create_symlink("/nonexistent", link);  // a stale link from an earlier run
  SimProcess sim({"--link", link, "--sessions", "0"});
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.device());
  OpenSimPort(link);
  EXPECT_TRUE(WaitWord(1000));
  sim.process().Signal(SIGTERM);
  // A ThreadSanitizer build of the simulator, among the whole suite, has needed over 3 s.
  EXPECT_EQ(sim.process().Wait(10000), 0);
  ClosePort();
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(Simulator, LatencyHoldsOutputUntilAPacketFillsOrTheTimerRunsOut) {
  struct Case {
    const char* latency_ms;
    const char* announce_ms;
    long long min_ms, max_ms;  // when the first byte comes
    std::size_t min_bytes, max_bytes;  // what comes with it
  };
  const Case cases[] = {
      {"300", "40", 250, 1000, 16, 61},  // the timer: several words in one piece
      {"1000", "5", 0, 600, 62, 62},     // a full packet goes out at once
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.latency_ms);
    const auto start = std::chrono::steady_clock::now();
    SimProcess sim({"--latency-ms", c.latency_ms, "--announce-ms", c.announce_ms});
    OpenSimPort(sim.device());
    Bytes got = Read(1, 3000);
    const auto first_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_GE(first_ms, c.min_ms);
    EXPECT_LE(first_ms, c.max_ms);
    const Bytes rest = Read(200, 30);
    got.insert(got.end(), rest.begin(), rest.end());
    EXPECT_GE(got.size(), c.min_bytes);
    EXPECT_LE(got.size(), c.max_bytes);
    for (std::size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], kWord[i % 4]) << i;
    ClosePort();
  }
}

TEST(Simulator, BadOptionsExitTwoWithTheReason) {
  TempDir dir;
  const std::string file = dir.Write("plain", "x");
  const std::string big = dir.Write("big.bin", Bytes(0x10001, 0));
  const std::string fifo = (dir.path() / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--chip", "RM5169"}, "unknown chip 'RM5169' (want RM5164 or RM5168)"},
      {{"--fault", "hot"}, "unknown fault hot (see --help)"},
      {{"--fault", "short-read=1"}, "bad fault short-read=1 (want short-read=P:N)"},
      {{"--version", "256"}, "bad value '256' for --version (want 0..255)"},
      {{"--link", file}, "--link " + file + " exists and is not a symbolic link"},
      {{"--flash-in", big}, "--flash-in " + big + " holds 65537 bytes, more than the chip's 65536"},
      {{"--flash-in", fifo}, "--flash-in " + fifo + " is not a regular file"},
  };
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(message);
    std::vector<std::string> argv = {RM_SIM_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess sim(argv);
    EXPECT_EQ(sim.Wait(3000), 2);
    EXPECT_EQ(sim.Err(), "rm516x-sim: " + message + "\nTry 'rm516x-sim --help'.\n");
  }
}

}  // namespace
