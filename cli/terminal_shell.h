#pragma once
// The command line's side of shell/shell.h: no windows. Message boxes become lines on
// standard error ("error: ..." / "warning: ..."); a command may hook the burn's events to
// show them. The main window's fields have no place here: a load's report carries them.
// Every call is guarded: the burn worker reaches the shell from its own thread.
#include <functional>
#include <string>

// Optional callbacks for the burn's events. They run on the calling thread (the burn
// worker's too), outside the shell's lock.
struct TerminalHooks {
  std::function<void(int version)> handshake;
  std::function<void()> burn_status;
  std::function<void(int percent)> burn_progress;
  std::function<void(int kind, const std::string& text)> message;  // after it was printed
};

// When on (the default), each message is printed to standard error as it is shown.
// JSON output turns it off and reports the messages in its own lines instead.
void SetTerminalEcho(bool echo);
void SetTerminalHooks(TerminalHooks hooks);


