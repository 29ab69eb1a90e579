// burn on a production line: chip after chip on one port (--repeat), and several ports at
// once, against simulators that model boards being swapped.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <regex>
#include <thread>

#include "tests/cli/run_tool.h"
#include "tests/isp/sim_process.h"

namespace {

// Chip 2 fails; its neighbours burn; every chip has its line, its log entry and its place in
// the count, and the log keeps what it held.
TEST(ProductionBurn, RepeatNumbersEveryChipAndLogsIt) {
  SimProcess sim({"--sessions", "3", "--swap-ms", "500", "--idle-ms", "600",
                  "--fault", "bad-page-echo=1@2"});
  const std::string path = sim.dir().Write("app.bin", TestBytes(1024, 1));
  const std::string log = sim.dir().Write("chips.log", std::string("{\"earlier\":true}\n"));
  const ToolRun run = RunIsp(sim.dir().path(), {"burn", "--chip", "RM5164", "--port", sim.device(),
                                                "--baud", "115200", "--verify", "--repeat", "--count", "3",
                                                "--gap-ms", "200", "--log", log, path});
  EXPECT_EQ(run.exit_code, 1) << run.err;
  const std::vector<std::string> chips = LinesStartingWith(run.out, "#");
  ASSERT_EQ(chips.size(), 3u) << run.out;
  const std::string results[] = {"Verify OK", "Program error", "Verify OK"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(chips[i].rfind("#" + std::to_string(i + 1) + "  " + sim.device() + "  " + results[i] +
                                 "  VER: 2.3  ", 0), 0u) << chips[i];
  }
  EXPECT_EQ(LastLine(run.out), "2 burned, 1 failed");
  EXPECT_EQ(LastLine(run.err), "error: 2 burned, 1 failed");

  const std::vector<std::string> entries = LinesStartingWith(ReadText(log));
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0], "{\"earlier\":true}");
  EXPECT_NE(entries[2].find("\"port\":\"" + sim.device() + "\",\"chip\":2,"), std::string::npos) << entries[2];
  EXPECT_NE(entries[2].find(R"("ok":false,"result":"Program error","version":"VER: 2.3")"), std::string::npos)
      << entries[2];
  for (std::size_t i = 1; i < entries.size(); ++i) {  // UTC to the second; hundredths of a second at most
    EXPECT_TRUE(std::regex_search(entries[i], std::regex(R"(^\{"time":"20[0-9]{2}-[01][0-9]-[0-3][0-9]T[0-2][0-9]:)"
                                                         R"([0-5][0-9]:[0-6][0-9]Z",)"))) << entries[i];
    EXPECT_TRUE(std::regex_search(entries[i], std::regex(R"("seconds":[0-9]+(\.[0-9]{1,2})?\}$)"))) << entries[i];
  }
  EXPECT_TRUE(sim.WaitExit(3000));
}

// On a full disk the chip's line does not fit: it is taken back, so no torn line stays for
// the next one to be glued to. Nobody reads the output, and the chip is still burned to the
// end. (That a process leaves its port free for the next is shown by read and verify.)
TEST(ProductionBurn, LogLineThatDoesNotFitIsTakenBack) {
  SimProcess sim({"--idle-ms", "600"});
  const std::string path = sim.dir().Write("app.bin", TestBytes(512, 4));
  const std::string before = "{\"earlier\":\"" + std::string(980, 'x') + "\"}\n";
  const std::string log = sim.dir().Write("chips.log", before);
  const ToolRun run = RunIsp(sim.dir().path(), {"burn", "--chip", "RM5164", "--port", sim.device(), "--baud",
                                                "115200", "--wait", "5", "--repeat", "--count", "1", "--log", log,
                                                path}, {.closed_stdout = true, .file_limit_bytes = 1024});
  EXPECT_EQ(run.exit_code, 1) << run.err;
  const std::string told = "error: cannot append to " + log + ": only " +
                           std::to_string(1024 - before.size()) + " of ";
  EXPECT_EQ(LastLine(run.err).rfind(told, 0), 0u) << run.err;
  EXPECT_EQ(ReadText(log), before);
  EXPECT_TRUE(sim.WaitExit(3000));
}

