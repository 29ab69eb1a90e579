#include "cli/gang_burn.h"

#include <cstdio>

#include <unistd.h>

#include "cli/commands.h"
#include "cli/json.h"
#include "cli/port_session.h"
#include "cli/repeat_burn.h"

namespace {

constexpr int kBarWidth = 20;

// What one port's line shows on a terminal.
struct PortView {
  std::string port;
  std::string text;
  int percent = 0;
  int last_decile = 0;
  std::string last_plain;  // the last line printed for the port, not to print it twice
};

class GangPrinter {
 public:
  GangPrinter(const std::vector<std::string>& ports, bool json)
      : json_(json), tty_(!json && isatty(fileno(stdout)) != 0) {
    for (const std::string& port : ports) {
      PortView view;
      view.port = port;
      views_.push_back(view);
    }
    if (tty_) Redraw("");
  }

  void OnLine(std::size_t child, const std::string& line) {
    PortView& view = views_[child];
    if (json_) {
      // Spliced, not parsed: the child's \uDCXX escapes pass through untouched.
      const std::string port = "{\"port\":" + JsonDump(view.port);
      Print(line.starts_with("{") && line.size() > 2 ? port + "," + line.substr(1) : port + "}");
      return;
    }
    const Json event = Json::parse(line, nullptr, false);
    if (event.is_discarded() || !event.is_object()) return Plain(view, line);
    const std::string kind = event.value("event", "");
    if (kind == "progress") {
      view.percent = event.value("percent", 0);
      if (view.percent == 0) view.last_decile = 0;
      if (tty_) return Redraw("");
      if (view.percent / 10 > view.last_decile) {
        view.last_decile = view.percent / 10;
        Plain(view, "  " + std::to_string(view.percent) + "%");
      }
    } else if (kind == "chip") {
      const ChipResult result{event.value("chip", 0), view.port, event.value("ok", false),
                              event.value("text", ""), event.value("version", ""),
                              event.value("seconds", 0.0)};
      if (tty_) return Redraw(ChipResultLine(result));
      Print(ChipResultLine(result));
    } else if (kind == "end") {
      const bool ok = event.value("ok", false);
      Plain(view, ok ? event.value("text", "") : "error: " + event.value("error", ""));
    } else if (kind == "message") {
      Plain(view, event.value("kind", "error") + ": " + event.value("text", ""));
    } else {
      Plain(view, event.value("text", ""));
    }
  }

 private:
  void Print(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }

  // A port's status, message or end: a line of its own, or its line on a terminal.
  void Plain(PortView& view, const std::string& text) {
    if (text.empty() || text == view.last_plain) return;
    view.last_plain = text;
    if (tty_) {
      view.text = text;
      return Redraw("");
    }
    Print(view.port + ": " + text);
  }

  // Goes back over the ports' lines and writes them again; a finished chip's line first.
  void Redraw(const std::string& above) {
    std::string out;
    if (drawn_) out += "\x1b[" + std::to_string(views_.size()) + "A";
    if (!above.empty()) out += "\r\x1b[2K" + above + "\n";
    for (const PortView& view : views_) {
      const int filled = view.percent * kBarWidth / 100;
      char percent[8];
      std::snprintf(percent, sizeof percent, "%3d%%", view.percent);
      out += "\r\x1b[2K" + view.port + "  [" + std::string(filled, '#') +
             std::string(kBarWidth - filled, '.') + "] " + percent + "  " + view.text + "\n";
    }
    drawn_ = true;
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
  }

  bool json_;
  bool tty_;
  bool drawn_ = false;
  std::vector<PortView> views_;
};

}  // namespace

std::vector<std::string> GangChildArgs(const std::vector<std::string>& args, const std::string& port) {
  std::vector<std::string> out;
  bool operands_only = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!operands_only) {
      if (arg == "--") operands_only = true;
      if (arg == "--port") {
        ++i;
        continue;
      }
      if (arg.starts_with("--port=") || arg == "--json") continue;
    }
    out.push_back(arg);
    if (arg == "burn" && out.size() == 1) out.insert(out.end(), {"--port", port, "--json"});
  }
  return out;
}

int RunGangBurn(const std::vector<std::string>& ports, bool json) {
  std::vector<std::vector<std::string>> args;
  for (const std::string& port : ports) args.push_back(GangChildArgs(CommandArgs, port));
  GangPrinter printer(ports, json);
  int stop_signal = 0;
  std::string error;
  const std::vector<int> statuses = RunSelfChildren(
      args, [&printer](std::size_t child, const std::string& line) { printer.OnLine(child, line); },
      &stop_signal, error);
  if (statuses.empty()) {
    ReportEnd(json, false, error, error);
    return kExitFailed;
  }
  int failed = 0;
  for (int status : statuses) failed += status != kExitOk ? 1 : 0;
  const std::string summary = std::to_string(ports.size() - failed) + " port(s) done, " +
                              std::to_string(failed) + " failed";
  if (!json) PrintSessionLine(summary);
  ReportEnd(json, failed == 0, summary, summary);
  if (stop_signal != 0) return kExitSignalBase + stop_signal;
  return failed == 0 ? kExitOk : kExitFailed;
}
