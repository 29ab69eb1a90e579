#include "app/burn_worker.h"

#include <cstdint>
#include <string>
#include <system_error>
#include <thread>

#include "app/burn_status.h"
#include "app/com_port.h"
#include "app/image_state.h"
#include "app/profile_settings.h"
#include "app/shell.h"
#include "isp/protocol.h"
#include "isp/session.h"

std::atomic<int> StopRequested{0};

namespace {

// The token the session looks at, kept equal to StopRequested.
StopToken global_stop;

std::atomic<bool> worker_running{false};

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
void RunBurn() {
  OfferBurn(false);
  LockBurnInputs(true);
  BurnSessionOptions options;
  options.read_back = [] { return VerifyAfterBurn.load() != 0; };
  ShellEvents events;
  const BurnPlan plan = PlanFor(FirmwareImage, PageSize.load(), Bank0Size.load(), Bank1Size.load());
  const SessionOutcome outcome = RunBurnSession(GlobalPort(), plan, options, global_stop, events);
  EndButtons(outcome.ok);
}

}  // namespace

void RequestBurnStop() {
  StopRequested.store(1);
  global_stop.Request();
}

bool StartBurnWorker() {
  bool idle = false;
  if (!worker_running.compare_exchange_strong(idle, true)) return false;
  StopRequested.store(0);
  global_stop.Reset();
  try {
    std::thread([] {
      RunBurn();
      worker_running.store(false);
    }).detach();
  } catch (const std::system_error&) {
    worker_running.store(false);
    return false;
  }
  return true;
}

bool BurnWorkerRunning() { return worker_running.load(); }
