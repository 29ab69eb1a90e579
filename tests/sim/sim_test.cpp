// The simulator as a host sees it, the host's side played byte by byte through the tool's
// own port. Its faults and phases are shown by the real host in the isp tests; here is what
// a correct host never makes it show: violations and its options.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "serial/serial_port.h"
#include "tests/isp/sim_process.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
const Bytes kWord = {'z', 'a', 'f', 'o'};

// Up to count bytes: fewer when timeout_ms passed.
Bytes Read(SerialPort& port, std::size_t count, int timeout_ms) {
  port.SetTimeouts(timeout_ms, timeout_ms);
  Bytes got(count);
  got.resize(port.Read(got.data(), static_cast<std::uint32_t>(count)));
  return got;
}

// Slides a four-byte window over the input until it holds the handshake word.
bool WaitWord(SerialPort& port, int timeout_ms) {
  Bytes window(4, 0);
  return WaitUntil([&] {
    for (std::uint8_t byte : Read(port, 1, 50)) {
      window.erase(window.begin());
      window.push_back(byte);
    }
    return window == kWord;
  }, timeout_ms);
}

TEST(Simulator, PagesOutsideTheBurnAreViolations) {
  SimProcess sim({"--announce-ms", "20", "--idle-ms", "600"});
  SerialPort port;
  OpenSimPort(port, sim.device());
  ASSERT_TRUE(WaitWord(port, 1000));
  Bytes page(257, 0x0F);  // page byte 0x02 and its data, with no erase before
  page[0] = 0x02;
  // What the host sends, and the device's whole answer.
  const std::vector<std::pair<Bytes, Bytes>> steps = {
      {kWord, {23, 0x22}}, {{0x00}, {0x00}}, {{0xFF}, {0x26, 0x23}}, {page, {0x02}}};
  for (const auto& [send, answer] : steps) {
    port.Write(send.data(), static_cast<std::uint32_t>(send.size()));
    ASSERT_EQ(Read(port, answer.size(), 1000), answer) << int{send[0]};
  }
  port.Close();
  sim.Terminate();
  // The other tests' checks for no violation read this prefix.
  EXPECT_NE(sim.Log().find("\nVIOLATION program: page byte 0x02 is outside the burned range (not "
                           "erased in this session)\n"),
            std::string::npos)
      << sim.Log();
}

// Without a value --version names the program instead of setting the version byte.
TEST(Simulator, CommandLineVersionAndBadOptions) {
  TempDir dir;
  const std::string file = dir.Write("plain", "x");
  const std::string usage = "\nTry 'rm516x-sim --help'.\n";
  struct Case { std::vector<std::string> args; int exit_code; std::string out, err; };
  const Case cases[] = {
      {{"--version"}, 0, "rm516x-sim " RM_VERSION "\n", ""},
      {{"--chip", "RM5169"}, 2, "", "rm516x-sim: unknown chip 'RM5169' (want RM5164 or RM5168)" + usage},
      {{"--version", "256"}, 2, "", "rm516x-sim: bad value '256' for --version (want 0..255)" + usage},
      {{"--link", file}, 2, "", "rm516x-sim: --link " + file + " exists and is not a symbolic link" + usage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    std::vector<std::string> argv = {RM_SIM_PATH};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    ChildProcess sim(argv);
    EXPECT_EQ(sim.Wait(3000), c.exit_code);
    EXPECT_EQ(sim.Out(), c.out);
    EXPECT_EQ(sim.Err(), c.err);
  }
}

}  // namespace
