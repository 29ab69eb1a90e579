#include "cli/port_session.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include <unistd.h>

#include "cli/commands.h"
#include "cli/json.h"
#include "cli/reset_hook.h"
#include "cli/stop_signals.h"
#include "cli/terminal_shell.h"
#include "isp/burn_status.h"
#include "isp/burn_worker.h"
#include "isp/protocol.h"
#include "serial/port_list.h"
#include "serial/global_port.h"
#include "settings/settings.h"
#include "shell/shell.h"

namespace {

constexpr int kProgressBarWidth = 40;

// The first stop signal's number, set from its handler: lock-free atomics only.
std::atomic<int> interrupted{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnStopSignal(int signal_number) {
  int none = 0;
  interrupted.compare_exchange_strong(none, signal_number);
  RequestBurnStop();
}

std::string ColorName(std::uint32_t color) {
  switch (color) {
    case kColorRed: return "red";
    case kColorBlue: return "blue";
    case kColorGreen: return "green";
    default: {
      char text[16];
      std::snprintf(text, sizeof text, "#%06X", static_cast<unsigned>(color & 0xFFFFFF));
      return text;
    }
  }
}

// Stops a burn that has not seen the handshake within the wait, as the Stop button would.
struct HandshakeWatch {
  std::mutex mutex;
  std::condition_variable changed;
  bool handshake_seen = false;
  bool burn_over = false;
  std::atomic<bool> timed_out{false};
};
HandshakeWatch watch;

// What the burn dialog shows, printed as it changes. The hooks run on the worker's thread,
// the port's status text on the main one; the mutex keeps the lines whole.
struct BurnPrinter {
  std::mutex mutex;
  bool json = false;
  bool tty = false;
  std::string last_text;
  std::uint32_t last_color = 0;
  bool shown_any = false;
  int last_percent = -1;
  int last_decile = 0;
  bool bar_open = false;
  std::string version;
};
BurnPrinter printer;

EndCapture end_capture;
// When the last session began to wait for its chip (after any quiet wait).
std::chrono::steady_clock::time_point session_start;

// How often the wait for a silent line looks at a stop signal.
constexpr std::uint32_t kQuietPollMs = 100;

// Each session starts as the first did.
// Set and read on the thread that runs the session.
std::string failure_detail;

void ResetSessionState() {
  failure_detail.clear();
  {
    std::lock_guard lock(watch.mutex);
    watch.handshake_seen = false;
    watch.burn_over = false;
  }
  watch.timed_out.store(false);
  std::lock_guard lock(printer.mutex);
  printer.shown_any = false;
  printer.last_percent = -1;
  printer.last_decile = 0;
  printer.version.clear();
}

void PrintLine(const std::string& line);

// An operator who put the next board in before the line fell silent would otherwise see
// nothing happen at all.
void TellLineBusy(std::uint32_t quiet_ms) {
  const std::string text = "The last chip still announces: waiting for " +
                           std::to_string(quiet_ms) + " ms of silence (remove its board)";
  std::lock_guard lock(printer.mutex);
  PrintLine(printer.json ? JsonDump({{"event", "wait"}, {"text", text}}) : text);
}

// True once nothing has arrived for quiet_ms; false on a stop signal or a lost port.
bool WaitLineQuiet(std::uint32_t quiet_ms) {
  SetPortTimeouts(kQuietPollMs, kQuietPollMs);
  auto last_byte = std::chrono::steady_clock::now();
  bool told = false;
  std::uint8_t buffer[64];
  while (std::chrono::steady_clock::now() - last_byte < std::chrono::milliseconds(quiet_ms)) {
    if (interrupted.load() != 0 || PortLost()) return false;
    if (PortRead(buffer, sizeof buffer) <= 0) continue;
    last_byte = std::chrono::steady_clock::now();
    if (!told) TellLineBusy(quiet_ms);
    told = true;
  }
  return true;
}

void EndBarLine() {
  if (printer.bar_open) {
    std::fputc('\n', stdout);
    printer.bar_open = false;
  }
}

void PrintLine(const std::string& line) {
  EndBarLine();
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void OnBurnStatus() {
  const std::string text = BurnStatusText();
  const std::uint32_t color = BurnStatusColor.load();
  std::lock_guard lock(printer.mutex);
  if (printer.shown_any && text == printer.last_text && color == printer.last_color) return;
  printer.shown_any = true;
  printer.last_text = text;
  printer.last_color = color;
  if (printer.json) {
    PrintLine(JsonDump({{"event", "status"}, {"text", text}, {"color", ColorName(color)}}));
  } else if (!text.empty()) {
    PrintLine(text);
  }
}

void OnBurnProgress(int percent) {
  std::lock_guard lock(printer.mutex);
  if (percent == printer.last_percent) return;
  printer.last_percent = percent;
  if (printer.json) {
    PrintLine(JsonDump({{"event", "progress"}, {"percent", percent}}));
    return;
  }
  // 0 only resets the bar between phases; the phase's first answer draws it.
  if (percent == 0) {
    printer.last_decile = 0;
    return;
  }
  if (printer.tty) {
    const int filled = percent * kProgressBarWidth / 100;
    std::string bar = "\r  [" + std::string(filled, '#') + std::string(kProgressBarWidth - filled, '.') + "] ";
    std::fprintf(stdout, "%s%3d%%", bar.c_str(), percent);
    std::fflush(stdout);
    printer.bar_open = true;
  } else if (percent / 10 > printer.last_decile) {
    printer.last_decile = percent / 10;
    PrintLine("  " + std::to_string(percent) + "%");
  }
}

void OnHandshake(int version) {
  {
    std::lock_guard lock(watch.mutex);
    watch.handshake_seen = true;
  }
  watch.changed.notify_all();
  const std::string text = FirmwareVersionText(version);
  if (text.empty()) return;  // an out-of-date chip: its message follows
  std::lock_guard lock(printer.mutex);
  printer.version = text;
  PrintLine(printer.json ? JsonDump({{"event", "version"}, {"text", text}}) : text);
}

void OnMessage(int kind, const std::string& text) {
  std::lock_guard lock(printer.mutex);
  if (printer.json) {
    PrintLine(JsonDump({{"event", "message"},
                        {"kind", kind == MessageWarning ? "warning" : "error"},
                        {"text", text}}));
  } else {
    // The shell has already written it to standard error; only close a half-drawn bar.
    EndBarLine();
    std::fflush(stdout);
  }
}

void WatchHandshake(double seconds) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(seconds));
  std::unique_lock lock(watch.mutex);
  if (!watch.changed.wait_until(lock, deadline,
                                [] { return watch.handshake_seen || watch.burn_over; })) {
    watch.timed_out.store(true);
    RequestBurnStop();
  }
}

// Closes the port on every way out of the burn, so that the device is free again and a
// terminal used as the port gets its settings back.
struct PortCloser {
  PortCloser() = default;
  PortCloser(const PortCloser&) = delete;
  PortCloser& operator=(const PortCloser&) = delete;
  ~PortCloser() { ClosePort(); }
};


// Why a load placed nothing, in the words of its last error.
std::string LoadFailureText(const LoadReport& report) {
  std::string text = "nothing was loaded";
  for (const LoadMessage& message : report.messages) {
    if (message.kind == MessageError) text = message.text;
  }
  return text;
}

}  // namespace

