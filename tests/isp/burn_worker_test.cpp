// Whole burns by BurnWorker against the simulator: what the user sees (through the
// recording shell), what the chip ends up holding, and that a failed or stopped burn sends
// nothing more (the simulator logs every late byte as a VIOLATION).
#include <gtest/gtest.h>

#include <algorithm>

#include "image/bank_image.h"
#include "isp/burn_status.h"
#include "isp/burn_worker.h"
#include "serial/serial_port.h"
#include "settings/settings.h"
#include "tests/isp/sim_process.h"
#include "tests/support/recording_shell.h"

namespace {

class BurnWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetShellRecord();
    VerifyAfterBurn = 1;
  }
};

// The progress shown: the lock's 0, then 127 erase commands, then 254 pages programmed and
// 254 checked, each loop after a reset to 0; only each loop's last step reaches 100.
void ExpectProgressOf254Pages(const std::vector<int>& progress) {
  ASSERT_EQ(progress.size(), 1u + 127 + 255 + 255);
  EXPECT_EQ(std::count(progress.begin(), progress.end(), 100), 3);
  EXPECT_EQ(progress[127], 100);
  EXPECT_EQ(progress[128], 0);
  EXPECT_EQ(progress[254], 49);  // 126 of 254 pages
  EXPECT_EQ(progress.back(), 100);
}

// A failed burn offers Burn again and leaves the other inputs locked until the dialog closes.
void ExpectFailBurnRelease(const RecordedShell& shell) {
  EXPECT_EQ(shell.input_locks, std::vector<bool>{true});
  EXPECT_EQ(shell.burn_offers, (std::vector<bool>{false, true}));
  EXPECT_EQ(shell.burn_button_enables, std::vector<bool>{true});
  ASSERT_FALSE(shell.verify_box_enables.empty());
  EXPECT_TRUE(shell.verify_box_enables.back());
  EXPECT_EQ(shell.burn_button, BurnButton::Close);
  EXPECT_EQ(BurnStatusColor.load(), kColorRed);
}

TEST_F(BurnWorkerTest, CompleteRm5164BurnOf254PagesWithReadBack) {
  SimProcess sim({"--idle-ms", "500"});
  OpenSimPort(sim);
  LoadTestImage(0, 254, 0, 3, {0, 100, 253});
  ASSERT_EQ(BurnWorker(), 1);
  ASSERT_TRUE(sim.WaitExit(3000));

  EXPECT_EQ(BurnStatusText(), "Verify OK");
  EXPECT_EQ(BurnStatusColor.load(), kColorGreen);
  EXPECT_EQ(FlashMismatch(sim.Flash()), "");
  EXPECT_TRUE(sim.LogLines("VIOLATION").empty()) << sim.Log();
  const auto erase = sim.LogLines("RX erase");
  ASSERT_EQ(erase.size(), 128u);
  EXPECT_EQ(erase[126], "RX erase fc");
  const auto program = sim.LogLines("RX program");
  ASSERT_EQ(program.size(), 252u);  // three blank pages skipped, then the end byte
  EXPECT_EQ(program[0].substr(0, 14), "RX program 01 ");
  EXPECT_EQ(program[250].substr(0, 14), "RX program fc ");

  const RecordedShell shell = ShellRecord();
  EXPECT_EQ(shell.input_locks, std::vector<bool>{true});  // a finished burn keeps them until Close
  EXPECT_EQ(shell.burn_offers, std::vector<bool>{false});
  EXPECT_EQ(shell.burn_button, BurnButton::Close);
  EXPECT_EQ(shell.handshakes, std::vector<int>{23});
  EXPECT_TRUE(shell.messages.empty());
  EXPECT_EQ(shell.verify_box_enables, (std::vector<bool>{false, true}));
  ExpectProgressOf254Pages(shell.progress);
}

