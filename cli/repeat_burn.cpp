#include "cli/repeat_burn.h"

#include <cstdio>
#include <ctime>
#include <mutex>
#include <optional>

#include "cli/append_line.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "cli/monitor.h"

namespace {

// Ports of a gang log to the same file: their lines go out one at a time.
std::mutex log_mutex;

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
#ifdef _WIN32
  gmtime_s(&parts, &now);
#else
  gmtime_r(&now, &parts);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

bool LogChip(const std::string& path, const ChipResult& result, std::uint32_t image_checksum, std::string& error) {
  char checksum[8];
  std::snprintf(checksum, sizeof checksum, "%04X", static_cast<unsigned>(image_checksum & 0xFFFF));
  Json line = {{"time", UtcNow()},   {"port", result.port},         {"chip", result.chip},
               {"image_checksum", checksum}, {"ok", result.ok},    {"result", result.text}};
  if (!result.monitor.empty()) line["monitor"] = result.monitor;
  line.update(Json{{"version", result.version}, {"seconds", JsonSeconds(result.seconds)}});
  std::lock_guard lock(log_mutex);
  return AppendLine(path, JsonDump(line), error);
}

// On the port the burn leaves open: the monitor's rate, and the monitor.
MonitorEnd WatchAfterBurn(SerialPort& port, const MonitorJob& job, const PortOptions& options, PortEvents& events,
                          const StopToken& stop) {
  if (!port.SetRate(job.rate)) {
    const std::string why = RateRefusedText(port.Device(), job.rate);
    return {kExitFailed, false, why, why};
  }
  return RunMonitorOn(port, *job.watch, job.keys, options.reset, ResetCommandOutput(options, events),
                      events.output(), events.port(), stop);
}

// watched: how the monitor after a successful burn ended, when there was one.
PortRun BurnOnce(const std::string& device, PortOptions& options, const BurnJob& job, PortEvents& events,
                 const StopToken& stop, std::optional<MonitorEnd>& watched) {
  BurnSessionOptions session_options;
  const bool verify = job.verify;
  session_options.read_back = [verify] { return verify; };
  watched.reset();
  PortFollowUp then;
  if (job.monitor != nullptr) {
    then = [&](SerialPort& port) { watched = WatchAfterBurn(port, *job.monitor, options, events, stop); };
  }
  return RunOnPort(
      device, job.rate, options, events, stop,
      [&](SerialPort& port, const StopToken& session_stop, SessionEvents& sink) {
        return RunBurnSession(port, *job.plan, session_options, session_stop, sink);
      },
      // The dialog says only "CheckSum error"; a script is also told which page.
      [](const SessionOutcome& outcome) { return PageSumMismatchText(outcome.sums); }, then);
}

}  // namespace

std::string PageSumMismatchText(const PageSums& sums) {
  if (sums.differing_bank < 0) return "";
  char text[96];
  std::snprintf(text, sizeof text, "the sum of page 0x%02X of bank %d is %.4X, the image's %.4X",
                static_cast<unsigned>(sums.differing_page), sums.differing_bank,
                static_cast<unsigned>(sums.chip_sum), static_cast<unsigned>(sums.image_sum));
  return text;
}

PortOutcome BurnOnPort(const std::string& port, std::size_t index, PortOptions options, const BurnJob& job,
                       const ProfileSettings& profile, Output& output, const StopToken& stop) {
  PortOutcome end;
  std::string error;
  const std::string device = ResolvePortDevice(port, profile, error);
  if (device.empty()) {
    end.text = end.error_line = error;
    return end;
  }
  PortEvents events(output, index);
  std::optional<MonitorEnd> watched;
  if (job.repeat == nullptr) {
    const PortRun run = BurnOnce(device, options, job, events, stop, watched);
    if (watched) return {watched->status, watched->text, watched->error_line};
    return {run.status, run.text, run.error_line};
  }

  const RepeatOptions& repeat = *job.repeat;
  std::string run_error;
  if (!repeat.log_path.empty() && !AppendLine(repeat.log_path, "", run_error)) {
    return {kExitFailed, run_error, run_error};
  }
  int burned = 0;
  int failed = 0;
  bool stopped = false;
  for (int chip = 1; repeat.count == 0 || chip <= repeat.count; ++chip) {
    options.quiet_before_ms = chip > 1 ? repeat.gap_ms : 0;
    const PortRun run = BurnOnce(device, options, job, events, stop, watched);
    stopped = run.status >= kExitSignalBase || (watched && watched->status >= kExitSignalBase);
    // A chip counts from its handshake on; a stop before it ends the run as --count does,
    // and any other failure before it ends the run failed.
    if (!run.handshake_seen) {
      if (!stopped) run_error = run.error_line;
      break;
    }
    const bool burn_ok = run.status == kExitOk;
    const ChipResult result{chip,
                            device,
                            burn_ok && (!watched || watched->ok),
                            burn_ok ? run.text : run.error_line,
                            events.VersionText(),
                            run.seconds,
                            watched ? watched->text : ""};
    ++(result.ok ? burned : failed);
    output.Chip(result);
    // A chip that leaves no trace must not be followed by more.
    if (!repeat.log_path.empty() && !LogChip(repeat.log_path, result, job.image_checksum, run_error)) break;
    if (stopped) break;
  }
  const std::string summary = std::to_string(burned) + " burned, " + std::to_string(failed) + " failed";
  const bool ok = failed == 0 && run_error.empty();
  end.status = ok ? kExitOk : kExitFailed;
  end.text = summary;
  end.error_line = ok ? "" : run_error.empty() ? summary : run_error;
  return end;
}
