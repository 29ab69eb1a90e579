#include "isp/burn_worker.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <system_error>
#include <thread>

#include "image/bank_image.h"
#include "isp/burn_status.h"
#include "isp/protocol.h"
#include "settings/settings.h"
#include "shell/shell.h"

namespace {

constexpr const char* kOutOfDateFirmware =
    "The ISP firmware is out-of-date.\nPlease update the ISP firmware";

// The current phase's progress counters, 8-bit as the dialog's arithmetic expects. Only the
// running worker touches them, and workers never overlap.
std::uint8_t phase_done = 0;
std::uint8_t phase_total = 0;

// Written by the running worker only; read after it has ended (JoinBurnWorker orders the two).
PageSums last_page_sums;

std::atomic<bool> worker_running{false};
std::atomic<int> worker_result{-1};

void OnPhaseEvent(BurnPhase phase, PhaseEvent event, std::uint32_t count) {
  switch (event) {
    case PhaseLoopBegins:
      phase_total = static_cast<std::uint8_t>(count);
      phase_done = 1;
      switch (phase) {
        case PhaseErase:
          ShowBurnStatus(kColorBlue, "ISP erasing ...");
          break;
        case PhaseProgram:
          ShowBurnProgress(0);
          ShowBurnStatus(kColorBlue, "ISP programming");
          break;
        case PhaseVerify:
          ShowBurnProgress(0);
          EnableVerifyBox(false);
          ShowBurnStatus(kColorBlue, "Verify");
          break;
        case PhaseChecksum:
          ShowBurnStatus(kColorBlue, "Calculate CheckSum");
          ShowBurnProgress(0);
          break;
      }
      break;
    case PhaseCommandAnswered:
      // Only a loop of 256 or more commands (beyond every size limit) could wrap Total to 0.
      if (phase_total != 0) ShowBurnProgress(phase_done * 100 / phase_total);
      ++phase_done;
      break;
    case PhaseLoopSucceeded:
      if (phase == PhaseVerify) {
        EnableVerifyBox(true);
        ShowBurnStatus(kColorGreen, "Verify OK");
      } else {
        ShowBurnStatus(kColorGreen, "CheckSum OK");
      }
      break;
  }
}

void LockBurnControls() {
  OfferBurn(false);
  LockBurnInputs(true);
  ShowBurnProgress(0);
}

}  // namespace

std::atomic<int> StopRequested{0};

std::string FirmwareVersionText(int version) {
  if (version < 1) return "";
  // Always the units digit: version byte 20 reads "VER: 2.0".
  char text[32];
  std::snprintf(text, sizeof text, "VER: %d.%d", version / 10, version % 10);
  return text;
}

void RequestBurnStop() { StopRequested.store(1); }

void ResetBurnStop() { StopRequested.store(0); }

int FailBurn(const std::string& text) {
  ShowBurnStatus(kColorRed, text);
  OfferBurn(true);
  EnableBurnButton(true);
  EnableVerifyBox(true);
  SetBurnButton(BurnButton::Close);
  return 0;
}

namespace {

// The burn after StopRequested was cleared. StartBurnWorker clears the flag on the calling
// thread before the worker exists, so a Stop that comes while the thread is still starting
// is not wiped out by the worker's own clearing.
int RunBurn() {
  const BurnPlan plan = CurrentBurnPlan();
  last_page_sums = {};
  LockBurnControls();
  ShowBurnStatus(kColorRed, "Please enter ISP");

  int version = -1;
  if (!Handshake(&version)) return FailBurn("");
  HandshakeSeen(version);
  if (version < 1) ShowMessage(MainWindowHandle(), kOutOfDateFirmware, MessageError);
  SetBurnButton(BurnButton::Stop);
  // A Stop pressed during the version wait or while the out-of-date box was open has had
  // no command to follow yet: honour it before the first erase byte.
  if (StopRequested.load() != 0) return FailBurn("Erase error");

  std::string failure;
  if (!ErasePhase(plan, OnPhaseEvent, &failure)) return FailBurn(failure);
  if (!ProgramPhase(plan, OnPhaseEvent, &failure)) return FailBurn(failure);
  ShowBurnStatus(kColorGreen, "Program OK");

  const bool read_back = VerifyAfterBurn.load() != 0;
  if (!VerifyPhase(CurrentBurnPlan(), read_back, OnPhaseEvent, &failure)) return FailBurn(failure);
  // Every burn is checked once: a box that was clear for the verify phase and set again
  // before this one would otherwise end a burn that was never compared with "Program OK".
  const bool request_sums = VerifyAfterBurn.load() == 0 || !read_back;
  if (!ChecksumPhase(CurrentBurnPlan(), request_sums, BurnSum(), OnPhaseEvent, &failure,
                     &last_page_sums)) {
    return FailBurn(failure);
  }
  SetBurnButton(BurnButton::Close);
  return 1;
}

}  // namespace

int BurnWorker() {
  ResetBurnStop();
  return RunBurn();
}

bool StartBurnWorker() {
  bool idle = false;
  if (!worker_running.compare_exchange_strong(idle, true)) return false;
  ResetBurnStop();
  try {
    std::thread([] {
      worker_result.store(RunBurn());
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
