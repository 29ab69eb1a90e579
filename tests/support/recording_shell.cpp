#include "tests/support/recording_shell.h"

#include <mutex>

namespace {
std::mutex record_mutex;
RecordedShell record;
std::function<void()> message_box_action;
}  // namespace

RecordedShell ShellRecord() {
  std::lock_guard lock(record_mutex);
  return record;
}

void ResetShellRecord() {
  std::lock_guard lock(record_mutex);
  record = RecordedShell{};
  message_box_action = nullptr;
}

void SetMessageBoxAction(std::function<void()> action) {
  std::lock_guard lock(record_mutex);
  message_box_action = std::move(action);
}

void SetRecordedMainWindow(Window window) {
  std::lock_guard lock(record_mutex);
  record.main_window = window;
}

Window MainWindowHandle() {
  std::lock_guard lock(record_mutex);
  return record.main_window;
}

void ShowMessage(Window owner, const std::string& text, int kind) {
  std::function<void()> action;
  {
    std::lock_guard lock(record_mutex);
    record.messages.push_back({owner, text, kind & 0xFF});
    action = message_box_action;
  }
  if (action) action();
}

void SetStatusText(int part, const std::string& text) {
  std::lock_guard lock(record_mutex);
  if (part >= 0 && part < 6) record.status[part] = text;
}

void SetMainTitle(const std::string& text) {
  std::lock_guard lock(record_mutex);
  record.title = text;
}

void InvalidateMainWindow() {
  std::lock_guard lock(record_mutex);
  ++record.invalidations;
}

void EnableToolbarButton(int command, bool enabled) {
  std::lock_guard lock(record_mutex);
  record.toolbar.emplace_back(command, enabled);
}

void SetBurnMenuItem(bool enabled) {
  std::lock_guard lock(record_mutex);
  record.burn_menu.push_back(enabled);
}

void RepaintBurnDialog() {
  std::lock_guard lock(record_mutex);
  ++record.burn_repaints;
}

void SetBurnProgress(int percent) {
  std::lock_guard lock(record_mutex);
  record.progress.push_back(percent);
}

void SetBurnButtonText(const std::string& text) {
  std::lock_guard lock(record_mutex);
  record.burn_button = text;
}

void EnableBurnControl(int control, bool enabled) {
  std::lock_guard lock(record_mutex);
  record.burn_controls.emplace_back(control, enabled);
}

void SetVerifyBoxCheck(bool checked) {
  std::lock_guard lock(record_mutex);
  record.verify_checked = checked;
}
