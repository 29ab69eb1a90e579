// The phases spoken directly with the simulator: what goes over the wire, in what order.
#include <gtest/gtest.h>

#include "image/bank_image.h"
#include "isp/burn_status.h"
#include "isp/burn_worker.h"
#include "isp/protocol.h"
#include "tests/isp/sim_process.h"

namespace {

struct Event {
  BurnPhase phase;
  PhaseEvent event;
  std::uint32_t count;
  bool operator==(const Event&) const = default;
};
std::vector<Event> events;

void RecordEvent(BurnPhase phase, PhaseEvent event, std::uint32_t count) {
  events.push_back({phase, event, count});
}

int Answered(BurnPhase phase) {
  int n = 0;
  for (const Event& e : events) n += e.phase == phase && e.event == PhaseCommandAnswered;
  return n;
}

// Handshake, then every phase; the first failure's text, or "" when all succeeded.
std::string RunAllPhases(bool read_back) {
  int version = 0;
  if (!Handshake(&version)) return "handshake stopped";
  std::string failure;
  const BurnPlan plan = CurrentBurnPlan();
  if (!ErasePhase(plan, RecordEvent, &failure)) return failure;
  if (!ProgramPhase(plan, RecordEvent, &failure)) return failure;
  if (!VerifyPhase(plan, read_back, RecordEvent, &failure)) return failure;
  if (!ChecksumPhase(plan, !read_back, BurnSum(), RecordEvent, &failure)) return failure;
  return "";
}

class Protocol : public ::testing::Test {
 protected:
  void SetUp() override {
    events.clear();
    StopRequested = 0;
  }
};

TEST_F(Protocol, HandshakeFindsTheWholeWordAfterNoiseAndEchoesItOnce) {
  SimProcess sim({"--fault", "noise", "--version", "7", "--idle-ms", "300"});
  OpenSimPort(sim);
  int version = 0;
  ASSERT_EQ(Handshake(&version), 1);
  EXPECT_EQ(version, 7);
  sim.WaitExit(3000);
  // The noise carried "zaf" without its "o"; a host that matched it would have echoed early.
  EXPECT_EQ(sim.LogLines("RX handshake"), std::vector<std::string>{"RX handshake 7a 61 66 6f"});
  EXPECT_TRUE(sim.LogLines("VIOLATION").empty()) << sim.Log();
}

TEST_F(Protocol, OddPageCountErasesWholeBlocksAndProgramsOnlyPagesWithData) {
  SimProcess sim({"--chip", "RM5168", "--idle-ms", "300"});
  OpenSimPort(sim);
  LoadTestImage(1, 3, 0, 11, {1});
  ASSERT_EQ(RunAllPhases(true), "");
  ASSERT_TRUE(sim.WaitExit(3000));

  const std::vector<std::string> erase = {"RX erase 00", "RX erase 02", "RX erase ff"};
  EXPECT_EQ(sim.LogLines("RX erase"), erase);
  const auto programmed = sim.LogLines("RX program");
  ASSERT_EQ(programmed.size(), 3u);  // pages 0x00 and 0x02, then the end-of-phase byte
  EXPECT_EQ(programmed[0].substr(0, 14), "RX program 00 ");
  EXPECT_EQ(programmed[1].substr(0, 14), "RX program 02 ");
  EXPECT_EQ(programmed[2], "RX program ff");
  const std::vector<std::string> verify = {"RX verify 00", "RX verify 01", "RX verify 02",
                                           "RX verify ff"};
  EXPECT_EQ(sim.LogLines("RX verify"), verify);
  EXPECT_EQ(sim.LogLines("RX checksum"), std::vector<std::string>{"RX checksum ff"});
  EXPECT_TRUE(sim.LogLines("VIOLATION").empty()) << sim.Log();
  EXPECT_EQ(FlashMismatch(sim.Flash()), "");

  // The skipped blank page still counts as answered.
  EXPECT_EQ(events.front(), (Event{PhaseErase, PhaseLoopBegins, 2}));
  EXPECT_EQ(Answered(PhaseErase), 2);
  EXPECT_EQ(Answered(PhaseProgram), 3);
  EXPECT_EQ(Answered(PhaseVerify), 3);
  EXPECT_EQ(Answered(PhaseChecksum), 0);
}

TEST_F(Protocol, NothingToBurnStillOpensAndClosesEveryPhase) {
  SimProcess sim({"--chip", "RM5168", "--idle-ms", "300"});
  OpenSimPort(sim);
  LoadTestImage(1, 0, 0, 1);
  ASSERT_EQ(RunAllPhases(true), "");
  ASSERT_TRUE(sim.WaitExit(3000));
  const std::vector<std::string> host = {"RX handshake 7a 61 66 6f", "RX erase ff", "RX program ff",
                                         "RX verify ff", "RX checksum ff"};
  EXPECT_EQ(sim.LogLines("RX"), host);
  EXPECT_TRUE(sim.LogLines("VIOLATION").empty()) << sim.Log();
  EXPECT_EQ(Answered(PhaseErase) + Answered(PhaseProgram) + Answered(PhaseVerify), 0);
}

TEST_F(Protocol, ChecksumPhaseTrustsOnlyTheTotalOfThePageSums) {
  SimProcess sim({"--fault", "cancel-sums=1:3", "--idle-ms", "300"});
  OpenSimPort(sim);
  LoadTestImage(0, 4, 0, 5);
  EXPECT_EQ(RunAllPhases(false), "");
  ASSERT_TRUE(sim.WaitExit(3000));
  EXPECT_TRUE(sim.LogLines("VIOLATION").empty()) << sim.Log();
}

}  // namespace
