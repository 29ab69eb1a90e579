#include "cli/output.h"

#include <chrono>
#include <cstdio>

#include <unistd.h>

#include "cli/json.h"
#include "cli/stop_signals.h"
#include "shell/message_kind.h"

namespace {

constexpr int kProgressBarWidth = 40;
constexpr int kGangBarWidth = 20;

// The colour names of the burn dialog's lines, which scripts reading --json rely on.
const char* ColorName(Tone tone) {
  switch (tone) {
    case Tone::kBusy: return "blue";
    case Tone::kPassed: return "green";
    case Tone::kWaiting:
    case Tone::kFailed: break;
  }
  return "red";
}

}  // namespace

std::string ChipResultLine(const ChipResult& result) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f s", result.seconds);
  // Appended, not "#" + a temporary: that trips a false -Wrestrict in MinGW's GCC 12 at -O3.
  std::string line = "#";
  line += std::to_string(result.chip) + "  " + result.port + "  " + result.text + "  " +
          (result.monitor.empty() ? "" : result.monitor + "  ") +
          (result.version.empty() ? "VER: -" : result.version) + "  " + seconds;
  return line;
}

std::string FormatTerminalMessage(int kind, const std::string& text) {
  const std::string prefix = kind == MessageWarning ? "warning: " : "error: ";
  std::string out = prefix;
  for (char c : text) {
    out += c;
    if (c == '\n') out.append(prefix.size(), ' ');
  }
  out += '\n';
  return out;
}

Output::Output(bool json, std::vector<std::string> ports)
    : json_(json), tty_(!json && isatty(fileno(stdout)) != 0) {
  IgnoreBrokenPipe();
  for (std::string& port : ports) {
    PortView view;
    view.port = std::move(port);
    views_.push_back(std::move(view));
  }
  if (views_.empty()) views_.emplace_back();
  // Several ports' lines are first drawn at their first event, below the load's lines.
}

Output::PortView& Output::View(std::size_t port) { return views_[port < views_.size() ? port : 0]; }

void Output::EndOpenLine() {
  if (!line_open_) return;
  std::fputc('\n', stdout);
  line_open_ = false;
}

