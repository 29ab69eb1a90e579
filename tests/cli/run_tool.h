#pragma once
// Runs real programs from the tests: the built rm516x-isp and the tools that make real files.
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

struct ToolRun {
  int exit_code = -1;  // -1 when the program could not be started; 128 + N after signal N
  std::string out;
  std::string err;
};

// With interrupt_on, signal_number is sent once the output (either stream) shows that text;
// with closed_stdout the output goes to a pipe nobody reads. With file_limit_bytes (a multiple
// of 512), every file rm516x-isp writes is held to it, as on a full disk: the write that
// crosses it comes up short, the next fails with EFBIG.
struct RunHow {
  std::string interrupt_on = {};
  int signal_number = SIGINT;
  bool closed_stdout = false;
  std::size_t file_limit_bytes = 0;
};

// Runs argv as ChildProcess starts it, to its end. A run that is still going after 60 s, or
// never shows interrupt_on, fails the test; the first is then killed.
ToolRun RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                   const RunHow& how = {});

// rm516x-isp with the arguments, its profile under config (XDG_CONFIG_HOME and HOME point there).
ToolRun RunIsp(const std::filesystem::path& config, const std::vector<std::string>& args,
               const RunHow& how = {});

// The text's last line, without its newline.
std::string LastLine(const std::string& text);
