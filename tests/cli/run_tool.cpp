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
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, {"XDG_CONFIG_HOME=" + config.string(), "HOME=" + config.string()}, how);
}

ToolRun RunIspWithFileLimit(const std::filesystem::path& config, std::size_t limit_bytes,
                            const std::vector<std::string>& args) {
  // dash counts in 512-byte blocks; SIGXFSZ ignored, or the failing write would kill the tool.
  std::vector<std::string> argv{"/bin/sh", "-c",
                                "trap '' XFSZ; ulimit -f " + std::to_string(limit_bytes / 512) +
                                    " && exec \"$0\" \"$@\"",
                                RM_ISP_TOOL};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, {"XDG_CONFIG_HOME=" + config.string(), "HOME=" + config.string()});
}

std::vector<std::uint8_t> TestBytes(std::size_t count, unsigned seed) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + seed) ^ (i >> 8));
  return bytes;
}

std::string LastLine(const std::string& text) {
  std::string body = text;
  if (!body.empty() && body.back() == '\n') body.pop_back();
  return body.substr(body.rfind('\n') + 1);
}
