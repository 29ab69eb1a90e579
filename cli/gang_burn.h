#pragma once
// burn with --port given several times: one child process per port, each this program
// burning on its one port with --json, so no two burns share the core's process-wide state;
// the parent renders their events together.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Burns on every port at once, the load already done and reported. On a terminal one line
// per port, redrawn in place; otherwise lines that start with the port; with --json the
// children's events, each carrying "port", then one "end". kExitOk only when every port
// succeeded; 128 + N when signal N stopped the gang.
int RunGangBurn(const std::vector<std::string>& ports, bool json);

// burn's arguments for the child on port: args (the command line after the program's name)
// without any --port or --json, with "--port PORT --json" after "burn".
std::vector<std::string> GangChildArgs(const std::vector<std::string>& args, const std::string& port);

using ChildLineSink = std::function<void(std::size_t child, const std::string& line)>;

// One file per platform (gang_burn_posix.cpp, gang_burn_win32.cpp). Starts this program's own
// executable once per argument list, all at once, and calls on_line(i, line) on the calling
// thread for each whole line child i writes to standard output, as they come. Stop signals
// that reach this process reach the children too (forwarded on POSIX; on Windows Ctrl-C goes
// to the whole console); *stop_signal is the first (0 none).
// Returns each child's exit status (128 + N after signal N) once all have ended; empty, with
// error set, when they could not be started.
std::vector<int> RunSelfChildren(const std::vector<std::vector<std::string>>& args,
                                 const ChildLineSink& on_line, int* stop_signal, std::string& error);
