#include "tests/support/recording_shell.h"

#include <mutex>

namespace {
std::mutex record_mutex;
RecordedShell record;
std::function<void()> message_box_action;

// Runs change on the record under its lock.
template <typename Change>
void Record(Change change) {
  std::lock_guard lock(record_mutex);
  change(record);
}
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
  Record([&](RecordedShell& r) { r.main_window = window; });
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

void ShowTitle(const std::string& text) { Record([&](RecordedShell& r) { r.title = text; }); }
void ShowChip(int model) { Record([&](RecordedShell& r) { r.chip = model; }); }
void ShowPortStatus(const std::string& text) {
  Record([&](RecordedShell& r) { r.port_status = text; });
}
void ShowBankBytes(std::uint32_t bank0, std::uint32_t bank1) {
  Record([&](RecordedShell& r) { r.bank_bytes = {bank0, bank1}; });
}
void ShowChecksum(std::uint32_t checksum) {
  Record([&](RecordedShell& r) { r.checksums.push_back(checksum); });
}
void LockBurnInputs(bool locked) {
  Record([&](RecordedShell& r) { r.input_locks.push_back(locked); });
}
void OfferBurn(bool offered) { Record([&](RecordedShell& r) { r.burn_offers.push_back(offered); }); }
void HandshakeSeen(int version) {
  Record([&](RecordedShell& r) { r.handshakes.push_back(version); });
}
void BurnStatusChanged() {}  // the tests read the status text itself
void ShowBurnProgress(int percent) {
  Record([&](RecordedShell& r) { r.progress.push_back(percent); });
}
void SetBurnButton(BurnButton role) { Record([&](RecordedShell& r) { r.burn_button = role; }); }
void EnableBurnButton(bool enabled) {
  Record([&](RecordedShell& r) { r.burn_button_enables.push_back(enabled); });
}
void EnableVerifyBox(bool enabled) {
  Record([&](RecordedShell& r) { r.verify_box_enables.push_back(enabled); });
}
