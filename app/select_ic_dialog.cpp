#include "app/app.h"
#include "app/resources/resource.h"
#include "app/image_state.h"
#include "app/profile_settings.h"

// The choice takes effect at the click; only the close box (WM_CLOSE) ends the dialog.
INT_PTR CALLBACK SelectIcDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CenterInMainWindow(dialog);
      CheckRadioButton(dialog, IDC_SELECT_RM5164, IDC_SELECT_RM5168,
                       &ChosenChip() == &kRm5164 ? IDC_SELECT_RM5164 : IDC_SELECT_RM5168);
      break;
    case WM_COMMAND:
      if (wparam == IDC_SELECT_RM5164 || wparam == IDC_SELECT_RM5168) {
        const int button = static_cast<int>(wparam);
        ChooseChip(button == IDC_SELECT_RM5164 ? kRm5164.model : kRm5168.model);
        CheckRadioButton(dialog, IDC_SELECT_RM5164, IDC_SELECT_RM5168, button);
      }
      break;
    case WM_CLOSE:
      EndDialog(dialog, 1);
      break;
    default:
      break;
  }
  return FALSE;
}

INT_PTR RunSelectIcDialog(HWND owner) {
  return DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_SELECT_IC), owner, SelectIcDialog, 0);
}