// A burned chip that keeps announcing is left alone until the line has been silent.
TEST(ProductionBurn, LingeringChipIsNotBurnedTwice) {
  SimProcess sim({"--sessions", "2", "--linger-ms", "1500", "--swap-ms", "400", "--idle-ms", "600",
                  "--announce-ms", "50"});
  const std::string path = sim.dir().Write("app.bin", TestBytes(512, 2));
  const ToolRun run = RunIsp(sim.dir().path(), {"burn", "--chip", "RM5164", "--port", sim.device(),
                                                "--baud", "115200", "--repeat", "--count", "2",
                                                "--gap-ms", "200", "--json", path});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(LastLine(run.out), R"({"event":"end","ok":true,"text":"2 burned, 0 failed"})");
  // Told once, while the chip announces many times.
  const auto waits = LinesStartingWith(run.out, R"({"event":"wait")");
  ASSERT_EQ(waits.size(), 1u) << run.out;
  EXPECT_EQ(waits[0].rfind(R"({"event":"wait","text":"The last chip still announces: waiting for 200 ms)", 0), 0u);
  EXPECT_TRUE(sim.WaitExit(3000));
  EXPECT_EQ(sim.LogLines("TX program 23").size(), 2u) << sim.Log();
  EXPECT_EQ(sim.LogLines("NOTE session 2 ended").size(), 1u) << sim.Log();
  EXPECT_TRUE(sim.LogLines("VIOLATION").empty()) << sim.Log();
}

// Three ports at once, burning the image read once from a pipe: one chip fails, one adapter
// is unplugged mid-burn, one burns. Every port's reset command speaks with its port's
// prefix, on either stream, its last line unended too; the run ends with one end event.
TEST(ProductionBurn, GangBurnsTheImageReadOnceAndFailuresLeaveTheOthersBurning) {
  std::vector<std::unique_ptr<SimProcess>> sims;
  for (const std::string fault : {"bad-page-echo=2", "hangup=300", ""}) {
    // Three ports' threads, their reset commands and three simulators share two cores, under
    // ThreadSanitizer too: the chips wait long for a slow host.
    std::vector<std::string> args = {"--idle-ms", "2000"};
    if (!fault.empty()) args.insert(args.end(), {"--fault", fault});
    sims.push_back(std::make_unique<SimProcess>(args));
  }
  const std::vector<std::uint8_t> image = TestBytes(4096, 3);
  const std::string fifo = (sims[0]->dir().path() / "app.bin").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] {
    std::ofstream out(fifo, std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  });
  std::vector<std::string> args = {"burn", "--chip", "RM5164", "--baud", "115200", "--verify", "--wait", "10",
                                   "--json", "--reset-command", "echo reset one; printf 'reset two' >&2"};
  for (const auto& sim : sims) args.insert(args.end(), {"--port", sim->device()});
  args.push_back(fifo);
  const ToolRun run = RunIsp(sims[0]->dir().path(), args);
  writer.join();

  EXPECT_EQ(run.exit_code, 1) << run.err << run.out;
  EXPECT_EQ(LinesStartingWith(run.out, R"({"event":"end")").size(), 1u) << run.out;
  EXPECT_EQ(LastLine(run.out), R"({"event":"end","ok":false,"text":"1 port(s) done, 2 failed",)"
                                R"("error":"1 port(s) done, 2 failed"})");
  const std::string results[] = {R"("ok":false,"text":"Program error")", " was lost)\"}",
                                 R"("ok":true,"text":"Verify OK"})"};
  for (std::size_t i = 0; i < sims.size(); ++i) {
    const std::string port = R"({"port":")" + sims[i]->device() + R"(",)";
    const std::vector<std::string> result = LinesStartingWith(run.out, port + R"("event":"result",)");
    ASSERT_EQ(result.size(), 1u) << run.out;
    EXPECT_NE(result[0].find(results[i]), std::string::npos) << result[0];
    EXPECT_EQ(LinesStartingWith(run.out, port + R"("event":"output","text":"reset )").size(), 2u) << run.out;
    EXPECT_TRUE(sims[i]->WaitExit(3000));
  }
  const std::vector<std::uint8_t> flash = sims[2]->Flash();
  ASSERT_GE(flash.size(), image.size());
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
}

// Every port burned: exit 0 and a summary that says so. In plain lines each port tells its
// end once, though the last status is also the port's result.
TEST(ProductionBurn, GangOfGoodChipsEndsOk) {
  SimProcess sims[2] = {SimProcess({"--idle-ms", "2000"}), SimProcess({"--idle-ms", "2000"})};
  const std::string path = sims[0].dir().Write("app.bin", TestBytes(512, 8));
  const ToolRun run = RunIsp(sims[0].dir().path(), {"burn", "--chip", "RM5164", "--baud", "115200", "--port",
                                                    sims[0].device(), "--port", sims[1].device(), path});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(LastLine(run.out), "2 port(s) done, 0 failed");
  for (const SimProcess& sim : sims) {
    EXPECT_EQ(LinesStartingWith(run.out, sim.device() + ": Verify OK").size(), 1u) << run.out;
  }
}

// Four ports waiting for their chips are one process; killed, it leaves every port free.
TEST(ProductionBurn, GangIsOneProcessAndAKillFreesEveryPort) {
  std::vector<std::unique_ptr<SimProcess>> sims;
  for (int i = 0; i < 4; ++i) {
    sims.push_back(std::make_unique<SimProcess>(std::vector<std::string>{"--fault", "silent=handshake"}));
  }
  const std::string path = sims[0]->dir().Write("app.bin", TestBytes(512, 6));
  std::vector<std::string> argv = {RM_ISP_TOOL, "burn", "--chip", "RM5164", "--baud", "115200", "--json"};
  for (const auto& sim : sims) argv.insert(argv.end(), {"--port", sim->device()});
  argv.push_back(path);
  ChildProcess tool(argv, false, {"XDG_CONFIG_HOME=" + sims[0]->dir().path().string(), "HOME=" + sims[0]->dir().path().string()});
  const auto waiting = [&] {
    std::size_t ports = 0;
    for (std::size_t at = 0; (at = tool.Out().find("Please enter ISP", at)) != std::string::npos; ++at) ++ports;
    return ports;
  };
  ASSERT_TRUE(WaitUntil([&] { return waiting() >= 4; }, 10000)) << tool.Out() << tool.Err();
  for (const auto& sim : sims) {
    ASSERT_NE(tool.Out().find(R"({"port":")" + sim->device() + R"(","event":"status","text":"Please enter ISP")"),
              std::string::npos) << tool.Out();
  }
  EXPECT_EQ(RunProgram({"pgrep", "-P", std::to_string(tool.pid())}).exit_code, 1) << "it has child processes";

  tool.Signal(SIGKILL);
  EXPECT_EQ(tool.Wait(5000), 128 + SIGKILL);
  // Nothing holds a port's lock any more. (A pseudo-terminal's slave also keeps the exclusive
  // flag of its last user, which a real device drops at its last close.)
  for (const auto& sim : sims) {
    const int fd = ::open(sim->device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0) << sim->device();
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0) << sim->device() << " is still locked";
    ::close(fd);
  }
}

}  // namespace

