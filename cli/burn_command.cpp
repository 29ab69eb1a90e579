// rm516x-isp burn: load files as the Open command does, then run one burn on the worker
// thread and print what the burn dialog would show.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/gang_burn.h"
#include "cli/load_options.h"
#include "cli/port_session.h"
#include "cli/repeat_burn.h"
#include "isp/burn_status.h"
#include "isp/burn_worker.h"
#include "settings/settings.h"

namespace {

constexpr const char* kBurnFooter =
    "Loads FILE (and FILE2) as the Open command does and burns the image into the chip:\n"
    "waits for the chip's ISP handshake, erases, programs, then reads every page back\n"
    "(--verify) or compares page checksums (--checksum).\n"
    "Ctrl-C, SIGTERM and SIGHUP stop the burn as the Stop button does. The profile is read\n"
    "for the defaults and never written.\n"
    "--repeat burns chip after chip, each with a numbered result line, and ends with\n"
    "'N burned, M failed'. --port given several times burns on every port at once, each\n"
    "independently (with --repeat, chip after chip on each); the exit status is 0 only when\n"
    "no chip and no port failed.\n";

struct BurnOptions {
  LoadOptions load;
  PortOptions port;
  std::optional<int> verify;
  RepeatOptions repeat;
};

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

CommandRun AddBurnCommand(CLI::App& app) {
  auto options = std::make_shared<BurnOptions>();
  CLI::App* command = app.add_subcommand("burn", "load files and burn them into the chip over a serial port");
  command->footer(kBurnFooter);
  AddLoadOptions(*command, options->load);
  AddPortOptions(*command, options->port);
  // The last of the two counts, so each is taken as the parser meets it.
  command->add_flag_callback("--verify", [options] { options->verify = 1; },
                             "read every page back (default: Verify from the profile)")
      ->trigger_on_parse();
  command->add_flag_callback("--checksum", [options] { options->verify = 0; },
                             "compare page checksums instead")
      ->trigger_on_parse();
  AddRepeatOptions(*command, options->repeat);
  return [options] { return RunBurn(*options); };
}
