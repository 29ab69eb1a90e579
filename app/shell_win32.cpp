// The shell seam for the GUI. The burn worker calls these from its own thread, so each one
// only sends a message to a window (served by the user-interface thread) and does nothing
// while that window does not exist.
#include "app/app.h"

#include <commctrl.h>

#include "app/resources/resource.h"
#include "shell/shell.h"

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

void SetStatusText(int part, const std::string& text) {
  HWND status_bar = StatusBar;
  if (status_bar == nullptr) return;
  SendMessageA(status_bar, SB_SETTEXTA, static_cast<WPARAM>(part),
               reinterpret_cast<LPARAM>(text.c_str()));
}

void SetMainTitle(const std::string& text) {
  HWND main_window = MainWindow;
  if (main_window == nullptr) return;
  SetWindowTextA(main_window, text.c_str());
}

void InvalidateMainWindow() {
  HWND main_window = MainWindow;
  if (main_window == nullptr) return;
  InvalidateRect(main_window, nullptr, FALSE);
}

void EnableToolbarButton(int command, bool enabled) {
  HWND toolbar = Toolbar;
  if (toolbar == nullptr) return;
  SendMessageA(toolbar, TB_ENABLEBUTTON, static_cast<WPARAM>(command), MAKELPARAM(enabled, 0));
}

void SetBurnMenuItem(bool enabled) {
  HWND main_window = MainWindow;
  if (main_window == nullptr) return;
  SendMessageA(main_window, WM_SET_BURN_MENU, enabled ? 1 : 0, 0);
}

void RepaintBurnDialog() {
  HWND dialog = BurnDialog;
  if (dialog == nullptr) return;
  InvalidateRect(dialog, nullptr, TRUE);
}

void SetBurnProgress(int percent) {
  HWND dialog = BurnDialog;
  if (dialog == nullptr) return;
  SendDlgItemMessageA(dialog, IDC_BURN_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void SetBurnButtonText(const std::string& text) {
  HWND dialog = BurnDialog;
  if (dialog == nullptr) return;
  SendDlgItemMessageA(dialog, IDC_BURN_CLOSE, WM_SETTEXT, 0,
                      reinterpret_cast<LPARAM>(text.c_str()));
}

void EnableBurnControl(int control, bool enabled) {
  HWND dialog = BurnDialog;
  if (dialog == nullptr) return;
  EnableWindow(GetDlgItem(dialog, control), enabled ? TRUE : FALSE);
}

void SetVerifyBoxCheck(bool checked) {
  HWND dialog = BurnDialog;
  if (dialog == nullptr) return;
  SendDlgItemMessageA(dialog, IDC_BURN_VERIFY, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED,
                      0);
}