void Output::PrintLine(const std::string& line) {
  EndOpenLine();
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void Output::PrintEvent(std::size_t port, Json event) {
  if (gang()) {
    Json with_port = {{"port", View(port).port}};
    with_port.update(event);
    event = std::move(with_port);
  }
  PrintLine(JsonDump(event));
}

// Several ports: a port's line of its own, or its line on a terminal.
void Output::Plain(PortView& view, const std::string& text) {
  if (text.empty() || text == view.last_plain) return;
  view.last_plain = text;
  if (tty_) {
    view.text = text;
    return Redraw("");
  }
  PrintLine(view.port + ": " + text);
}

// Goes back over the ports' lines and writes them again; a finished chip's line first.
void Output::Redraw(const std::string& above) {
  std::string out;
  if (drawn_) out += "\x1b[" + std::to_string(views_.size()) + "A";
  if (!above.empty()) out += "\r\x1b[2K" + above + "\n";
  for (const PortView& view : views_) {
    const int percent = view.percent < 0 ? 0 : view.percent;
    const int filled = percent * kGangBarWidth / 100;
    char number[16];
    std::snprintf(number, sizeof number, "%3d%%", percent);
    out += "\r\x1b[2K" + view.port + "  [" + std::string(filled, '#') +
           std::string(kGangBarWidth - filled, '.') + "] " + number + "  " + view.text + "\n";
  }
  drawn_ = true;
  std::fputs(out.c_str(), stdout);
  std::fflush(stdout);
}

void Output::BeginSession(std::size_t port) {
  std::lock_guard lock(mutex_);
  PortView& view = View(port);
  view.percent = -1;
  view.last_decile = 0;
}

void Output::Status(std::size_t port, Tone tone, const std::string& text) {
  std::lock_guard lock(mutex_);
  PortView& view = View(port);
  if (json_) return PrintEvent(port, {{"event", "status"}, {"text", text}, {"color", ColorName(tone)}});
  if (gang()) return Plain(view, text);
  if (!text.empty()) PrintLine(text);
}

void Output::Progress(std::size_t port, int percent) {
  std::lock_guard lock(mutex_);
  PortView& view = View(port);
  if (percent == view.percent) return;
  view.percent = percent;
  if (json_) return PrintEvent(port, {{"event", "progress"}, {"percent", percent}});
  // 0 only resets the bar between phases; the phase's first answer draws it.
  if (percent == 0) {
    view.last_decile = 0;
    if (gang() && tty_) Redraw("");
    return;
  }
  if (tty_) {
    if (gang()) return Redraw("");
    const int filled = percent * kProgressBarWidth / 100;
    const std::string bar =
        "\r  [" + std::string(filled, '#') + std::string(kProgressBarWidth - filled, '.') + "] ";
    std::fprintf(stdout, "%s%3d%%", bar.c_str(), percent);
    std::fflush(stdout);
    line_open_ = true;
  } else if (percent / 10 > view.last_decile) {
    view.last_decile = percent / 10;
    const std::string line = "  " + std::to_string(percent) + "%";
    if (gang()) return Plain(view, line);
    PrintLine(line);
  }
}

void Output::Version(std::size_t port, const std::string& text) {
  std::lock_guard lock(mutex_);
  if (json_) return PrintEvent(port, {{"event", "version"}, {"text", text}});
  if (gang()) return Plain(View(port), text);
  PrintLine(text);
}

void Output::Message(std::size_t port, int kind, const std::string& text) {
  std::lock_guard lock(mutex_);
  const char* kind_name = kind == MessageWarning ? "warning" : "error";
  if (json_) return PrintEvent(port, {{"event", "message"}, {"kind", kind_name}, {"text", text}});
  if (gang()) return Plain(View(port), std::string(kind_name) + ": " + text);
  EndOpenLine();
  std::fflush(stdout);
  std::fputs(FormatTerminalMessage(kind, text).c_str(), stderr);
  std::fflush(stderr);
}

void Output::RunMessage(int kind, const std::string& text) {
  std::lock_guard lock(mutex_);
  if (json_) {
    PrintLine(JsonDump({{"event", "message"}, {"kind", kind == MessageWarning ? "warning" : "error"}, {"text", text}}));
    return;
  }
  EndOpenLine();
  std::fflush(stdout);
  std::fputs(FormatTerminalMessage(kind, text).c_str(), stderr);
  std::fflush(stderr);
}

void Output::Note(std::size_t port, const char* event, const std::string& text) {
  std::lock_guard lock(mutex_);
  if (json_) return PrintEvent(port, {{"event", event}, {"text", text}});
  if (gang()) return Plain(View(port), text);
  PrintLine(text);
}

void Output::Chip(const ChipResult& result) {
  std::lock_guard lock(mutex_);
  if (json_) {
    Json event = {{"event", "chip"}, {"chip", result.chip}, {"port", result.port}, {"ok", result.ok},
                  {"text", result.text}};
    if (!result.monitor.empty()) event["monitor"] = result.monitor;
    event.update(Json{{"version", result.version}, {"seconds", JsonSeconds(result.seconds)}});
    PrintLine(JsonDump(event));
    return;
  }
  if (gang() && tty_) return Redraw(ChipResultLine(result));
  PrintLine(ChipResultLine(result));
}

void Output::PortEnd(std::size_t port, bool ok, const std::string& text, const std::string& error_line) {
  std::lock_guard lock(mutex_);
  if (json_) {
    Json event = {{"event", "result"}, {"ok", ok}, {"text", text}};
    if (!ok) event["error"] = error_line;
    return PrintEvent(port, event);
  }
  Plain(View(port), ok ? text : "error: " + error_line);
}

void Output::ReceivedLine(const PortView& view, std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (tty_) return Redraw(view.port + ": " + line);
  PrintLine(view.port + ": " + line);
}

void Output::Received(std::size_t port, const std::string& text) {
  std::lock_guard lock(mutex_);
  if (json_ || text.empty()) return;
  PortView& view = View(port);
  if (!gang()) {
    // The session's lines ended any progress bar; the next line of ours ends this text's.
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    line_open_ = text.back() != '\n';
    return;
  }
  view.partial += text;
  for (std::size_t end; (end = view.partial.find('\n')) != std::string::npos;) {
    ReceivedLine(view, view.partial.substr(0, end));
    view.partial.erase(0, end + 1);
  }
}

void Output::ReceivedEnd(std::size_t port) {
  std::lock_guard lock(mutex_);
  PortView& view = View(port);
  if (!view.partial.empty()) ReceivedLine(view, view.partial);
  view.partial.clear();
}

void Output::Event(std::size_t port, Json event) {
  std::lock_guard lock(mutex_);
  PrintEvent(port, std::move(event));
}

void Output::Aside(std::size_t port, const char* event, const std::string& text) {
  std::lock_guard lock(mutex_);
  if (json_) return PrintEvent(port, {{"event", event}, {"text", text}});
  EndOpenLine();
  std::fflush(stdout);
  const std::string line = (gang() ? View(port).port + ": " : "") + text + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  // Moving up over it would overwrite it on a shared terminal: the next lines go below.
  if (isatty(fileno(stderr)) != 0) drawn_ = false;
}

void Output::Line(const std::string& line) {
  std::lock_guard lock(mutex_);
  if (!json_) PrintLine(line);
}

void Output::End(bool ok, const std::string& text, const std::string& error_line) {
  std::lock_guard lock(mutex_);
  if (json_) {
    Json end = {{"event", "end"}, {"ok", ok}, {"text", text}};
    if (!ok) end["error"] = error_line;
    PrintLine(JsonDump(end));
  } else {
    EndOpenLine();
    std::fflush(stdout);
  }
  if (!ok) {
    std::fputs(FormatTerminalMessage(MessageError, error_line).c_str(), stderr);
    std::fflush(stderr);
  }
}

void PortEvents::HandshakeSeen(int version) {
  const std::string text = FirmwareVersionText(version);
  {
    std::lock_guard lock(mutex_);
    handshake_seen_ = true;
    version_ = text;
  }
  changed_.notify_all();
  if (!text.empty()) output_.Version(port_, text);  // an out-of-date chip: its message follows
}

bool PortEvents::HandshakeTimedOut(double seconds) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(seconds));
  std::unique_lock lock(mutex_);
  return !changed_.wait_until(lock, deadline, [this] { return handshake_seen_ || finished_; });
}

void PortEvents::Finish() {
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  changed_.notify_all();
}

void PortEvents::Reset() {
  output_.BeginSession(port_);
  std::lock_guard lock(mutex_);
  handshake_seen_ = false;
  finished_ = false;
  version_.clear();
}

bool PortEvents::handshake_seen() {
  std::lock_guard lock(mutex_);
  return handshake_seen_;
}

std::string PortEvents::VersionText() {
  std::lock_guard lock(mutex_);
  return version_;
}
