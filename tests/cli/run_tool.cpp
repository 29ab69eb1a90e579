#include "tests/cli/run_tool.h"

ToolRun RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  ToolRun run;
  std::vector<std::string> resolved = argv;
  if (resolved.at(0).find('/') == std::string::npos) resolved[0] = FindOnPath(argv[0]);
  if (resolved[0].empty()) {
    run.err = argv[0] + ": not found on PATH";
    return run;
  }
  ChildOptions options;
  options.env = env;
  ChildProcess child(resolved, options);
  if (!child.started()) {
    run.err = child.start_error();
    return run;
  }
  run.exit_code = child.Wait();
  run.out = child.Out();
  run.err = child.Err();
  return run;
}

ToolRun RunIsp(const std::filesystem::path& config, const std::vector<std::string>& args) {
  std::vector<std::string> argv{RM_ISP_TOOL};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, {"XDG_CONFIG_HOME=" + config.string(), "HOME=" + config.string()});
}