bool CheckPortGiven(PortOptions& options, std::string& error) {
  if (options.ports.size() > 1) {
    error = "--port may be given once here";
    return false;
  }
  if (!options.ports.empty()) options.port = options.ports.front();
  if (kComNamesOnly || !options.port.empty()) return true;
  error = "no serial device given: use --port DEVICE ('rm516x-isp ports' lists them)";
  return false;
}

void BeginSessionOutput(bool json) {
  printer.json = json;
  printer.tty = !json && isatty(fileno(stdout)) != 0;
  SetTerminalEcho(!json);
  TerminalHooks hooks;
  hooks.message = OnMessage;
  SetTerminalHooks(hooks);
  IgnoreBrokenPipe();
}

void PrintSessionLine(const std::string& line) {
  std::lock_guard lock(printer.mutex);
  PrintLine(line);
}

void CaptureSessionEnd(EndCapture capture) { end_capture = std::move(capture); }

bool SessionHandshakeSeen() {
  std::lock_guard lock(watch.mutex);
  return watch.handshake_seen;
}

double SessionSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - session_start).count();
}

std::string SessionVersionText() {
  std::lock_guard lock(printer.mutex);
  return printer.version;
}

void ReportEnd(bool json, bool ok, const std::string& text, const std::string& error_line) {
  if (end_capture) {
    end_capture(ok, text, error_line);
    return;
  }
  std::lock_guard lock(printer.mutex);
  if (json) {
    Json end = {{"event", "end"}, {"ok", ok}, {"text", text}};
    if (!ok) end["error"] = error_line;
    PrintLine(JsonDump(end));
  } else {
    EndBarLine();
    std::fflush(stdout);
  }
  if (!ok) {
    std::fputs(FormatTerminalMessage(MessageError, error_line).c_str(), stderr);
    std::fflush(stderr);
  }
}

bool LoadForSession(const LoadOptions& load) {
  BeginSessionOutput(load.json);
  const LoadReport report = RunLoad(load);
  if (report.file_state == 0) {
    if (load.json) {
      const std::string reason = LoadFailureText(report);
      ReportEnd(true, false, reason, reason);
    }
    return false;
  }
  if (!load.json) std::fputs(LoadReportText(report).c_str(), stdout);
  return true;
}