TEST_F(BurnWorkerTest, CompleteRm5168TwoBankBurnWithPageSums) {
  SimProcess sim({"--chip", "RM5168", "--idle-ms", "500"});
  OpenSimPort(sim);
  LoadTestImage(1, 128, 126, 4);
  VerifyAfterBurn = 0;
  ASSERT_EQ(BurnWorker(), 1);
  ASSERT_TRUE(sim.WaitExit(3000));

  EXPECT_EQ(BurnStatusText(), "CheckSum OK");
  EXPECT_EQ(BurnStatusColor.load(), kColorGreen);
  EXPECT_EQ(FlashMismatch(sim.Flash()), "");
  EXPECT_TRUE(sim.LogLines("VIOLATION").empty()) << sim.Log();
  EXPECT_EQ(sim.LogLines("RX verify"), std::vector<std::string>{"RX verify ff"});
  const auto sums = sim.LogLines("RX checksum");
  ASSERT_EQ(sums.size(), 255u);
  EXPECT_EQ(sums[127], "RX checksum 7f");
  EXPECT_EQ(sums[128], "RX checksum 80");
  EXPECT_EQ(sums[253], "RX checksum fd");

  const RecordedShell shell = ShellRecord();
  EXPECT_TRUE(shell.verify_box_enables.empty());  // the Verify box stays usable without read-back
  ExpectProgressOf254Pages(shell.progress);  // 64 + 63 blocks, then the page sums
}

TEST(FirmwareVersion, TextKeepsTheUnitsDigitAndIsEmptyBelowOne) {
  struct Case { int version; const char* text; };
  for (const Case& c : {Case{23, "VER: 2.3"}, Case{20, "VER: 2.0"}, Case{255, "VER: 25.5"},
                        Case{1, "VER: 0.1"}, Case{0, ""}, Case{-1, ""}}) {
    EXPECT_EQ(FirmwareVersionText(c.version), c.text) << c.version;
  }
}

TEST_F(BurnWorkerTest, FirmwareVersionIsToldAndAnOldOneIsReportedOutOfDate) {
  Window main_window = reinterpret_cast<Window>(0x1234);
  for (const char* version : {"20", "0", "none"}) {
    SCOPED_TRACE(version);
    ResetShellRecord();
    SetRecordedMainWindow(main_window);
    SimProcess sim({"--version", version, "--idle-ms", "300"});
    OpenSimPort(sim);
    LoadTestImage(0, 1, 0, 9);
    EXPECT_EQ(BurnWorker(), 1);  // an old firmware does not stop the burn
    const RecordedShell shell = ShellRecord();
    const int expected = std::string(version) == "none" ? -1 : std::stoi(version);
    EXPECT_EQ(shell.handshakes, std::vector<int>{expected});
    if (expected >= 1) {
      EXPECT_TRUE(shell.messages.empty());
    } else {
      ASSERT_EQ(shell.messages.size(), 1u);
      EXPECT_EQ(shell.messages[0].text, "The ISP firmware is out-of-date.\nPlease update the ISP firmware");
      EXPECT_EQ(shell.messages[0].kind, MessageError);
      EXPECT_EQ(shell.messages[0].owner, main_window);
    }
  }
}

TEST_F(BurnWorkerTest, VerifyAcceptsAPageThatArrivesWholeAtTheSixthAttempt) {
  SimProcess sim({"--fault", "short-read=1:5"});
  OpenSimPort(sim);
  LoadTestImage(0, 3, 0, 6);
  EXPECT_EQ(BurnWorker(), 1);
  EXPECT_EQ(BurnStatusText(), "Verify OK");
  ASSERT_TRUE(sim.WaitExit(5000));
  EXPECT_EQ(sim.LogLines("RX verify 01").size(), 6u);
  EXPECT_TRUE(sim.LogLines("VIOLATION").empty()) << sim.Log();
}

TEST_F(BurnWorkerTest, OnlyOneWorkerAtATimeAndJoinGivesItsResult) {
  SimProcess sim({"--fault", "silent=handshake"});
  OpenSimPort(sim);
  LoadTestImage(0, 1, 0, 1);
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(StartBurnWorker());
    EXPECT_TRUE(BurnWorkerRunning());
    EXPECT_FALSE(StartBurnWorker());
    // The first stop comes while the worker's thread may still be starting: it must hold.
    if (round == 1) {
      ASSERT_TRUE(WaitUntil([] { return BurnStatusText() == "Please enter ISP"; }, 5000));
    }
    RequestBurnStop();
    ASSERT_TRUE(WaitUntil([] { return !BurnWorkerRunning(); }, 5000));
    EXPECT_EQ(JoinBurnWorker(), 0);
    EXPECT_FALSE(BurnWorkerRunning());
    EXPECT_EQ(BurnStatusText(), "");
  }
}

