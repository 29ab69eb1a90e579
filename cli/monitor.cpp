#include "cli/monitor.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string_view>

#include "cli/commands.h"
#include "cli/console_input.h"
#include "cli/json.h"
#include "cli/stop_signals.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long a read waits: what arrives, and what is typed, waits at most this long.
constexpr std::uint32_t kPollMs = 10;
constexpr std::uint32_t kWriteTimeoutMs = 1000;
constexpr char kCloseKey = 0x1D;  // Ctrl-], as other serial terminals take it
constexpr int kHexPerLine = 16;

// --expect's text, found also when it arrives split across reads.
class ExpectMatch {
 public:
  explicit ExpectMatch(std::string text) : text_(std::move(text)) {}

  bool Feed(const std::string& bytes) {
    if (text_.empty()) return false;
    window_ += bytes;
    if (window_.find(text_) != std::string::npos) return true;
    if (window_.size() >= text_.size()) window_.erase(0, window_.size() - text_.size() + 1);
    return false;
  }

 private:
  std::string text_;
  std::string window_;  // the tail that may begin the text
};

// Received bytes as a user reads them: as they are or in hex, and with --timestamps each
// line after the seconds since the start.
class Renderer {
 public:
  explicit Renderer(const WatchOptions& options) : options_(options) {}

  std::string Format(const std::string& bytes, double seconds) {
    std::string out;
    char piece[32];
    for (const char c : bytes) {
      if (line_start_ && options_.timestamps) {
        std::snprintf(piece, sizeof piece, "[%9.3f] ", seconds);
        out += piece;
      }
      if (!options_.hex) {
        out += c;
        line_start_ = c == '\n';
        continue;
      }
      std::snprintf(piece, sizeof piece, "%02X", static_cast<unsigned char>(c));
      out += piece;
      line_start_ = ++column_ == kHexPerLine;
      if (line_start_) column_ = 0;
      out += line_start_ ? '\n' : ' ';
    }
    return out;
  }

 private:
  const WatchOptions& options_;
  bool line_start_ = true;
  int column_ = 0;
};

Json DataEvent(const std::string& bytes, double seconds, bool hex) {
  Json event = {{"event", "data"}, {"seconds", static_cast<double>(static_cast<long long>(seconds * 1000)) / 1000}};
  if (!hex) {
    event["text"] = bytes;
    return event;
  }
  std::string digits;
  char pair[3];
  for (const char c : bytes) {
    std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(c));
    digits += pair;
  }
  event["hex"] = digits;
  return event;
}

MonitorEnd Passed(const std::string& text) { return {kExitOk, true, text, ""}; }

MonitorEnd Failed(const std::string& text) { return {kExitFailed, false, text, text}; }

MonitorEnd Stopped() {
  const int signal_number = StopSignalNumber();
  return {signal_number != 0 ? kExitSignalBase + signal_number : kExitFailed, false, "stopped", "stopped"};
}

// Typed bytes, in pieces that leave the line within half the write time-out even at a slow
// rate: a piece that did not would be dropped by the next write.
void Send(SerialPort& port, std::string_view bytes) {
  const std::size_t piece = std::max<std::uint32_t>(1, port.Rate() / 20);
  for (std::size_t at = 0; at < bytes.size() && !port.Lost(); at += piece) {
    const std::size_t count = std::min(piece, bytes.size() - at);
    port.Write(reinterpret_cast<const std::uint8_t*>(bytes.data() + at), static_cast<std::uint32_t>(count));
  }
}

MonitorEnd Watch(SerialPort& port, const WatchOptions& options, ConsoleInput* input, Output& output,
                 std::size_t index, const StopToken& stop) {
  port.SetTimeouts(kPollMs, kWriteTimeoutMs);
  const auto start = Clock::now();
  ExpectMatch expect(options.expect);
  Renderer renderer(options);
  std::uint8_t buffer[4096];
  char keys[256];
  for (;;) {
    if (stop.Requested()) return Stopped();
    const std::uint32_t got = port.ReadSome(buffer, sizeof buffer);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (got > 0) {
      const std::string bytes(reinterpret_cast<const char*>(buffer), got);
      if (output.json()) {
        output.Event(index, DataEvent(bytes, seconds, options.hex));
      } else {
        output.Received(index, renderer.Format(bytes, seconds));
      }
      if (expect.Feed(bytes)) return Passed("expect passed");
    }
    if (port.Lost()) return Failed("the port " + port.Device() + " was lost");
    if (const int typed = input != nullptr ? input->Read(keys, sizeof keys) : 0; typed > 0) {
      const std::string_view sent(keys, static_cast<std::size_t>(typed));
      const std::size_t close = input->terminal() ? sent.find(kCloseKey) : std::string_view::npos;
      Send(port, sent.substr(0, close));
      if (close != std::string_view::npos) {
        return options.expect.empty() ? Passed("closed") : Failed("closed before the expected text came");
      }
    }
    if (options.seconds && seconds >= *options.seconds) {
      return options.expect.empty() ? Passed("time is up") : Failed("expect timed out");
    }
  }
}

}  // namespace

std::string RateRefusedText(const std::string& device, std::uint32_t rate) {
  return "the driver of " + device + " refuses " + std::to_string(rate) + " bit/s";
}

MonitorEnd RunMonitorOn(SerialPort& port, const WatchOptions& watch, bool keys, const ResetOptions& reset,
                        const CommandOutputSink& reset_output, Output& output, std::size_t index,
                        const StopToken& stop) {
  if (!reset.line.empty() || !reset.command.empty()) {
    port.PurgeReceive();
    if (const std::string failure = RunResetHooks(reset, port, stop, reset_output); !failure.empty()) {
      return stop.Requested() ? Stopped() : Failed(failure);
    }
  }
  std::optional<ConsoleInput> input;
  if (keys) input.emplace();
  output.Aside(index, "monitor",
               "Watching " + port.Device() + " at " + std::to_string(port.Rate()) + " bit/s" +
                   (input && input->terminal() ? " (Ctrl-] ends)" : ""));
  const MonitorEnd end = Watch(port, watch, input ? &*input : nullptr, output, index, stop);
  output.ReceivedEnd(index);
  return end;
}
