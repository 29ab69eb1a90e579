// The shell seam for the GUI: each domain call lands on its window, control or status part.
// The burn worker calls these from its own thread, so each one only sends a message to a
// window (served by the user-interface thread) and does nothing while that window does not
// exist.
#include "app/app.h"

#include <commctrl.h>

#include "app/burn_worker.h"
#include "app/resources/resource.h"
#include "app/shell.h"
#include "chip/chip_spec.h"
#include "image/load_report.h"
#include "isp/session.h"

namespace {

void InvalidateMain() {
  if (HWND main_window = MainWindow) InvalidateRect(main_window, nullptr, FALSE);
}

LRESULT SendToBurnControl(int control, UINT message, WPARAM wparam, LPARAM lparam) {
  HWND dialog = BurnDialog;
  return dialog == nullptr ? 0 : SendDlgItemMessageA(dialog, control, message, wparam, lparam);
}

void EnableBurnControl(int control, bool enabled) {
  if (HWND dialog = BurnDialog) EnableWindow(GetDlgItem(dialog, control), enabled ? TRUE : FALSE);
}

}  // namespace

void SetStatusPart(int part, const std::string& text) {
  HWND status_bar = StatusBar;
  if (status_bar == nullptr) return;
  SendMessageA(status_bar, SB_SETTEXTA, static_cast<WPARAM>(part),
               reinterpret_cast<LPARAM>(text.c_str()));
}

void EnableToolbarButton(int command, bool enabled) {
  HWND toolbar = Toolbar;
  if (toolbar == nullptr) return;
  SendMessageA(toolbar, TB_ENABLEBUTTON, static_cast<WPARAM>(command), MAKELPARAM(enabled, 0));
}

void SetVerifyBoxCheck(bool checked) {
  SendToBurnControl(IDC_BURN_VERIFY, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

Window MainWindowHandle() { return MainWindow.load(); }

void ShowMessage(Window owner, const std::string& text, int kind) {
  const bool warning = (kind & 0xFF) == MessageWarning;
  HWND main_window = MainWindow;
  // A box raised under a modal dialog must not unlock the main window beneath that dialog,
  // so the state found on entry is restored rather than always enabling.
  const bool was_enabled = main_window != nullptr && IsWindowEnabled(main_window);
  if (main_window != nullptr) EnableWindow(main_window, FALSE);
  MessageBoxA(static_cast<HWND>(owner), text.c_str(), warning ? "Warnning" : "Error",
              warning ? MB_OK : MB_ICONERROR);
  if (was_enabled) EnableWindow(main_window, TRUE);
}

void ShowTitle(const std::string& text) {
  if (HWND main_window = MainWindow) SetWindowTextA(main_window, text.c_str());
}

void ShowChip(int model) {
  SetStatusPart(StatusPartChip, ChipSpecFor(model).name);
  InvalidateMain();  // the chip's picture
}

void ShowPortStatus(const std::string& text) { SetStatusPart(StatusPartPort, text); }

void ShowBankBytes(std::uint32_t bank0_bytes, std::uint32_t bank1_bytes) {
  SetStatusPart(StatusPartBank0, BankSizeText(0, bank0_bytes));
  SetStatusPart(StatusPartBank1, BankSizeText(1, bank1_bytes));
}

// The face paints ImageChecksum itself.
void ShowChecksum(std::uint32_t) { InvalidateMain(); }

void LockBurnInputs(bool locked) {
  for (int button :
       {IDM_TOOLBAR_COM_PORT, IDM_TOOLBAR_BAUD_RATE, IDM_TOOLBAR_SELECT_IC, IDM_TOOLBAR_OPEN}) {
    EnableToolbarButton(button, !locked);
  }
}

void OfferBurn(bool offered) {
  EnableToolbarButton(IDM_TOOLBAR_BURN, offered);
  // Menus belong to the thread that made them: the main window changes its own.
  if (HWND main_window = MainWindow) SendMessageA(main_window, WM_SET_BURN_MENU, offered ? 1 : 0, 0);
}

void HandshakeSeen(int version) {
  const std::string text = FirmwareVersionText(version);
  if (!text.empty()) SetStatusPart(StatusPartVersion, text);
}

void BurnStatusChanged() {
  if (HWND dialog = BurnDialog) InvalidateRect(dialog, nullptr, TRUE);
}

void ShowBurnProgress(int percent) {
  SendToBurnControl(IDC_BURN_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void SetBurnButton(BurnButton role) {
  const char* text = role == BurnButton::Stop ? "Stop" : "Close";
  SendToBurnControl(IDC_BURN_CLOSE, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void EnableBurnButton(bool enabled) { EnableBurnControl(IDC_BURN_CLOSE, enabled); }

void EnableVerifyBox(bool enabled) { EnableBurnControl(IDC_BURN_VERIFY, enabled); }
