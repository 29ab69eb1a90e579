#include <cstdlib>

#include "cli/reset_hook.h"

std::string RunShellCommand(const std::string& command) {
  const int status = std::system(command.c_str());
  if (status == -1) return "could not be started";
  return status == 0 ? "" : "exited with status " + std::to_string(status);
}
