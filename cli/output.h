#pragma once
// Everything a command prints while it talks to chips, on one or several ports, in one of
// three forms: lines with a progress bar on a terminal, plain lines otherwise, or one JSON
// event per line. Sessions on several threads print through one Output: its lock keeps each
// line whole. One port prints as it always has; several ("gang") put the port before each
// line, keep one line per port on a terminal, and carry "port" in their JSON events.
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "cli/json_type.h"
#include "isp/session.h"

// One chip's end, as its result line, its JSON event and its log line tell it.
struct ChipResult {
  int chip = 0;
  std::string port;
  bool ok = false;
  std::string text;     // the last status, or after a failure why it failed
  std::string version;  // "VER: 2.3", "" when the chip did not tell
  double seconds = 0;   // from the wait for its handshake to its end
  std::string monitor;  // how burn --monitor's monitor ended ("" without one)
};

// "#1  /dev/ttyUSB0  Verify OK  VER: 2.3  4.2 s", the monitor's end after the result
std::string ChipResultLine(const ChipResult& result);

// "error: " or "warning: ", then the text; a line break inside the text starts a new line
// indented to the width of the prefix. Ends with a line break.
std::string FormatTerminalMessage(int kind, const std::string& text);

class Output {
 public:
  // ports: the devices in the order given (one for a single port; may be empty before a port
  // is known). Also decides whether standard output is a terminal, and makes output to a
  // closed pipe fail instead of ending the process.
  Output(bool json, std::vector<std::string> ports);
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  bool json() const { return json_; }

  // A session begins on port: what it shows starts afresh.
  void BeginSession(std::size_t port);

  // A port's session events (port: the index in ports).
  void Status(std::size_t port, Tone tone, const std::string& text);
  void Progress(std::size_t port, int percent);
  void Version(std::size_t port, const std::string& text);
  // A message box's text: standard error for one port (and a JSON event); a port's line for several.
  void Message(std::size_t port, int kind, const std::string& text);
  // A message of the run's own, before any port (a load's): standard error, or a JSON event.
  void RunMessage(int kind, const std::string& text);
  // A note in the run's own words, as JSON event `event` with text.
  void Note(std::size_t port, const char* event, const std::string& text);
  // A repeated burn's chip.
  void Chip(const ChipResult& result);
  // Several ports: how one port's run ended ("result" event).
  void PortEnd(std::size_t port, bool ok, const std::string& text, const std::string& error_line);
  // What a monitored port received, already formatted: one port's goes out as it comes;
  // several ports' a whole line at a time after the port's name (above the ports' lines on a
  // terminal). Nothing with JSON, where the caller sends an Event instead.
  void Received(std::size_t port, const std::string& text);
  // The port's monitor ended: several ports' unfinished line goes out.
  void ReceivedEnd(std::size_t port);
  // A port's own JSON event (with "port" for several).
  void Event(std::size_t port, Json event);
  // A note beside a monitor's data, which keeps standard output to itself: standard error
  // (after the port's name for several), or JSON event `event`.
  void Aside(std::size_t port, const char* event, const std::string& text);
  // A plain line of the run's own (a summary); nothing with JSON.
  void Line(const std::string& line);
  // The run's one end. The last line on standard error says why it did not complete; JSON's
  // end event carries the last status text and, after a failure, that same line as "error".
  void End(bool ok, const std::string& text, const std::string& error_line);

 private:
  struct PortView {
    std::string port;
    int percent = -1;
    int last_decile = 0;
    std::string text;        // several ports on a terminal: what its line shows
    std::string last_plain;  // several ports: the last line printed, not to print it twice
    std::string partial;     // several ports: received text not yet ended by a line break
  };

  bool gang() const { return views_.size() > 1; }
  PortView& View(std::size_t port);
  void PrintLine(const std::string& line);
  void PrintEvent(std::size_t port, Json event);
  void EndOpenLine();
  void Plain(PortView& view, const std::string& text);
  void ReceivedLine(const PortView& view, std::string line);
  void Redraw(const std::string& above);

  std::mutex mutex_;
  bool json_;
  bool tty_;
  bool line_open_ = false;  // a progress bar or received text left its line open
  bool drawn_ = false;
  std::vector<PortView> views_;
};

// A session's events for one port of an Output. It also remembers what the session told, for
// a watch on the handshake and for the chip's result.
class PortEvents final : public SessionEvents {
 public:
  PortEvents(Output& output, std::size_t port) : output_(output), port_(port) {}

  void Status(Tone tone, const std::string& text) override { output_.Status(port_, tone, text); }
  void Progress(int percent) override { output_.Progress(port_, percent); }
  void HandshakeSeen(int version) override;
  void Message(int kind, const std::string& text) override { output_.Message(port_, kind, text); }

  // Waits up to seconds for the chip's handshake or Finish; true when neither came.
  bool HandshakeTimedOut(double seconds);
  // The session is over: a watch on its handshake ends.
  void Finish();
  // Forgets the last chip: the next session starts afresh.
  void Reset();
  bool handshake_seen();
  std::string VersionText();

  Output& output() { return output_; }
  std::size_t port() const { return port_; }

 private:
  Output& output_;
  std::size_t port_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool handshake_seen_ = false;
  bool finished_ = false;
  std::string version_;
};
