// Whole sessions against the simulator: what goes over the wire (the simulator's log), what
// the session told (a recording events sink), how it ended, what the chip ends up holding,
// and that a failed or stopped session sends nothing more (the simulator logs every late
// byte as a VIOLATION).
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <numeric>
#include <thread>

#include "chip/chip_spec.h"
#include "image/bank_image.h"
#include "isp/protocol.h"
#include "isp/session.h"
#include "serial/serial_port.h"
#include "tests/isp/sim_process.h"

namespace {

// Every event, in order, as one line each ("status 1 ISP programming", "progress 50", ...).
class RecordingEvents final : public SessionEvents {
 public:
  void Status(Tone tone, const std::string& text) override {
    Add("status " + std::to_string(static_cast<int>(tone)) + " " + text);
  }
  void Progress(int percent) override { Add("progress " + std::to_string(percent)); }
  void HandshakeSeen(int version) override { Add("handshake " + std::to_string(version)); }
  void Message(int, const std::string& text) override {
    Add("message " + text);
    if (on_message) on_message();
  }
  void CommandsBegin() override { Add("commands"); }
  void PhaseStarted(BurnPhase phase) override { Add("started " + std::to_string(phase)); }
  void PhaseSucceeded(BurnPhase phase) override { Add("succeeded " + std::to_string(phase)); }

  std::vector<std::string> Lines(const std::string& prefix) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> lines;
    for (const std::string& line : lines_) {
      if (line.starts_with(prefix)) lines.push_back(line);
    }
    return lines;
  }
  std::string LastStatus() const {
    const auto lines = Lines("status ");
    return lines.empty() ? "" : lines.back().substr(7);
  }

  std::function<void()> on_message;

