// The simulator as a host sees it: the real binary in a child process, its pty opened raw,
// the host side played by hand.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// ---- The simulator process ------------------------------------------------------------------

struct Sim {
  pid_t pid = -1;
  int out = -1;
  int err = -1;
  std::string pty;
  Sim() = default;
  Sim(const Sim&) = delete;
  Sim& operator=(const Sim&) = delete;
  ~Sim() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (out >= 0) close(out);
    if (err >= 0) close(err);
  }
};

// What fd gives until EOF, the time-out, or (with line) the first newline.
std::string ReadAll(int fd, int timeout_ms, bool line = false) {
  std::string text;
  Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (Clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    char buffer[512];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (line && text.find('\n') != std::string::npos) break;
  }
  return text;
}

// Starts rm516x-sim with args; sim->pty is its first line of output ("" if none came).
void Start(Sim* sim, const std::vector<std::string>& args) {
  int out_pipe[2], err_pipe[2];
  ASSERT_EQ(pipe(out_pipe), 0);
  ASSERT_EQ(pipe(err_pipe), 0);
  std::vector<std::string> words = {RM_SIM_PATH};
  words.insert(words.end(), args.begin(), args.end());
  sim->pid = fork();
  ASSERT_GE(sim->pid, 0);
  if (sim->pid == 0) {
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  sim->out = out_pipe[0];
  sim->err = err_pipe[0];
  std::string line = ReadAll(sim->out, 3000, true);
  if (!line.empty() && line.back() == '\n') line.pop_back();
  sim->pty = line;
}

// The exit status, or -1 if it is still running after timeout_ms.
int WaitExit(Sim* sim, int timeout_ms) {
  Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (Clock::now() < end) {
    int status = 0;
    if (waitpid(sim->pid, &status, WNOHANG) == sim->pid) {
      sim->pid = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -1;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// ---- The host side ------------------------------------------------------------------------

struct Host {
  int fd = -1;
  bool hung_up = false;
  explicit Host(const std::string& path) {
    fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    termios raw{};
    if (fd >= 0 && tcgetattr(fd, &raw) == 0) {
      cfmakeraw(&raw);
      tcsetattr(fd, TCSANOW, &raw);
    }
  }
  ~Host() {
    if (fd >= 0) close(fd);
  }
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  Bytes Read(std::size_t count, int timeout_ms) {
    Bytes got;
    Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (got.size() < count && Clock::now() < end && !hung_up) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 10) <= 0) continue;
      std::uint8_t buffer[1024];
      ssize_t n = read(fd, buffer, std::min(sizeof buffer, count - got.size()));
      if (n <= 0) {
        hung_up = true;  // EOF or EIO: the master is gone
        break;
      }
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }
  void Send(const Bytes& bytes) { ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }
  void Purge() { tcflush(fd, TCIFLUSH); }
  // Slides a four-byte window over the input until it holds the handshake word.
  bool WaitWord(int timeout_ms) {
    Bytes window(4, 0);
    Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (Clock::now() < end) {
      Bytes b = Read(1, 50);
      if (b.empty()) continue;
      window.erase(window.begin());
      window.push_back(b[0]);
      if (window == Bytes{'z', 'a', 'f', 'o'}) return true;
    }
    return false;
  }
};

std::string Hex(const Bytes& bytes) {
  if (bytes.empty()) return "none";
  std::string text;
  char digits[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, text.empty() ? "%02x" : " %02x", b);
    text += digits;
  }
  return text;
}

Bytes PageData(std::uint8_t page, std::size_t size) {
  Bytes data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(page * 31 + i * 7 + 1);
  return data;
}

unsigned Sum(const Bytes& bytes) {
  unsigned s = 0;
  for (std::uint8_t b : bytes) s += b;
  return s & 0xFFFF;
}

// ---- A minimal host burn --------------------------------------------------------------

struct Burn {
  std::size_t page_size = 256;
  std::vector<std::uint8_t> pages = {0, 1, 2};
  bool verify = true;
  int timeout_ms = 400;
};

struct Outcome {
  std::string stop = "ok";  // where the host gave up: "<step>: <bytes got>"
  int version = -1;
  std::vector<unsigned> sums;
};

// Plays the host of one burn the way the real one does: strict order, no resync, and the
// first wrong or missing answer ends it without another byte sent.
Outcome RunBurn(Host& host, const Burn& burn) {
  Outcome out;
  auto expect = [&](const std::string& step, const Bytes& want) {
    Bytes got = host.Read(want.size(), burn.timeout_ms);
    if (got == want) return true;
    out.stop = step + ": " + Hex(got);
    return false;
  };
  host.Purge();
  if (!host.WaitWord(3000)) return Outcome{"handshake: none", -1, {}};
  host.Send({'z', 'a', 'f', 'o'});
  Bytes version = host.Read(1, 100);
  out.version = version.empty() ? -1 : version[0];

  if (!expect("erase marker", {0x22})) return out;
  std::set<std::uint8_t> blocks;
  for (std::uint8_t p : burn.pages) blocks.insert(static_cast<std::uint8_t>(p & ~1));
  for (std::uint8_t e : blocks) {
    host.Send({e});
    if (!expect("erase echo " + Hex({e}), {e})) return out;
  }
  host.Send({0xFF});
  if (!expect("erase ack", {0x26})) return out;

  if (!expect("program marker", {0x23})) return out;
  for (std::uint8_t p : burn.pages) {
    host.Send({p});
    host.Send(PageData(p, burn.page_size));
    if (!expect("program echo " + Hex({p}), {p})) return out;
  }
  host.Send({0xFF});
  if (!expect("program ack", {0x26})) return out;

  if (!expect("verify marker", {0x24})) return out;
  for (std::uint8_t p : burn.verify ? burn.pages : std::vector<std::uint8_t>{}) {
    Bytes got;
    for (int attempt = 0; attempt < 6; ++attempt) {
      host.Send({p});
      got = host.Read(burn.page_size, burn.timeout_ms);
      if (got.size() == burn.page_size) break;
    }
    if (got.size() < burn.page_size) return out.stop = "verify " + Hex({p}) + ": short", out;
    if (got != PageData(p, burn.page_size)) return out.stop = "verify " + Hex({p}) + ": differs", out;
  }
  host.Send({0xFF});
  if (!expect("verify ack", {0x26})) return out;

  if (!expect("checksum marker", {0x25})) return out;
  if (!burn.verify) {
    unsigned total = 0, target = 0;
    for (std::uint8_t p : burn.pages) {
      host.Send({p});
      if (!expect("checksum echo " + Hex({p}), {p})) return out;
      Bytes sum = host.Read(2, burn.timeout_ms);
      if (sum.size() < 2) return out.stop = "checksum sum: short", out;
      out.sums.push_back(sum[0] + 256u * sum[1]);
      total += out.sums.back();
      target += Sum(PageData(p, burn.page_size));
    }
    if ((total & 0xFFFF) != (target & 0xFFFF)) return out.stop = "checksum total: differs", out;
  }
  host.Send({0xFF});
  expect("checksum ack", {0x26});
  return out;
}

std::vector<std::string> Args(std::initializer_list<std::string> extra) {
  // Quick words; idle well above the host's 400 ms waits so only a silent host abandons.
  std::vector<std::string> args = {"--announce-ms", "20", "--idle-ms", "1000"};
  args.insert(args.end(), extra);
  return args;
}

// ---- Tests ------------------------------------------------------------------------------

TEST(Simulator, AnnouncesTheWordUntilEchoedThenVersionAndEraseMarker) {
  Sim sim;
  Start(&sim, {"--version", "0x17"});
  ASSERT_EQ(sim.pty.rfind("/dev/pts/", 0), 0u) << sim.pty;
  Host host(sim.pty);
  host.Purge();
  ASSERT_TRUE(host.WaitWord(1000));
  // Nobody has echoed yet: the next 100 ms bring another whole word.
  EXPECT_EQ(Hex(host.Read(4, 300)), "7a 61 66 6f");
  host.Send({'z', 'a', 'f', 'o'});
  EXPECT_EQ(Hex(host.Read(1, 100)), "17");
  // The marker comes only after the host's 100 ms wait for the version byte.
  EXPECT_TRUE(host.Read(1, 100).empty());
  EXPECT_EQ(Hex(host.Read(1, 1000)), "22");
}

TEST(Simulator, CompleteBurnOnTheRM5168LeavesExactlyWhatWasWrittenInFlashOut) {
  TempDir dir;
  Bytes initial(0x20000);
  for (std::size_t i = 0; i < initial.size(); ++i) initial[i] = static_cast<std::uint8_t>(i * 13 + 5);
  std::string in = dir.Write("in.bin", initial);
  std::string out_path = (dir.path() / "out.bin").string();
  std::string log = (dir.path() / "sim.log").string();
  Sim sim;
  Start(&sim, Args({"--chip", "RM5168", "--flash-in", in, "--flash-out", out_path, "--log", log}));
  Host host(sim.pty);
  Burn burn;
  burn.page_size = 512;
  burn.pages = {0x00, 0x81};
  Outcome outcome = RunBurn(host, burn);
  EXPECT_EQ(outcome.stop, "ok");
  EXPECT_EQ(outcome.version, 23);
  ASSERT_EQ(WaitExit(&sim, 3000), 0);

  Bytes expected = initial;
  // Erase bytes 0x00 and 0x80 cleared pages 0, 1 of bank 0 and of bank 1; two were written.
  std::fill_n(expected.begin(), 1024, 0xFF);
  std::fill_n(expected.begin() + 0x10000, 1024, 0xFF);
  Bytes page0 = PageData(0x00, 512), page81 = PageData(0x81, 512);
  std::copy(page0.begin(), page0.end(), expected.begin());
  std::copy(page81.begin(), page81.end(), expected.begin() + 0x10200);
  EXPECT_TRUE(ReadBytes(out_path) == expected);
  std::string text = Slurp(log);
  EXPECT_EQ(text.find("VIOLATION"), std::string::npos) << text;
  EXPECT_NE(text.find("TX erase 26\nTX program 23\n"), std::string::npos);
}

struct FaultCase {
  std::string fault;
  bool verify;
  std::string stop;
};

void ExpectStops(const std::vector<FaultCase>& cases) {
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.fault);
    Sim sim;
    Start(&sim, Args({"--fault", c.fault}));
    Host host(sim.pty);
    Burn burn;
    burn.verify = c.verify;
    EXPECT_EQ(RunBurn(host, burn).stop, c.stop);
  }
}

