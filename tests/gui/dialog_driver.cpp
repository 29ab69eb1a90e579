#include "tests/gui/dialog_driver.h"

#include <algorithm>

#include "app/app.h"
#include "tests/gui/gui_harness.h"

namespace {

// The explorer-style file dialog's file name combo box and its type list.
constexpr int kFileNameCombo = 0x47C;
constexpr int kFileTypeCombo = 0x470;
constexpr DWORD kPumpSliceMs = 10;

HWND FileNameField(HWND file_dialog) {
  HWND combo = GetDlgItem(file_dialog, kFileNameCombo);
  HWND edit = combo != nullptr ? FindWindowExA(combo, nullptr, "Edit", nullptr) : nullptr;
  return edit != nullptr ? edit : combo;
}

}  // namespace

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
