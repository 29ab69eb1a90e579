#include "app/app.h"
#include "app/resources/resource.h"
#include "app/profile_settings.h"

// The value is stored at the click, so the load after the dialog already uses it.
INT_PTR CALLBACK UnusedBytesDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CenterInMainWindow(dialog);
      CheckRadioButton(dialog, IDC_FILL_FF, IDC_FILL_00,
                       FillByte == 0xFF ? IDC_FILL_FF : IDC_FILL_00);
      break;
    case WM_COMMAND:
      if (wparam == IDC_UNUSED_OK) {
        EndDialog(dialog, 1);
      } else if (wparam == IDC_FILL_FF) {
        SelectFillByte(0xFF);
      } else if (wparam == IDC_FILL_00) {
        SelectFillByte(0x00);
      }
      break;
    default:
      break;
  }
  return FALSE;
}

INT_PTR RunUnusedBytesDialog(HWND owner) {
  return DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_UNUSED_BYTES), owner,
                         UnusedBytesDialog, 0);
}
