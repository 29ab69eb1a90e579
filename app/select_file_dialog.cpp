#include "app/app.h"
#include "app/commands.h"
#include "app/resources/resource.h"
#include "app/image_state.h"
#include "app/path_text.h"
#include "app/profile_settings.h"

namespace {

void ShowPath(HWND dialog, int edit, const std::string& path) {
  SetDlgItemTextA(dialog, edit, ShortenPath(path).c_str());
}

// Choosing stores the path at once; nothing is read until one of the open buttons. The
// browser is this dialog's own, so that its buttons, which act on the paths, wait for it.
void ChooseFile(HWND dialog, std::string& path, int edit, const char* key) {
  if (!BrowseForFile(dialog, path, OpenPath)) return;
  ShowPath(dialog, edit, path);
  WriteSetting(key, path);
  WriteSetting("OpenFilePath", OpenPath);
}

void OpenAndEnd(HWND dialog, LoadReport (*open)(Window)) {
  RunUnusedBytesDialog(dialog);
  // A failed open keeps the dialog up, so the user can choose another file.
  if (open(dialog).file_state != 0) EndDialog(dialog, 1);
}

}  // namespace

// Reacts to its buttons only: Enter and Escape do nothing, and there is no close box.
INT_PTR CALLBACK SelectFileDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CenterInMainWindow(dialog);
      ShowPath(dialog, IDC_FILE1_EDIT, FileName1);
      ShowPath(dialog, IDC_FILE2_EDIT, FileName2);
      // No focus: a focused push button would take Enter.
      return FALSE;
    case WM_COMMAND:
      switch (wparam) {
        case IDC_FILE1_BUTTON:
          ChooseFile(dialog, FileName1, IDC_FILE1_EDIT, "OpenFileName1");
          return TRUE;
        case IDC_FILE2_BUTTON:
          ChooseFile(dialog, FileName2, IDC_FILE2_EDIT, "OpenFileName2");
          return TRUE;
        case IDC_OPEN_FILE1:
          OpenAndEnd(dialog, OpenFileOverBothBanks);
          return TRUE;
        case IDC_OPEN_FILES_1_2:
          OpenAndEnd(dialog, OpenFilesOnePerBank);
          return TRUE;
        case IDC_FILE_CANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

INT_PTR RunSelectFileDialog(HWND owner) {
  return DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_SELECT_FILE), owner, SelectFileDialog,
                         0);
}