TEST(Simulator, MarkerAndAcknowledgeFaultsShowWhereTheHostLooks) {
  ExpectStops({
      {"bad-marker=erase", true, "erase marker: 23"},
      {"bad-marker=program", true, "program marker: 24"},
      {"bad-marker=verify", true, "verify marker: 25"},
      {"bad-marker=checksum", true, "checksum marker: 26"},
      {"no-ack=erase", true, "erase ack: none"},
      {"bad-ack=program", true, "program ack: 27"},
      {"no-ack=checksum", true, "checksum ack: none"},
      {"silent=erase", true, "erase marker: none"},
      {"silent=verify", true, "verify marker: none"},
  });
}

TEST(Simulator, EchoFaultsFlipTheLowBitOfTheNamedByteOnly) {
  ExpectStops({
      {"bad-erase-echo=2", true, "erase echo 02: 03"},
      {"bad-erase-echo=4", true, "ok"},  // a block this burn does not erase
      {"bad-page-echo=0x01", true, "program echo 01: 00"},
      {"bad-sum-echo=2", false, "checksum echo 02: 03"},
  });
}

TEST(Simulator, ReadBackAndSumFaults) {
  ExpectStops({
      {"short-read=1:5", true, "ok"},  // the sixth attempt is whole
      {"short-read=1:6", true, "verify 01: short"},
      {"corrupt-write=2", true, "verify 02: differs"},
      {"corrupt-write=2", false, "checksum total: differs"},
      {"bad-sum=0", false, "checksum total: differs"},
  });
}

