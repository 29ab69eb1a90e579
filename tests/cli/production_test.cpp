// burn on a production line: chip after chip on one port (--repeat), and several ports at
// once, against simulators that model boards being swapped.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

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
  EXPECT_TRUE(sim.WaitExit(3000));
}

// On a full disk the chip's line does not fit: it is taken back, so no torn line stays for
// the next one to be glued to.
TEST(ProductionBurn, LogLineThatDoesNotFitIsTakenBack) {
  SimProcess sim({"--idle-ms", "600"});
  const std::string path = sim.dir().Write("app.bin", TestBytes(512, 4));
  const std::string before = "{\"earlier\":\"" + std::string(980, 'x') + "\"}\n";
  const std::string log = sim.dir().Write("chips.log", before);
  const ToolRun run = RunIsp(sim.dir().path(), {"burn", "--chip", "RM5164", "--port", sim.device(), "--baud",
                                                "115200", "--wait", "5", "--repeat", "--count", "1", "--log", log,
                                                path}, {.file_limit_bytes = 1024});
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
  EXPECT_NE(run.out.find(R"({"event":"wait","text":"The last chip still announces: waiting for 200 ms)"),
            std::string::npos) << run.out;
  EXPECT_TRUE(sim.WaitExit(3000));
  EXPECT_EQ(sim.LogLines("TX program 23").size(), 2u) << sim.Log();
  EXPECT_EQ(sim.LogLines("NOTE session 2 ended").size(), 1u) << sim.Log();
  EXPECT_TRUE(sim.LogLines("VIOLATION").empty()) << sim.Log();
}

// Three ports at once: one chip fails, one adapter is unplugged mid-burn, one burns.
TEST(ProductionBurn, GangPortFailuresLeaveTheOthersBurning) {
  std::vector<std::unique_ptr<SimProcess>> sims;
  for (const std::string fault : {"bad-page-echo=2", "hangup=300", ""}) {
    std::vector<std::string> args = {"--idle-ms", "600"};
    if (!fault.empty()) args.insert(args.end(), {"--fault", fault});
    sims.push_back(std::make_unique<SimProcess>(args));
  }
  const std::vector<std::uint8_t> image = TestBytes(4096, 3);
  const std::string path = sims[0]->dir().Write("app.bin", image);
  std::vector<std::string> args = {"burn", "--chip", "RM5164", "--baud", "115200", "--verify"};
  for (const auto& sim : sims) args.insert(args.end(), {"--port", sim->device()});
  args.push_back(path);
  const ToolRun run = RunIsp(sims[0]->dir().path(), args);

  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_NE(run.out.find(sims[0]->device() + ": error: Program error\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(sims[1]->device() + " was lost"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(sims[2]->device() + ": Verify OK\n"), std::string::npos) << run.out;
  EXPECT_EQ(LastLine(run.out), "1 port(s) done, 2 failed");
  for (auto& sim : sims) EXPECT_TRUE(sim->WaitExit(3000));
  const std::vector<std::uint8_t> flash = sims[2]->Flash();
  ASSERT_GE(flash.size(), image.size());
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
}

}  // namespace
