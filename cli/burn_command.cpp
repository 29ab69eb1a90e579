// rm516x-isp burn: load files as the Open command does, then burn them on one port, or on
// every --port at once (a gang: one thread and one port each, all burning the one image).
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "cli/load_options.h"
#include "cli/output.h"
#include "cli/port_run.h"
#include "cli/repeat_burn.h"
#include "cli/stop_signals.h"

namespace {

int RunGang(const BurnOptions& options, const BurnJob& job, const ProfileSettings& profile, Output& output) {
  const std::vector<std::string>& ports = options.port.ports;
  std::vector<PortOutcome> ends(ports.size());
  {
    std::vector<std::jthread> threads;
    for (std::size_t i = 0; i < ports.size(); ++i) {
      threads.emplace_back([&, i] {
        ends[i] = BurnOnPort(ports[i], i, options.port, job, profile, output, RunStop());
        output.PortEnd(i, ends[i].status == kExitOk, ends[i].text, ends[i].error_line);
      });
    }
  }
  std::size_t failed = 0;
  for (const PortOutcome& end : ends) failed += end.status != kExitOk ? 1 : 0;
  const std::string summary =
      std::to_string(ports.size() - failed) + " port(s) done, " + std::to_string(failed) + " failed";
  output.Line(summary);
  output.End(failed == 0, summary, summary);
  if (const int signal_number = StopSignalNumber(); signal_number != 0) return kExitSignalBase + signal_number;
  return failed == 0 ? kExitOk : kExitFailed;
}

}  // namespace

int RunBurn(BurnOptions& options) {
  std::string error;
  const bool gang = options.port.ports.size() > 1;
  if (!gang && !CheckPortGiven(options.port, error)) return UsageError("burn", error);
  const ProfileSettings profile = ReadProfile();
  BankImage image = EmptyImage(options.load, profile);
  if (!PrepareLoad(options.load, *image.chip, error)) return UsageError("burn", error);

  Output output(options.load.json, gang ? options.port.ports : std::vector<std::string>{options.port.port});
  LoadedImage loaded;
  if (!LoadForSession(options.load, image, output, loaded)) return kExitFailed;
  // Caught from before the first open to the exit, so that no signal ends the process
  // between a port's opening and its closing.
  CatchRunStop();
  const std::uint32_t rate = PortRate(options.port, profile);
  std::optional<MonitorJob> monitor;
  if (options.monitor) monitor = MonitorJob{*options.monitor != 0 ? *options.monitor : rate, &options.watch, !gang};
  const BurnJob job{&loaded.plan,
                    options.verify.value_or(profile.verify) != 0,
                    rate,
                    loaded.image_checksum,
                    options.repeat.on ? &options.repeat : nullptr,
                    monitor ? &*monitor : nullptr};
  if (gang) return RunGang(options, job, profile, output);

  const PortOutcome end = BurnOnPort(options.port.port, 0, options.port, job, profile, output, RunStop());
  if (options.repeat.on) output.Line(end.text);
  output.End(end.status == kExitOk, end.text, end.error_line);
  return end.status;
}