 private:
  void Add(std::string line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
  }
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

// An image whose pages all differ (the pages listed in blank_pages all 0xFF).
struct TestImage {
  std::vector<std::uint8_t> bytes;
  BurnPlan plan;
  TestImage(std::uint32_t page_size, std::uint32_t bank0_pages, std::uint32_t bank1_pages, unsigned seed,
            const std::vector<std::uint32_t>& blank_pages = {})
      : bytes(TestBytes(kImageCapacityBytes, seed)), plan{bytes.data(), page_size, bank0_pages, bank1_pages} {
    for (std::uint32_t page : blank_pages) std::fill_n(bytes.begin() + page * page_size, page_size, 0xFF);
  }
};

// The flash holds the plan's pages of the image, in both banks.
void ExpectBurned(const TestImage& image, const std::vector<std::uint8_t>& flash) {
  const auto begin = image.bytes.begin();
  const std::uint32_t bank0_bytes = image.plan.bank0_pages * image.plan.page_size_bytes;
  const std::uint32_t bank1_bytes = image.plan.bank1_pages * image.plan.page_size_bytes;
  ASSERT_GE(flash.size(), kBankSizeBytes + bank1_bytes);
  EXPECT_TRUE(std::equal(begin, begin + bank0_bytes, flash.begin()));
  const auto bank1 = begin + kBankSizeBytes;
  EXPECT_TRUE(std::equal(bank1, bank1 + bank1_bytes, flash.begin() + kBankSizeBytes));
}

std::uint32_t PageSizeOf(int model) { return ChipSpecFor(model).page_bytes; }

void OpenPort(SerialPort& port, const std::string& device, std::uint32_t rate = 115200) {
  ASSERT_TRUE(port.Open(device, rate)) << port.LastError();
  port.PurgeReceive();
}

// Runs a session on its own thread and stops it once its status reads status (a tone and its
// text); false when that never came.
bool StopAtStatus(SerialPort& port, const BurnPlan& plan, const BurnSessionOptions& options, StopToken& stop,
                  RecordingEvents& events, const std::string& status, SessionOutcome& outcome) {
  std::thread burn([&] { outcome = RunBurnSession(port, plan, options, stop, events); });
  const bool seen = WaitUntil([&] { return events.LastStatus() == status; }, 10000);
  stop.Request();
  burn.join();
  return seen;
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
  int version = 23;  // what the handshake told
  std::uint32_t rate = 115200;
  std::size_t queued_words = 0;  // announcements left unread before the burn starts
  SessionTimeouts timeouts = {};  // a failing row always takes kShortWaits
};

void PrintTo(const BurnCase& c, std::ostream* os) { *os << c.name; }

// Waits that are not what a row tests are short, so a failing row costs little.
constexpr SessionTimeouts kShortWaits{100, 400, 400};
// Simulator: host silence that ends the session (a loaded host pauses).
constexpr int kIdleMs = 1000;

class Burn : public ::testing::TestWithParam<BurnCase> {};

TEST_P(Burn, EndsWithItsTextAndSendsNothingMore) {
  const BurnCase& c = GetParam();
  std::vector<std::string> args = c.sim_args;
  args.insert(args.end(), {"--chip", c.model == 0 ? "RM5164" : "RM5168", "--idle-ms", std::to_string(kIdleMs)});
  SimProcess sim(args);
  SerialPort port;
  OpenPort(port, sim.device(), c.rate);
  const std::size_t announced = sim.LogLines("TX handshake").size();
  ASSERT_TRUE(WaitUntil([&] { return sim.LogLines("TX handshake").size() >= announced + c.queued_words; }, 5000));
  const TestImage image(PageSizeOf(c.model), c.bank0_pages, c.bank1_pages, 21, {0, 100, 253});
  const bool ok = std::string(c.text).ends_with(" OK");
  BurnSessionOptions options;
  options.read_back = [&] { return c.verify; };
  options.timeouts = ok ? c.timeouts : kShortWaits;
  StopToken stop;
  RecordingEvents events;

  const SessionOutcome outcome = RunBurnSession(port, image.plan, options, stop, events);
  EXPECT_EQ(outcome.ok, ok);  // an old firmware does not stop the burn
  EXPECT_EQ(outcome.text, c.text);
  EXPECT_EQ(events.LastStatus(), std::to_string(static_cast<int>(ok ? Tone::kPassed : Tone::kFailed)) + " " + c.text);
  EXPECT_TRUE(outcome.handshake_seen);
  EXPECT_EQ(outcome.version, c.version);
  EXPECT_EQ(events.Lines("handshake"), std::vector<std::string>{"handshake " + std::to_string(c.version)});
  const auto messages = events.Lines("message");
  ASSERT_EQ(messages.size(), c.version >= 1 ? 0u : 1u);
  if (c.version < 1) {
    EXPECT_EQ(messages[0], "message The ISP firmware is out-of-date.\nPlease update the ISP firmware");
  }
  if (ok) {
    // The phases that ran tell of their start; only the last tells of its success.
    const std::string check = c.verify ? "2" : "3";
    EXPECT_EQ(events.Lines("started"), (std::vector<std::string>{"started 0", "started 1", "started " + check}));
    EXPECT_EQ(events.Lines("succeeded"), std::vector<std::string>{"succeeded " + check});
    // Each of the three phases' bars fills once, never past full.
    const auto progress = events.Lines("progress");
    EXPECT_EQ(std::count(progress.begin(), progress.end(), "progress 100"), c.bank0_pages + c.bank1_pages ? 3 : 0);
    for (const std::string& line : progress) EXPECT_LE(std::stoi(line.substr(9)), 100) << line;
    ASSERT_TRUE(sim.WaitExit(3000));
    ExpectBurned(image, sim.Flash());
  } else {
    EXPECT_FALSE(outcome.stopped);
    sim.WaitExit(kIdleMs + 5000);
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
        // The slowest rate: a whole page (of the larger size) on the wire each way must fit in
        // the time-outs.
        BurnCase{"Rm5168PacedAt4800", 1, 2, 0, true, {"--pace"}, "Verify OK", {{"RX program 01 ", 1}}, 23, 4800},
        BurnCase{"NothingToBurnStillClosesEveryPhase", 1, 0, 0, true, {}, "Verify OK", {{"RX", 5}}},
        // The noise carried "zaf" without its "o"; a host that matched it would have echoed early.
        // Version 1 is the oldest that is not out of date.
        BurnCase{"HandshakeAfterNoise", 0, 1, 0, true, {"--fault", "noise", "--version", "1"}, "Verify OK",
                 {{"RX handshake", 1}, {"RX handshake 7a 61 66 6f", 1}}, 1},
        // Words queued while nobody read the port: the newest is answered, as the chip expects.
        BurnCase{"HandshakeAfterQueuedWords", 0, 1, 0, true, {"--announce-ms", "50"}, "Verify OK",
                 {{"RX handshake", 1}}, 23, 115200, 3},
        BurnCase{"OutOfDateFirmware", 0, 1, 0, true, {"--version", "0"}, "Verify OK", {}, 0},
        BurnCase{"NoFirmwareVersion", 0, 1, 0, true, {"--version", "none"}, "Verify OK", {}, -1},
        BurnCase{"PageWholeAtTheSixthRead", 0, 3, 0, true, {"--fault", "short-read=1:5"}, "Verify OK",
                 {{"RX verify 01", 6}}, 23, 115200, 0, kShortWaits},
        // Failing rows run with kShortWaits.
        BurnCase{"EraseWrongMarker", 0, 4, 0, true, {"--fault", "bad-marker=erase"}, "ISP erase error"},
        BurnCase{"EraseBank0Echo", 0, 4, 0, true, {"--fault", "bad-erase-echo=2"}, "ISP Erase error"},
        BurnCase{"EraseBank1Echo", 1, 2, 4, true, {"--fault", "bad-erase-echo=0x82"}, "ISP Erase error ..."},
        BurnCase{"ProgramWrongMarker", 0, 4, 0, true, {"--fault", "bad-marker=program"}, "ISP program error"},
        BurnCase{"ProgramBank0Echo", 0, 4, 0, true, {"--fault", "bad-page-echo=1"}, "Program error"},
        BurnCase{"ProgramBank1Echo", 1, 2, 2, true, {"--fault", "bad-page-echo=0x81"}, "Program error"},
        BurnCase{"VerifyWrongMarker", 0, 4, 0, true, {"--fault", "bad-marker=verify"}, "ISP error"},
        BurnCase{"VerifyDifferingByte", 1, 2, 2, true, {"--fault", "corrupt-write=0x81"}, "Verify error"},
        BurnCase{"VerifySixShortReads", 0, 4, 0, true, {"--fault", "short-read=2:6"}, "Verify error",
                 {{"RX verify 02", 6}}},
        BurnCase{"ChecksumTotalsDiffer", 1, 2, 2, false, {"--fault", "bad-sum=0x81"}, "CheckSum error"},
        // Every page is still asked for: the sums are judged after the last, as the total is.
        BurnCase{"ChecksumPagesThatCancel", 1, 2, 2, false, {"--fault", "cancel-sums=0x01:0x81"},
                 "CheckSum error", {{"RX checksum", 4}}},
        BurnCase{"ChecksumBank1Echo", 1, 2, 2, false, {"--fault", "bad-sum-echo=0x81"}, "CheckSum error"},
        BurnCase{"ChecksumWrongAcknowledge", 0, 4, 0, false, {"--fault", "bad-ack=checksum"}, "ISP error"}),
    [](const ::testing::TestParamInfo<BurnCase>& param) { return std::string(param.param.name); });

// ---- Stops ------------------------------------------------------------------------------

TEST(BurnStop, BeforeTheHandshakeEndsWithNoTextAndNothingSent) {
  SimProcess sim({"--fault", "silent=handshake"});
  SerialPort port;
  OpenPort(port, sim.device());
  const TestImage image(256, 1, 0, 1);
  StopToken stop;
  RecordingEvents events;
  SessionOutcome outcome;
  ASSERT_TRUE(StopAtStatus(port, image.plan, {}, stop, events, "0 Please enter ISP", outcome));
  EXPECT_FALSE(outcome.ok);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_FALSE(outcome.handshake_seen);
  EXPECT_EQ(outcome.text, "");
  EXPECT_TRUE(events.Lines("commands").empty());  // no Stop before the chip answers
}

TEST(BurnStop, WhileTheOutOfDateMessageIsUpErasesNothing) {
  TempDir dir;
  const std::vector<std::uint8_t> flash(0x10000, 0x5A);
  SimProcess sim({"--version", "0", "--flash-in", dir.Write("flash-in.bin", flash), "--idle-ms", "600"});
  SerialPort port;
  OpenPort(port, sim.device());
  const TestImage image(256, 4, 0, 2);
  StopToken stop;
  RecordingEvents events;
  events.on_message = [&] { stop.Request(); };
  const SessionOutcome outcome = RunBurnSession(port, image.plan, BurnSessionOptions{}, stop, events);
  EXPECT_EQ(outcome.text, "Erase error");
  EXPECT_TRUE(outcome.stopped);
  sim.WaitExit(5000);
  EXPECT_EQ(sim.Flash(), flash);
  EXPECT_TRUE(sim.LogLines("RX erase").empty()) << sim.Log();
}

// A stop while a phase runs: the command in progress ends, then nothing more, not even the
// phase's end byte. A paced burn of 254 pages at 38400 bit/s makes each phase last long
// enough for the stop to land inside it; blank pages make no programming traffic.
TEST(BurnStop, EndsAfterTheCommandInProgressWithTheStopText) {
  struct Case { const char* trigger; bool verify; const char* text; const char* unfinished; };
  const Case cases[] = {{"ISP erasing ...", true, "Erase error", "RX erase ff"},
                        {"ISP programming", true, "Program error", "RX program ff"},
                        {"Verify", true, "Verify error", "RX verify ff"},
                        {"Calculate CheckSum", false, "CheckSum error", "RX checksum ff"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trigger);
    SimProcess sim({"--pace", "--idle-ms", "600"});
    SerialPort port;
    OpenPort(port, sim.device(), 38400);
    std::vector<std::uint32_t> blank_pages;
    for (std::uint32_t page = 0; std::string(c.text) != "Program error" && page < 254; ++page) {
      blank_pages.push_back(page);
    }
    const TestImage image(256, 254, 0, 8, blank_pages);
    BurnSessionOptions options;
    options.read_back = [&] { return c.verify; };
    StopToken stop;
    RecordingEvents events;
    SessionOutcome outcome;
    ASSERT_TRUE(StopAtStatus(port, image.plan, options, stop, events, std::string("1 ") + c.trigger, outcome));
    EXPECT_EQ(events.Lines("commands").size(), 1u);
    EXPECT_EQ(outcome.text, c.text);
    EXPECT_TRUE(outcome.stopped);
    sim.WaitExit(3000);
    EXPECT_TRUE(sim.LogLines(c.unfinished).empty()) << sim.Log();
    EXPECT_TRUE(sim.LogLines("VIOLATION").empty()) << sim.Log();
  }
}

// ---- Many ports in one process ----------------------------------------------------------

// Each session owns its port, its stop and its events: two chips burned at once from two
// threads each get their own image.
TEST(Sessions, RunSideBySideOnTheirOwnPorts) {
  SimProcess sims[2] = {SimProcess({"--pace"}), SimProcess({"--pace", "--chip", "RM5168"})};
  SerialPort ports[2];
  const TestImage images[2] = {TestImage(256, 40, 0, 3), TestImage(512, 10, 10, 4)};
  StopToken stops[2];
  RecordingEvents events[2];
  SessionOutcome outcomes[2];
  std::thread burns[2];
  // Two paced simulators and two host threads share the cores: waits long enough for a loaded
  // machine, as the answers' timing is not what is tested.
  BurnSessionOptions options;
  options.timeouts = {1000, 5000, 5000};
  for (int i = 0; i < 2; ++i) {
    OpenPort(ports[i], sims[i].device(), 57600);
    burns[i] = std::thread(
        [&, i] { outcomes[i] = RunBurnSession(ports[i], images[i].plan, options, stops[i], events[i]); });
  }
  for (int i = 0; i < 2; ++i) {
    burns[i].join();
    EXPECT_EQ(outcomes[i].text, "Verify OK");
    ASSERT_TRUE(sims[i].WaitExit(3000));
    ExpectBurned(images[i], sims[i].Flash());
  }
}

// ---- Reading ----------------------------------------------------------------------------

TEST(Read, PagesLandAtTheirImageOffsetsAndSumsAreCompared) {
  TempDir dir;
  const std::vector<std::uint8_t> flash = TestBytes(0x20000, 5);
  SimProcess sim({"--chip", "RM5168", "--flash-in", dir.Write("flash-in.bin", flash), "--sessions", "2"});
  SerialPort port;
  OpenPort(port, sim.device());
  std::vector<std::uint8_t> read_back(kImageCapacityBytes, 0);
  const BurnPlan plan{nullptr, 512, 3, 2};
  StopToken stop;
  RecordingEvents events;
  SessionOutcome outcome = RunReadSession(port, plan, ReadPages, read_back.data(), kShortWaits, stop, events);
  ASSERT_TRUE(outcome.ok) << outcome.text;
  EXPECT_EQ(outcome.text, "Read OK");
  EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + 3 * 512, read_back.begin()));
  EXPECT_TRUE(std::equal(flash.begin() + kBankSizeBytes, flash.begin() + kBankSizeBytes + 2 * 512,
                         read_back.begin() + kBankSizeBytes));
  EXPECT_EQ(read_back[3 * 512], 0) << "a page not asked for is not written";
  EXPECT_EQ(events.Lines("progress").back(), "progress 100");

  // The same chip against an image that differs in bank 1's second page.
  std::vector<std::uint8_t> image(flash);
  image[kBankSizeBytes + 512 + 7] ^= 0x01;
  const BurnPlan compare{image.data(), 512, 3, 2};
  outcome = RunReadSession(port, compare, ReadPageSums, nullptr, kShortWaits, stop, events);
  ASSERT_TRUE(outcome.ok) << outcome.text;
  EXPECT_EQ(outcome.sums.differing_bank, 1);
  EXPECT_EQ(outcome.sums.differing_page, 1u);
  const auto page_sum = [](const std::vector<std::uint8_t>& bytes) {
    const auto page = bytes.begin() + kBankSizeBytes + 512;
    return static_cast<std::uint16_t>(std::accumulate(page, page + 512, 0u));
  };
  EXPECT_EQ(outcome.sums.chip_sum, page_sum(flash));
  EXPECT_EQ(outcome.sums.image_sum, page_sum(image));
  // Both reads closed their session: the chip left none waiting for its end.
  ASSERT_TRUE(sim.WaitExit(3000));
  EXPECT_TRUE(sim.LogLines("NOTE session abandoned").empty()) << sim.Log();
}

}  // namespace