TEST(Simulator, CancellingSumsPassTheTotalButNotSinglePages) {
  Sim sim;
  Start(&sim, Args({"--fault", "cancel-sums=0:2"}));
  Host host(sim.pty);
  Burn burn;
  burn.verify = false;
  Outcome outcome = RunBurn(host, burn);
  EXPECT_EQ(outcome.stop, "ok");
  ASSERT_EQ(outcome.sums.size(), 3u);
  EXPECT_EQ(outcome.sums[0], (Sum(PageData(0, 256)) + 0x0101) & 0xFFFF);
  EXPECT_EQ(outcome.sums[1], Sum(PageData(1, 256)));
  EXPECT_EQ(outcome.sums[2], (Sum(PageData(2, 256)) + 0x10000 - 0x0101) & 0xFFFF);
}

TEST(Simulator, HandshakeFaults) {
  {
    SCOPED_TRACE("noise");
    Sim sim;
    Start(&sim, Args({"--fault", "noise"}));
    Host host(sim.pty);
    EXPECT_EQ(Hex(host.Read(13, 500)), "13 37 c4 7a 61 66 5a 00 6f 7a 61 66 6f");
  }
  for (const char* version : {"none", "0"}) {
    SCOPED_TRACE(version);
    Sim sim;
    Start(&sim, Args({"--fault", std::string("version=") + version}));
    Host host(sim.pty);
    Outcome outcome = RunBurn(host, Burn{});
    EXPECT_EQ(outcome.stop, "ok");
    EXPECT_EQ(outcome.version, version == std::string("none") ? -1 : 0);
  }
  {
    SCOPED_TRACE("silent=handshake");
    Sim sim;
    Start(&sim, Args({"--fault", "silent=handshake"}));
    Host host(sim.pty);
    EXPECT_EQ(Hex(host.Read(1, 300)), "none");
  }
}

