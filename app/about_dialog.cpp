#include "app/app.h"
#include "app/resources/resource.h"

// No close box and no IDCANCEL handling: only OK (click or Enter) ends the dialog.
INT_PTR CALLBACK AboutDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CenterInMainWindow(dialog);
      return FALSE;
    case WM_COMMAND:
      if (wparam == IDC_ABOUT_OK) {
        EndDialog(dialog, 1);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

INT_PTR RunAboutDialog(HWND owner) {
  return DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutDialog, 0);
}
