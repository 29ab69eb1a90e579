#include "cli/repeat_burn.h"

#include <cstdio>
#include <ctime>

#include "cli/append_line.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "image/global_image.h"
#include "isp/burn_status.h"

namespace {

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  char text[32];
  // Only the main thread formats times.
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
  return text;
}

double Rounded(double seconds) { return static_cast<double>(static_cast<long long>(seconds * 100 + 0.5)) / 100; }

Json ChipJson(const ChipResult& result) {
  return {{"chip", result.chip},       {"port", result.port},          {"ok", result.ok},
          {"text", result.text},       {"version", result.version},    {"seconds", Rounded(result.seconds)}};
}

}  // namespace

std::string ChipResultLine(const ChipResult& result) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f s", result.seconds);
  // Appended, not "#" + a temporary: that trips a false -Wrestrict in MinGW's GCC 12 at -O3.
  std::string line = "#";
  line += std::to_string(result.chip) + "  " + result.port + "  " + result.text + "  " +
          (result.version.empty() ? "VER: -" : result.version) + "  " + seconds;
  return line;
}

int RunRepeatBurn(PortOptions& port, const RepeatOptions& options, bool json,
                  const std::function<int()>& burn) {
  std::string run_error;
  if (!options.log_path.empty() && !AppendLine(options.log_path, "", run_error)) {
    ReportEnd(json, false, run_error, run_error);
    return kExitFailed;
  }
  int burned = 0;
  int failed = 0;
  for (int chip = 1; options.count == 0 || chip <= options.count; ++chip) {
    port.quiet_before_ms = chip > 1 ? options.gap_ms : 0;
    std::string end_error;
    CaptureSessionEnd([&end_error](bool, const std::string&, const std::string& error_line) {
      end_error = error_line;
    });
    const int status = RunPortSession(port, json, "burn", burn);
    CaptureSessionEnd(nullptr);
    const bool stopped = status >= kExitSignalBase;

    if (!SessionHandshakeSeen()) {
      if (!stopped) run_error = end_error;
      break;
    }
    const ChipResult result{chip, port.port, status == kExitOk,
                            status == kExitOk ? BurnStatusText() : end_error,
                            SessionVersionText(),
                            SessionSeconds()};
    ++(result.ok ? burned : failed);
    if (json) {
      Json event = {{"event", "chip"}};
      event.update(ChipJson(result));
      PrintSessionLine(JsonDump(event));
    } else {
      PrintSessionLine(ChipResultLine(result));
    }
    if (!options.log_path.empty()) {
      char checksum[8];
      std::snprintf(checksum, sizeof checksum, "%04X", static_cast<unsigned>(ImageChecksum & 0xFFFF));
      Json line = {{"time", UtcNow()}, {"port", result.port}, {"chip", result.chip},
                   {"image_checksum", checksum}, {"ok", result.ok}, {"result", result.text},
                   {"version", result.version}, {"seconds", Rounded(result.seconds)}};
      // A chip that leaves no trace must not be followed by more.
      if (!AppendLine(options.log_path, JsonDump(line), run_error)) break;
    }
    if (stopped) break;
  }

  const std::string summary = std::to_string(burned) + " burned, " + std::to_string(failed) + " failed";
  if (!json) PrintSessionLine(summary);
  const bool ok = failed == 0 && run_error.empty();
  ReportEnd(json, ok, summary, run_error.empty() ? summary : run_error);
  return ok ? kExitOk : kExitFailed;
}
