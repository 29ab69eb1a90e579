#include "tests/cli/run_tool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace {

std::string ReadText(const std::filesystem::path& path) {
  auto bytes = ReadBytes(path.string());
  return {bytes.begin(), bytes.end()};
}

}  // namespace

std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::filesystem::path candidate = std::filesystem::path(dirs.substr(start, end - start)) / name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
    start = end + 1;
  }
  return "";
}

ToolRun RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  ToolRun run;
  const std::string program = argv.at(0).find('/') == std::string::npos ? FindOnPath(argv[0]) : argv[0];
  if (program.empty()) {
    run.err = argv[0] + ": not found on PATH";
    return run;
  }

  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const auto& override_entry : env) {
      replaced |= override_entry.substr(0, override_entry.find('=')) == name;
    }
    if (!replaced) environment.push_back(entry);
  }
  environment.insert(environment.end(), env.begin(), env.end());

  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> envp;
  for (const auto& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  TempDir capture;
  const auto out_path = capture.path() / "out";
  const auto err_path = capture.path() / "err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    run.err = program + ": " + std::strerror(spawned);
    return run;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadText(out_path);
  run.err = ReadText(err_path);
  return run;
}

ToolRun RunIsp(const std::filesystem::path& config, const std::vector<std::string>& args) {
  std::vector<std::string> argv{RM_ISP_TOOL};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, {"XDG_CONFIG_HOME=" + config.string(), "HOME=" + config.string()});
}
