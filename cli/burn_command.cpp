// rm516x-isp burn: load files as the Open command does, then run one burn on the worker
// thread and print what the burn dialog would show.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/gang_burn.h"
#include "cli/load_options.h"
#include "cli/port_session.h"
#include "cli/repeat_burn.h"
#include "isp/burn_status.h"
#include "isp/burn_worker.h"
#include "settings/settings.h"

namespace {

// One burn on the worker thread, as RunPortSession's session.
int BurnOnWorker() {
  if (!StartBurnWorker()) return -1;
  // Starting the worker cleared the flag: a signal that came before must be said again.
  if (StopSignalSeen()) RequestBurnStop();
  const int result = JoinBurnWorker();
  // The dialog says only "CheckSum error"; a script is also told which page.
  if (result == 0) SetSessionFailureDetail(PageSumMismatchText(LastBurnPageSums()));
  return result;
}

}  // namespace

int RunBurn(BurnOptions& options) {
  std::string error;
  const bool gang = options.port.ports.size() > 1;
  if (!gang && !CheckPortGiven(options.port, error)) return UsageError("burn", error);
  if (!PrepareLoad(options.load, error)) return UsageError("burn", error);
  if (options.verify) VerifyAfterBurn = *options.verify;

  const bool json = options.load.json;
  if (!LoadForSession(options.load)) return kExitFailed;
  if (gang) return RunGangBurn(options.port.ports, json);
  if (options.repeat.on) return RunRepeatBurn(options.port, options.repeat, json, BurnOnWorker);

  const int status = RunPortSession(options.port, json, "burn", BurnOnWorker);
  if (status == kExitOk) ReportEnd(json, true, BurnStatusText(), "");
  return status;
}
