#pragma once
// The command line's side of shell/shell.h: no windows. Message boxes become lines on
// standard error ("error: ..." / "warning: ..."), the title and the status parts are kept
// for the command to print, and a command may hook the burn dialog's calls to show progress.
// Every call is guarded: the burn worker reaches the shell from its own thread.
#include <functional>
#include <string>
#include <vector>

struct TerminalMessage {
  int kind;  // MessageError or MessageWarning
  std::string text;
};

// Optional callbacks for the burn dialog's calls. They run on the calling thread (the burn
// worker's too), outside the shell's lock.
struct TerminalHooks {
  std::function<void(int part, const std::string& text)> status;
  std::function<void()> burn_repaint;
  std::function<void(int percent)> burn_progress;
  std::function<void(const std::string& text)> burn_button;
  std::function<void(int kind, const std::string& text)> message;  // after it was recorded
};

// When on (the default), each message is printed to standard error as it is shown.
// JSON output turns it off and reports TerminalMessages() instead.
void SetTerminalEcho(bool echo);
void SetTerminalHooks(TerminalHooks hooks);

// Everything shown since the start, in order.
std::vector<TerminalMessage> TerminalMessages();
std::string TerminalTitle();
std::string TerminalStatus(int part);

// "error: " or "warning: ", then the text; a line break inside the text starts a new line
// indented to the width of the prefix. Ends with a line break.
std::string FormatTerminalMessage(int kind, const std::string& text);
