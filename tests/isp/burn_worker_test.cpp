// Whole burns by BurnWorker against the simulator: what goes over the wire (the simulator's
// log), what the user sees (through the recording shell), what the chip ends up holding, and
// that a failed or stopped burn sends nothing more (the simulator logs every late byte as a
// VIOLATION).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "image/global_image.h"
#include "isp/burn_status.h"
#include "isp/burn_worker.h"
#include "isp/protocol.h"
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

// Fills FirmwareImage for the model with seeded pseudo-random pages (the pages listed in
// blank_pages all 0xFF) and sets the bank sizes.
void LoadTestImage(int model, std::uint32_t bank0_pages, std::uint32_t bank1_pages, std::uint32_t seed,
                   const std::vector<std::uint32_t>& blank_pages = {}) {
  UseChipModel(model);
  FillByte = 255;
  FillImage();
  const std::uint32_t page_size = PageSize.load();
  std::mt19937 random(seed);
  const auto next = [&] { return static_cast<std::uint8_t>(random()); };
  std::generate_n(FirmwareImage, bank0_pages * page_size, next);
  std::generate_n(FirmwareImage + kBankSizeBytes, bank1_pages * page_size, next);
  for (std::uint32_t page : blank_pages) std::fill_n(FirmwareImage + page * page_size, page_size, 0xFF);
  Bank0Size = bank0_pages * page_size;
  Bank1Size = bank1_pages * page_size;
  FileState = 1;
  StopRequested = 0;
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

// ---- One burn per simulated chip: how it ends and what it showed --------------------------

struct BurnCase {
  const char* name;
  int model;
  std::uint32_t bank0_pages;
  std::uint32_t bank1_pages;
  bool verify;
  std::vector<std::string> sim_args;
  const char* text;  // the status the burn ends with
  std::vector<std::pair<std::string, std::size_t>> log_lines = {};  // per prefix, in the sim's log
  int version = 23;   // what the handshake told
  int idle_ms = 500;  // simulator: host silence that ends the session (a loaded host pauses)
  int baud_index = 7;
  std::size_t queued_words = 0;  // announcements left unread before the burn starts
};

void PrintTo(const BurnCase& c, std::ostream* os) { *os << c.name; }

class Burn : public BurnWorkerTest, public ::testing::WithParamInterface<BurnCase> {};

TEST_P(Burn, EndsWithItsTextAndSendsNothingMore) {
  const BurnCase& c = GetParam();
  std::vector<std::string> args = c.sim_args;
  args.insert(args.end(), {"--chip", c.model == 0 ? "RM5164" : "RM5168", "--idle-ms", std::to_string(c.idle_ms)});
  SimProcess sim(args);
  OpenSimPort(sim.device());
  if (c.baud_index != 7) {
    BaudRateIndex = c.baud_index;
    SetBaudRate(BaudRateTable[c.baud_index]);
  }
  const std::size_t announced = sim.LogLines("TX handshake").size();
  ASSERT_TRUE(WaitUntil([&] { return sim.LogLines("TX handshake").size() >= announced + c.queued_words; }, 5000));
  LoadTestImage(c.model, c.bank0_pages, c.bank1_pages, 21, {0, 100, 253});
  VerifyAfterBurn = c.verify ? 1 : 0;
  const bool ok = std::string(c.text).ends_with(" OK");

  EXPECT_EQ(BurnWorker(), ok ? 1 : 0);  // an old firmware does not stop the burn
  EXPECT_EQ(BurnStatusText(), c.text);
  const RecordedShell shell = ShellRecord();
  EXPECT_EQ(shell.handshakes, std::vector<int>{c.version});
  ASSERT_EQ(shell.messages.size(), c.version >= 1 ? 0u : 1u);
  if (c.version < 1) {
    EXPECT_EQ(shell.messages[0].text, "The ISP firmware is out-of-date.\nPlease update the ISP firmware");
  }
  if (ok) {
    EXPECT_EQ(BurnStatusColor.load(), kColorGreen);
    EXPECT_EQ(shell.input_locks, std::vector<bool>{true});  // a finished burn keeps them until Close
    EXPECT_EQ(shell.burn_offers, std::vector<bool>{false});
    EXPECT_EQ(shell.burn_button, BurnButton::Close);
    // Read-back locks the Verify box; page sums leave it usable.
    EXPECT_EQ(shell.verify_box_enables, (c.verify ? std::vector<bool>{false, true} : std::vector<bool>{}));
    ASSERT_TRUE(sim.WaitExit(3000));
    const std::vector<std::uint8_t> flash = sim.Flash();
    ASSERT_GE(flash.size(), kBankSizeBytes + Bank1Size);
    EXPECT_TRUE(std::equal(FirmwareImage, FirmwareImage + Bank0Size, flash.begin()));
    EXPECT_TRUE(std::equal(FirmwareImage + kBankSizeBytes, FirmwareImage + kBankSizeBytes + Bank1Size,
                           flash.begin() + kBankSizeBytes));
  } else {
    ExpectFailBurnRelease(shell);
    sim.WaitExit(c.idle_ms + 5000);
    EXPECT_NE(sim.Log().find("NOTE"), std::string::npos);
  }
  EXPECT_TRUE(sim.LogLines("VIOLATION").empty()) << sim.Log();
  for (const auto& [prefix, count] : c.log_lines) EXPECT_EQ(sim.LogLines(prefix).size(), count) << prefix;
}

INSTANTIATE_TEST_SUITE_P(
    Chips, Burn,
    ::testing::Values(
        // Three blank pages are skipped, then the end byte; erase goes by two-page blocks.
        BurnCase{"Rm5164WithReadBack", 0, 254, 0, true, {}, "Verify OK",
                 {{"RX erase", 128}, {"RX erase fc", 1}, {"RX program", 252}, {"RX program 00", 0},
                  {"RX program 01 ", 1}, {"RX program fc ", 1}}},
        BurnCase{"Rm5168WithPageSums", 1, 128, 126, false, {}, "CheckSum OK",
                 {{"RX verify", 1}, {"RX checksum", 255}, {"RX checksum 7f", 1}, {"RX checksum 80", 1},
                  {"RX checksum fd", 1}}},
        // The slowest rate: a whole page on the wire each way must fit in the time-outs.
        BurnCase{"Rm5164PacedAt4800", 0, 2, 0, true, {"--pace"}, "Verify OK", {{"RX program 01 ", 1}}, 23, 500, 0},
        BurnCase{"Rm5168PacedAt4800", 1, 2, 0, true, {"--pace"}, "Verify OK", {{"RX program 01 ", 1}}, 23, 500, 0},
        BurnCase{"NothingToBurnStillClosesEveryPhase", 1, 0, 0, true, {}, "Verify OK", {{"RX", 5}}},
        // The noise carried "zaf" without its "o"; a host that matched it would have echoed early.
        BurnCase{"HandshakeAfterNoise", 0, 1, 0, true, {"--fault", "noise", "--version", "7"}, "Verify OK",
                 {{"RX handshake", 1}, {"RX handshake 7a 61 66 6f", 1}}, 7},
        // Words queued while nobody read the port: the newest is answered, as the chip expects.
        BurnCase{"HandshakeAfterQueuedWords", 0, 1, 0, true, {"--announce-ms", "50"}, "Verify OK",
                 {{"RX handshake", 1}}, 23, 500, 7, 3},
        BurnCase{"OutOfDateFirmware", 0, 1, 0, true, {"--version", "0"}, "Verify OK", {}, 0},
        BurnCase{"NoFirmwareVersion", 0, 1, 0, true, {"--version", "none"}, "Verify OK", {}, -1},
        BurnCase{"PageWholeAtTheSixthRead", 0, 3, 0, true, {"--fault", "short-read=1:5"}, "Verify OK",
                 {{"RX verify 01", 6}}, 23, 3000},
        BurnCase{"EraseWrongMarker", 0, 4, 0, true, {"--fault", "bad-marker=erase"}, "ISP erase error"},
        BurnCase{"EraseBank0Echo", 0, 4, 0, true, {"--fault", "bad-erase-echo=2"}, "ISP Erase error"},
        BurnCase{"EraseBank1Echo", 1, 2, 4, true, {"--fault", "bad-erase-echo=0x82"}, "ISP Erase error ..."},
        BurnCase{"ProgramWrongMarker", 0, 4, 0, true, {"--fault", "bad-marker=program"}, "ISP program error"},
        BurnCase{"ProgramBank0Echo", 0, 4, 0, true, {"--fault", "bad-page-echo=1"}, "Program error"},
        BurnCase{"VerifyWrongMarker", 0, 4, 0, true, {"--fault", "bad-marker=verify"}, "ISP error"},
        BurnCase{"VerifyDifferingByte", 1, 2, 2, true, {"--fault", "corrupt-write=0x81"}, "Verify error"},
        BurnCase{"VerifySixShortReads", 0, 4, 0, true, {"--fault", "short-read=2:6"}, "Verify error", {}, 23, 3000},
        BurnCase{"ChecksumTotalsDiffer", 1, 2, 2, false, {"--fault", "bad-sum=0x81"}, "CheckSum error"},
        // Every page is still asked for: the sums are judged after the last, as the total is.
        BurnCase{"ChecksumPagesThatCancel", 1, 2, 2, false, {"--fault", "cancel-sums=0x01:0x81"},
                 "CheckSum error", {{"RX checksum", 4}}},
        BurnCase{"ChecksumWrongAcknowledge", 0, 4, 0, false, {"--fault", "bad-ack=checksum"}, "ISP error"}),
    [](const ::testing::TestParamInfo<BurnCase>& param) { return std::string(param.param.name); });

TEST_F(BurnWorkerTest, OnlyOneWorkerAtATimeAndJoinGivesItsResult) {
  SimProcess sim({"--fault", "silent=handshake"});
  OpenSimPort(sim.device());
  LoadTestImage(0, 1, 0, 1);
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(StartBurnWorker());
    EXPECT_TRUE(BurnWorkerRunning());
    EXPECT_FALSE(StartBurnWorker());
    // The first stop comes while the worker's thread may still be starting: it must hold.
    if (round == 1) {
      ASSERT_TRUE(WaitUntil([] { return BurnStatusText() == "Please enter ISP"; }, 5000));
      EXPECT_EQ(ShellRecord().burn_button, BurnButton::Close);  // no Stop before the chip answers
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
  SimProcess sim({"--version", "0", "--flash-in", dir.Write("flash-in.bin", flash), "--idle-ms", "600"});
  OpenSimPort(sim.device());
  LoadTestImage(0, 4, 0, 2);
  SetMessageBoxAction(RequestBurnStop);
  EXPECT_EQ(BurnWorker(), 0);
  EXPECT_EQ(BurnStatusText(), "Erase error");
  ExpectFailBurnRelease(ShellRecord());
  sim.WaitExit(5000);
  EXPECT_EQ(sim.Flash(), flash);
  EXPECT_TRUE(sim.LogLines("RX erase").empty()) << sim.Log();
}

// ---- Stops: the dialog's button pressed while a phase runs ------------------------------

// Starts a paced burn of 254 pages at 38400 bit/s, so that each phase lasts long enough for
// a press to land inside it. Blank pages make no programming traffic; the other page loops
// still run.
void StartPacedBurn(SimProcess& sim, bool blank) {
  OpenSimPort(sim.device());
  BaudRateIndex = 5;
  SetBaudRate(BaudRateTable[5]);
  std::vector<std::uint32_t> blank_pages;
  for (std::uint32_t page = 0; blank && page < 254; ++page) blank_pages.push_back(page);
  LoadTestImage(0, 254, 0, 8, blank_pages);
  ASSERT_TRUE(StartBurnWorker());
}

// The dialog's button pressed while a phase runs: the command in progress ends, then nothing
// more, not even the phase's end byte.
TEST_F(BurnWorkerTest, StopEndsAfterTheCommandInProgressWithTheStopText) {
  struct Case { const char* trigger; bool verify; const char* text; const char* unfinished; };
  const Case cases[] = {{"ISP erasing ...", true, "Erase error", "RX erase ff"},
                        {"ISP programming", true, "Program error", "RX program ff"},
                        {"Verify", true, "Verify error", "RX verify ff"},
                        {"Calculate CheckSum", false, "CheckSum error", "RX checksum ff"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trigger);
    ResetShellRecord();
    SimProcess sim({"--pace", "--idle-ms", "600"});
    VerifyAfterBurn = c.verify ? 1 : 0;
    StartPacedBurn(sim, std::string(c.text) != "Program error");
    const bool seen = WaitUntil([&] { return BurnStatusText() == c.trigger; }, 10000);
    const BurnButton pressed = ShellRecord().burn_button;  // Stop from the chip's answer on
    RequestBurnStop();
    EXPECT_EQ(JoinBurnWorker(), 0);
    ASSERT_TRUE(seen);
    EXPECT_EQ(pressed, BurnButton::Stop);
    EXPECT_EQ(BurnStatusText(), c.text);
    ExpectFailBurnRelease(ShellRecord());
    sim.WaitExit(3000);
    EXPECT_TRUE(sim.LogLines(c.unfinished).empty()) << sim.Log();
    EXPECT_TRUE(sim.LogLines("VIOLATION").empty()) << sim.Log();
  }
}

}  // namespace
