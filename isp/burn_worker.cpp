#include "isp/burn_worker.h"

#include <atomic>
#include <cstdint>
#include <system_error>
#include <thread>

#include "image/global_image.h"
#include "isp/burn_status.h"
#include "isp/read_back.h"
#include "serial/global_port.h"
#include "settings/settings.h"
#include "shell/shell.h"

std::atomic<int> StopRequested{0};
std::uint8_t ReadBackImage[kImageCapacityBytes];

namespace {

// The token the sessions look at, kept equal to StopRequested.
StopToken global_stop;

// Written by the running worker only; read after it has ended (JoinBurnWorker orders the two).
PageSums last_page_sums;

std::atomic<bool> worker_running{false};
std::atomic<int> worker_result{-1};

std::uint32_t ColorOf(Tone tone) {
  switch (tone) {
    case Tone::kBusy: return kColorBlue;
    case Tone::kPassed: return kColorGreen;
    case Tone::kWaiting:
    case Tone::kFailed: break;
  }
  return kColorRed;
}

// The session's events as the shell's calls.
class ShellEvents final : public SessionEvents {
 public:
  void Status(Tone tone, const std::string& text) override { ShowBurnStatus(ColorOf(tone), text); }
  void Progress(int percent) override { ShowBurnProgress(percent); }
  void HandshakeSeen(int version) override { ::HandshakeSeen(version); }
  void Message(int kind, const std::string& text) override { ShowMessage(MainWindowHandle(), text, kind); }
  void CommandsBegin() override { SetBurnButton(BurnButton::Stop); }
  void PhaseStarted(BurnPhase phase) override {
    if (phase == PhaseVerify) EnableVerifyBox(false);
  }
  void PhaseSucceeded(BurnPhase phase) override {
    if (phase == PhaseVerify) EnableVerifyBox(true);
  }
};

void EndButtons(bool ok) {
  if (!ok) {
    OfferBurn(true);
    EnableBurnButton(true);
    EnableVerifyBox(true);
  }
  SetBurnButton(BurnButton::Close);
}

// The burn after the stop request was cleared. StartBurnWorker clears it on the calling
// thread before the worker exists, so a Stop that comes while the thread is still starting
// is not wiped out by the worker's own clearing.
int RunGlobalBurn() {
  last_page_sums = {};
  OfferBurn(false);
  LockBurnInputs(true);
  BurnSessionOptions options;
  options.read_back = [] { return VerifyAfterBurn.load() != 0; };
  ShellEvents events;
  const SessionOutcome outcome = RunBurnSession(GlobalPort(), CurrentBurnPlan(), options, global_stop, events);
  last_page_sums = outcome.sums;
  EndButtons(outcome.ok);
  return outcome.ok ? 1 : 0;
}

}  // namespace

BurnPlan CurrentBurnPlan() {
  return PlanFor(FirmwareImage, PageSize.load(), Bank0Size.load(), Bank1Size.load());
}

void RequestBurnStop() {
  StopRequested.store(1);
  global_stop.Request();
}

void ResetBurnStop() {
  StopRequested.store(0);
  global_stop.Reset();
}

int FailBurn(const std::string& text) {
  ShowBurnStatus(kColorRed, text);
  EndButtons(false);
  return 0;
}

int BurnWorker() {
  ResetBurnStop();
  return RunGlobalBurn();
}

bool StartBurnWorker() {
  bool idle = false;
  if (!worker_running.compare_exchange_strong(idle, true)) return false;
  ResetBurnStop();
  try {
    std::thread([] {
      worker_result.store(RunGlobalBurn());
      worker_running.store(false);
      worker_running.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    worker_running.store(false);
    worker_running.notify_all();
    return false;
  }
  return true;
}

PageSums LastBurnPageSums() { return last_page_sums; }

bool BurnWorkerRunning() { return worker_running.load(); }

int JoinBurnWorker() {
  worker_running.wait(true);
  return worker_result.load();
}

int ReadChip(const BurnPlan& plan, ReadKind kind, PageSums* sums) {
  ShellEvents events;
  const SessionOutcome outcome =
      RunReadSession(GlobalPort(), plan, kind, ReadBackImage, SessionTimeouts{}, global_stop, events);
  if (outcome.ok && sums) *sums = outcome.sums;
  return outcome.ok ? 1 : 0;
}
