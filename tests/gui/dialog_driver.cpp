#include "tests/gui/dialog_driver.h"

#include <algorithm>
#include <map>
#include <utility>

#include "app/app.h"
#include "tests/gui/gui_harness.h"

namespace {

// The explorer-style file dialog's file name combo box and its type list.
constexpr int kFileNameCombo = 0x47C;
constexpr int kFileTypeCombo = 0x470;
constexpr DWORD kPumpSliceMs = 10;
constexpr DWORD kWatchSliceMs = 20;
constexpr const char* kFileDialogTitle = "Open HEX or BIN file";

HWND FileNameField(HWND file_dialog) {
  HWND combo = GetDlgItem(file_dialog, kFileNameCombo);
  HWND edit = combo != nullptr ? FindWindowExA(combo, nullptr, "Edit", nullptr) : nullptr;
  return edit != nullptr ? edit : combo;
}

constexpr UINT kShownTimerMs = 10;
std::map<HWND, std::function<void(HWND)>> waiting_to_show;

// Timer messages come only when the queue is empty, which is when the dialog gets shown.
void CALLBACK RunWhenShown(HWND dialog, UINT, UINT_PTR timer, DWORD) {
  if (!IsWindowVisible(dialog)) return;
  KillTimer(dialog, timer);
  auto handler = waiting_to_show.extract(dialog);
  if (!handler.empty()) handler.mapped()(dialog);
}

}  // namespace

std::function<void(HWND)> WhenShown(std::function<void(HWND)> handler) {
  return [handler](HWND dialog) {
    waiting_to_show[dialog] = handler;
    SetTimer(dialog, 1, kShownTimerMs, RunWhenShown);
  };
}

FileDialogWatch::FileDialogWatch(std::function<void(HWND)> on_dialog)
    : on_dialog_(std::move(on_dialog)) {
  thread_ = std::thread([this] {
    HWND handled = nullptr;
    while (!stop_.load()) {
      HWND dialog = FindWindowA(nullptr, kFileDialogTitle);
      DWORD process = 0;
      if (dialog != nullptr) GetWindowThreadProcessId(dialog, &process);
      if (dialog != nullptr && process == GetCurrentProcessId() && IsWindowVisible(dialog) &&
          dialog != handled) {
        handled = dialog;
        ++met_;
        on_dialog_(dialog);
      }
      if (handled != nullptr && !IsWindow(handled)) handled = nullptr;
      Sleep(kWatchSliceMs);
    }
  });
}

FileDialogWatch::~FileDialogWatch() {
  stop_ = true;
  thread_.join();
}

void ClickControl(HWND dialog, int control) { SendDlgItemMessageA(dialog, control, BM_CLICK, 0, 0); }

bool IsChecked(HWND dialog, int control) {
  return IsDlgButtonChecked(dialog, control) == BST_CHECKED;
}

void ChooseInFileDialog(HWND file_dialog, const std::string& path) {
  SetWindowTextA(FileNameField(file_dialog), path.c_str());
  PostMessageA(file_dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

void CancelFileDialog(HWND file_dialog) {
  PostMessageA(file_dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

std::string ProposedFileName(HWND file_dialog) { return WindowText(FileNameField(file_dialog)); }

std::string SelectedFilter(HWND file_dialog) { return WindowText(GetDlgItem(file_dialog, kFileTypeCombo)); }

bool PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
  while (!done()) {
    if (GetTickCount64() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kPumpSliceMs, QS_ALLINPUT);
    Pump();
  }
  return true;
}

POINT ExpectedDialogCorner(HWND dialog) {
  RECT client{}, outer{}, own{};
  GetClientRect(MainWindow, &client);
  GetWindowRect(MainWindow, &outer);
  GetWindowRect(dialog, &own);
  const LONG dy = std::max(0L, (client.bottom - (own.bottom - own.top)) / 2);
  return {outer.left + (client.right - (own.right - own.left)) / 2 + GetSystemMetrics(SM_CXFRAME),
          outer.top + dy + GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYFRAME) +
              GetSystemMetrics(SM_CYMENU)};
}

POINT DialogCorner(HWND dialog) {
  RECT own{};
  GetWindowRect(dialog, &own);
  return {own.left, own.top};
}
