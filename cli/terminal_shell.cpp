#include "cli/terminal_shell.h"

#include <cstdio>
#include <mutex>

#include "cli/output.h"
#include "shell/shell.h"

namespace {

std::mutex shell_mutex;
bool echo_messages = true;
TerminalHooks hooks;

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


Window MainWindowHandle() { return nullptr; }

void ShowMessage(Window, const std::string& text, int kind) {
  {
    std::lock_guard lock(shell_mutex);
    if (echo_messages) {
      std::fputs(FormatTerminalMessage(kind, text).c_str(), stderr);
      std::fflush(stderr);
    }
  }
  if (auto h = CurrentHooks(); h.message) h.message(kind, text);
}

void HandshakeSeen(int version) {
  if (auto h = CurrentHooks(); h.handshake) h.handshake(version);
}

void BurnStatusChanged() {
  if (auto h = CurrentHooks(); h.burn_status) h.burn_status();
}

void ShowBurnProgress(int percent) {
  if (auto h = CurrentHooks(); h.burn_progress) h.burn_progress(percent);
}

// The window's fields and controls: a load's report and the burn's lines say it all here.
void ShowTitle(const std::string&) {}
void ShowChip(int) {}
void ShowPortStatus(const std::string&) {}
void ShowBankBytes(std::uint32_t, std::uint32_t) {}
void ShowChecksum(std::uint32_t) {}
void LockBurnInputs(bool) {}
void OfferBurn(bool) {}
void SetBurnButton(BurnButton) {}
void EnableBurnButton(bool) {}
void EnableVerifyBox(bool) {}