void BeginSessionStop() {
  ResetBurnStop();
  if (StopSignalSeen()) RequestBurnStop();
}


int RunPortSession(PortOptions& options, bool json, const std::string& what,
                   const std::function<int()>& session) {
  ResetSessionState();
  // Set directly, never through the dialogs' paths: the command line leaves the profile alone.
  if (options.baud_index) BaudRateIndex = *options.baud_index;
  if (kComNamesOnly && options.port.empty()) options.port = ComPortNames[ComPortIndex];
  // Resolved now, not at parse time: the adapter may have come back under another name.
  if (options.port.starts_with(kUsbSerialPrefix)) {
    std::string error;
    const std::string device = ResolveUsbSerial(
        options.port.substr(sizeof kUsbSerialPrefix - 1), ListSerialPorts(), error);
    if (device.empty()) {
      ReportEnd(json, false, error, error);
      return kExitFailed;
    }
    options.port = device;
  }
  SetPortDevice(options.port);
  // Caught from before the open to the exit, so that no signal ends the process between
  // the port's opening and its closing.
  CatchStopSignals(OnStopSignal);
  if (!OpenComPort()) {
    std::string reason = LastPortError();
    if (reason.empty()) reason = "cannot open " + options.port;
    ReportEnd(json, false, reason, reason);
    return interrupted.load() != 0 ? kExitSignalBase + interrupted.load() : kExitFailed;
  }
  const PortCloser port_closer;
  PurgeReceive();
  if (options.quiet_before_ms > 0 && !WaitLineQuiet(options.quiet_before_ms)) {
    if (const int signal_number = interrupted.load(); signal_number != 0) {
      ReportEnd(json, false, "", "stopped");
      return kExitSignalBase + signal_number;
    }
    const std::string lost = "the port " + options.port + " was lost";
    ReportEnd(json, false, lost, lost);
    return kExitFailed;
  }
  session_start = std::chrono::steady_clock::now();
  // Before the session starts: a chip reset now announces into the handshake's wait.
  if (const std::string failure = RunResetHooks(options.reset, options.port); !failure.empty()) {
    if (const int signal_number = interrupted.load(); signal_number != 0) {
      ReportEnd(json, false, "", "stopped");
      return kExitSignalBase + signal_number;
    }
    ReportEnd(json, false, failure, failure);
    return kExitFailed;
  }

  TerminalHooks hooks;
  hooks.message = OnMessage;
  hooks.burn_status = OnBurnStatus;
  hooks.burn_progress = OnBurnProgress;
  hooks.handshake = OnHandshake;
  SetTerminalHooks(hooks);

  std::thread watcher;
  if (options.wait_seconds) watcher = std::thread(WatchHandshake, *options.wait_seconds);
  const int result = session();
  if (watcher.joinable()) {
    {
      std::lock_guard lock(watch.mutex);
      watch.burn_over = true;
    }
    watch.changed.notify_all();
    watcher.join();
  }
  SetTerminalHooks(TerminalHooks{});

  if (result == -1) {
    ReportEnd(json, false, "cannot start the " + what, "cannot start the " + what);
    return kExitFailed;
  }
  const std::string text = BurnStatusText();
  if (result == 1) return kExitOk;
  if (const int signal_number = interrupted.load(); signal_number != 0) {
    ReportEnd(json, false, text, text.empty() ? "stopped" : text + " (stopped)");
    return kExitSignalBase + signal_number;
  }
  if (PortLost()) {
    const std::string lost = "the port " + options.port + " was lost";
    ReportEnd(json, false, text, text.empty() ? lost : text + " (" + lost + ")");
    return kExitFailed;
  }
  if (watch.timed_out.load()) {
    char line[96];
    std::snprintf(line, sizeof line, "no handshake from the chip within %g s (is it in ISP mode?)",
                  *options.wait_seconds);
    ReportEnd(json, false, text, line);
    return kExitFailed;
  }
  ReportEnd(json, false, text, failure_detail.empty() ? text : text + ": " + failure_detail);
  return kExitFailed;
}

void SetSessionFailureDetail(const std::string& detail) { failure_detail = detail; }

std::string PageSumMismatchText(const PageSums& sums) {
  if (sums.differing_bank < 0) return "";
  char text[96];
  std::snprintf(text, sizeof text, "the sum of page 0x%02X of bank %d is %.4X, the image's %.4X",
                static_cast<unsigned>(sums.differing_page), sums.differing_bank,
                static_cast<unsigned>(sums.chip_sum), static_cast<unsigned>(sums.image_sum));
  return text;
}

bool StopSignalSeen() { return interrupted.load() != 0; }
