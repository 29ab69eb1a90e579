#include "tests/cli/run_tool.h"

#include <gtest/gtest.h>

ToolRun RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                   const RunHow& how) {
  constexpr int kBoundMs = 60000;
  ChildProcess child(argv, how.closed_stdout, env);
  if (!how.interrupt_on.empty()) {
    if (WaitUntil([&] { return (child.Out() + child.Err()).find(how.interrupt_on) != std::string::npos; },
                  kBoundMs)) {
      child.Signal(how.signal_number);
    } else {
      ADD_FAILURE() << argv[0] << " never printed '" << how.interrupt_on << "'";
    }
  }
  const int exit_code = child.Wait(kBoundMs);
  if (exit_code < 0) ADD_FAILURE() << argv[0] << " still ran after " << kBoundMs / 1000 << " s; killed";
  return {exit_code, child.Out(), child.Err()};
}

ToolRun RunIsp(const std::filesystem::path& config, const std::vector<std::string>& args,
               const RunHow& how) {
  std::vector<std::string> argv{RM_ISP_TOOL};
  if (how.file_limit_bytes) {
    // dash counts in 512-byte blocks; SIGXFSZ ignored, or the failing write would kill the tool.
    argv.insert(argv.begin(), {"/bin/sh", "-c",
                               "trap '' XFSZ; ulimit -f " + std::to_string(how.file_limit_bytes / 512) +
                                   " && exec \"$0\" \"$@\""});
  }
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, {"XDG_CONFIG_HOME=" + config.string(), "HOME=" + config.string()}, how);
}

std::string LastLine(const std::string& text) {
  std::string body = text;
  if (!body.empty() && body.back() == '\n') body.pop_back();
  return body.substr(body.rfind('\n') + 1);
}