TEST_F(BurnWorkerTest, StopWhileTheOutOfDateBoxIsOpenErasesNothing) {
  TempDir dir;
  const std::vector<std::uint8_t> flash(0x10000, 0x5A);
  SimProcess sim({"--version", "0", "--flash-in", dir.Write("flash-in.bin", flash), "--idle-ms", "300"});
  OpenSimPort(sim);
  LoadTestImage(0, 4, 0, 2);
  SetMessageBoxAction(RequestBurnStop);
  EXPECT_EQ(BurnWorker(), 0);
  EXPECT_EQ(BurnStatusText(), "Erase error");
  ExpectFailBurnRelease(ShellRecord());
  sim.WaitExit(5000);
  EXPECT_EQ(sim.Flash(), flash);
  EXPECT_TRUE(sim.LogLines("RX erase").empty()) << sim.Log();
}

// ---- Failures: one case per row of the failure table ------------------------------------

struct FailureCase {
  const char* name;
  int model;
  std::uint32_t bank0_pages;
  std::uint32_t bank1_pages;
  bool verify;
  std::vector<std::string> faults;
  const char* text;
  int idle_ms = 300;  // simulator: host silence that ends the session after the failure
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class BurnFailure : public BurnWorkerTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(BurnFailure, EndsWithItsTextAndSendsNothingMore) {
  const FailureCase& c = GetParam();
  std::vector<std::string> args = {"--chip", c.model == 0 ? "RM5164" : "RM5168", "--idle-ms",
                                   std::to_string(c.idle_ms)};
  for (const std::string& fault : c.faults) {
    args.push_back("--fault");
    args.push_back(fault);
  }
  SimProcess sim(args);
  OpenSimPort(sim);
  LoadTestImage(c.model, c.bank0_pages, c.bank1_pages, 21);
  VerifyAfterBurn = c.verify ? 1 : 0;

  EXPECT_EQ(BurnWorker(), 0);
  EXPECT_EQ(BurnStatusText(), c.text);
  ExpectFailBurnRelease(ShellRecord());
  sim.WaitExit(c.idle_ms + 5000);
  EXPECT_TRUE(sim.LogLines("VIOLATION").empty()) << sim.Log();
  EXPECT_NE(sim.Log().find("NOTE"), std::string::npos);
}

std::string CaseName(const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Erase, BurnFailure,
    ::testing::Values(
        FailureCase{"WrongMarker", 0, 4, 0, true, {"bad-marker=erase"}, "ISP erase error"},
        FailureCase{"NoMarker", 0, 4, 0, true, {"silent=erase"}, "ISP erase error"},
        FailureCase{"Bank0Echo", 0, 4, 0, true, {"bad-erase-echo=2"}, "ISP Erase error"},
        FailureCase{"Bank1Echo", 1, 2, 4, true, {"bad-erase-echo=0x82"}, "ISP Erase error ..."},
        FailureCase{"NoAcknowledge", 0, 4, 0, true, {"no-ack=erase"}, "ISP erase error"},
        FailureCase{"WrongAcknowledge", 0, 4, 0, true, {"bad-ack=erase"}, "ISP erase error"},
        // 40 bytes always end inside the 64 bank 0 echoes, however many words were announced.
        FailureCase{"HangUp", 1, 128, 0, true, {"hangup=40"}, "ISP Erase error"}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Program, BurnFailure,
    ::testing::Values(
        FailureCase{"WrongMarker", 0, 4, 0, true, {"bad-marker=program"}, "ISP program error"},
        FailureCase{"Bank0Echo", 0, 4, 0, true, {"bad-page-echo=1"}, "Program error"},
        FailureCase{"Bank1Echo", 1, 2, 2, true, {"bad-page-echo=0x81"}, "Program error"},
        FailureCase{"WrongAcknowledge", 0, 4, 0, true, {"bad-ack=program"}, "Program error"}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Verify, BurnFailure,
    ::testing::Values(
        FailureCase{"WrongMarker", 0, 4, 0, true, {"bad-marker=verify"}, "ISP error"},
        FailureCase{"DifferingByte", 1, 2, 2, true, {"corrupt-write=0x81"}, "Verify error"},
        FailureCase{"SixShortReads", 0, 4, 0, true, {"short-read=2:6"}, "Verify error", 3000},
        FailureCase{"WrongAcknowledge", 0, 4, 0, true, {"bad-ack=verify"}, "ISP error"}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Checksum, BurnFailure,
    ::testing::Values(
        FailureCase{"WrongMarker", 0, 4, 0, false, {"bad-marker=checksum"}, "ISP error"},
        FailureCase{"EchoDiffers", 0, 4, 0, false, {"bad-sum-echo=1"}, "CheckSum error"},
        FailureCase{"TotalsDiffer", 1, 2, 2, false, {"bad-sum=0x81"}, "CheckSum error"},
        FailureCase{"WrongAcknowledge", 0, 4, 0, false, {"bad-ack=checksum"}, "ISP error"}),
    CaseName);

// ---- Stops: the dialog's button pressed while a phase runs ------------------------------

struct StopCase {
  const char* name;
  const char* trigger;  // the status text on which the button is pressed
  bool blank_image;     // blank pages: no programming traffic, page loops elsewhere still run
  bool verify;
  std::vector<std::string> faults;
  const char* text;
  const char* unfinished;  // the log prefix of the phase's end byte, which must never come
  int device_gives_up_ms = 3000;  // how long the simulator takes to end the abandoned session
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class BurnStop : public BurnWorkerTest, public ::testing::WithParamInterface<StopCase> {};

// The simulator holds bytes to the wire time of 38400 bit/s, so each phase lasts long
// enough for the press to land inside it.
TEST_P(BurnStop, EndsAfterTheCommandInProgressWithTheStopText) {
  const StopCase& c = GetParam();
  std::vector<std::string> args = {"--pace", "--idle-ms", "300"};
  for (const std::string& fault : c.faults) {
    args.push_back("--fault");
    args.push_back(fault);
  }
  SimProcess sim(args);
  OpenSimPort(sim);
  BaudRateIndex = 5;
  SetBaudRate(BaudRateTable[5]);
  std::vector<std::uint32_t> blank;
  if (c.blank_image) {
    for (std::uint32_t page = 0; page < 254; ++page) blank.push_back(page);
  }
  LoadTestImage(0, 254, 0, 8, blank);
  VerifyAfterBurn = c.verify ? 1 : 0;

  ASSERT_TRUE(StartBurnWorker());
  const std::string trigger = c.trigger;
  const bool seen = WaitUntil([&] { return BurnStatusText() == trigger; }, 10000);
  const BurnButton pressed = ShellRecord().burn_button;  // Stop from the chip's answer on
  RequestBurnStop();
  EXPECT_EQ(JoinBurnWorker(), 0);
  ASSERT_TRUE(seen);
  EXPECT_EQ(pressed, std::string(c.name) == "Handshake" ? BurnButton::Close : BurnButton::Stop);
  EXPECT_EQ(BurnStatusText(), c.text);
  ExpectFailBurnRelease(ShellRecord());
  sim.WaitExit(c.device_gives_up_ms);
  EXPECT_TRUE(sim.LogLines(c.unfinished).empty()) << sim.Log();
  EXPECT_TRUE(sim.LogLines("VIOLATION").empty()) << sim.Log();
}

std::string StopName(const ::testing::TestParamInfo<StopCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Phases, BurnStop,
    ::testing::Values(
        // A device that never announces never gives up either: give late bytes a moment.
        StopCase{"Handshake", "Please enter ISP", true, true, {"silent=handshake"}, "", "RX handshake", 300},
        StopCase{"Erase", "ISP erasing ...", true, true, {}, "Erase error", "RX erase ff"},
        StopCase{"Program", "ISP programming", false, true, {}, "Program error", "RX program ff"},
        StopCase{"Verify", "Verify", true, true, {}, "Verify error", "RX verify ff"},
        StopCase{"Checksum", "Calculate CheckSum", true, false, {}, "CheckSum error", "RX checksum ff"}),
    StopName);

TEST_F(BurnWorkerTest, ClearingVerifyWhileErasingSwitchesToPageSums) {
  SimProcess sim({"--pace", "--idle-ms", "500"});
  OpenSimPort(sim);
  BaudRateIndex = 5;
  SetBaudRate(BaudRateTable[5]);
  std::vector<std::uint32_t> blank;
  for (std::uint32_t page = 0; page < 254; ++page) blank.push_back(page);
  LoadTestImage(0, 254, 0, 8, blank);

  ASSERT_TRUE(StartBurnWorker());
  const bool seen = WaitUntil([] { return BurnStatusText() == "ISP erasing ..."; }, 10000);
  VerifyAfterBurn = 0;
  EXPECT_EQ(JoinBurnWorker(), 1);
  ASSERT_TRUE(seen);
  EXPECT_EQ(BurnStatusText(), "CheckSum OK");
  ASSERT_TRUE(sim.WaitExit(3000));
  EXPECT_EQ(sim.LogLines("RX verify"), std::vector<std::string>{"RX verify ff"});
  EXPECT_EQ(sim.LogLines("RX checksum").size(), 255u);
}

}  // namespace
