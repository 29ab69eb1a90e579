#pragma once
// Steps a test takes inside the dialogs that the DialogCatcher hands it.
#include <windows.h>

#include <functional>
#include <string>

void ClickControl(HWND dialog, int control);
bool IsChecked(HWND dialog, int control);

// The platform's open-file dialog: types path into its file name field and confirms, as a
// user would; or cancels it.
void ChooseInFileDialog(HWND file_dialog, const std::string& path);
void CancelFileDialog(HWND file_dialog);
// The file name the dialog proposes and the filter it shows first.
std::string ProposedFileName(HWND file_dialog);
std::string SelectedFilter(HWND file_dialog);

// Serves messages until done() holds or timeout_ms has passed; returns done().
bool PumpUntil(const std::function<bool()>& done, int timeout_ms);

// The top-left corner where CenterInMainWindow puts a dialog, and where it is.
POINT ExpectedDialogCorner(HWND dialog);
POINT DialogCorner(HWND dialog);
