#include "cli/terminal_shell.h"

#include <cstdio>
#include <mutex>

#include "shell/shell.h"

namespace {

std::mutex shell_mutex;
bool echo_messages = true;
TerminalHooks hooks;
std::vector<TerminalMessage> messages;
std::string title;
std::string status[6];

TerminalHooks CurrentHooks() {
  std::lock_guard lock(shell_mutex);
  return hooks;
}

}  // namespace

void SetTerminalEcho(bool echo) {
  std::lock_guard lock(shell_mutex);
  echo_messages = echo;
}

void SetTerminalHooks(TerminalHooks new_hooks) {
  std::lock_guard lock(shell_mutex);
  hooks = std::move(new_hooks);
}

std::vector<TerminalMessage> TerminalMessages() {
  std::lock_guard lock(shell_mutex);
  return messages;
}

std::string TerminalTitle() {
  std::lock_guard lock(shell_mutex);
  return title;
}

std::string TerminalStatus(int part) {
  std::lock_guard lock(shell_mutex);
  return part >= 0 && part < 6 ? status[part] : std::string();
}

std::string FormatTerminalMessage(int kind, const std::string& text) {
  const std::string prefix = kind == MessageWarning ? "warning: " : "error: ";
  std::string out = prefix;
  for (char c : text) {
    out += c;
    if (c == '\n') out.append(prefix.size(), ' ');
  }
  out += '\n';
  return out;
}

Window MainWindowHandle() { return nullptr; }

void ShowMessage(Window, const std::string& text, int kind) {
  {
    std::lock_guard lock(shell_mutex);
    messages.push_back({kind, text});
    if (echo_messages) {
      std::fputs(FormatTerminalMessage(kind, text).c_str(), stderr);
      std::fflush(stderr);
    }
  }
  if (auto h = CurrentHooks(); h.message) h.message(kind, text);
}

void SetStatusText(int part, const std::string& text) {
  {
    std::lock_guard lock(shell_mutex);
    if (part < 0 || part >= 6) return;
    status[part] = text;
  }
  if (auto h = CurrentHooks(); h.status) h.status(part, text);
}

void SetMainTitle(const std::string& text) {
  std::lock_guard lock(shell_mutex);
  title = text;
}

// Nothing to repaint or enable without windows.
void InvalidateMainWindow() {}
void EnableToolbarButton(int, bool) {}
void SetBurnMenuItem(bool) {}
void EnableBurnControl(int, bool) {}
void SetVerifyBoxCheck(bool) {}

void RepaintBurnDialog() {
  if (auto h = CurrentHooks(); h.burn_repaint) h.burn_repaint();
}

void SetBurnProgress(int percent) {
  if (auto h = CurrentHooks(); h.burn_progress) h.burn_progress(percent);
}

void SetBurnButtonText(const std::string& text) {
  if (auto h = CurrentHooks(); h.burn_button) h.burn_button(text);
}