TEST(Simulator, HangupClosesTheLinkAfterNBytes) {
  TempDir dir;
  std::string out_path = (dir.path() / "out.bin").string();
  Sim sim;
  Start(&sim, Args({"--fault", "hangup=6", "--flash-out", out_path}));
  Host host(sim.pty);
  Bytes got = host.Read(100, 2000);
  EXPECT_EQ(Hex(got), "7a 61 66 6f 7a 61");
  EXPECT_TRUE(host.hung_up);
  EXPECT_EQ(WaitExit(&sim, 2000), 0);
  EXPECT_EQ(ReadBytes(out_path).size(), 0x10000u);
}

TEST(Simulator, SessionsAbandonmentAndBytesAfterAFailure) {
  TempDir dir;
  std::string in = dir.Write("in.bin", Bytes(0x500, 0xA5));
  std::string out_path = (dir.path() / "out.bin").string();
  std::string log = (dir.path() / "sim.log").string();
  Sim sim;
  Start(&sim, Args({"--sessions", "3", "--fault", "bad-marker=erase@1", "--flash-in", in,
                    "--flash-out", out_path, "--log", log}));
  Host host(sim.pty);
  // First burn: the marker is wrong; a host that still sends is logged.
  EXPECT_EQ(RunBurn(host, Burn{}).stop, "erase marker: 23");
  host.Send({0x00});
  // The device stays quiet until the host has been silent for --idle-ms, then announces.
  EXPECT_EQ(RunBurn(host, Burn{}).stop, "ok");
  // Third burn: the host leaves after the handshake; the session is abandoned.
  host.Purge();
  ASSERT_TRUE(host.WaitWord(2000));
  host.Send({'z', 'a', 'f', 'o'});
  EXPECT_EQ(WaitExit(&sim, 3000), 0);

  Bytes flash = ReadBytes(out_path);
  ASSERT_EQ(flash.size(), 0x10000u);
  // Pages 0..2 written, page 3 erased with its block, page 4 as --flash-in gave it, and
  // beyond the file's bytes pseudo-random rather than erased.
  for (std::uint8_t p : {0, 1, 2}) {
    EXPECT_EQ(Bytes(flash.begin() + p * 256, flash.begin() + p * 256 + 256), PageData(p, 256));
  }
  EXPECT_EQ(Bytes(flash.begin() + 0x300, flash.begin() + 0x400), Bytes(256, 0xFF));
  EXPECT_EQ(Bytes(flash.begin() + 0x400, flash.begin() + 0x500), Bytes(256, 0xA5));
  std::set<std::uint8_t> tail(flash.begin() + 0x500, flash.end());
  EXPECT_GT(tail.size(), 200u);

  std::string text = Slurp(log);
  EXPECT_NE(text.find("VIOLATION erase: byte 0x00 received after the wrong marker 0x23\n"),
            std::string::npos) << text;
  EXPECT_NE(text.find("NOTE session abandoned in the erase phase"), std::string::npos);
  EXPECT_NE(text.find("NOTE session 2 ended"), std::string::npos);
}

