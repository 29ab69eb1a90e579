#include "app/app.h"
#include "app/commands.h"
#include "app/resources/resource.h"
#include "app/com_port.h"
#include "app/profile_settings.h"
#include "app/shell.h"

namespace {

constexpr int kNoSelection = -1;

// A later checked button overrides an earlier one.
int CheckedPort(HWND dialog) {
  int selection = kNoSelection;
  for (int i = 0; i < 4; ++i) {
    if (IsDlgButtonChecked(dialog, IDC_COM1 + i) == BST_CHECKED) selection = i;
  }
  return selection;
}

void ChangePort(HWND dialog, int selection) {
  ComPortIndex = selection;
  // The user named a COM port: any device chosen for the session gives way to it.
  SetPortDevice("");
  if (ReopenComPort()) {
    ShowPortStatus(PortStatusText(BaudRateTable[BaudRateIndex]));
    SendMessageA(BannerDialog, WM_BANNER_HIDE, 0, 0);
    WriteSetting("ComPort", ComPortIndex);
    return;
  }
  // The stored port stays as it was, so the next start tries it again.
  ComPortIndex = kDisconnectedIndex;
  ShowMessage(dialog, "Change COM port error ...", MessageError);
  ShowPortStatus("COM : Disconnect");
}

void OnOk(HWND dialog) {
  const int selection = CheckedPort(dialog);
  // No button checked (opened while disconnected): nothing to change. The same port is
  // opened again when it is not usable (lost, or its last open failed).
  const bool usable = PortIsOpen() && !PortLost();
  if (selection != kNoSelection && (selection != ComPortIndex || !usable)) ChangePort(dialog, selection);
  PurgeReceive();
  EndDialog(dialog, 1);
}

}  // namespace

// Only OK ends it: there is no Cancel button and no close box, and Escape is ignored.
INT_PTR CALLBACK ComPortDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CenterInMainWindow(dialog);
      for (int i = 0; i < 4; ++i) {
        CheckDlgButton(dialog, IDC_COM1 + i, i == ComPortIndex ? BST_CHECKED : BST_UNCHECKED);
      }
      return TRUE;  // focus on OK, so that Enter closes it
    case WM_COMMAND:
      if (wparam == IDOK) {
        OnOk(dialog);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

INT_PTR RunComPortDialog(HWND owner) {
  return DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_COM_PORT), owner, ComPortDialog, 0);
}
