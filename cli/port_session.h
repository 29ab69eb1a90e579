#pragma once
// What burn, read and verify share: the port options, the chip's events printed as they come
// (a bar on a terminal, lines otherwise, JSON events with --json), the stop signals, the
// handshake wait, the one end report, and the port closed on every way out.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/load_options.h"
#include "cli/options.h"
#include "image/load_report.h"
#include "isp/protocol.h"

// Windows opens the port by its COM name, with the profile's port as the default; POSIX
// has no such names and needs a device path.
#ifdef _WIN32
inline constexpr bool kComNamesOnly = true;
#else
inline constexpr bool kComNamesOnly = false;
#endif

// Takes the one --port as the session's port. False, with a usage error in error, when
// --port came more than once or the platform needs a device path and none was given.
bool CheckPortGiven(PortOptions& options, std::string& error);

// Before a command's first output: the printer's mode, the terminal's echo of messages, and
// output to a closed pipe that must not end a session half-way.
void BeginSessionOutput(bool json);

// One line, closing a half-drawn bar first.
void PrintSessionLine(const std::string& line);

// Every run that got past its usage check ends here once. The last line on standard error
// says why it did not complete; JSON's end event carries the last status text and, after a
// failure, that same line as "error".
void ReportEnd(bool json, bool ok, const std::string& text, const std::string& error_line);

// While set, ReportEnd hands its arguments to capture instead of reporting them: a command
// that runs several sessions reports each in its own words. Empty to report again.
using EndCapture = std::function<void(bool ok, const std::string& text, const std::string& error_line)>;
void CaptureSessionEnd(EndCapture capture);

// Said after the failure text on the error line of the session now running, for a session
// that knows more than its status text tells. Cleared when a session begins.
void SetSessionFailureDetail(const std::string& detail);

// "the sum of page 0x03 of bank 0 is 1234, the image's 1334" for the first page whose sum
// differed; "" when none did.
std::string PageSumMismatchText(const PageSums& sums);

// Whether the last session saw the chip's handshake, and the version it told ("" none).
bool SessionHandshakeSeen();
std::string SessionVersionText();
// Seconds since the last session began to wait for its chip, after any quiet wait.
double SessionSeconds();

// Before a command that burns or compares files: BeginSessionOutput, the load, and the
// report printed. False when nothing was placed; the failure has been told (and ended,
// with --json).
bool LoadForSession(const LoadOptions& load);

// At the start of a session on the calling thread: a fresh stop request, with a stop signal
// that already came said again.
void BeginSessionStop();

// True once a stop signal came (from the open on).
bool StopSignalSeen();

// Opens the port (on Windows the profile's COM port when none was given) at the chosen rate,
// runs the reset hooks (before --wait starts counting), then runs session on the calling thread with the chip's events printed, the stop signals
// routed to RequestBurnStop and --wait watched, and closes the port. session returns 1 on
// success, 0 on a failure (its text in BurnStatusText), -1 when it could not start
// ("cannot start the <what>"). On success returns kExitOk and has reported nothing: the caller
// ends with ReportEnd. Otherwise reports the end and returns the exit status (128 + signal
// after a stop by a signal).
int RunPortSession(PortOptions& options, bool json, const std::string& what,
                   const std::function<int()>& session);
