// The simulator as a host sees it: the real binary on its pseudo-terminal, the host's side
// played byte by byte. Its faults and phases are shown by the real host in the isp tests;
// here is what a correct host never makes it show: timing, violations, its options.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
const Bytes kWord = {'z', 'a', 'f', 'o'};

// The host's end of the line, raw.
class Host {
 public:
  explicit Host(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
    termios raw{};
    if (fd_ >= 0 && tcgetattr(fd_, &raw) == 0) {
      cfmakeraw(&raw);
      tcsetattr(fd_, TCSANOW, &raw);
    }
  }
  ~Host() {
    if (fd_ >= 0) ::close(fd_);
  }
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Up to count bytes: fewer when timeout_ms passed or the line was closed.
  Bytes Read(std::size_t count, int timeout_ms) {
    Bytes got(count);
    std::size_t have = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (have < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      pollfd p{fd_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      const ssize_t n = ::read(fd_, got.data() + have, count - have);
      if (n <= 0) break;
      have += static_cast<std::size_t>(n);
    }
    got.resize(have);
    return got;
  }
  void Send(const Bytes& bytes) { ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }
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

 private:
  int fd_;
};

// One exchange: what the host sends, and the device's whole answer.
struct Step {
  Bytes send;
  Bytes answer;
};

void Play(Host& host, const std::vector<Step>& steps) {
  for (std::size_t i = 0; i < steps.size(); ++i) {
    host.Send(steps[i].send);
    ASSERT_EQ(host.Read(steps[i].answer.size(), 1000), steps[i].answer) << "step " << i;
  }
}

std::string ReadText(const std::string& path) {
  const Bytes bytes = ReadBytes(path);
  return {bytes.begin(), bytes.end()};
}

Bytes Page(std::uint8_t page, const Bytes& data) {
  Bytes command(data.size() + 1, page);
  std::copy(data.begin(), data.end(), command.begin() + 1);
  return command;
}

// Quick words; the host silent for 300 ms ends a session.
std::vector<std::string> SimArgs(std::initializer_list<std::string> extra) {
  std::vector<std::string> argv = {RM_SIM_PATH, "--announce-ms", "20", "--idle-ms", "300"};
  argv.insert(argv.end(), extra);
  return argv;
}

TEST(Simulator, AnnouncesTheWordUntilEchoedThenVersionAndEraseMarker) {
  SimOnPty sim({RM_SIM_PATH, "--version", "0x17"});
  ASSERT_EQ(sim.device().rfind("/dev/pts/", 0), 0u) << sim.device();
  Host host(sim.device());
  ASSERT_TRUE(host.WaitWord(1000));
  // Nobody has echoed yet: the next 100 ms bring another whole word.
  EXPECT_EQ(host.Read(4, 300), kWord);
  host.Send(kWord);
  EXPECT_EQ(host.Read(1, 100), Bytes{0x17});
  // The marker comes only after the host's 100 ms wait for the version byte.
  EXPECT_EQ(host.Read(1, 100), Bytes{});
  EXPECT_EQ(host.Read(1, 1000), Bytes{0x22});
}

// Without a value it names the program instead of setting the version byte above.
TEST(Simulator, VersionAloneNamesTheProgram) {
  ChildProcess sim({RM_SIM_PATH, "--version"});
  EXPECT_EQ(sim.Wait(3000), 0);
  EXPECT_EQ(sim.Out(), "rm516x-sim " RM_VERSION "\n");
}

TEST(Simulator, PagesOutsideTheBurnAreViolationsAndAMissingEraseShows) {
  TempDir dir;
  const std::string log = (dir.path() / "sim.log").string();
  SimOnPty sim(SimArgs({"--flash-in", dir.Write("in.bin", Bytes(0x10000, 0x5A)), "--log", log}));
  Host host(sim.device());
  ASSERT_TRUE(host.WaitWord(1000));
  const Bytes ones(256, 0x0F);
  Play(host, {{kWord, {23, 0x22}},
              {{0x00}, {0x00}},
              {{0xFF}, {0x26, 0x23}},
              {Page(0x02, ones), {0x02}},
              {Page(0xFE, ones), {0xFE}},
              {{0xFF}, {0x26, 0x24}},
              {{0xFE}, Bytes(256, 0x5A)},           // the firmware's page was not written
              {{0x02}, Bytes(256, 0x5A & 0x0F)}});  // unerased: programming cleared bits only
  host.Send({0xFF});
  EXPECT_EQ(host.Read(1, 300), Bytes{});
  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.Wait(3000), 0);

  const std::string text = ReadText(log);
  for (const char* violation :
       {"VIOLATION program: page byte 0x02 is outside the burned range (not erased in this session)\n",
        "VIOLATION program: page byte 0xFE is beyond the chip's pages\n",
        "VIOLATION verify: byte 0xFF received after a read-back of page byte 0x02 that differs from "
        "what the host programmed\n"}) {
    EXPECT_NE(text.find(violation), std::string::npos) << violation << text;
  }
}

TEST(Simulator, LinkNamesThePtyAndGoesAtExit) {
  TempDir dir;
  const std::string link = (dir.path() / "ttyRM").string();
  std::filesystem::create_symlink("/nonexistent", link);  // a stale link from an earlier run
  SimOnPty sim({RM_SIM_PATH, "--link", link, "--sessions", "0"});
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.device());
  Host host(link);
  EXPECT_TRUE(host.WaitWord(1000));
  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.Wait(3000), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(Simulator, PoweredOffStaysSilentUntilSigusr1) {
  SimOnPty sim(SimArgs({"--powered-off"}));
  Host host(sim.device());
  host.Send(kWord);  // unheard: no echo, no announcement
  EXPECT_TRUE(host.Read(1, 300).empty());
  sim.Signal(SIGUSR1);
  EXPECT_TRUE(host.WaitWord(1000));
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
    SimOnPty sim({RM_SIM_PATH, "--latency-ms", c.latency_ms, "--announce-ms", c.announce_ms});
    Host host(sim.device());
    Bytes got = host.Read(1, 3000);
    const auto first_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_GE(first_ms, c.min_ms);
    EXPECT_LE(first_ms, c.max_ms);
    const Bytes rest = host.Read(200, 30);
    got.insert(got.end(), rest.begin(), rest.end());
    EXPECT_GE(got.size(), c.min_bytes);
    EXPECT_LE(got.size(), c.max_bytes);
    for (std::size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], kWord[i % 4]) << i;
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(3000), 0);
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
      {{"--fault", "no-ack=handshake"}, "bad fault no-ack=handshake (want no-ack=erase|program|verify|checksum)"},
      {{"--version", "256"}, "bad value '256' for --version (want 0..255)"},
      {{"--frobnicate"}, "unknown option '--frobnicate'"},
      {{"--link", file}, "--link " + file + " exists and is not a symbolic link"},
      {{"--flash-in", big}, "--flash-in " + big + " holds 65537 bytes, more than the chip's 65536"},
      {{"--flash-in", fifo}, "--flash-in " + fifo + " is not a regular file"},
  };
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(message);
    std::vector<std::string> argv = {RM_SIM_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    SimOnPty sim(argv);
    EXPECT_EQ(sim.Wait(3000), 2);
    EXPECT_EQ(sim.Err(), "rm516x-sim: " + message + "\nTry 'rm516x-sim --help'.\n");
  }
}

}  // namespace
