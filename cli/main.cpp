// rm516x-isp: the command line over the same core as the GUI.
#include <cstdio>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/commands.h"

namespace {

constexpr const char* kDescription =
    "Burns Intel HEX and binary files into the flash of RM5164 and RM5168 chips over a\n"
    "serial port, as the Windows program does.\n";

constexpr const char* kFooter =
    "'rm516x-isp COMMAND --help' describes one command. The profile gives the defaults.\n"
    "Exit status: 0 done, 1 the load, burn or read failed or verify found a difference,\n"
    "2 usage error; 130 for a session stopped by Ctrl-C, 143 by SIGTERM, 129 by SIGHUP.\n";

// The parser's own errors, in this program's words.
std::string UsageText(const CLI::App& app, const CLI::App& command, const CLI::ParseError& error) {
  const std::string text = error.what();
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error)) {
    return "option " + text.substr(0, text.find(':')) + " needs a value";
  }
  // "--name: problem", where our validators' problems name the option already.
  if (dynamic_cast<const CLI::ValidationError*>(&error) && text.find(": ") != std::string::npos) {
    return text.substr(text.find(": ") + 2);
  }
  if (dynamic_cast<const CLI::ExtrasError*>(&error)) {
    // A command keeps what it did not take; what follows "--" after its files goes up to app.
    std::vector<std::string> extra = command.remaining();
    if (extra.empty()) extra = app.remaining();
    if (!extra.empty()) {
      const std::string& arg = extra.front();
      return (arg.size() > 1 && arg[0] == '-' ? "unknown option '" : "unexpected argument '") +
             arg + "'";
    }
  }
  return text;
}

}  // namespace

std::vector<std::string> CommandArgs;

int UsageError(const std::string& command, const std::string& problem) {
  const std::string who = command.empty() ? "rm516x-isp" : "rm516x-isp " + command;
  std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", who.c_str(), problem.c_str(), who.c_str());
  return kExitUsage;
}

int main(int argc, char** argv) {
  CLI::App app{kDescription, "rm516x-isp"};
  app.footer(kFooter);
  app.set_version_flag("--version", std::string("rm516x-isp ") + RM_VERSION);
  app.require_subcommand(1);
  CommandArgs.assign(argv + 1, argv + argc);
  // In the order they were added, as app lists its subcommands.
  const CommandRun runs[] = {AddInfoCommand(app), AddBurnCommand(app), AddPortsCommand(app),
                            AddReadCommand(app), AddVerifyCommand(app)};
  const std::vector<CLI::App*> commands = app.get_subcommands([](CLI::App*) { return true; });
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return kExitOk;
  } catch (const CLI::CallForVersion& version) {
    std::printf("%s\n", version.what());
    return kExitOk;
  } catch (const CLI::ParseError& error) {
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    if (!chosen.empty()) return UsageError(chosen[0]->get_name(), UsageText(app, *chosen[0], error));
    if (!app.remaining().empty()) return UsageError("", "unknown command '" + app.remaining()[0] + "'");
    std::fputs(app.help().c_str(), stderr);
    return kExitUsage;
  }
  for (std::size_t i = 0; i < commands.size(); ++i) {
    if (commands[i]->parsed()) return runs[i]();
  }
  return kExitUsage;
}
