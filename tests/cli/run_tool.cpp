#include "tests/cli/run_tool.h"

ToolRun RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                   const RunHow& how) {
  ToolRun run;
  std::vector<std::string> resolved = argv;
  if (resolved.at(0).find('/') == std::string::npos) resolved[0] = FindOnPath(argv[0]);
  if (resolved[0].empty()) {
    run.err = argv[0] + ": not found on PATH";
    return run;
  }
  ChildOptions options;
  options.env = env;
  if (how.closed_stdout) options.out = ChildOutput::kUnread;
  ChildProcess child(resolved, options);
  if (!child.started()) {
    run.err = child.start_error();
    return run;
  }
  if (!how.interrupt_on.empty() &&
      WaitUntil([&] { return child.Out().find(how.interrupt_on) != std::string::npos; }, 10000)) {
    child.Signal(how.signal_number);
  }
  run.exit_code = child.Wait();
  run.out = child.Out();
  run.err = child.Err();
  return run;
}

ToolRun RunIsp(const std::filesystem::path& config, const std::vector<std::string>& args,
               const RunHow& how) {
  std::vector<std::string> argv{RM_ISP_TOOL};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, {"XDG_CONFIG_HOME=" + config.string(), "HOME=" + config.string()}, how);
}

std::string LastLine(const std::string& text) {
  std::string body = text;
  if (!body.empty() && body.back() == '\n') body.pop_back();
  const std::size_t newline = body.rfind('\n');
  return newline == std::string::npos ? body : body.substr(newline + 1);
}