TEST(Simulator, PagesOutsideTheBurnAreViolationsAndAMissingEraseShows) {
  TempDir dir;
  std::string in = dir.Write("in.bin", Bytes(0x10000, 0x5A));
  std::string out_path = (dir.path() / "out.bin").string();
  std::string log = (dir.path() / "sim.log").string();
  Sim sim;
  Start(&sim, Args({"--flash-in", in, "--flash-out", out_path, "--log", log}));
  Host host(sim.pty);
  ASSERT_TRUE(host.WaitWord(1000));
  host.Send({'z', 'a', 'f', 'o'});
  ASSERT_EQ(Hex(host.Read(2, 1000)), "17 22");
  host.Send({0x00});
  ASSERT_EQ(Hex(host.Read(1, 500)), "00");
  host.Send({0xFF});
  ASSERT_EQ(Hex(host.Read(2, 500)), "26 23");
  Bytes ones(256, 0x0F);
  for (std::uint8_t page : {0x02, 0xFE}) {
    host.Send({page});
    host.Send(ones);
    ASSERT_EQ(host.Read(1, 500), Bytes{page});
  }
  host.Send({0xFF});
  ASSERT_EQ(Hex(host.Read(2, 500)), "26 24");
  host.Send({0xFE});
  EXPECT_EQ(host.Read(256, 500), Bytes(256, 0x5A));  // the firmware's page was not written
  host.Send({0x02});
  // Programming cannot set bits: the unerased page reads back old AND new.
  EXPECT_EQ(host.Read(256, 500), Bytes(256, 0x5A & 0x0F));
  host.Send({0xFF});
  EXPECT_EQ(Hex(host.Read(1, 300)), "none");
  kill(sim.pid, SIGTERM);
  EXPECT_EQ(WaitExit(&sim, 3000), 0);
  EXPECT_EQ(ReadBytes(out_path).size(), 0x10000u);

  std::string text = Slurp(log);
  EXPECT_NE(text.find("VIOLATION program: page byte 0x02 is outside the burned range (not erased in this session)"),
            std::string::npos) << text;
  EXPECT_NE(text.find("VIOLATION program: page byte 0xFE is beyond the chip's pages"), std::string::npos);
  EXPECT_NE(text.find("VIOLATION verify: byte 0xFF received after a read-back of page byte 0x02 "
                      "that differs from what the host programmed"), std::string::npos);
}

TEST(Simulator, LinkNamesThePtyAndGoesAtExit) {
  TempDir dir;
  std::string link = (dir.path() / "ttyRM").string();
  std::filesystem::create_symlink("/nonexistent", link);  // a stale link from an earlier run
  Sim sim;
  Start(&sim, {"--link", link, "--sessions", "0"});
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.pty);
  Host host(link);
  EXPECT_TRUE(host.WaitWord(1000));
  kill(sim.pid, SIGTERM);
  EXPECT_EQ(WaitExit(&sim, 3000), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(Simulator, BadOptionsExitTwoWithTheReason) {
  TempDir dir;
  std::string file = dir.Write("plain", "x");
  std::string big = dir.Write("big.bin", Bytes(0x10001, 0));
  const std::string fifo = (dir.path() / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--chip", "RM5169"}, "unknown chip 'RM5169' (want RM5164 or RM5168)"},
      {{"--fault", "hot"}, "unknown fault hot (see --help)"},
      {{"--fault", "short-read=1"}, "bad fault short-read=1 (want short-read=P:N)"},
      {{"--fault", "bad-sum=0xFF"}, "bad fault bad-sum=0xFF (want bad-sum=P with a page byte 0..0xFE)"},
      {{"--fault", "no-ack=handshake"}, "bad fault no-ack=handshake (want no-ack=erase|program|verify|checksum)"},
      {{"--fault", "noise@0"}, "bad session in --fault noise@0 (want @1, @2, ...)"},
      {{"--version", "256"}, "bad value '256' for --version (want 0..255)"},
      {{"--log"}, "missing value after --log"},
      {{"--frobnicate"}, "unknown option '--frobnicate'"},
      {{"--link", file}, "--link " + file + " exists and is not a symbolic link"},
      {{"--flash-in", big}, "--flash-in " + big + " holds 65537 bytes, more than the chip's 65536"},
      {{"--flash-in", "/dev/zero"}, "--flash-in /dev/zero is not a regular file"},
      {{"--flash-in", fifo}, "--flash-in " + fifo + " is not a regular file"},
  };
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(message);
    Sim sim;
    Start(&sim, args);
    EXPECT_EQ(WaitExit(&sim, 3000), 2);
    EXPECT_EQ(ReadAll(sim.err, 1000), "rm516x-sim: " + message + "\nTry 'rm516x-sim --help'.\n");
  }
}

}  // namespace
