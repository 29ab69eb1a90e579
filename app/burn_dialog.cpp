#include "app/app.h"
#include "app/commands.h"

#include <commctrl.h>

#include "app/burn_status.h"
#include "app/burn_worker.h"
#include "app/com_port.h"
#include "app/profile_settings.h"
#include "app/resources/resource.h"
#include "app/shell.h"

namespace {

constexpr int kProgressMax = 100;
constexpr LONG kFontWidthDivisor = 20;  // about twenty characters fill the message line

HFONT BurnFont = nullptr;

// The worker does not say when it has ended, so a Close during a burn watches for it.
constexpr UINT_PTR kWorkerEndTimer = 1;
constexpr UINT kWorkerEndPollMs = 20;

RECT WindowRectOf(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

void OnInit(HWND dialog) {
  BurnDialog = dialog;
  SendDlgItemMessageA(dialog, IDC_BURN_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, kProgressMax));
  CenterInMainWindow(dialog);
  const RECT area = WindowRectOf(GetDlgItem(dialog, IDC_BURN_MESSAGE));
  LOGFONTA font{};
  font.lfHeight = area.bottom - area.top;
  font.lfWidth = (area.right - area.left) / kFontWidthDivisor;
  font.lfPitchAndFamily = FF_ROMAN | DEFAULT_PITCH;
  BurnFont = CreateFontIndirectA(&font);
  ShowWindow(dialog, SW_SHOW);
  CheckDlgButton(dialog, IDC_BURN_VERIFY, VerifyAfterBurn.load() ? BST_CHECKED : BST_UNCHECKED);
}

}  // namespace

// The worker ends a wait on a port that went away with no text, as after a Stop; say what
// happened, as the command line does.
std::string BurnLineText() {
  std::string status = BurnStatusText();
  if (status.empty() && PortLost()) status = "COM port lost";
  return status;
}

namespace {

// The text rectangle is the hidden message area's, offset from the dialog's outer corner.
void OnPaint(HWND dialog) {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(dialog, &paint);
  const RECT area = WindowRectOf(GetDlgItem(dialog, IDC_BURN_MESSAGE));
  const RECT own = WindowRectOf(dialog);
  RECT text{};
  text.left = area.left - own.left;
  text.top = area.top - own.top;
  text.right = text.left + (area.right - area.left);
  text.bottom = text.top + (area.bottom - area.top);
  SetTextColor(dc, BurnStatusColor.load());
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ previous = SelectObject(dc, BurnFont);
  const std::string status = BurnLineText();
  DrawTextA(dc, status.c_str(), -1, &text, DT_CENTER);
  SelectObject(dc, previous);
  EndPaint(dialog, &paint);
}

// Whatever the burn is doing: ask a running worker to stop, hide, release the controls. A
// Burn waits for the ending worker, so it is offered at once; the commands that change
// what the worker reads are refused until it has ended, so their buttons wait for that.
void OnClose(HWND dialog) {
  OfferBurn(true);
  RequestBurnStop();
  ShowWindow(dialog, SW_HIDE);
  if (BurnWorkerRunning()) {
    SetTimer(dialog, kWorkerEndTimer, kWorkerEndPollMs, nullptr);
  } else {
    LockBurnInputs(false);
  }
}

void OnTimer(HWND dialog, WPARAM timer) {
  if (timer != kWorkerEndTimer || BurnWorkerRunning()) return;
  KillTimer(dialog, kWorkerEndTimer);
  LockBurnInputs(false);
}

void OnVerifyBox(HWND dialog) {
  const int checked = IsDlgButtonChecked(dialog, IDC_BURN_VERIFY) == BST_CHECKED ? 1 : 0;
  VerifyAfterBurn = checked;
  WriteSetting("Verify", checked);
}

}  // namespace

INT_PTR CALLBACK BurnDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      OnInit(dialog);
      break;
    case WM_PAINT:
      OnPaint(dialog);
      // Handled: left to the default, a repaint requested by the worker while this one ran
      // would be erased and validated there without its text.
      return TRUE;
    case WM_TIMER:
      OnTimer(dialog, wparam);
      break;
    case WM_COMMAND:
      if (wparam == IDC_BURN_CLOSE) OnClose(dialog);
      if (wparam == IDC_BURN_VERIFY) OnVerifyBox(dialog);
      break;
    case WM_DESTROY:
      // The dialog goes only with the main window; a later one makes its own font.
      DeleteObject(BurnFont);
      BurnFont = nullptr;
      break;
    default:
      break;
  }
  return FALSE;
}

// Shown again where it was left: a moved main window does not move it.
void ShowBurnDialog(HWND owner) {
  HWND dialog = BurnDialog;
  if (dialog != nullptr) {
    // The new worker locks the buttons; the end of the one before must not release them.
    KillTimer(dialog, kWorkerEndTimer);
    SetVerifyBoxCheck(VerifyAfterBurn.load() != 0);
    ShowWindow(dialog, SW_SHOW);
    return;
  }
  CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_BURN), owner, BurnDialogProc, 0);
}
